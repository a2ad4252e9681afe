#include "Option_Value.h"

std::string Option_Value(int argc, const char* const* argv, int& i,
                         std::string_view name, const std::string& needs,
                         void (*refuse)(const std::string& message)) {
  std::string_view arg = argv[i];
  std::string value;
  if (name.size() < arg.size()) {
    value = arg.substr(name.size() + 1);
  } else if (i + 1 < argc) {
    value = argv[++i];
    if (value.starts_with("--")) refuse(needs + ", not '" + value + "'");
  }
  if (value.empty()) refuse(needs);
  return value;
}
