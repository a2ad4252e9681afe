// fare-settlement: settles one day's bus and metro fare revenue once the
// external terminal raises the enable flag. Arguments are ignored.
#include <cstdio>
#include <exception>
#include <new>
#include <system_error>

#include "Calculating_System.h"
#include "Os.h"
#include "Settlement_Error.h"
#include "Staged_File.h"

namespace {

// Prints the one line for the failure being handled; returns the exit
// status: 2 once the outputs are published, else 1. Prints without
// allocating, since memory may have run out.
int Report_Failure() {
  try {
    throw;
  } catch (const Report_Error& error) {
    std::fprintf(stderr, "fare-settlement: %s\n", error.what());
    return 2;
  } catch (const std::bad_alloc&) {
  } catch (const std::system_error& error) {
    // A thread that cannot start for want of memory for its stack.
    if (error.code() != std::errc::resource_unavailable_try_again) {
      std::fprintf(stderr, "fare-settlement: %s\n", error.what());
      return 1;
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "fare-settlement: %s\n", error.what());
    return 1;
  }
  std::fprintf(stderr, "fare-settlement: out of memory while %s\n", Run_Step);
  return 1;
}

}  // namespace

int main() {
  // Before anything is opened: a closed standard descriptor would be taken
  // by the first file opened, and the report written into it.
  if (!Os_Start_Process()) return 1;
  try {
    Stop_On_Signals("fare-settlement");
    Create_Settlement_State();
    Initiation_Control();
  } catch (...) {
    return Report_Failure();
  }
  return 0;
}
