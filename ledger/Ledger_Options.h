// Command line of fare-ledger.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The environment variable that names the ledger when --db is not given.
constexpr const char* LEDGER_VARIABLE = "FARE_LEDGER";

struct Ledger_Options {
  // The ledger: --db, else $FARE_LEDGER, else the user's own (Os.h's user
  // data folder, then fare-settlement/ledger.db).
  std::string db;
  // The folder of the user's own ledger, which is made when the ledger is
  // created; empty when the ledger was named.
  std::string db_folder;
  std::string command;  // empty with --help or --version
  std::vector<std::string> operands;
  std::optional<std::string> reason;  // record --correct
  std::string csv;                    // statement outputs; empty: none
  std::string json;
  std::string html;
  std::optional<std::int64_t> version;  // verify --version
  std::string head;                     // check --head, lower case; or ""
  bool allow_missing = false;           // close
  bool help = false;
  bool show_version = false;
};

// Reads argv and, for the ledger not named there, the environment; throws
// a usage Ledger_Error for an unknown command or option, a missing value or
// the wrong number of operands, and a Ledger_Error when no ledger is named
// and the environment names no user data folder.
Ledger_Options Parse_Ledger_Options(int argc, const char* const* argv);

const char* Ledger_Usage();
