// The record lists: doubly linked lists between two sentinels, of nodes
// taken from the process's record arena.
#include "Record_List.h"

#include <algorithm>
#include <mutex>
#include <new>

#include "Memory.h"
#include "Os.h"

// --- Record arena ------------------------------------------------------------

History_Data* Node_Arena_Base;

Node_Arena::Node_Arena(std::uint64_t capacity)
    : capacity_(std::min<std::uint64_t>(capacity, MAX_NODES)) {
  // Inaccessible until Take opens it: reserving costs no memory, and the
  // system charges memory only for the parts opened.
  base_ = static_cast<History_Data*>(
      Reserve_Memory(capacity_ * sizeof(History_Data)));
}

Node_Arena::~Node_Arena() {
  Unmap_Memory(base_, capacity_ * sizeof(History_Data));
}

std::uint32_t Node_Arena::Take(std::uint32_t count, std::uint32_t& taken) {
  if (used_ >= capacity_)
    throw Arena_Full("more records than one run can hold (" +
                     std::to_string(capacity_ - 1) + ")");
  std::uint64_t first = used_;
  taken = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(count, capacity_ - first));
  std::uint64_t end_bytes = (first + taken) * sizeof(History_Data);
  // The range is made usable in steps of whole large pages, so that the
  // system can back it with large pages.
  if (end_bytes > usable_bytes_) {
    std::size_t grown =
        std::min(Round_Up_To_Large_Page(end_bytes),
                 Round_Up_To_Large_Page(capacity_ * sizeof(History_Data)));
    char* from = reinterpret_cast<char*>(base_) + usable_bytes_;
    Commit_Memory(from, grown - usable_bytes_);
    usable_bytes_ = grown;
  }
  used_ = first + taken;
  return static_cast<std::uint32_t>(first);
}

namespace {

// The process's arena numbers as many nodes as links can name, unless an
// address-space limit is set: then it reserves a quarter of the limit, and
// leaves the rest to everything else the run maps.
std::uint64_t Arena_Capacity() {
  std::uint64_t capacity = Node_Arena::MAX_NODES;
  if (std::optional<std::uint64_t> limit = Os_Address_Space_Limit())
    capacity =
        std::min<std::uint64_t>(capacity, *limit / 4 / sizeof(History_Data));
  return capacity;
}

Node_Arena& Process_Arena() {
  static Node_Arena arena(Arena_Capacity());
  return arena;
}

// Each thread takes its nodes from a chunk of the arena of its own, so that
// one pointer bump per node replaces a heap allocation and threads meet at
// the lock only once per chunk. A chunk is at most a 64th of the arena: what
// is left of the other threads' chunks when the arena runs out is small.
constexpr std::uint32_t CHUNK_NODES = 1 << 20;

std::uint32_t Chunk_Nodes(const Node_Arena& arena) {
  return static_cast<std::uint32_t>(
      std::clamp<std::uint64_t>(arena.Capacity() / 64, 1, CHUNK_NODES));
}

struct Thread_Chunk {
  History_Data* next = nullptr;
  History_Data* end = nullptr;
};
thread_local Thread_Chunk current_chunk;

History_Data* New_Node() {
  Thread_Chunk& chunk = current_chunk;
  if (chunk.next == chunk.end) {
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    Node_Arena& arena = Process_Arena();
    if (Node_Arena_Base == nullptr) Node_Arena_Base = arena.Base();
    std::uint32_t taken = 0;
    chunk.next = arena.Base() + arena.Take(Chunk_Nodes(arena), taken);
    chunk.end = chunk.next + taken;
  }
  History_Data* node = chunk.next++;
  *node = History_Data{};
  return node;
}

}  // namespace

void Create_List(History_Data*& header, History_Data*& tailer) {
  header = New_Node();
  tailer = New_Node();
  header->next = tailer;
  tailer->prev = header;
}

History_Data* Append(History_Data* last, History_Data* tailer) {
  History_Data* node = New_Node();
  node->next = tailer;
  node->prev = last;
  last->next = node;
  tailer->prev = node;
  return node;
}

void Move_Records_To_End(History_Data* tailer, History_Data* from_header,
                         History_Data* from_tailer) {
  if (from_header->next == from_tailer) return;
  History_Data* first = from_header->next;
  History_Data* last = from_tailer->prev;
  History_Data* before = tailer->prev;
  before->next = first;
  first->prev = before;
  last->next = tailer;
  tailer->prev = last;
  from_header->next = from_tailer;
  from_tailer->prev = from_header;
}
