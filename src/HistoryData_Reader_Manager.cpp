// Transfer separation: moves every transfer journey out of the record lists
// into the transfer history file, one group of lines per journey.
//
// A journey's trigger is the first bus record below the threshold with its
// TerminalInfo: every record sharing that text leaves the lists with the
// trigger, so no later bus record can start a second group for it. The
// triggers are therefore found in one walk of the bus list and indexed by
// TerminalInfo; one walk of the six lists (bus, then metro 1 to 5, each in
// list order) then unlinks every record of an indexed journey and chains it
// to its group in walk order. That is the order of the lines of a group:
// the trigger, the bus records before and after it, then metro lists 1 to 5.
// Groups are written in the order of their triggers in the bus list.
#include <algorithm>
#include <cassert>
#include <exception>
#include <functional>
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
  static std::size_t Slots_For(std::size_t expected) {
    return expected + expected / 2 + 16;
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

  // The slot where the look-up of key starts: the hash scaled to the slots
  // by a multiply-high.
  std::size_t Home(const Terminal_Key& key) const {
    __extension__ typedef unsigned __int128 Wide;
    Wide hash = hash_.Of_Nine(key.first8, key.last);
    return static_cast<std::size_t>((hash * size_) >> 64);
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
  // The group of key (whose home slot is home); a missing key gets group
  // next.
  std::size_t Find_Or_Add(const Terminal_Key& key, std::size_t home,
                          std::size_t next) {
    for (std::size_t at = home;; at = at + 1 == size_ ? 0 : at + 1) {
      Slot& slot = slots_[at];
      if (slot.last_and_group == 0) {
        // The search ends only at an empty slot: at least one must stay.
        assert(filled_ + 1 < size_);
        ++filled_;
        slot = {key.first8, key.last | (next + 1) << 8};
        return next;
      }
      if (Holds(slot, key)) return Group_Of(slot);
    }
  }

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
  std::size_t filled_ = 0;
};

// A record of a list walk, looked up ahead of its turn.
struct Walk_Record {
  History_Data* node;
  Terminal_Key key;
  std::size_t home;
  std::size_t group;
};

// How far the list walks look ahead. A record's home slot is prefetched
// when it enters a ring of WALK_RING records, and it is looked up (find)
// WALK_FIND_LEAD turns before it is handled, by when the slot has usually
// arrived; the look-up's own prefetch (the journey) then has the remaining
// turns. A ring much smaller leaves the misses exposed, one much larger
// lets fetched slots be evicted before their use. Measured with fare-bench
// (its "separate transfers" stage, days of 1 and 10 million taps): looking
// ahead made the walks several times faster than plain look-ups; retune by
// timing that stage.
constexpr std::size_t WALK_RING = 32;
constexpr std::size_t WALK_FIND_LEAD = 8;
static_assert(WALK_FIND_LEAD < WALK_RING);

// Walks list in order and hands each record that select accepts to handle,
// but looks records up before their turn so that the walk seldom waits for
// memory: a record's home slot is fetched when it enters the ring,
// find(record) runs WALK_FIND_LEAD turns before handle(record). handle may
// unlink its record.
template <class Select, class Find, class Handle>
void Walk_Ahead(const Record_List& list, const Group_Index& index,
                Select select, Find find, Handle handle) {
  constexpr std::size_t RING = WALK_RING;
  constexpr std::size_t FIND_LEAD = WALK_FIND_LEAD;
  Walk_Record ring[RING];
  std::size_t entered = 0, found = 0, handled = 0;
  History_Data* next = list.header->next;
  for (;;) {
    for (; entered - handled < RING && next != list.tailer; next = next->next) {
      Prefetch_Ahead(next);
      if (!select(next)) continue;
      Walk_Record& record = ring[entered++ % RING];
      record.node = next;
      record.key = Terminal_Key_Of(next->data);
      record.home = index.Home(record.key);
      index.Prefetch(record.home);
    }
    if (handled == entered) return;
    for (; found < entered && found - handled < FIND_LEAD; ++found)
      find(ring[found % RING]);
    handle(ring[handled++ % RING]);
  }
}

std::size_t Count_Candidates() {
  std::size_t candidates = 0;
  for (History_Data* n = B_header->next; n != B_tailer; n = n->next) {
    Prefetch_Ahead(n);
    candidates += n->data.Balance < TRANSFER_THRESHOLD;
  }
  return candidates;
}

// Indexes the first trigger of each TerminalInfo and takes it out of the bus
// list.
void Find_Triggers(Group_Index& index, Journey_Table& journeys) {
  Walk_Ahead(
      {B_header, B_tailer}, index,
      [](const History_Data* n) {
        return n->data.Balance < TRANSFER_THRESHOLD;
      },
      [](Walk_Record&) {},
      [&](Walk_Record& record) {
        std::size_t next = journeys.Size();
        if (index.Find_Or_Add(record.key, record.home, next) != next) return;
        Del(record.node);
        record.node->next = record.node->prev = nullptr;
        journeys.Push(record.node);
      });
}

// A list walked a batch of records at a time, each batch looked up in the
// index in the order of the records' home slots rather than the list's: the
// look-ups of a batch then sweep the index in order instead of jumping
// about it (the gain, and why the trigger walk is not batched, is in
// bench/README.md).
class Batch_Walk {
 public:
  // Records per batch: enough that successive look-ups of a batch land
  // close together in the index.
  static constexpr std::size_t RECORDS = std::size_t{1} << 16;
  // The batch's look-ups are sorted by the top bits of their home slots.
  static constexpr int ORDER_BITS = 12;

  explicit Batch_Walk(const Group_Index& index)
      : index_(index), records_(RECORDS), order_(RECORDS) {}

  // Walks list from its first record and calls handle(record) for each in
  // list order, record.group being its group or Group_Index::NONE. handle
  // may unlink record.node.
  template <class Handle>
  void Walk(const Record_List& list, Handle handle) {
    History_Data* next = list.header->next;
    while (next != list.tailer) {
      std::size_t count = 0;
      for (; count < RECORDS && next != list.tailer; next = next->next) {
        Prefetch_Ahead(next);
        Walk_Record& record = records_[count++];
        record.node = next;
        record.key = Terminal_Key_Of(next->data);
        record.home = index_.Home(record.key);
      }
      Look_Up(count);
      for (std::size_t i = 0; i < count; ++i) {
        Prefetch_Ahead(records_[i].node);
        handle(records_[i]);
      }
    }
  }

 private:
  // Finds the group of the first count records in the order of their home
  // slots (a counting sort by their top bits), each slot asked for a few
  // records ahead.
  void Look_Up(std::size_t count) {
    constexpr std::size_t BUCKETS = std::size_t{1} << ORDER_BITS;
    std::uint32_t start[BUCKETS + 1] = {};
    const std::size_t slots = index_.Slots();
    auto bucket = [&](std::size_t home) {
      __extension__ typedef unsigned __int128 Wide;
      return static_cast<std::size_t>((Wide{home} << ORDER_BITS) / slots);
    };
    for (std::size_t i = 0; i < count; ++i)
      ++start[bucket(records_[i].home) + 1];
    for (std::size_t b = 0; b < BUCKETS; ++b) start[b + 1] += start[b];
    for (std::size_t i = 0; i < count; ++i)
      order_[start[bucket(records_[i].home)]++] = static_cast<std::uint32_t>(i);
    constexpr std::size_t AHEAD = 16;
    for (std::size_t k = 0; k < count; ++k) {
      if (k + AHEAD < count) index_.Prefetch(records_[order_[k + AHEAD]].home);
      Walk_Record& record = records_[order_[k]];
      record.group = index_.Find(record.key, record.home);
    }
  }

  const Group_Index& index_;
  std::vector<Walk_Record> records_;
  std::vector<std::uint32_t> order_;  // of records_, by home slot
};

// Unlinks every record of list whose journey is indexed and adds it to the
// journey's members as walk found them; space when the list's lines have a
// space before TerminalInfo. Reads the index only, so two walks over lists
// of their own may run at once.
void Collect_Members(const Record_List& list, const Group_Index& index,
                     Journey_Table& journeys, int walk, bool space) {
  Batch_Walk(index).Walk(list, [&](Walk_Record& record) {
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
  Find_Triggers(index, journeys);
  Collect_All_Members(index, journeys);
  Write_Groups(journeys, sink, early);
}

}  // namespace

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
