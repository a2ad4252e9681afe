// Command line of fare-audit.
#pragma once

#include <stdexcept>
#include <string>

// The most problems --max-problems may ask to be shown per payment file.
constexpr long MAX_SHOWN_PROBLEMS = 10000;

struct Audit_Options {
  std::string dir = ".";     // the settled day's directory
  std::string journeys_csv;  // empty: no per-journey CSV
  std::string json;          // empty: no JSON
  std::string html;          // empty: no HTML page
  std::string rejects_dir;   // empty: no rejects files
  long max_problems = 50;    // problems shown per payment file
  bool help = false;
  bool version = false;
};

// A command line that cannot be used; main prints it with the usage.
class Usage_Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads argv; throws Usage_Error for an unknown option, a missing value or
// more than one directory.
Audit_Options Parse_Options(int argc, const char* const* argv);

// The usage text printed by --help and after a usage error.
const char* Usage_Text();

// The version of the audit and of the settlement it belongs to.
const char* Version();
