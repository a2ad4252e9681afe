// Runs the built fare-settlement executable in a scratch directory holding a
// day's six payment files, with the flag already raised.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "scratch_dir.h"

// The six payment files' contents: bus, then metro 1 to 5.
struct Day {
  std::array<std::string, 6> files;
};

extern const std::array<const char*, 6> PAYMENT_FILES;

struct Run_Result {
  int status = -1;  // exit status, or 128 + signal
  std::string out;  // standard output
  std::string err;  // standard error
};

// Writes the day's files and a raised flag into dir.
void Lay_Out_Day(const Scratch_Dir& dir, const Day& day);
// Runs the executable with dir as its working directory.
Run_Result Run_Settlement(const Scratch_Dir& dir,
                          const std::vector<std::string>& args = {});
