// Memory straight from the system: mappings aligned to large pages.
#include "Memory.h"

#include <malloc.h>
#include <sys/mman.h>

#include <new>

std::size_t Round_Up_To_Large_Page(std::uint64_t bytes) {
  return static_cast<std::size_t>((bytes + LARGE_PAGE - 1) / LARGE_PAGE *
                                  LARGE_PAGE);
}

namespace {

// Maps size bytes (a multiple of LARGE_PAGE) starting on a large-page
// boundary: maps one large page more and trims the ends.
char* Map_Aligned(std::size_t size, int protection, int flags) {
  void* mapped = ::mmap(nullptr, size + LARGE_PAGE, protection,
                        MAP_PRIVATE | MAP_ANONYMOUS | flags, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  char* start = static_cast<char*>(mapped);
  std::size_t head =
      (LARGE_PAGE - reinterpret_cast<std::uintptr_t>(start) % LARGE_PAGE) %
      LARGE_PAGE;
  if (head != 0) ::munmap(start, head);
  ::munmap(start + head + size, LARGE_PAGE - head);
  return start + head;
}

}  // namespace

void* Map_Memory(std::size_t bytes) {
  // Aligned so that it can be backed by large pages throughout.
  std::size_t size = Round_Up_To_Large_Page(bytes);
  char* start = Map_Aligned(size, PROT_READ | PROT_WRITE, 0);
  ::madvise(start, size, MADV_HUGEPAGE);  // only advice: may fail
  return start;
}

void* Reserve_Memory(std::size_t bytes) {
  return Map_Aligned(Round_Up_To_Large_Page(bytes), PROT_NONE, MAP_NORESERVE);
}

void Unmap_Memory(void* memory, std::size_t bytes) {
  ::munmap(memory, Round_Up_To_Large_Page(bytes));
}

void Use_One_Heap() {
  // The C library's allocator takes it; an allocator that replaces it (as
  // AddressSanitizer's does) refuses it, having no such heaps to merge, and
  // is then left as it is.
  ::mallopt(M_ARENA_MAX, 1);
}
