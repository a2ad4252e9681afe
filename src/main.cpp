// fare-settlement: settles one day's bus and metro fare revenue once the
// external terminal raises the enable flag. Arguments are ignored.
#include <csignal>
#include <cstdio>
#include <exception>
#include <new>

#include "Calculating_System.h"
#include "Memory.h"
#include "Standard_Streams.h"

int main() {
  // Before anything is opened: a closed standard descriptor would be taken
  // by the first file opened, and the report written into it.
  if (!Open_Missing_Standard_Streams()) return 1;
  Use_One_Heap();
  // A write past a file-size limit then fails with an error we can report,
  // instead of killing the run silently.
  std::signal(SIGXFSZ, SIG_IGN);
  Stop_On_Signals("fare-settlement");
  try {
    Create_Settlement_State();
    Initiation_Control();
  } catch (const Report_Error& error) {
    std::fprintf(stderr, "fare-settlement: %s\n", error.what());
    return 2;
  } catch (const Settlement_Error& error) {
    std::fprintf(stderr, "fare-settlement: %s\n", error.what());
    return 1;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "fare-settlement: out of memory\n");
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "fare-settlement: %s\n", error.what());
    return 1;
  }
  return 0;
}
