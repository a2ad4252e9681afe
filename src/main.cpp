// fare-settlement: settles one day's bus and metro fare revenue once the
// external terminal raises the enable flag. Arguments are ignored.
#include <cstdio>
#include <exception>
#include <new>
#include <system_error>

#include "Calculating_System.h"
#include "Os.h"
#include "Settlement_Error.h"
#include "Standard_Streams.h"
#include "Stop_Signals.h"

namespace {

const char PROGRAM[] = "fare-settlement";

// Prints the one line for the failure being handled; returns the exit
// status: 2 once the outputs are published, else 1. Prints without
// allocating, since memory may have run out.
int Report_Failure() {
  try {
    throw;
  } catch (const Report_Error &error) {
    Print_Error_Line(PROGRAM, error.what());
    return 2;
  } catch (const std::bad_alloc &) {
  } catch (const std::system_error &error) {
    // A thread that cannot start for want of memory for its stack.
    if (error.code() != std::errc::resource_unavailable_try_again) {
      Print_Error_Line(PROGRAM, error.what());
      return 1;
    }
  } catch (const std::exception &error) {
    Print_Error_Line(PROGRAM, error.what());
    return 1;
  }
  char message[256];
  std::snprintf(message, sizeof message, "out of memory while %s", Run_Step);
  Print_Error_Line(PROGRAM, message);
  return 1;
}

} // namespace

int main(int argc, char **argv) {
  // Before anything is opened: a closed standard descriptor would be taken
  // by the first file opened, and the report written into it.
  if (!Os_Start_Process(argc, argv))
    return 1;
  try {
    Stop_On_Signals(PROGRAM);
    Create_Settlement_State();
    Initiation_Control();
  } catch (...) {
    return Report_Failure();
  }
  return 0;
}
