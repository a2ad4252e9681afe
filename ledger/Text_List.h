// Lists built up in text, an item at a time, and counts of things.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Adds item to list, after separator unless list is empty.
inline void Append_Item(std::string& list, std::string_view separator,
                        std::string_view item) {
  if (!list.empty()) list += separator;
  list += item;
}

// "1 day", "2 days": count, then one or many as it calls for.
inline std::string Counted(std::size_t count, std::string_view one,
                           std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}
