// Command line of fare-ledger.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The ledger used when --db is not given: in the current directory.
constexpr const char* DEFAULT_LEDGER = "fare-ledger.db";

struct Ledger_Options {
  std::string db = DEFAULT_LEDGER;
  std::string command;  // empty with --help or --version
  std::vector<std::string> operands;
  std::optional<std::string> reason;  // record --correct
  std::string csv;                    // statement outputs; empty: none
  std::string json;
  std::string html;
  std::optional<std::int64_t> version;  // verify --version
  bool allow_missing = false;           // close
  bool help = false;
  bool show_version = false;
};

// Reads argv; throws a usage Ledger_Error for an unknown command or option,
// a missing value or the wrong number of operands.
Ledger_Options Parse_Ledger_Options(int argc, const char* const* argv);

const char* Ledger_Usage();
