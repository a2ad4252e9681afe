// Memory straight from the system, through the platform layer.
#include "Memory.h"

#include <new>

#include "Os.h"

void* Map_Memory(std::size_t bytes) {
  // Aligned so that it can be backed by large pages throughout.
  void* memory = Os_Map_Memory(Round_Up_To_Large_Page(bytes));
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

void* Reserve_Memory(std::size_t bytes) {
  void* memory = Os_Reserve_Memory(Round_Up_To_Large_Page(bytes));
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

void Commit_Memory(void* at, std::size_t bytes) {
  if (!Os_Commit_Memory(at, bytes)) throw std::bad_alloc();
}

void Unmap_Memory(void* memory, std::size_t bytes) {
  Os_Release_Memory(memory, Round_Up_To_Large_Page(bytes));
}
