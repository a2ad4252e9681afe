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
#include <cstring>
#include <vector>

#include "Calculating_System.h"

History_Data* Del(History_Data* data) {
  History_Data* a = data->prev;
  History_Data* b = data->next;
  a->next = b;
  b->prev = a;
  return b;
}

namespace {

// TerminalInfo packed into 9 bytes, zero after the text: the text has at
// most 9 characters and none is NUL, so equal keys mean equal texts.
struct Terminal_Key {
  std::uint64_t low;  // characters 0..7
  std::uint8_t last;  // character 8
};

Terminal_Key Key_Of(const Data& record) {
  char bytes[16] = {};
  std::memcpy(bytes, record.TerminalInfo,
              strnlen(record.TerminalInfo, TERMINALINFO_WIDTH));
  Terminal_Key key;
  std::memcpy(&key.low, bytes, 8);
  key.last = static_cast<std::uint8_t>(bytes[8]);
  return key;
}

// A full mix of both parts: the index uses the low bits of the result.
std::uint64_t Hash(const Terminal_Key& key) {
  std::uint64_t h = key.low ^ (key.last * 0x9E3779B97F4A7C15ULL);
  h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9ULL;
  h = (h ^ (h >> 27)) * 0x94D049BB133111EBULL;
  return h ^ (h >> 31);
}

// One journey: its trigger and the chain of its other records, linked
// through next in walk order. An unlinked member's prev holds the header of
// the list it came from, which decides its line form.
struct Group {
  History_Data* trigger;
  History_Data* first = nullptr;
  History_Data* last = nullptr;
};

// Open-addressing index from TerminalInfo to group number. A slot holds the
// whole key, so a look-up touches one slot and no record.
class Group_Index {
 public:
  static constexpr std::size_t NONE = ~std::size_t{0};

  explicit Group_Index(std::size_t expected) {
    std::size_t size = 16;
    while (size < expected * 3 / 2) size *= 2;
    slots_ = static_cast<Slot*>(Map_Memory(size * sizeof(Slot)));
    mask_ = size - 1;
  }
  ~Group_Index() { Unmap_Memory(slots_, (mask_ + 1) * sizeof(Slot)); }
  Group_Index(const Group_Index&) = delete;
  Group_Index& operator=(const Group_Index&) = delete;

  // Asks the cache for the slot where the look-up of key starts.
  void Prefetch(const Terminal_Key& key) const {
    __builtin_prefetch(&slots_[Hash(key) & mask_]);
  }

  // The group of key, or NONE; with insert, a missing key gets group next.
  std::size_t Find(const Terminal_Key& key, bool insert, std::size_t next) {
    for (std::size_t at = Hash(key) & mask_;; at = (at + 1) & mask_) {
      Slot& slot = slots_[at];
      if (slot.last_and_group == 0) {
        if (!insert) return NONE;
        slot = {key.low, key.last | (next + 1) << 8};
        return next;
      }
      if (slot.low == key.low && (slot.last_and_group & 0xFF) == key.last)
        return (slot.last_and_group >> 8) - 1;
    }
  }

 private:
  struct Slot {
    std::uint64_t low;
    std::uint64_t last_and_group;  // last character | (group + 1) << 8
  };
  Slot* slots_;  // zeroed: every slot starts empty
  std::size_t mask_;
};

// How many records ahead of the one looked up the walks ask for its slot.
constexpr int PREFETCH_DISTANCE = 64;

// Output that goes to the transfer history file in large writes, or into a
// string when there is no file.
class History_Sink {
 public:
  History_Sink(std::string& out, Staged_File* file) : out_(out), file_(file) {}
  void Line(const Data& record, char terminal_separator) {
    Append_Record_Line(out_, record, terminal_separator);
    if (file_ != nullptr && out_.size() >= FLUSH_SIZE) Flush();
  }
  void Flush() {
    if (file_ == nullptr) return;
    file_->Write(out_);
    out_.clear();
  }

 private:
  static constexpr std::size_t FLUSH_SIZE = 1 << 20;
  std::string& out_;
  Staged_File* file_;
};

std::size_t Count_Candidates() {
  std::size_t candidates = 0;
  for (History_Data* n = B_header->next; n != B_tailer; n = n->next)
    candidates += n->data.Balance < TRANSFER_THRESHOLD;
  return candidates;
}

// Walks ahead of a list walk, asking for the slots of the records it will
// look up.
class Prefetcher {
 public:
  // With triggers_only, only the records below the threshold are asked for.
  Prefetcher(const Group_Index& index, const Record_List& list,
             bool triggers_only)
      : index_(index),
        tailer_(list.tailer),
        ahead_(list.header->next),
        triggers_only_(triggers_only) {
    for (int i = 0; i < PREFETCH_DISTANCE; ++i) Step();
  }
  void Step() {
    while (ahead_ != tailer_ && triggers_only_ &&
           ahead_->data.Balance >= TRANSFER_THRESHOLD)
      ahead_ = ahead_->next;
    if (ahead_ == tailer_) return;
    index_.Prefetch(Key_Of(ahead_->data));
    ahead_ = ahead_->next;
  }

 private:
  const Group_Index& index_;
  const History_Data* tailer_;
  const History_Data* ahead_;
  bool triggers_only_;
};

// The journeys of the bus list's triggers, in trigger order.
std::vector<Group> Find_Triggers(Group_Index& index, std::size_t candidates) {
  std::vector<Group> groups;
  groups.reserve(candidates);
  Prefetcher prefetcher(index, {B_header, B_tailer}, true);
  for (History_Data* n = B_header->next; n != B_tailer; n = n->next) {
    if (n->data.Balance >= TRANSFER_THRESHOLD) continue;
    prefetcher.Step();
    if (index.Find(Key_Of(n->data), true, groups.size()) == groups.size())
      groups.push_back({n});
  }
  return groups;
}

// Unlinks every record of list whose journey is indexed and chains it to
// its group (the trigger itself is only unlinked).
void Collect_Members(const Record_List& list, Group_Index& index,
                     std::vector<Group>& groups) {
  Prefetcher prefetcher(index, list, false);
  History_Data* node = list.header->next;
  while (node != list.tailer) {
    prefetcher.Step();
    std::size_t g = index.Find(Key_Of(node->data), false, 0);
    if (g == Group_Index::NONE) {
      node = node->next;
      continue;
    }
    History_Data* member = node;
    node = Del(member);
    Group& group = groups[g];
    if (member == group.trigger) continue;
    member->next = nullptr;
    member->prev = list.header;
    (group.last != nullptr ? group.last->next : group.first) = member;
    group.last = member;
  }
}

void Separate(History_Sink& sink) {
  std::size_t candidates = Count_Candidates();
  Metro_List_Set metro = Metro_Lists();
  std::vector<Group> groups;
  if (candidates > 0) {
    Group_Index index(candidates);
    groups = Find_Triggers(index, candidates);
    Collect_Members({B_header, B_tailer}, index, groups);
    for (const Record_List& list : metro.list)
      Collect_Members(list, index, groups);
  }
  for (std::size_t g = 0; g < groups.size(); ++g) {
    // The records of later groups are far apart in memory: ask for them
    // early.
    if (g + PREFETCH_DISTANCE < groups.size()) {
      __builtin_prefetch(groups[g + PREFETCH_DISTANCE].trigger);
      __builtin_prefetch(groups[g + PREFETCH_DISTANCE].first);
    }
    const Group& group = groups[g];
    sink.Line(group.trigger->data, ',');
    for (History_Data* m = group.first; m != nullptr; m = m->next)
      sink.Line(m->data, m->prev == metro.list[2].header ? ' ' : ',');
  }
}

}  // namespace

void Separate_Transfers(std::string& history) {
  History_Sink sink(history, nullptr);
  Separate(sink);
  history += "END";
}

void HistoryData_Reader_Manager() {
  Staged_File history(HISTORY_FILE);
  std::string out;
  History_Sink sink(out, &history);
  Separate(sink);
  out += "END";
  sink.Flush();
  history.Finish(false);
  history.Publish();
}
