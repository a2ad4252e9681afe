// Memory straight from the system, through the platform layer.
#include "Memory.h"

#include <new>
#include <thread>
#include <utility>

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

void Back_On_Two_Threads(void* memory, std::size_t bytes) {
  // Every page size in use is a multiple of this.
  constexpr std::size_t STEP = 4096;
  auto touch = [](char* from, char* to) {
    for (char* page = from; page < to; page += STEP)
      *static_cast<volatile char*>(page) = 0;
  };
  char* start = static_cast<char*>(memory);
  char* middle = start + bytes / 2 / STEP * STEP;
  std::thread helper(touch, start, middle);
  touch(middle, start + bytes);
  helper.join();
}

void Unmap_Memory(void* memory, std::size_t bytes) {
  Os_Release_Memory(memory, Round_Up_To_Large_Page(bytes));
}

void* Block_Recycler::Take() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!free_.empty()) {
    void* block = free_.back();
    free_.pop_back();
    return block;
  }
  if (left_ == 0) {
    free_.reserve(blocks_ + PIECE_BLOCKS);  // so that Give never allocates
    next_ = static_cast<char*>(Map_Memory(PIECE_BLOCKS * BLOCK_BYTES));
    left_ = PIECE_BLOCKS;
    blocks_ += PIECE_BLOCKS;
  }
  --left_;
  return std::exchange(next_, next_ + BLOCK_BYTES);
}

void Block_Recycler::Give(void* block) {
  std::lock_guard<std::mutex> lock(mutex_);
  free_.push_back(block);
}

Block_Recycler& Recycled_Blocks() {
  static Block_Recycler* recycler = new Block_Recycler;
  return *recycler;
}
