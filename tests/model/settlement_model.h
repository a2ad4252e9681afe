// A second, deliberately plain settlement of one day, written from the
// rules alone: plain vectors, the quadratic walks, C library conversion.
// It shares no code with the program and is used only to check it.
#pragma once

#include <array>
#include <string>

namespace model {

// What a run over one day must produce.
struct Outcome {
  bool ok = false;
  // On success: the bytes of the three output files and standard output.
  std::string history;
  std::string bus_summary;
  std::string metro_summary;
  std::string report;  // everything after "wait\n"
  // On error: the file the message must name, and its line (0 for none).
  std::string error_file;
  long error_line = 0;
  // Whether trans_history.txt was written before the error (then history
  // holds its bytes).
  bool history_written = false;
};

// Settles a day given the six payment files' bytes: bus, metro 1 to 5.
Outcome Settle(const std::array<std::string, 6>& files);

}  // namespace model
