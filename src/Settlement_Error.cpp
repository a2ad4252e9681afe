#include "Settlement_Error.h"

#include <string>

#include "Os.h"

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

void Fail_Os(std::string_view file, std::string_view action) {
  std::string problem(action);
  problem += ": ";
  problem += Os_Last_Error().text;
  Fail(file, 0, problem);
}
