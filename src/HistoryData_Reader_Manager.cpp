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

// TerminalInfo as two words, zero after the text, for hashing and equality.
struct Terminal_Key {
  std::uint64_t low;
  std::uint64_t high;
  bool operator==(const Terminal_Key&) const = default;
};

Terminal_Key Key_Of(const Data& record) {
  char bytes[16] = {};
  std::memcpy(bytes, record.TerminalInfo,
              strnlen(record.TerminalInfo, TERMINALINFO_WIDTH));
  Terminal_Key key;
  std::memcpy(&key.low, bytes, 8);
  std::memcpy(&key.high, bytes + 8, 8);
  return key;
}

std::uint64_t Hash(const Terminal_Key& key) {
  std::uint64_t h = key.low * 0x9E3779B97F4A7C15ULL ^ key.high;
  h *= 0xBF58476D1CE4E5B9ULL;
  return h ^ (h >> 29);
}

// One journey: its trigger and the chain of its other records, linked
// through next in walk order. An unlinked member's prev holds the header of
// the list it came from, which decides its line form.
struct Group {
  History_Data* trigger;
  Terminal_Key key;
  History_Data* first = nullptr;
  History_Data* last = nullptr;
};

// Open-addressing index from TerminalInfo to group number.
class Group_Index {
 public:
  explicit Group_Index(std::size_t expected) {
    std::size_t size = 16;
    while (size < expected * 2) size *= 2;
    slots_.assign(size, 0);
    mask_ = size - 1;
  }

  // The group of key, or -1; with insert, a new group numbered next is made.
  long Find(const std::vector<Group>& groups, const Terminal_Key& key,
            bool insert, long next) {
    for (std::size_t at = Hash(key) & mask_;; at = (at + 1) & mask_) {
      std::uint32_t slot = slots_[at];
      if (slot == 0) {
        if (!insert) return -1;
        slots_[at] = static_cast<std::uint32_t>(next + 1);
        return next;
      }
      if (groups[slot - 1].key == key) return slot - 1;
    }
  }

 private:
  std::vector<std::uint32_t> slots_;
  std::size_t mask_;
};

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

// The journeys of the bus list's triggers, in trigger order.
std::vector<Group> Find_Triggers(Group_Index& index, std::size_t candidates) {
  std::vector<Group> groups;
  groups.reserve(candidates);
  for (History_Data* n = B_header->next; n != B_tailer; n = n->next) {
    if (n->data.Balance >= TRANSFER_THRESHOLD) continue;
    Terminal_Key key = Key_Of(n->data);
    long g = index.Find(groups, key, true, static_cast<long>(groups.size()));
    if (g == static_cast<long>(groups.size())) groups.push_back({n, key});
  }
  return groups;
}

// Unlinks every record of list whose journey is indexed and chains it to
// its group (the trigger itself is only unlinked).
void Collect_Members(const Record_List& list, Group_Index& index,
                     std::vector<Group>& groups) {
  History_Data* node = list.header->next;
  while (node != list.tailer) {
    long g = index.Find(groups, Key_Of(node->data), false, 0);
    if (g < 0) {
      node = node->next;
      continue;
    }
    History_Data* member = node;
    node = Del(member);
    Group& group = groups[static_cast<std::size_t>(g)];
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
  for (const Group& group : groups) {
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
