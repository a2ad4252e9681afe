#include "Program_Main.h"

#include <exception>
#include <new>
#include <system_error>

#include "Os.h"
#include "Standard_Streams.h"

namespace {

int Print_Message(const Program_Failures& failures, const char* message) {
  if (failures.print != nullptr)
    failures.print(message);
  else
    Print_Error_Line(failures.program, message);
  return failures.status;
}

// Reports the failure being handled. Memory running out is named without
// allocating, since there may be none.
int Report_Failure(const Program_Failures& failures) {
  char line[256];
  try {
    throw;
  } catch (const std::bad_alloc& error) {
    if (!failures.out_of_memory(line, sizeof line, false))
      return Print_Message(failures, error.what());
  } catch (const std::system_error& error) {
    // A thread that cannot start: no memory for its stack.
    if (error.code() != std::errc::resource_unavailable_try_again ||
        !failures.out_of_memory(line, sizeof line, true))
      return Print_Message(failures, error.what());
  } catch (const std::exception& error) {
    return Print_Message(failures, error.what());
  }
  Print_Error_Line(failures.program, line);
  return failures.status;
}

}  // namespace

int Run_Main(const Program_Failures& failures, int (*body)(int, char**),
             int argc, char** argv) {
  // Before anything is opened: a closed standard descriptor would be taken
  // by the first file opened, and the program's output written into it.
  if (!Os_Start_Process(argc, argv)) return failures.status;
  try {
    return body(argc, argv);
  } catch (...) {
    return Report_Failure(failures);
  }
}
