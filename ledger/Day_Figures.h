// What the ledger keeps of one settled day: its nine files and its figures.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The six payment files, the transfer history and the two summaries.
constexpr std::size_t DAY_FILES = 9;
constexpr std::size_t PAYMENT_FILE_COUNT = 6;

struct Day_File {
  std::string name;
  std::int64_t bytes = 0;
  std::string sha256;  // lower-case hexadecimal
};

struct Day_Figures {
  std::array<Day_File, DAY_FILES> files;
  std::int64_t bus_total = 0;  // won
  std::int64_t metro_total = 0;
  std::int64_t bus_last_tag = 0;
  std::int64_t metro_last_tag = 0;
  std::array<std::int64_t, PAYMENT_FILE_COUNT> taps{};
  std::int64_t journeys = 0;  // transfer journeys
  std::int64_t legs = 0;
  std::int64_t collected = 0;
  std::int64_t bus_credit = 0;
  std::int64_t metro_credit = 0;
  std::int64_t residue = 0;  // credited minus collected
};

// What the audit of a day's directory found: figures to record, or the
// audit's own words for why the day is not settled or not consistent.
struct Day_Audit {
  std::vector<std::string> problems;  // empty: consistent
  Day_Figures figures;
};

// One of a day's files as it is now; problem says why it could not be read.
struct File_Now {
  Day_File file;
  std::string problem;
};
