// The tap record and the record lists: every list node of a process lives in
// one arena and is named by a 32-bit number, its Node_Link.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>

#include "Settlement_Error.h"

struct history_data;
using History_Data = history_data;

// The bytes of one list node; the node's definition below checks its layout
// against this, which Node_Link's arithmetic needs before the node is
// defined.
inline constexpr std::size_t NODE_BYTES = 28;

// The first node of the record arena (see Node_Arena); node number n is at
// NODE_BYTES * n bytes from it.
extern History_Data* Node_Arena_Base;

// A link between list nodes: the node's number in the record arena, 0 for no
// node. It converts to and from History_Data* and reads like one
// (node->next->data, link == nullptr), but takes 4 bytes instead of 8, and a
// day's two links per record are a third of its memory.
class Node_Link {
 public:
  Node_Link() = default;
  Node_Link(std::nullptr_t) {}
  Node_Link(History_Data* node)
      : number_(node == nullptr
                    ? 0
                    : static_cast<std::uint32_t>(
                          static_cast<std::size_t>(Bytes(node) -
                                                   Bytes(Node_Arena_Base)) /
                          NODE_BYTES)) {}
  operator History_Data*() const { return number_ == 0 ? nullptr : Node(); }
  History_Data* operator->() const {
    assert(number_ != 0 && "a null link followed");
    return Node();
  }

 private:
  static char* Bytes(History_Data* node) {
    return reinterpret_cast<char*>(node);
  }
  History_Data* Node() const {
    return reinterpret_cast<History_Data*>(Bytes(Node_Arena_Base) +
                                           std::size_t{number_} * NODE_BYTES);
  }

  std::uint32_t number_ = 0;
};

// The record arena: one range of address space reserved for the nodes of a
// whole process, so that a node is named by a 32-bit number. Node 0 is never
// handed out (its number means no node). Only address space is reserved up
// front; Take makes memory usable as nodes are taken, and the system backs a
// page when it is first touched. Nodes are never returned one by one.
class Node_Arena {
 public:
  // The most nodes one arena can number.
  static constexpr std::uint64_t MAX_NODES = UINT32_MAX;

  // Reserves room for capacity nodes (at most MAX_NODES, node 0 included);
  // throws std::bad_alloc when the system refuses the address space.
  explicit Node_Arena(std::uint64_t capacity);
  ~Node_Arena();
  Node_Arena(const Node_Arena&) = delete;
  Node_Arena& operator=(const Node_Arena&) = delete;

  History_Data* Base() const { return base_; }
  std::uint64_t Capacity() const { return capacity_; }
  // Takes up to count further nodes, zeroed and usable, and returns the number
  // of the first; taken tells how many. Throws Arena_Full when none is left:
  // a number past the capacity is never handed out, so links cannot wrap.
  std::uint32_t Take(std::uint32_t count, std::uint32_t& taken);

 private:
  History_Data* base_;
  std::uint64_t capacity_;
  std::uint64_t used_ = 1;          // nodes handed out, node 0 included
  std::uint64_t usable_bytes_ = 0;  // from the start of the range
};

// Thrown by Node_Arena::Take when the arena has no node left.
class Arena_Full : public Settlement_Error {
 public:
  using Settlement_Error::Settlement_Error;
};

// Widest TerminalInfo text of a record line, in bytes (Record_Line.h has the
// other fields').
constexpr std::size_t TERMINALINFO_WIDTH = 9;

// One tap record. TerminalInfo is NUL-terminated (zero after the text); taps
// with equal TerminalInfo belong to one journey. Packed to 20 bytes, so that
// a node takes 28 instead of 32; every field stays 2-byte aligned. A packed
// field cannot be bound to a reference: code copies the values it needs.
struct __attribute__((packed, aligned(2))) data {
  std::int32_t LastTime;
  signed char Mot;
  signed char InOut;
  std::int32_t Balance;
  char TerminalInfo[TERMINALINFO_WIDTH + 1];
};
using Data = data;

// A list node; its links are numbers in the record arena.
struct history_data {
  Node_Link next;
  Node_Link prev;
  Data data;
};
static_assert(sizeof(Data) == 20 && sizeof(History_Data) == NODE_BYTES,
              "the node layout the arena's size figures assume");

// --- Record lists -----------------------------------------------------------
// A doubly linked list of nodes between two sentinels: header->next is the
// first record, tailer->prev the last; an empty list has header->next ==
// tailer. The sentinels' outer links are never used.

// Makes header and tailer a new empty list.
void Create_List(History_Data*& header, History_Data*& tailer);
// Links a new node between last and tailer and returns it. Nodes are never
// freed one by one: their memory is returned when the program exits.
History_Data* Append(History_Data* last, History_Data* tailer);
// Moves every record of the list from_header..from_tailer to the end of the
// list ending at tailer, leaving the first list empty.
void Move_Records_To_End(History_Data* tailer, History_Data* from_header,
                         History_Data* from_tailer);
// Unlinks a record node and returns the node that followed it. The unlinked
// node's memory stays valid until the program exits. Inline: the separation
// unlinks every transfer record.
inline History_Data* Del(History_Data* data) {
  History_Data* before = data->prev;
  History_Data* after = data->next;
  before->next = after;
  after->prev = before;
  return after;
}

// Asks the cache for the bytes some way past node. A list's nodes mostly
// lie one after another in the arena, in list order (each loading thread
// takes a run of nodes of its own), so a walk that follows the links
// prefetches this way the nodes it is about to reach instead of waiting for
// each in turn: walks of the lists ran about five times faster. A prefetch
// never faults, wherever it points.
inline void Prefetch_Ahead(const History_Data* node) {
  constexpr std::size_t AHEAD_BYTES = 2048;
  __builtin_prefetch(reinterpret_cast<const char*>(node) + AHEAD_BYTES);
}

// A list named by its two sentinels.
struct Record_List {
  History_Data* header;
  History_Data* tailer;
};
