// Lists built up in text, an item at a time.
#pragma once

#include <string>
#include <string_view>

// Adds item to list, after separator unless list is empty.
inline void Append_Item(std::string& list, std::string_view separator,
                        std::string_view item) {
  if (!list.empty()) list += separator;
  list += item;
}
