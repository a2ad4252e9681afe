#include "Settlement_Error.h"

#include <cerrno>
#include <cstring>
#include <string>

void Fail(std::string_view file, long line, std::string_view problem) {
  std::string message(file);
  if (line > 0) {
    message += ':';
    message += std::to_string(line);
  }
  message += ": ";
  message += problem;
  throw Settlement_Error(message);
}

void Fail_Errno(std::string_view file, std::string_view action) {
  std::string problem(action);
  problem += ": ";
  problem += std::strerror(errno);
  Fail(file, 0, problem);
}
