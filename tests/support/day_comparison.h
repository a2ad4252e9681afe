// Runs the built program on many random days at once and compares every
// output byte with what the plain model says.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Comparison_Summary {
  int days = 0;
  int error_days = 0;  // days on which the model expects the run to stop
  // One message per day that differed, naming its seed and the folder kept.
  std::vector<std::string> failures;
};

// Runs the days of seeds first .. first+count-1 with up to `parallel`
// program runs at a time, then, unless audit is empty, that audit program
// on what each run left. Folders of days that pass are removed.
Comparison_Summary Compare_Days(const std::string& executable,
                                const std::string& audit, std::uint64_t first,
                                int count, int parallel);
