// Memory straight from the system, in large pages where it offers them.
#pragma once

#include <cstddef>
#include <mutex>
#include <vector>

#include "Large_Page.h"

// Zeroed memory straight from the system, in large pages where it offers
// them (fewer page faults for the big arrays of a large day). Throws
// std::bad_alloc when there is none.
void* Map_Memory(std::size_t bytes);
// Address space for bytes, inaccessible until Commit_Memory opens parts of
// it, starting on a large-page boundary. Costs no memory by itself. Throws
// std::bad_alloc when the system refuses it; Unmap_Memory returns it.
void* Reserve_Memory(std::size_t bytes);
// Makes bytes of a reservation from at on usable; throws std::bad_alloc
// when the system refuses.
void Commit_Memory(void* at, std::size_t bytes);
void Unmap_Memory(void* memory, std::size_t bytes);
// Touches every page of the bytes at memory (mapped, and zero), half of
// them on a second thread, so that the system backs them now, two at a
// time, rather than one by one when a single thread first writes them.
void Back_On_Two_Threads(void* memory, std::size_t bytes);

// Blocks of BLOCK_BYTES carved from pieces of memory straight from the
// system (in large pages: a first touch per 2 MiB instead of per 4 KiB) and
// handed out again once given back, whichever stage gave them: the audit's
// taps, given back as they are grouped, become the separation's members.
// Safe to share between threads; its memory goes back to the system only
// when the process ends.
class Block_Recycler {
 public:
  static constexpr std::size_t BLOCK_BYTES = std::size_t{16} << 10;

  // A block, 16-byte aligned, its bytes unspecified; throws std::bad_alloc
  // when the system has no memory for it.
  void* Take();
  void Give(void* block);

 private:
  static constexpr std::size_t PIECE_BLOCKS =
      (std::size_t{4} << 20) / BLOCK_BYTES;
  std::mutex mutex_;
  std::vector<void*> free_;  // room for every block handed out
  char* next_ = nullptr;     // of the last piece
  std::size_t left_ = 0;     // blocks of the last piece not yet handed out
  std::size_t blocks_ = 0;   // blocks of every piece
};

// The process's recycler, never destroyed: a stage may give back blocks
// while the program's statics are being destroyed.
Block_Recycler& Recycled_Blocks();
