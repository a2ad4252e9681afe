// Transfer apportionment: reads the transfer history back, orders each
// journey's legs by time and credits every leg's share of the journey's fare
// to the bus or the metro total.
#include <algorithm>
#include <cassert>
#include <cstring>
#include <exception>
#include <span>
#include <string>
#include <thread>
#include <utility>

#include "Calculating_System.h"
#include "Chunk_Turns.h"
#include "Journey_Observer.h"
#include "Leg_Table.h"
#include "Line_Reader.h"
#include "Money.h"
#include "Record_Line.h"
#include "Settlement_Error.h"
#include "Transfer_Journeys.h"

namespace {

// Calls on_share(leg, share) for each leg of arr in order, share being
// Leg_Share of the journey's total and the running sum up to that leg;
// throws Leg_Share's error, the legs after it untold.
template <typename On_Share>
void For_Each_Share(const Leg_Table& arr, std::string_view terminal,
                    On_Share on_share) {
  // At most MAX_JOURNEY_LEGS amounts of 32 bits each: the sums cannot leave
  // 64 bits.
  assert(arr.size() <= MAX_JOURNEY_LEGS);
  std::int64_t total = 0;
  for (const Leg& leg : arr) total += leg.Balance;
  std::int64_t running = 0;
  for (const Leg& leg : arr) {
    running += leg.Balance;
    on_share(leg, Leg_Share(total, running, terminal));
  }
}

// Journey w of worked as the observers are told of it, its figures not yet
// added up.
Settled_Journey Journey_Of(const Worked_Journeys& worked,
                           const Worked_Journeys::Journey& w) {
  Settled_Journey journey;
  journey.terminal = w.terminal;
  journey.legs = std::span(worked.legs).subspan(w.first, w.legs);
  journey.shares = std::span(worked.shares).subspan(w.first, w.legs);
  return journey;
}

// Credits journey j of worked to the totals share by share and tells
// observer of it; the totals change only once the whole journey has been
// credited. A journey that cannot be apportioned, or would take a total out
// of 64 bits, is added to unsettled instead and credits nothing.
void Credit_Worked(const Worked_Journeys& worked, std::size_t j,
                   Journey_Observer& observer, Unsettled_Journeys& unsettled) {
  const Worked_Journeys::Journey& w = worked.journeys[j];
  try {
    Settled_Journey journey = Journey_Of(worked, w);
    std::int64_t bus_fee = Total_bus_fee;
    std::int64_t metro_fee = Total_metro_fee;
    for (std::size_t k = 0; k < w.worked; ++k) {
      const Leg& leg = journey.legs[k];
      std::int64_t share = journey.shares[k];
      journey.collected += leg.Balance;
      if (leg.Mot == BUS) {
        Add_Won(&bus_fee, share, "bus total");
        Add_Won(&journey.bus_credit, share, "bus credit");
      } else {
        Add_Won(&metro_fee, share, "metro total");
        Add_Won(&journey.metro_credit, share, "metro credit");
      }
    }
    if (w.worked < w.legs) {
      unsettled.Add(worked.problems[w.problem]);
      return;
    }
    Total_bus_fee = bus_fee;
    Total_metro_fee = metro_fee;
    observer.Settled(journey);
  } catch (const Settlement_Error& error) {
    unsettled.Add(error.what());
  }
}

// A journey is settled as soon as its last line has been read, so the
// history is never held whole. A journey that cannot be settled (a zero
// divisor, a total leaving 64 bits, too many legs) goes on the list of
// unsettled journeys, which is looked at only once the file has been read to
// its END mark: a malformed line or a missing END is reported first, wherever
// it stands. Such a journey credits nothing when observed, and the journeys
// after it are still settled.
class Journey_Settler {
 public:
  Journey_Settler(Journey_Observer* observer, Unsettled_Journeys& unsettled)
      : observer_(observer), unsettled_(unsettled) {}
  // Adds record to the journey under way, settling that journey first when
  // record starts a new one.
  void Add(const Data& record) {
    if (!legs_.empty() && std::strcmp(record.TerminalInfo, terminal_) != 0)
      Settle();
    if (legs_.empty())
      std::memcpy(terminal_, record.TerminalInfo, sizeof terminal_);
    // The separation refuses such journeys; a history from elsewhere may not.
    if (legs_.size() == MAX_JOURNEY_LEGS)
      ++legs_left_out_;
    else
      legs_.push_back({record.LastTime, record.Mot, record.Balance});
  }
  // Settles the last journey.
  void Finish() { Settle(); }

 private:
  void Settle() {
    if (legs_.empty()) return;
    try {
      if (legs_left_out_ > 0)
        throw Settlement_Error(Too_Many_Legs(HISTORY_FILE, terminal_,
                                             legs_.size() + legs_left_out_));
      if (observer_ == nullptr) {
        Sort_Legs(legs_);
        calculate(legs_, &Total_bus_fee, &Total_metro_fee, terminal_);
      } else {
        Settle_Observed();
      }
    } catch (const Settlement_Error& error) {
      unsettled_.Add(error.what());
    }
    reset_Arr(legs_);
    legs_left_out_ = 0;
  }

  // Sort_Legs and calculate, keeping each leg's share for the observer.
  void Settle_Observed() {
    worked_.Clear();
    worked_.Work_Out(terminal_, legs_);
    Credit_Worked(worked_, 0, *observer_, unsettled_);
  }

  Journey_Observer* observer_;
  Unsettled_Journeys& unsettled_;
  Leg_Table legs_;
  Worked_Journeys worked_;
  char terminal_[TERMINALINFO_WIDTH + 1] = {};
  std::size_t legs_left_out_ = 0;  // past MAX_JOURNEY_LEGS
};

}  // namespace

void Worked_Journeys::Work_Out(const char* terminal, Leg_Table& arr) {
  Sort_Legs(arr);
  Journey journey{{}, legs.size(), arr.size(), 0, 0};
  std::memcpy(journey.terminal, terminal, sizeof journey.terminal);
  legs.insert(legs.end(), arr.begin(), arr.end());
  shares.resize(legs.size());
  try {
    For_Each_Share(arr, journey.terminal, [&](const Leg&, std::int64_t share) {
      shares[journey.first + journey.worked++] = share;
    });
  } catch (const Settlement_Error& error) {
    journey.problem = problems.size();
    problems.emplace_back(error.what());
  }
  journeys.push_back(journey);
}

std::string Too_Many_Legs(std::string_view file, std::string_view terminal,
                          std::size_t legs) {
  return std::string(file) + ": journey " + std::string(terminal) + " has " +
         std::to_string(legs) + " legs, more than " +
         std::to_string(MAX_JOURNEY_LEGS) +
         " (unrelated taps sharing one TerminalInfo?)";
}

void reset_Arr(Leg_Table& arr) { arr.clear(); }

namespace {

// Whether no two legs share a time: then every sort gives the one order.
bool Distinct_Times(const Leg_Table& arr) {
  std::vector<std::int32_t> times(arr.size());
  for (std::size_t i = 0; i < arr.size(); ++i) times[i] = arr[i].LastTime;
  std::sort(times.begin(), times.end());
  return std::adjacent_find(times.begin(), times.end()) == times.end();
}

}  // namespace

void Sort_Legs(Leg_Table& arr) {
  // Equal times come out of the exchange sort in an order of its own, which
  // the shares depend on; only with distinct times may a faster sort stand
  // in for it.
  constexpr std::size_t EXCHANGE_LIMIT = 32;
  if (arr.size() > EXCHANGE_LIMIT && Distinct_Times(arr)) {
    std::sort(arr.begin(), arr.end(), [](const Leg& a, const Leg& b) {
      return a.LastTime < b.LastTime;
    });
    return;
  }
  for (std::size_t x = 0; x < arr.size(); ++x) {
    for (std::size_t y = x + 1; y < arr.size(); ++y) {
      if (arr[x].LastTime > arr[y].LastTime) std::swap(arr[x], arr[y]);
    }
  }
}

void calculate(const Leg_Table& arr, std::int64_t* bus_fee,
               std::int64_t* metro_fee, std::string_view terminal) {
  For_Each_Share(arr, terminal, [&](const Leg& leg, std::int64_t share) {
    if (leg.Mot == BUS)
      Add_Won(bus_fee, share, "bus total");
    else
      Add_Won(metro_fee, share, "metro total");
  });
}

namespace {

// The transfer history held in memory, read line by line as Line_Reader
// reads a file.
class History_Bytes {
 public:
  explicit History_Bytes(std::string_view bytes) : bytes_(bytes) {}
  bool Next(std::string_view& line) {
    if (at_ >= bytes_.size()) return false;
    std::size_t stop = bytes_.find('\n', at_);
    newline_ = stop != std::string_view::npos;
    if (!newline_) stop = bytes_.size();
    line = bytes_.substr(at_, stop - at_);
    at_ = stop + 1;
    ++line_number_;
    return true;
  }
  bool Ended_By_Newline() const { return newline_; }
  long Line_Number() const { return line_number_; }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
  bool newline_ = false;
  long line_number_ = 0;
};

// Settles every journey of the history lines, up to the closing END.
template <typename Lines>
void Settle_History(Lines& lines, Journey_Observer* observer,
                    Unsettled_Journeys& unsettled) {
  Journey_Settler settler(observer, unsettled);
  std::string_view line;
  Data record;
  while (lines.Next(line)) {
    if (line == "END" && !lines.Ended_By_Newline()) {
      settler.Finish();
      return;
    }
    if (Fill_Data(record, line, HISTORY_FILE, lines.Line_Number()))
      settler.Add(record);
  }
  Fail(HISTORY_FILE, 0, "ends without its END mark");
}

}  // namespace

void Transfer_Process(const std::string& path) {
  Line_Reader reader(path);
  Unsettled_Journeys unsettled;
  unsettled.keep = 1;
  Settle_History(reader, nullptr, unsettled);
  unsettled.Raise_First();
}

void Transfer_Process(std::string_view history, Journey_Observer& observer,
                      Unsettled_Journeys& unsettled) {
  History_Bytes lines(history);
  Settle_History(lines, &observer, unsettled);
}

namespace {

// Journeys gathered at a time: their records fit in the caches.
constexpr std::size_t GATHER_BLOCK = 256;

// Hands the records of journeys first..end, gathered from their nodes, to
// settler in history-line order.
void Feed_Settler(const Journey_Table& journeys, std::size_t first,
                  Journey_Settler& settler) {
  Gathered_Journeys gathered;
  const std::size_t count = journeys.Size();
  for (std::size_t block = first; block < count; block += GATHER_BLOCK) {
    Gather_Journeys(journeys, block, std::min(count, block + GATHER_BLOCK),
                    count, gathered, nullptr);
    for (const Line_Record& r : gathered.records) settler.Add(r.record);
  }
}

// The legs of journey j of gathered, in line order.
void Legs_Of(const Gathered_Journeys& gathered, std::size_t j,
             Leg_Table& legs) {
  legs.clear();
  for (std::size_t r = gathered.starts[j]; r < gathered.starts[j + 1]; ++r) {
    const Data& d = gathered.records[r].record;
    legs.push_back({d.LastTime, d.Mot, d.Balance});
  }
}

// Works out journeys first..stop into worked, gathering their records from
// their nodes a block at a time; legs is room for one journey's legs.
void Work_Out_Chunk(const Journey_Table& journeys, std::size_t first,
                    std::size_t stop, Gathered_Journeys& gathered,
                    Leg_Table& legs, Worked_Journeys& worked) {
  worked.Clear();
  for (std::size_t block = first; block < stop; block += GATHER_BLOCK) {
    Gather_Journeys(journeys, block, std::min(stop, block + GATHER_BLOCK), stop,
                    gathered, nullptr);
    Work_Out_Journeys(gathered, legs, worked);
  }
}

// Whether the journeys of worked, credited after those early told, keep
// every running sum of shares within early's limit, the shares of a journey
// that cannot be apportioned (up to its failing one) included.
bool Within_Limit(const Worked_Journeys& worked, const Told_Early& early) {
  Wide_Won sums[2] = {early.bus, early.metro};
  for (const Worked_Journeys::Journey& w : worked.journeys) {
    Wide_Won running[2] = {sums[0], sums[1]};
    for (std::size_t k = w.first; k < w.first + w.worked; ++k) {
      Wide_Won& sum = running[worked.legs[k].Mot == BUS ? 0 : 1];
      sum += worked.shares[k];
      if (sum > early.limit || sum < -early.limit) return false;
    }
    if (w.worked == w.legs) std::copy(running, running + 2, sums);
  }
  return true;
}

}  // namespace

void Work_Out_Journeys(const Gathered_Journeys& gathered, Leg_Table& legs,
                       Worked_Journeys& worked) {
  const std::vector<std::size_t>& starts = gathered.starts;
  for (std::size_t j = 0; j + 1 < starts.size(); ++j) {
    Legs_Of(gathered, j, legs);
    worked.Work_Out(gathered.records[starts[j]].record.TerminalInfo, legs);
  }
}

void Tell_Early(const Worked_Journeys& worked, Told_Early& early) {
  if (early.stopped || !Within_Limit(worked, early)) {
    early.stopped = true;
    return;
  }
  for (const Worked_Journeys::Journey& w : worked.journeys) {
    if (w.worked < w.legs) {
      early.unsettled.Add(worked.problems[w.problem]);
      continue;
    }
    Settled_Journey journey = Journey_Of(worked, w);
    // Within the limit, so none of these sums can leave 64 bits.
    for (std::size_t k = 0; k < w.legs; ++k) {
      journey.collected += journey.legs[k].Balance;
      (journey.legs[k].Mot == BUS ? journey.bus_credit
                                  : journey.metro_credit) += journey.shares[k];
    }
    early.bus += journey.bus_credit;
    early.metro += journey.metro_credit;
    early.observer.Settled(journey);
  }
  ++early.chunks;
}

bool Credit_Journeys(const Gathered_Journeys& gathered, Leg_Table& legs,
                     Chunk_Credit& credit) {
  const std::vector<std::size_t>& starts = gathered.starts;
  for (std::size_t j = 0; j + 1 < starts.size(); ++j) {
    Legs_Of(gathered, j, legs);
    Sort_Legs(legs);
    try {
      For_Each_Share(legs, gathered.records[starts[j]].record.TerminalInfo,
                     [&](const Leg& leg, std::int64_t share) {
                       (leg.Mot == BUS ? credit.bus : credit.metro).Add(share);
                     });
    } catch (const Settlement_Error&) {
      return false;
    }
  }
  return true;
}

void Transfer_Process(const Journey_Table& journeys) {
  const std::vector<Chunk_Credit>& credits = journeys.Credits();
  assert(credits.size() ==
         (journeys.Size() + JOURNEY_CHUNK - 1) / JOURNEY_CHUNK);
  std::size_t c = 0;
  for (; c < credits.size(); ++c) {
    std::int64_t bus = Total_bus_fee, metro = Total_metro_fee;
    if (!credits[c].settled || !credits[c].bus.Add_To(bus) ||
        !credits[c].metro.Add_To(metro))
      break;
    Total_bus_fee = bus;
    Total_metro_fee = metro;
  }
  if (c == credits.size()) return;
  // From chunk c on, a journey cannot be apportioned or a total would leave
  // 64 bits: settled journey by journey from there, the first such journey
  // is named as reading the history would name it.
  Unsettled_Journeys unsettled;
  unsettled.keep = 1;
  Journey_Settler settler(nullptr, unsettled);
  Feed_Settler(journeys, c * JOURNEY_CHUNK, settler);
  settler.Finish();
  unsettled.Raise_First();
}

void Transfer_Process(const Journey_Table& journeys, Journey_Observer& observer,
                      Unsettled_Journeys& unsettled, const Told_Early* early) {
  const std::size_t count = journeys.Size();
  std::size_t told = 0;  // chunks
  if (early != nullptr) {
    // Within the limit: neither total can leave 64 bits.
    Add_Won(&Total_bus_fee, static_cast<std::int64_t>(early->bus), "bus total");
    Add_Won(&Total_metro_fee, static_cast<std::int64_t>(early->metro),
            "metro total");
    unsettled.Add_All(early->unsettled);
    told = early->chunks;
  }
  const std::size_t chunks = (count + JOURNEY_CHUNK - 1) / JOURNEY_CHUNK;
  assert(told <= chunks);
  Run_Alternate_Chunks(chunks - told, [&] {
    return [&, gathered = Gathered_Journeys(), legs = Leg_Table(),
            worked = Worked_Journeys()](std::size_t c,
                                        Chunk_Turns& turns) mutable {
      std::size_t first = (told + c) * JOURNEY_CHUNK;
      Work_Out_Chunk(journeys, first, std::min(count, first + JOURNEY_CHUNK),
                     gathered, legs, worked);
      return turns.Take(c, [&] {
        for (std::size_t j = 0; j < worked.journeys.size(); ++j)
          Credit_Worked(worked, j, observer, unsettled);
      });
    };
  });
}
