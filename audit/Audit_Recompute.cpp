// Recomputes the settlement with the library's own stages, the transfer
// stage telling the audit of each journey's legs and shares as it settles
// them.
#include "Audit_Recompute.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "Calculating_System.h"
#include "Journey_Observer.h"
#include "Money.h"
#include "Os.h"
#include "Paths.h"
#include "Transfer_Journeys.h"

namespace {

// The records of a list, and the sum of their amounts' sizes.
struct List_Tally {
  std::int64_t count = 0;
  Wide_Won amounts = 0;
};

List_Tally Tally_Records(const History_Data* header,
                         const History_Data* tailer) {
  List_Tally tally;
  for (const History_Data* node = header->next; node != tailer;
       node = node->next) {
    Prefetch_Ahead(node);
    ++tally.count;
    tally.amounts += node->data.Balance < 0 ? -Wide_Won{node->data.Balance}
                                            : node->data.Balance;
  }
  return tally;
}

// Counts the day's taps into figures; returns a bound on how far from zero
// any running sum of the ordinary totals can go: the sum of the sizes of
// every listed amount and of the amounts kept out of the lists.
Wide_Won Count_Taps(Audit_Figures& figures) {
  Wide_Won bound = 0;
  for (int i = 0; i < 6; ++i) {
    List_Tally tally =
        Tally_Records(*PAYMENT_FILES[i].header, *PAYMENT_FILES[i].tailer);
    figures.taps[i] = tally.count + Unlisted[i].count;
    Wide_Won unlisted = Unlisted[i].amount;
    bound += tally.amounts + (unlisted < 0 ? -unlisted : unlisted);
  }
  return bound;
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

// How many journeys have each value: values in [-NEAR, NEAR) are counted
// in an array, the rarer others in a hash map. The residues of journeys of
// many legs reach tens of thousands of won: in the map, a day of such
// journeys spent a twentieth of its audit there.
class Value_Tally {
 public:
  void Add(std::int64_t value) {
    if (value >= -NEAR && value < NEAR)
      ++near_[static_cast<std::size_t>(value + NEAR)];
    else
      ++far_[value];
  }
  // The (value, count) pairs of the values met, ascending.
  Value_Counts Sorted() const {
    Value_Counts sorted(far_.begin(), far_.end());
    for (std::size_t i = 0; i < near_.size(); ++i)
      if (near_[i] != 0)
        sorted.emplace_back(static_cast<std::int64_t>(i) - NEAR, near_[i]);
    std::sort(sorted.begin(), sorted.end());
    return sorted;
  }

 private:
  static constexpr std::int64_t NEAR = 1 << 16;
  std::vector<std::int64_t> near_ = std::vector<std::int64_t>(2 * NEAR);
  std::unordered_map<std::int64_t, std::int64_t> far_;
};

// Accumulates the figures of the transfer journeys, one at a time.
class Journey_Totals : public Journey_Observer {
 public:
  // sink (may be null) is told of each journey after the totals.
  Journey_Totals(Audit_Figures& figures, Journey_Observer* sink)
      : figures_(figures), sink_(sink) {}

  void Settled(const Settled_Journey& journey) override {
    ++figures_.journeys;
    figures_.legs += static_cast<std::int64_t>(journey.legs.size());
    Add_Won(&figures_.collected, journey.collected, "transfer revenue");
    Add_Won(&figures_.bus_credit, journey.bus_credit, "bus credit");
    Add_Won(&figures_.metro_credit, journey.metro_credit, "metro credit");
    by_legs_.Add(static_cast<std::int64_t>(journey.legs.size()));
    by_residue_.Add(journey.Residue());
    Keep_If_Large(journey);
    if (sink_ != nullptr) sink_->Settled(journey);
  }

  void Finish() {
    figures_.journeys_by_legs = by_legs_.Sorted();
    figures_.residue_distribution = by_residue_.Sorted();
  }

 private:
  void Keep_If_Large(const Settled_Journey& journey) {
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
  Journey_Observer* sink_;
  Value_Tally by_legs_;
  Value_Tally by_residue_;
};

}  // namespace

std::int64_t Audit_Figures::Taps() const {
  std::int64_t sum = 0;
  for (std::int64_t count : taps) sum += count;
  return sum;
}

Audit_Figures Recompute_Settlement(
    const std::string& dir, Journey_Observer* sink,
    Unsettled_Journeys& unsettled,
    const std::function<void(std::string_view)>& history, Load_Observer* lines,
    const std::function<void()>& loaded) {
  Audit_Figures figures;
  Create_Settlement_State();
  HistoryData_Reader_Interface(dir, lines);
  if (loaded) loaded();
  figures.bus_tag = bus_LastTag;
  figures.metro_tag = metro_LastTag;
  // The journeys are told as they are written, while that cannot differ
  // from telling them after the ordinary totals (Told_Early).
  Journey_Totals totals(figures, sink);
  Told_Early early(totals, Count_Taps(figures), unsettled.keep);
  Separate_Transfers(history, unsettled, &early);
  Normal_Bus_Process(&Total_bus_fee);
  Normal_Metro_Process(&Total_metro_fee);
  figures.ordinary_bus = Total_bus_fee;
  figures.ordinary_metro = Total_metro_fee;

  Transfer_Process(Transfer_Journeys, totals, unsettled, &early);
  totals.Finish();

  figures.bus_total = Total_bus_fee;
  figures.metro_total = Total_metro_fee;
  figures.bus_summary = Summary_Line(figures.bus_tag, BUS, figures.bus_total);
  figures.metro_summary =
      Summary_Line(figures.metro_tag, METRO, figures.metro_total);
  return figures;
}
