// Transfer separation: moves every transfer journey out of the record lists
// into the transfer history file, one group of lines per journey.
//
// A journey's trigger is the first bus record below the threshold with its
// TerminalInfo: every record sharing that text leaves the lists with the
// trigger, so no later bus record can start a second group for it. The
// triggers are therefore found in one walk of the bus list and indexed by
// TerminalInfo; one walk of the six lists (bus, then metro 1 to 5, each in
// list order) then unlinks every record of an indexed journey and adds it
// to its group in walk order. That is the order of the lines of a group:
// the trigger, the bus records before and after it, then metro lists 1 to 5.
// Groups are written in the order of their triggers in the bus list.
#include <algorithm>
#include <bit>
#include <cassert>
#include <exception>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "Calculating_System.h"
#include "Chunk_Turns.h"
#include "Journey_Observer.h"
#include "Keyed_Hash.h"
#include "Leg_Table.h"
#include "Memory.h"
#include "Record_Line.h"
#include "Record_List.h"
#include "Settlement_Error.h"
#include "Staged_File.h"
#include "Terminal_Key.h"
#include "Transfer_Journeys.h"

namespace {

// Where the transfer history goes (the staged history file, or a string),
// and the list of the journeys left out of it. Chunks of lines arrive whole
// and in order (Write_Groups).
class History_Sink {
 public:
  using Writer = std::function<void(std::string_view)>;
  History_Sink(Writer write, Unsettled_Journeys& unsettled)
      : write_(std::move(write)), unsettled_(unsettled) {}
  // How many journeys left out the list keeps.
  std::size_t Unsettled_Kept() const { return unsettled_.keep; }
  // Writes bytes after what was written before, and lists the journeys
  // left out of them.
  void Bytes(std::string_view bytes, const Unsettled_Journeys& left_out) {
    write_(bytes);
    unsettled_.Add_All(left_out);
  }

 private:
  Writer write_;
  Unsettled_Journeys& unsettled_;
};

// Open-addressing index from TerminalInfo to group number. A slot holds the
// whole key, so a look-up touches one slot and no record. The texts come
// from the payment files, so the slots follow a hash keyed for this process:
// texts chosen to share a slot under a fixed hash would make every look-up
// walk them all. Journeys keep their trigger order whatever the slots.
class Group_Index {
 public:
  static constexpr std::size_t NONE = ~std::size_t{0};

  // Room for expected keys at most two-thirds full (a look-up then probes
  // about two slots on average), plus a few slots so that a tiny index is
  // never full either. Find relies on an empty slot remaining.
  // The count is even, so that the first half of the slots is the first
  // half of the hashes (Place).
  static std::size_t Slots_For(std::size_t expected) {
    return (expected + expected / 2 + 16) & ~std::size_t{1};
  }

  // A large index is backed with memory on two threads before its first
  // key: the trigger walk would otherwise take each page's first touch in
  // turn, on one thread (at 100 million taps, 670 MB: the separation took
  // 8.5 s against 9.2 s, medians of three runs).
  explicit Group_Index(std::size_t expected)
      : hash_(Process_Hash_Key()),
        size_(Slots_For(expected)),
        slots_(static_cast<Slot*>(Map_Memory(size_ * sizeof(Slot)))) {
    constexpr std::size_t BACK_AHEAD_BYTES = std::size_t{1} << 20;
    if (size_ * sizeof(Slot) >= BACK_AHEAD_BYTES)
      Back_On_Two_Threads(slots_, size_ * sizeof(Slot));
  }
  ~Group_Index() { Unmap_Memory(slots_, size_ * sizeof(Slot)); }
  Group_Index(const Group_Index&) = delete;
  Group_Index& operator=(const Group_Index&) = delete;

  // Where the look-up of a key starts, and a coarse order of such places.
  struct Place {
    std::size_t home;     // the hash scaled to the slots by a multiply-high
    std::uint16_t order;  // the hash's top bits: home's order, coarsely
  };
  static constexpr int ORDER_BITS = 12;
  Place Place_Of(const Terminal_Key& key) const {
    __extension__ typedef unsigned __int128 Wide;
    std::uint64_t hash = hash_.Of_Nine(key.first8, key.last);
    return {static_cast<std::size_t>((Wide{hash} * size_) >> 64),
            static_cast<std::uint16_t>(hash >> (64 - ORDER_BITS))};
  }
  // Asks the cache for the slot home.
  void Prefetch(std::size_t home) const { __builtin_prefetch(&slots_[home]); }
  std::size_t Slots() const { return size_; }

  // The group of key (whose home slot is home), or NONE. Reads only.
  std::size_t Find(const Terminal_Key& key, std::size_t home) const {
    for (std::size_t at = home;; at = at + 1 == size_ ? 0 : at + 1) {
      const Slot& slot = slots_[at];
      if (slot.last_and_group == 0) return NONE;
      if (Holds(slot, key)) return Group_Of(slot);
    }
  }
  // What adding a key did.
  enum class Added { NEW, THERE, BEYOND };
  // Adds key, whose home slot is home, with group, probing slots home to
  // end - 1 only: NEW, or THERE when key is already there, or BEYOND,
  // changing nothing, when the probe reaches end. Two threads may add at
  // once where their probes stay apart.
  Added Add_Before(const Terminal_Key& key, std::size_t home, std::size_t end,
                   std::size_t group) {
    for (std::size_t at = home; at < end; ++at) {
      Slot& slot = slots_[at];
      if (slot.last_and_group == 0) {
        slot = {key.first8, key.last | (group + 1) << 8};
        return Added::NEW;
      }
      if (Holds(slot, key)) return Added::THERE;
    }
    return Added::BEYOND;
  }
  // As Add_Before, over the whole index: never BEYOND. The keys are never
  // more than expected, which leaves a third of the slots empty, and the
  // probe ends only at an empty slot.
  Added Add(const Terminal_Key& key, std::size_t home, std::size_t group) {
    Added added = Add_Before(key, home, size_, group);
    if (added == Added::BEYOND) added = Add_Before(key, 0, home, group);
    assert(added != Added::BEYOND);
    return added;
  }
  // Replaces the group of every key in slots from to to - 1 by
  // renumber(group). Two threads may renumber apart.
  template <class Renumber>
  void Renumber_Slots(std::size_t from, std::size_t to, Renumber renumber) {
    for (std::size_t at = from; at < to; ++at) {
      Slot& slot = slots_[at];
      if (slot.last_and_group == 0) continue;
      slot.last_and_group =
          (slot.last_and_group & 0xFF) | (renumber(Group_Of(slot)) + 1) << 8;
    }
  }
  // Where the second half of the slots starts: the homes of the places
  // whose order is in the first half are the slots below it.
  std::size_t Half() const { return size_ / 2; }

 private:
  struct Slot {
    std::uint64_t first8;
    std::uint64_t last_and_group;  // last character | (group + 1) << 8
  };
  static bool Holds(const Slot& slot, const Terminal_Key& key) {
    return slot.first8 == key.first8 &&
           (slot.last_and_group & 0xFF) == key.last;
  }
  static std::size_t Group_Of(const Slot& slot) {
    return (slot.last_and_group >> 8) - 1;
  }

  Keyed_Hash hash_;
  std::size_t size_;
  Slot* slots_;  // zeroed: every slot starts empty
};

// A record of a list walk, looked up in a batch.
struct Walk_Record {
  History_Data* node;
  Terminal_Key key;
  std::size_t home;
  std::size_t group;  // or, in the trigger walk, what adding it did
};

// Records of a list taken a batch at a time and put in the order of their
// places in the index: looking a batch up in that order sweeps the index in
// order instead of jumping about it (the gain is in bench/README.md).
class Walk_Batch {
 public:
  // Records per batch: enough that successive look-ups of a batch land
  // close together in the index.
  static constexpr std::size_t RECORDS = std::size_t{1} << 16;
  static constexpr std::size_t BUCKETS = std::size_t{1}
                                         << Group_Index::ORDER_BITS;
  // How many look-ups ahead a slot is asked for.
  static constexpr std::size_t AHEAD = 16;

  explicit Walk_Batch(const Group_Index& index)
      : index_(index),
        orders_(std::make_unique_for_overwrite<std::uint16_t[]>(RECORDS)),
        records(std::make_unique_for_overwrite<Walk_Record[]>(RECORDS)),
        order(std::make_unique_for_overwrite<std::uint32_t[]>(RECORDS)) {}

  // Takes the records that select accepts from next on, up to RECORDS,
  // leaving next at the first record not looked at; returns how many.
  template <class Select>
  std::size_t Take(History_Data*& next, const History_Data* tailer,
                   Select select) {
    std::size_t count = 0;
    for (; count < RECORDS && next != tailer; next = next->next) {
      Prefetch_Ahead(next);
      if (!select(next)) continue;
      Walk_Record& record = records[count++];
      record.node = next;
      record.key = Terminal_Key_Of(next->data);
      Group_Index::Place place = index_.Place_Of(record.key);
      record.home = place.home;
      orders_[count - 1] = place.order;
    }
    return count;
  }
  // Fills order with the first count records' positions in the coarse
  // order of their places, keeping list order within a bucket (a counting
  // sort); bucket b's are order[first[b]] to order[first[b + 1] - 1].
  void Order(std::size_t count) {
    std::fill(std::begin(first), std::end(first), 0);
    for (std::size_t i = 0; i < count; ++i) ++first[orders_[i] + 1];
    for (std::size_t b = 0; b < BUCKETS; ++b) first[b + 1] += first[b];
    std::copy(std::begin(first), std::end(first) - 1, std::begin(cursor_));
    for (std::size_t i = 0; i < count; ++i)
      order[cursor_[orders_[i]]++] = static_cast<std::uint32_t>(i);
  }

  // Calls look_up(record) for the records at order[from] to
  // order[to - 1], each record's slot asked for AHEAD look-ups before.
  template <class Look_Up>
  void Sweep(std::size_t from, std::size_t to, Look_Up look_up) {
    for (std::size_t k = from; k < to; ++k) {
      if (k + AHEAD < to) index_.Prefetch(records[order[k + AHEAD]].home);
      look_up(records[order[k]]);
    }
  }

 private:
  const Group_Index& index_;
  // Of records, their places' orders. Left uninitialised, as are the
  // others, so that a small day touches only the memory it fills.
  std::unique_ptr<std::uint16_t[]> orders_;
  std::uint32_t cursor_[BUCKETS];

 public:
  std::unique_ptr<Walk_Record[]> records;
  std::unique_ptr<std::uint32_t[]> order;  // of records, by their places
  std::uint32_t first[BUCKETS + 1];
};

std::size_t Count_Candidates() {
  std::size_t candidates = 0;
  for (History_Data* n = B_header->next; n != B_tailer; n = n->next) {
    Prefetch_Ahead(n);
    candidates += n->data.Balance < TRANSFER_THRESHOLD;
  }
  return candidates;
}

// Which of a walk's candidates (numbered from 0 in list order) are
// triggers, and the rank of each among them: its journey's number.
class Trigger_Ranks {
 public:
  // Throws std::bad_alloc when the system has no memory for them.
  explicit Trigger_Ranks(std::size_t candidates)
      : bits_(candidates / 64 + 1), before_(candidates / 64 + 1) {
    // A candidate is a node, and nodes are numbered in 32 bits.
    assert(candidates <= UINT32_MAX);
  }
  void Set(std::size_t candidate) {
    bits_[candidate / 64] |= std::uint64_t{1} << candidate % 64;
  }
  // Counts the triggers before each word of bits, once all are set.
  void Count() {
    std::uint32_t triggers = 0;
    for (std::size_t w = 0; w < bits_.size(); ++w) {
      before_[w] = triggers;
      triggers += static_cast<std::uint32_t>(std::popcount(bits_[w]));
    }
  }
  // How many triggers come before candidate. Reads only.
  std::size_t Rank(std::size_t candidate) const {
    std::uint64_t below = (std::uint64_t{1} << candidate % 64) - 1;
    return before_[candidate / 64] + static_cast<std::size_t>(std::popcount(
                                         bits_[candidate / 64] & below));
  }

 private:
  std::vector<std::uint64_t> bits_;
  std::vector<std::uint32_t> before_;
};

// Indexes the first trigger of each TerminalInfo in one walk of the bus
// list on one thread, takes it out of the list and numbers its journey. A
// candidate's slot is asked for when it enters a ring of IN_ORDER_AHEAD
// candidates and looked up when it leaves it, by when the slot has usually
// arrived (several times faster than plain look-ups).
void Find_Triggers_In_Order(Group_Index& index, Journey_Table& journeys) {
  constexpr std::size_t IN_ORDER_AHEAD = 32;
  struct Ahead {
    History_Data* node;
    Terminal_Key key;
    std::size_t home;
  } ring[IN_ORDER_AHEAD];
  std::size_t entered = 0, handled = 0;
  History_Data* next = B_header->next;
  for (;;) {
    for (; entered - handled < IN_ORDER_AHEAD && next != B_tailer;
         next = next->next) {
      Prefetch_Ahead(next);
      if (next->data.Balance >= TRANSFER_THRESHOLD) continue;
      Ahead& record = ring[entered++ % IN_ORDER_AHEAD];
      record = {next, Terminal_Key_Of(next->data), 0};
      record.home = index.Place_Of(record.key).home;
      index.Prefetch(record.home);
    }
    if (handled == entered) return;
    const Ahead& record = ring[handled++ % IN_ORDER_AHEAD];
    if (index.Add(record.key, record.home, journeys.Size()) !=
        Group_Index::Added::NEW)
      continue;
    Del(record.node);
    record.node->next = record.node->prev = nullptr;
    journeys.Push(record.node);
  }
}

// Does what Find_Triggers_In_Order does, in batches on two threads, for a
// large index, whose look-ups in one walk mostly miss the processor's
// address caches one after another (bench/README.md). A batch of
// candidates is added to the index in the order of their places, on two
// threads that each take one half of the slots, each key with its
// candidate's number: a text's candidates keep their list order within
// their half, so the first of them is the one added (a probe that would
// pass the end of its half is left for after). Then the helper takes the
// added ones out of the list in list order while the main thread takes the
// next batch from the list. At the end each key's candidate number is
// replaced by its rank among the triggers, its journey's number.
class Trigger_Walk {
 public:
  Trigger_Walk(Group_Index& index, Journey_Table& journeys,
               std::size_t candidates)
      : index_(index),
        journeys_(journeys),
        batches_{Walk_Batch(index), Walk_Batch(index)},
        ranks_(candidates) {
    for (auto& left : left_) left.reserve(Walk_Batch::RECORDS);
  }

  // Runs the walk on the main thread and a helper. Nothing in a round
  // throws, so neither thread is left waiting at a meeting.
  void Walk() {
    std::thread helper([this] { Help(); });
    History_Data* next = B_header->next;
    Take(0, next);
    for (std::size_t round = 0;; ++round) {
      const Round& now = rounds_[round % 2];
      stop_ = now.count == 0;
      turn_.Meet();  // the batch taken, the one before done
      if (stop_) break;
      Add_Half(now, 0);
      turn_.Meet();  // both halves added
      Take((round + 1) % 2, next);
    }
    helper.join();
    ranks_.Count();
    std::thread renumber([this] { Renumber_Half(1); });
    Renumber_Half(0);
    renumber.join();
  }

 private:
  // A batch of candidates and the number of its first.
  struct Round {
    std::size_t count = 0;
    std::size_t base = 0;
  };

  // The helper's part of each round: the second half's keys, then the
  // probes left over and the triggers.
  void Help() {
    for (std::size_t round = 0;; ++round) {
      const Round& now = rounds_[round % 2];
      turn_.Meet();
      if (stop_) return;
      Add_Half(now, 1);
      turn_.Meet();
      Add_Left_Over(now);
      Take_Triggers(now);
    }
  }

  // Takes the next batch of candidates from next on into round r.
  void Take(std::size_t r, History_Data*& next) {
    const Round& before = rounds_[(r + 1) % 2];
    Round& round = rounds_[r];
    round.base = before.base + before.count;
    round.count = batches_[r].Take(next, B_tailer, [](const History_Data* n) {
      return n->data.Balance < TRANSFER_THRESHOLD;
    });
    batches_[r].Order(round.count);
  }

  Walk_Batch& Batch_Of(const Round& round) {
    return batches_[&round - rounds_];
  }

  // Adds the candidates of half h (0 or 1) of round's batch to the index;
  // left_[h] gets those whose probe reached the end of the half.
  void Add_Half(const Round& round, int h) {
    constexpr std::size_t MIDDLE = Walk_Batch::BUCKETS / 2;
    Walk_Batch& batch = Batch_Of(round);
    const std::size_t end = h == 0 ? index_.Half() : index_.Slots();
    std::vector<std::uint32_t>& left = left_[h];
    left.clear();
    batch.Sweep(batch.first[h * MIDDLE], batch.first[(h + 1) * MIDDLE],
                [&](Walk_Record& record) {
                  assert((record.home < index_.Half()) == (h == 0));
                  auto i =
                      static_cast<std::uint32_t>(&record - &batch.records[0]);
                  Added added = index_.Add_Before(record.key, record.home, end,
                                                  round.base + i);
                  record.group = static_cast<std::size_t>(added);
                  if (added == Added::BEYOND) left.push_back(i);
                });
  }

  void Add_Left_Over(const Round& round) {
    Walk_Batch& batch = Batch_Of(round);
    for (const auto& left : left_)
      for (std::uint32_t i : left) {
        Walk_Record& record = batch.records[i];
        record.group = static_cast<std::size_t>(
            index_.Add(record.key, record.home, round.base + i));
      }
  }

  // Takes round's added candidates out of the bus list in list order, each
  // the trigger of the next journey. The main thread meanwhile reads only
  // the next links of later nodes.
  void Take_Triggers(const Round& round) {
    Walk_Batch& batch = Batch_Of(round);
    for (std::size_t i = 0; i < round.count; ++i) {
      Walk_Record& record = batch.records[i];
      if (record.group != static_cast<std::size_t>(Added::NEW)) continue;
      Del(record.node);
      record.node->next = record.node->prev = nullptr;
      ranks_.Set(round.base + i);
      journeys_.Push(record.node);
    }
  }

  // Gives each key of half h of the index its journey's number.
  void Renumber_Half(int h) {
    index_.Renumber_Slots(
        h == 0 ? 0 : index_.Half(), h == 0 ? index_.Half() : index_.Slots(),
        [&](std::size_t candidate) { return ranks_.Rank(candidate); });
  }

  using Added = Group_Index::Added;
  Group_Index& index_;
  Journey_Table& journeys_;
  Walk_Batch batches_[2];  // by round, alternately
  Round rounds_[2];
  Trigger_Ranks ranks_;
  std::vector<std::uint32_t> left_[2];  // per half, of the batch's records
  Two_Thread_Meeting turn_;
  bool stop_ = false;  // set by the main thread before a turn
};

// Walks a list a batch of records at a time, looking each batch up in the
// order of the records' home slots, and calls handle(record) for each in
// list order, record.group being its group or Group_Index::NONE. handle
// may unlink record.node.
template <class Handle>
void Batch_Walk(const Group_Index& index, const Record_List& list,
                Handle handle) {
  Walk_Batch batch(index);
  History_Data* next = list.header->next;
  auto every = [](const History_Data*) { return true; };
  while (std::size_t count = batch.Take(next, list.tailer, every)) {
    batch.Order(count);
    batch.Sweep(0, count, [&](Walk_Record& record) {
      record.group = index.Find(record.key, record.home);
    });
    for (std::size_t i = 0; i < count; ++i) {
      Prefetch_Ahead(batch.records[i].node);
      handle(batch.records[i]);
    }
  }
}

// Unlinks every record of list whose journey is indexed and adds it to the
// journey's members as walk found them; space when the list's lines have a
// space before TerminalInfo. Reads the index only, so two walks over lists
// of their own may run at once.
void Collect_Members(const Record_List& list, const Group_Index& index,
                     Journey_Table& journeys, int walk, bool space) {
  Batch_Walk(index, list, [&](Walk_Record& record) {
    if (record.group == Group_Index::NONE) return;
    Del(record.node);
    journeys.Found(walk, record.group, record.node->data, space);
  });
}

// Collects the members of every journey on two threads: one walks the bus
// list, the other the metro lists, which hold about as many records once
// the loading has left out the metro taps of no journey. The helper is
// always joined; its failure (no memory for members) is thrown after.
void Collect_All_Members(const Group_Index& index, Journey_Table& journeys) {
  journeys.Open_Walks();
  std::exception_ptr failure;
  std::thread helper([&] {
    try {
      for (int i = 1; i < 6; ++i)
        Collect_Members(PAYMENT_FILES[i].List(), index, journeys, 1,
                        PAYMENT_FILES[i].header == &M3_header);
    } catch (...) {
      failure = std::current_exception();
    }
  });
  try {
    Collect_Members({B_header, B_tailer}, index, journeys, 0, false);
  } catch (...) {
    helper.join();
    throw;
  }
  helper.join();
  if (failure) std::rethrow_exception(failure);
}

// Appends the lines of journeys first..stop to out, a block at a time,
// and credits them to credit while their records are at hand (the
// apportionment adds the credits up), or, given worked, works them out
// into it instead, credit then sending the apportionment to the journeys
// themselves; unsettled as for Gather_Journeys.
void Format_Groups(const Journey_Table& journeys, std::size_t first,
                   std::size_t stop, std::string& out,
                   Unsettled_Journeys& unsettled, Chunk_Credit& credit,
                   Gathered_Journeys& gathered, Worked_Journeys* worked) {
  // Journeys gathered before formatting: their records fit in the caches.
  constexpr std::size_t BLOCK = 256;
  Leg_Table legs;
  if (worked != nullptr) {
    worked->Clear();
    credit.settled = false;
  }
  for (std::size_t block = first; block < stop; block += BLOCK) {
    Gather_Journeys(journeys, block, std::min(stop, block + BLOCK), stop,
                    gathered, &unsettled);
    // Room for the longest lines, then cut to what was written.
    std::size_t at = out.size();
    out.resize(at + gathered.records.size() * RECORD_LINE_MAX);
    char* end = out.data() + at;
    for (const Line_Record& r : gathered.records)
      end = Format_Record_Line(end, r.record, r.separator);
    out.resize(static_cast<std::size_t>(end - out.data()));
    if (worked != nullptr)
      Work_Out_Journeys(gathered, legs, *worked);
    else
      credit.settled =
          credit.settled && Credit_Journeys(gathered, legs, credit);
  }
}

// Writes the journeys' lines in journey order, telling early (if not null)
// of them. Two threads format alternate chunks of journeys, the slow part
// with records spread over memory, and take turns to write them.
void Write_Groups(Journey_Table& journeys, History_Sink& sink,
                  Told_Early* early) {
  constexpr std::size_t CHUNK = JOURNEY_CHUNK;
  const std::size_t count = journeys.Size();
  const std::size_t chunks = (count + CHUNK - 1) / CHUNK;
  journeys.Credits().assign(chunks, Chunk_Credit());
  Run_Alternate_Chunks(chunks, [&] {
    Unsettled_Journeys left_out;
    left_out.keep = sink.Unsettled_Kept();
    return [&, out = std::string(), left_out, gathered = Gathered_Journeys(),
            worked = Worked_Journeys()](std::size_t c,
                                        Chunk_Turns& turns) mutable {
      out.clear();
      left_out.count = 0;
      left_out.first.clear();
      Format_Groups(journeys, c * CHUNK, std::min(count, (c + 1) * CHUNK), out,
                    left_out, journeys.Credits()[c], gathered,
                    early != nullptr ? &worked : nullptr);
      return turns.Take(c, [&] {
        sink.Bytes(out, left_out);
        if (early != nullptr) Tell_Early(worked, *early);
      });
    };
  });
}

void Separate(History_Sink& sink, Told_Early* early = nullptr) {
  Journey_Table& journeys = Transfer_Journeys;
  journeys.Release();
  std::size_t candidates = Count_Candidates();
  if (candidates == 0) return;
  Group_Index index(candidates);
  journeys.Create(candidates);
  if (index.Slots() < Batched_Trigger_Walk_From)
    Find_Triggers_In_Order(index, journeys);
  else
    Trigger_Walk(index, journeys, candidates).Walk();
  Collect_All_Members(index, journeys);
  Write_Groups(journeys, sink, early);
}

}  // namespace

// About 11 million bus taps below 1050 won: between the 10M-tap day's
// index, found in one walk, and the 100M-tap day's, found in batches (the
// figures are in bench/README.md).
std::size_t Batched_Trigger_Walk_From = std::size_t{1} << 24;

void Separate_Transfers(std::string& history, Unsettled_Journeys& unsettled) {
  Separate_Transfers([&](std::string_view bytes) { history.append(bytes); },
                     unsettled);
}

void Separate_Transfers(const std::function<void(std::string_view)>& write,
                        Unsettled_Journeys& unsettled, Told_Early* early) {
  History_Sink sink(write, unsettled);
  Separate(sink, early);
  write("END");
}

Staged_File HistoryData_Reader_Manager() {
  Staged_File history(HISTORY_FILE);
  Unsettled_Journeys unsettled;
  unsettled.keep = 1;
  History_Sink sink([&](std::string_view bytes) { history.Write(bytes); },
                    unsettled);
  Separate(sink);
  unsettled.Raise_First();
  history.Write("END");
  history.Finish(false);
  return history;
}
