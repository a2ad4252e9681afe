#include "Audit_Options.h"

#include <charconv>
#include <string_view>

#include "Option_Value.h"

namespace {

// The option taking a value that name spells, or nullptr.
std::string* Value_Slot(Audit_Options& options, std::string_view name) {
  if (name == "--journeys") return &options.journeys_csv;
  if (name == "--json") return &options.json;
  if (name == "--html") return &options.html;
  if (name == "--rejects") return &options.rejects_dir;
  return nullptr;
}

// The count of --max-problems: a decimal number from 0 up.
long Problem_Limit(std::string_view text) {
  long value = 0;
  auto [end, error] = std::from_chars(text.begin(), text.end(), value);
  if (error != std::errc() || end != text.end() || value < 0)
    throw Usage_Error("option '--max-problems' needs a count, not '" +
                      std::string(text) + "'");
  // What is shown is held in memory; the rejects files hold every problem.
  if (value > MAX_SHOWN_PROBLEMS)
    throw Usage_Error("option '--max-problems' takes at most " +
                      std::to_string(MAX_SHOWN_PROBLEMS));
  return value;
}

[[noreturn]] void Refuse_Usage(const std::string& message) {
  throw Usage_Error(message);
}

}  // namespace

const char* Usage_Text() {
  return "usage: fare-audit [--journeys FILE.csv] [--json FILE] [--html FILE]\n"
         "                  [--rejects REJECTS_DIR] [--max-problems N] [DIR]\n"
         "       fare-audit -h | --help | --version\n"
         "Recomputes the settlement of the day in DIR (default: the current\n"
         "directory) from its six payment files, checks trans_history.txt,\n"
         "Total_Bus_Data.txt and Total_Metro_Data.txt against it and prints a\n"
         "reconciliation report. Exit status: 0 consistent, 1 an output\n"
         "differs, 2 problems in the payment files, 3 not settled yet, 4 the\n"
         "audit could not be done (see fare-audit(1)).\n"
         "  --journeys FILE.csv  one CSV row per transfer journey\n"
         "  --json FILE          the report's figures as JSON\n"
         "  --html FILE          a self-contained HTML page with charts\n"
         "  --rejects REJECTS_DIR  "
         "REJECTS_DIR/DAY.paymentData_NNNN.rejects.csv\n"
         "                       for each payment file with bad lines, DAY\n"
         "                       being the name of DIR\n"
         "  --max-problems N     problems shown per file and of journeys\n"
         "                       (default 50)\n"
         "  -h, --help           this text\n"
         "  --version            the version\n";
}

const char* Version() { return FARE_VERSION; }

Audit_Options Parse_Options(int argc, const char* const* argv) {
  Audit_Options options;
  bool have_dir = false;
  bool have_count = false;
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (!options_end && arg == "--") {
      options_end = true;
    } else if (!options_end && (arg == "--help" || arg == "-h")) {
      options.help = true;
    } else if (!options_end && arg == "--version") {
      options.version = true;
    } else if (!options_end && arg.size() > 1 && arg[0] == '-') {
      std::string_view name = arg.substr(0, arg.find('='));
      std::string count;
      std::string* slot =
          name == "--max-problems" ? &count : Value_Slot(options, name);
      if (slot == nullptr)
        throw Usage_Error("unknown option '" + std::string(name) + "'");
      std::string needs = "option '" + std::string(name) + "' needs " +
                          (slot == &count                 ? "a count"
                           : slot == &options.rejects_dir ? "a directory"
                                                          : "a file");
      if (slot == &count ? have_count : !slot->empty())
        throw Usage_Error("option '" + std::string(name) + "' given twice");
      *slot = Option_Value(argc, argv, i, name, needs, Refuse_Usage);
      if (slot == &count) {
        options.max_problems = Problem_Limit(count);
        have_count = true;
      }
    } else if (!have_dir) {
      options.dir = arg;
      have_dir = true;
    } else {
      throw Usage_Error("more than one directory given");
    }
  }
  return options;
}
