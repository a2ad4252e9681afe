// A second, deliberately plain settlement of one day, written from the
// rules alone: plain vectors, the quadratic walks, C library conversion.
// It shares no code with the program and is used only to check it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace model {

// One tap record as a record line gives it.
struct Record {
  std::int32_t time = 0;
  int mot = 0;
  int inout = 0;
  std::int32_t balance = 0;
  std::string term;
};

enum class Line_Kind { record, blank, bad };

// Reads one line (without its '\n'): a record, a blank line, or a line
// that must stop the run.
Line_Kind Read_Line(const std::string& line, Record& rec);

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
};

// Settles a day given the six payment files' bytes: bus, metro 1 to 5.
Outcome Settle(const std::array<std::string, 6>& files);

}  // namespace model
