// The transfer journeys between the separation, which takes them out of the
// record lists, and the apportionment, which settles them: each journey's
// trigger and the chain of its other records, in transfer-history order.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Journey_Observer.h"
#include "Leg_Table.h"
#include "Record_List.h"

// Journeys handled as one piece of work: the separation writes and credits
// them a chunk at a time, alternate chunks on two threads. Enough to hide a
// writer's wait for the other, few enough to keep both busy to the end.
constexpr std::size_t JOURNEY_CHUNK = 8192;

__extension__ typedef __int128 Wide_Won;

// A running sum of shares from zero and the lowest and highest values it
// passed through: added to a total, the sum leaves the 64-bit range on the
// way exactly when the total plus either bound does.
struct Running_Credit {
  Wide_Won sum = 0;
  Wide_Won low = 0;
  Wide_Won high = 0;

  void Add(std::int64_t share) {
    sum += share;
    low = std::min(low, sum);
    high = std::max(high, sum);
  }
  // Adds the sum to total unless a step on the way leaves 64 bits.
  bool Add_To(std::int64_t& total) const {
    if (total + low < INT64_MIN || total + high > INT64_MAX) return false;
    total = static_cast<std::int64_t>(total + sum);
    return true;
  }
};

// What the journeys of one chunk credit to each side, leg by leg in journey
// order; settled is false when one of them cannot be apportioned (the sums
// then stop short of it).
struct Chunk_Credit {
  Running_Credit bus;
  Running_Credit metro;
  bool settled = true;
};

// The journeys in the bus-list order of their triggers. A trigger leaves the
// bus list as soon as it is found. The other records of its journey are
// collected by two walks at once, each over lists of its own: the first
// walks the bus list, the second the metro lists 1 to 5. Each walk chains
// the members it finds backwards from the journey's chain[walk], a member's
// next holding the member that walk found before it (none for its first),
// so that adding a member touches only the member and the table. Line order
// is the trigger, then chain 0 and chain 1 each in the order found. An
// unlinked member's prev holds the header of the list it came from, which
// decides its line form. Links of 4 bytes keep the table at 12 bytes a
// journey.
class Journey_Table {
 public:
  struct Journey {
    Node_Link trigger;
    Node_Link chain[2];  // the member each walk found last, if any
  };

  Journey_Table() = default;
  ~Journey_Table() { Release(); }
  Journey_Table(const Journey_Table&) = delete;
  Journey_Table& operator=(const Journey_Table&) = delete;

  // Empties the table and makes room for capacity journeys; throws
  // std::bad_alloc when the system has no memory for them.
  void Create(std::size_t capacity);
  // Empties the table and returns its memory.
  void Release();

  std::size_t Size() const { return size_; }
  Journey& operator[](std::size_t g) { return journeys_[g]; }
  const Journey& operator[](std::size_t g) const { return journeys_[g]; }
  // What the journeys of chunk c (JOURNEY_CHUNK journeys from c *
  // JOURNEY_CHUNK) credit, made by the separation as it writes them.
  std::vector<Chunk_Credit>& Credits() { return credits_; }
  const std::vector<Chunk_Credit>& Credits() const { return credits_; }
  void Push(History_Data* trigger) {
    assert(size_ < capacity_);  // one journey per counted trigger at most
    journeys_[size_++] = {trigger, {nullptr, nullptr}};
  }

 private:
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
  Journey* journeys_ = nullptr;
  std::vector<Chunk_Credit> credits_;
};

// The journeys of the last separation; emptied by Create_Settlement_State.
// Their records stay in the record arena until the program exits.
extern Journey_Table Transfer_Journeys;

// A record copied out of its node with the separator of its history line.
struct Line_Record {
  Data record;
  char separator;
};

// The records of a run of journeys, in history-line order, and where each
// journey's records start.
struct Gathered_Journeys {
  std::vector<Line_Record> records;
  std::vector<std::size_t> starts;  // one per journey kept, then the end
};

// Copies the records of journeys first..stop to gathered; journeys up to
// limit are asked for ahead. A journey of more than MAX_JOURNEY_LEGS legs is
// left out, and listed in unsettled unless that is null. The loop does
// little but load, so the processor overlaps the cache misses of many
// journeys.
void Gather_Journeys(const Journey_Table& journeys, std::size_t first,
                     std::size_t stop, std::size_t limit,
                     Gathered_Journeys& gathered,
                     Unsettled_Journeys* unsettled);

// Credits the journeys of gathered to credit, each as the apportionment
// settles it (legs sorted by time, shares by Leg_Share); legs is room for
// their legs. False at the first journey that cannot be apportioned.
bool Credit_Journeys(const Gathered_Journeys& gathered, Leg_Table& legs,
                     Chunk_Credit& credit);

// Journeys worked out before they are credited: each journey's legs in time
// order and each leg's share, up to the first share that cannot be worked
// out (whose error is kept). Working out needs no totals, so chunks of
// journeys can be worked out on two threads and credited in turn.
struct Worked_Journeys {
  struct Journey {
    char terminal[TERMINALINFO_WIDTH + 1];
    std::size_t first;  // of its legs (and their shares)
    std::size_t legs;
    std::size_t worked;   // legs with a share: all, or up to the failing one
    std::size_t problem;  // in problems, when worked < legs
  };
  std::vector<Journey> journeys;
  std::vector<Leg> legs;
  std::vector<std::int64_t> shares;  // one per leg, 0 past worked
  std::vector<std::string> problems;

  void Clear() {
    journeys.clear();
    legs.clear();
    shares.clear();
    problems.clear();
  }
  // Sorts legs and adds them as the next journey, named terminal.
  void Work_Out(const char* terminal, Leg_Table& arr);
};

// Works out the journeys of gathered into worked, after those it holds;
// legs is room for one journey's legs.
void Work_Out_Journeys(const Gathered_Journeys& gathered, Leg_Table& legs,
                       Worked_Journeys& worked);

// The journeys told to an observer as the separation writes them, a chunk at
// a time in journey order, before the ordinary totals are known. A chunk is
// told only when no running total could leave 64 bits whatever those totals
// turn out to be: each is within ordinary_bound won of zero, and the running
// sums of the shares told stay within half of what that leaves (so that a
// journey's own sums, differences of two of them, fit too). From the first
// chunk that could, none is told: the apportionment credits what was told and
// settles the rest as before, so that the outcome is the one of telling every
// journey afterwards.
struct Told_Early {
  Told_Early(Journey_Observer& observer_, Wide_Won ordinary_bound,
             std::size_t keep)
      : observer(observer_),
        limit(ordinary_bound < INT64_MAX ? (INT64_MAX - ordinary_bound) / 2
                                         : -1) {
    unsettled.keep = keep;
  }

  Journey_Observer& observer;
  const Wide_Won limit;          // of the running sums' distance from zero
  Unsettled_Journeys unsettled;  // the journeys told that cannot be apportioned
  Wide_Won bus = 0;              // what the journeys told credit
  Wide_Won metro = 0;
  std::size_t chunks = 0;  // the chunks told, from the first
  bool stopped = false;    // a chunk was not told
};

// Tells early of the journeys of worked, the next chunk in journey order,
// unless its shares would take a running sum past early's limit; from then
// on tells of none.
void Tell_Early(const Worked_Journeys& worked, Told_Early& early);
