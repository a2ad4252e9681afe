// Recomputes the settlement with the library's own stages and apportions
// the transfer journeys leg by leg, as the transfer stage does, keeping
// each leg's share instead of only adding it to the totals.
#include "Audit_Recompute.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace {

std::int64_t Count_Records(const History_Data* header,
                           const History_Data* tailer) {
  std::int64_t count = 0;
  for (const History_Data* node = header->next; node != tailer;
       node = node->next)
    ++count;
  return count;
}

void Count_Taps(Audit_Figures& figures) {
  figures.taps[0] = Count_Records(B_header, B_tailer);
  Metro_List_Set metro = Metro_Lists();
  for (int i = 0; i < 5; ++i)
    figures.taps[i + 1] =
        Count_Records(metro.list[i].header, metro.list[i].tailer);
}

// True when a ranks before b in the list of largest residues: greater
// absolute residue first, then terminal text in byte order.
bool Ranks_Before(std::int64_t a_residue, std::string_view a_terminal,
                  const Residue_Entry& b) {
  auto magnitude = [](std::int64_t v) {
    return v < 0 ? 0 - static_cast<std::uint64_t>(v)
                 : static_cast<std::uint64_t>(v);
  };
  std::uint64_t a_size = magnitude(a_residue);
  std::uint64_t b_size = magnitude(b.residue);
  if (a_size != b_size) return a_size > b_size;
  return a_terminal < std::string_view(b.terminal);
}

// Sorted (key, count) pairs of a tally kept in a hash map.
Tally Sorted(const std::unordered_map<std::int64_t, std::int64_t>& counts) {
  Tally tally(counts.begin(), counts.end());
  std::sort(tally.begin(), tally.end());
  return tally;
}

// Accumulates the figures of the transfer journeys, one at a time.
class Journey_Totals {
 public:
  explicit Journey_Totals(Audit_Figures& figures) : figures_(figures) {}

  void Add(const Journey_Audit& journey) {
    ++figures_.journeys;
    figures_.legs += static_cast<std::int64_t>(journey.legs.size());
    Add_Won(&figures_.collected, journey.collected, "transfer revenue");
    Add_Won(&figures_.bus_credit, journey.bus_credit, "bus credit");
    Add_Won(&figures_.metro_credit, journey.metro_credit, "metro credit");
    ++by_legs_[static_cast<std::int64_t>(journey.legs.size())];
    ++by_residue_[journey.Residue()];
    Keep_If_Large(journey);
  }

  void Finish() {
    figures_.journeys_by_legs = Sorted(by_legs_);
    figures_.residue_distribution = Sorted(by_residue_);
  }

 private:
  void Keep_If_Large(const Journey_Audit& journey) {
    std::vector<Residue_Entry>& largest = figures_.largest;
    std::int64_t residue = journey.Residue();
    if (largest.size() == LARGEST_RESIDUES &&
        !Ranks_Before(residue, journey.terminal, largest.back()))
      return;
    Residue_Entry entry{std::string(journey.terminal),
                        journey.legs.size(),
                        journey.collected,
                        journey.bus_credit,
                        journey.metro_credit,
                        residue};
    auto at = std::find_if(
        largest.begin(), largest.end(), [&](const Residue_Entry& kept) {
          return Ranks_Before(residue, journey.terminal, kept);
        });
    largest.insert(at, std::move(entry));
    if (largest.size() > LARGEST_RESIDUES) largest.pop_back();
  }

  Audit_Figures& figures_;
  std::unordered_map<std::int64_t, std::int64_t> by_legs_;
  std::unordered_map<std::int64_t, std::int64_t> by_residue_;
};

// Orders one journey's legs by time and computes every leg's share.
void Apportion(const Data& first, Leg_Table& legs,
               std::vector<std::int64_t>& shares, Journey_Audit& journey) {
  Sort_Legs(legs);
  journey = Journey_Audit{};
  journey.terminal = first.TerminalInfo;
  for (const Leg& leg : legs) journey.collected += leg.Balance;
  shares.clear();
  std::int64_t running = 0;
  for (const Leg& leg : legs) {
    running += leg.Balance;
    std::int64_t share =
        Leg_Share(journey.collected, running, first.TerminalInfo);
    shares.push_back(share);
    (leg.Mot == BUS ? journey.bus_credit : journey.metro_credit) += share;
  }
  journey.legs = legs;
  journey.shares = shares;
}

// Walks the transfer history bytes line by line; a journey is a run of
// consecutive lines with the same TerminalInfo, as the transfer stage reads.
void Audit_Journeys(std::string_view history, Journey_Totals& totals,
                    Journey_Sink* sink) {
  Leg_Table legs;
  std::vector<std::int64_t> shares;
  Journey_Audit journey;
  Data first{}, record{};
  long line_number = 0;
  auto flush = [&] {
    if (legs.empty()) return;
    Apportion(first, legs, shares, journey);
    totals.Add(journey);
    if (sink != nullptr) sink->Journey(journey);
    reset_Arr(legs);
  };
  std::size_t at = 0;
  for (;;) {
    std::size_t stop = history.find('\n', at);
    if (stop == std::string_view::npos) break;  // the closing "END"
    std::string_view line = history.substr(at, stop - at);
    at = stop + 1;
    if (!Fill_Data(record, line, HISTORY_FILE, ++line_number)) continue;
    if (!legs.empty() && !Same_Terminal(record, first)) flush();
    if (legs.empty()) first = record;
    legs.push_back({record.LastTime, record.Mot, record.Balance});
  }
  flush();
}

std::uint64_t File_Size(const char* path) {
  struct stat status;
  if (::stat(path, &status) != 0 || status.st_size < 0) return 0;
  return static_cast<std::uint64_t>(status.st_size);
}

// Room for the transfer history, so that it is built without regrowing:
// the size of the history file found, but never more than the payment
// files' (no history line is longer than the payment line it comes from).
void Reserve_History(std::string& history) {
  std::uint64_t payments = File_Size(BUS_PAYMENT_FILE);
  for (const char* file : METRO_PAYMENT_FILES) payments += File_Size(file);
  history.reserve(std::min(File_Size(HISTORY_FILE), payments) + 4);
}

std::string Summary_Line(std::int32_t tag, int mode, std::int64_t total) {
  return std::to_string(tag) + "," + std::to_string(mode) + "," +
         std::to_string(total);
}

}  // namespace

std::int64_t Audit_Figures::Taps() const {
  std::int64_t sum = 0;
  for (std::int64_t count : taps) sum += count;
  return sum;
}

Audit_Figures Recompute_Settlement(Journey_Sink* sink) {
  Audit_Figures figures;
  Create_Settlement_State();
  HistoryData_Reader_Interface();
  figures.bus_tag = bus_LastTag;
  figures.metro_tag = metro_LastTag;
  Count_Taps(figures);
  Reserve_History(figures.history);
  Separate_Transfers(figures.history);
  Normal_Bus_Process(&figures.ordinary_bus);
  Normal_Metro_Process(&figures.ordinary_metro);

  Journey_Totals totals(figures);
  Audit_Journeys(figures.history, totals, sink);
  totals.Finish();

  figures.bus_total = figures.ordinary_bus;
  Add_Won(&figures.bus_total, figures.bus_credit, "bus total");
  figures.metro_total = figures.ordinary_metro;
  Add_Won(&figures.metro_total, figures.metro_credit, "metro total");
  figures.bus_summary = Summary_Line(figures.bus_tag, BUS, figures.bus_total);
  figures.metro_summary =
      Summary_Line(figures.metro_tag, METRO, figures.metro_total);
  return figures;
}
