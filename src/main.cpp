// fare-settlement: settles one day's bus and metro fare revenue once the
// external terminal raises the enable flag. Arguments are ignored.
#include <cstdio>

#include "Calculating_System.h"
#include "Program_Main.h"
#include "Settlement_Error.h"
#include "Standard_Streams.h"
#include "Stop_Signals.h"

namespace {

const char PROGRAM[] = "fare-settlement";

// Names the step the run was at: "out of memory while STEP".
bool Out_Of_Memory(char* line, std::size_t size, bool) {
  std::snprintf(line, size, "out of memory while %s", Run_Step);
  return true;
}

// Settles the day: 0, or 2 once the outputs are published but the report
// could not be written; any other failure is thrown.
int Settle(int, char**) {
  try {
    Stop_On_Signals(PROGRAM);
    Create_Settlement_State();
    Initiation_Control();
  } catch (const Report_Error& error) {
    Print_Error_Line(PROGRAM, error.what());
    return 2;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return Run_Main({PROGRAM, 1, Out_Of_Memory}, Settle, argc, argv);
}
