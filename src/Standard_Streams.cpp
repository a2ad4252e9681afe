#include "Standard_Streams.h"

#include <algorithm>

#include "Os.h"
#include "Settlement_Error.h"

void Print_Output(std::string_view text) {
  if (!Os_Write_Standard(OS_STANDARD_OUTPUT, text))
    Fail_Os("standard output", "cannot write");
}

void Print_Error(std::string_view text) {
  if (!Os_Write_Standard(OS_STANDARD_ERROR, text))
    Fail_Os("standard error", "cannot write");
}

void Print_Error_Line(std::string_view program, std::string_view message) {
  const std::string_view parts[] = {program, ": ", message, "\n"};
  // One write where the line fits, so that it reaches a shared stream
  // whole; part by part where it does not.
  char line[4096];
  std::size_t size = 0;
  for (std::string_view part : parts) {
    if (part.size() > sizeof line - size) {
      for (std::string_view each : parts)
        Os_Write_Standard(OS_STANDARD_ERROR, each);
      return;
    }
    std::copy(part.begin(), part.end(), line + size);
    size += part.size();
  }
  Os_Write_Standard(OS_STANDARD_ERROR, std::string_view(line, size));
}
