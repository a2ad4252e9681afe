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
#include "Memory.h"
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

// A member of a journey as its walk found it: what its history line needs
// besides the journey's text, which is the trigger's. 12 bytes, so that the
// members of a chunk of journeys lie together and are put in line order in
// the caches, instead of being fetched one by one from their nodes.
struct Member {
  std::int32_t LastTime;
  std::int32_t Balance;
  std::uint32_t tag;  // journey in its chunk | separator, Mot, InOut

  static constexpr std::uint32_t JOURNEY_BITS = 13;
  static constexpr std::uint32_t SPACE_BIT = 1u << JOURNEY_BITS;
  static_assert(JOURNEY_CHUNK <= std::size_t{1} << JOURNEY_BITS);

  // record as a member of the journey numbered within its chunk; space
  // when its line has a space before TerminalInfo.
  static Member Of(const Data& record, std::size_t journey, bool space) {
    return {record.LastTime, record.Balance,
            static_cast<std::uint32_t>(journey) | (space ? SPACE_BIT : 0) |
                std::uint32_t{static_cast<unsigned char>(record.Mot)} << 16 |
                std::uint32_t{static_cast<unsigned char>(record.InOut)} << 24};
  }
  std::size_t Journey() const { return tag & (SPACE_BIT - 1); }
  char Separator() const { return tag & SPACE_BIT ? ' ' : ','; }
  // The record, with terminal's text.
  Data Record(const char* terminal) const;
};

// The members one walk finds for the journeys of one chunk, in the order
// found: blocks of members from the process's recycler, appended at the
// last block.
class Member_Blocks {
 public:
  // Throws std::bad_alloc when there is no memory for a block.
  void Add(const Member& member) {
    if (last_ == nullptr || last_->count == BLOCK_MEMBERS) New_Block();
    last_->members[last_->count++] = member;
  }
  // Calls visit(member) for each member in the order added.
  template <class Visit>
  void For_Each(Visit visit) const {
    for (const Block* b = first_; b != nullptr; b = b->next)
      for (std::uint32_t k = 0; k < b->count; ++k) visit(b->members[k]);
  }
  // Gives every block back to the recycler.
  void Give_Back();

 private:
  struct Header {
    void* next;
    std::uint32_t count;
  };
  static constexpr std::uint32_t BLOCK_MEMBERS =
      (Block_Recycler::BLOCK_BYTES - sizeof(Header)) / sizeof(Member);
  struct Block {
    Block* next;
    std::uint32_t count;
    Member members[BLOCK_MEMBERS];
  };
  static_assert(sizeof(Block) <= Block_Recycler::BLOCK_BYTES);
  void New_Block();

  Block* first_ = nullptr;
  Block* last_ = nullptr;
};

// The members of one chunk of journeys in line order.
struct Ordered_Chunk {
  static constexpr std::size_t NONE = ~std::size_t{0};
  std::uint64_t separation = 0;  // Journey_Table::Separation() it is of
  std::size_t chunk = NONE;
  std::vector<Member> members;
  std::vector<std::uint32_t> starts;  // one per journey, then the end

  // The members of journey j of the chunk, and how many.
  const Member* Members_Of(std::size_t j, std::size_t& count) const {
    assert(starts.size() > j + 1);
    count = starts[j + 1] - starts[j];
    return members.data() + starts[j];
  }
};

// The journeys in the bus-list order of their triggers. A trigger leaves the
// bus list as soon as it is found. The other records of its journey are
// collected by two walks at once, each over lists of its own: the first
// walks the bus list, the second the metro lists 1 to 5. Each walk adds the
// members it finds to its own blocks of the journey's chunk (Found), so that
// the walks touch neither the table nor each other. Line order is the
// trigger, then the first walk's members and the second's, each in the
// order found: ordering a chunk (Order_Chunk) sorts its members into that
// order, after which they are read by journey (Members_Of).
class Journey_Table {
 public:
  // The first walk's and the second's.
  static constexpr int WALKS = 2;

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
  // Which separation of the process the table holds: each Create makes a
  // new one, so that members ordered from an earlier one are never taken
  // for its own.
  std::uint64_t Separation() const { return separation_; }
  std::size_t Chunks() const {
    return (size_ + JOURNEY_CHUNK - 1) / JOURNEY_CHUNK;
  }
  History_Data* Trigger(std::size_t g) const { return triggers_[g]; }
  // What the journeys of chunk c (JOURNEY_CHUNK journeys from c *
  // JOURNEY_CHUNK) credit, made by the separation as it writes them.
  std::vector<Chunk_Credit>& Credits() { return credits_; }
  const std::vector<Chunk_Credit>& Credits() const { return credits_; }
  void Push(History_Data* trigger) {
    assert(size_ < capacity_);  // one journey per counted trigger at most
    triggers_[size_++] = trigger;
  }
  // Makes room for the walks' members once every trigger is pushed.
  void Open_Walks();
  // Adds record as the next member walk found of journey g. Each walk adds
  // only its own, so two walks may add at once.
  void Found(int walk, std::size_t g, const Data& record, bool space) {
    walks_[walk][g / JOURNEY_CHUNK].Add(
        Member::Of(record, g % JOURNEY_CHUNK, space));
  }
  // Puts the members of chunk c in line order into ordered, once the walks
  // are done. Reads only.
  void Order_Chunk(std::size_t c, Ordered_Chunk& ordered) const;

 private:
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
  std::uint64_t separation_ = 0;
  Node_Link* triggers_ = nullptr;
  std::vector<Member_Blocks> walks_[WALKS];  // per chunk
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
  Ordered_Chunk members;            // of the chunk gathered from last
};

// Copies the records of journeys first..stop, all of one chunk, to
// gathered, ordering the chunk's members when gathered holds another's;
// triggers up to journey limit are asked for ahead. A journey of more than
// MAX_JOURNEY_LEGS legs is left out, and listed in unsettled unless that is
// null.
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
