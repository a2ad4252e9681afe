// Memory straight from the system, in large pages where it offers them.
#pragma once

#include <cstddef>
#include <cstdint>

// The size of a large page; mappings start on such a boundary.
constexpr std::size_t LARGE_PAGE = std::size_t{2} << 20;
// bytes rounded up to a whole number of large pages.
std::size_t Round_Up_To_Large_Page(std::uint64_t bytes);

// Zeroed memory straight from the system, in large pages where it offers
// them (fewer page faults for the big arrays of a large day). Throws
// std::bad_alloc when there is none.
void* Map_Memory(std::size_t bytes);
// Address space for bytes, inaccessible until mprotect opens parts of it,
// starting on a large-page boundary. Costs no memory by itself. Throws
// std::bad_alloc when the system refuses it; Unmap_Memory returns it.
void* Reserve_Memory(std::size_t bytes);
void Unmap_Memory(void* memory, std::size_t bytes);

// Makes every thread allocate from the one heap of the C library. Its
// default gives each thread that allocates a heap of its own, taking 64 MiB
// of address space (128 MiB while it is set up) however little it holds:
// under an address-space limit a small day could then run out of memory,
// depending on which thread allocated first. The threads allocate little;
// their records come from the arena.
void Use_One_Heap();
