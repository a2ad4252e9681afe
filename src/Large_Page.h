// The large page: the unit the record arena and the big arrays are mapped
// in, so that the system can back them with fewer, larger pages.
#pragma once

#include <cstddef>
#include <cstdint>

// The size of a large page; mappings start on such a boundary.
constexpr std::size_t LARGE_PAGE = std::size_t{2} << 20;

// bytes rounded up to a whole number of large pages.
inline std::size_t Round_Up_To_Large_Page(std::uint64_t bytes) {
  return static_cast<std::size_t>((bytes + LARGE_PAGE - 1) / LARGE_PAGE *
                                  LARGE_PAGE);
}
