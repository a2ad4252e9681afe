#include "Ledger_Options.h"

#include <charconv>
#include <string_view>

#include "Ledger_Error.h"
#include "Option_Value.h"
#include "Os.h"

namespace {

struct Command {
  const char* name;
  std::size_t min_operands;
  std::size_t max_operands;
  std::vector<std::string_view> options;  // those the command takes
};

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"record", 2, 2, {"--correct"}},
      {"statement", 1, 1, {"--csv", "--json", "--html"}},
      {"verify", 2, 2, {"--version"}},
      {"close", 1, 1, {"--allow-missing"}},
      {"days", 0, 1, {}},
      {"check", 0, 0, {"--head"}}};
  return commands;
}

// The value of the option at argv[i] named name (see Option_Value).
std::string Value_Of(int argc, const char* const* argv, int& i,
                     std::string_view name) {
  return Option_Value(argc, argv, i, name,
                      "option '" + std::string(name) + "' needs a value",
                      Usage_Fault);
}

std::int64_t Version_Number(const std::string& text) {
  std::int64_t value = 0;
  auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 1)
    Usage_Fault("option '--version' needs a version number, not '" + text +
                "'");
  return value;
}

// A head as check takes it: 64 hexadecimal digits, kept in lower case.
std::string Head_Hash(const std::string& text) {
  std::string head = text;
  bool hex = head.size() == 64;
  for (char& c : head) {
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
    hex = hex && ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'));
  }
  if (!hex)
    Usage_Fault("option '--head' needs a head, 64 hexadecimal digits, not '" +
                text + "'");
  return head;
}

// Sets the option named name of the command; each may be given once.
void Set_Option(Ledger_Options& options, std::string_view name, int argc,
                const char* const* argv, int& i) {
  auto once = [&](bool given) {
    if (given) Usage_Fault("option '" + std::string(name) + "' given twice");
  };
  if (name == "--allow-missing") {
    once(options.allow_missing);
    if (std::string_view(argv[i]) != name)
      Usage_Fault("option '--allow-missing' takes no value");
    options.allow_missing = true;
  } else if (name == "--correct") {
    once(options.reason.has_value());
    options.reason = Value_Of(argc, argv, i, name);
  } else if (name == "--version") {
    once(options.version.has_value());
    options.version = Version_Number(Value_Of(argc, argv, i, name));
  } else if (name == "--head") {
    once(!options.head.empty());
    options.head = Head_Hash(Value_Of(argc, argv, i, name));
  } else {
    std::string& slot = name == "--csv"    ? options.csv
                        : name == "--json" ? options.json
                                           : options.html;
    once(!slot.empty());
    slot = Value_Of(argc, argv, i, name);
  }
}

const Command& Find_Command(const std::string& name) {
  for (const Command& command : Commands())
    if (name == command.name) return command;
  Usage_Fault("unknown command '" + name + "'");
}

// Reads the command's options and operands from argv[i] on.
void Parse_Command(Ledger_Options& options, int argc, const char* const* argv,
                   int i) {
  const Command& command = Find_Command(options.command);
  for (; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (!arg.starts_with("--") || arg == "--") {
      options.operands.emplace_back(arg);
      continue;
    }
    std::string_view name = arg.substr(0, arg.find('='));
    bool known = false;
    for (std::string_view option : command.options) known |= option == name;
    if (!known)
      Usage_Fault("command '" + options.command + "' has no option '" +
                  std::string(name) + "'");
    Set_Option(options, name, argc, argv, i);
  }
  std::size_t count = options.operands.size();
  if (count < command.min_operands || count > command.max_operands)
    Usage_Fault("command '" + options.command + "' takes " +
                (command.min_operands == command.max_operands
                     ? std::to_string(command.min_operands)
                     : std::to_string(command.min_operands) + " or " +
                           std::to_string(command.max_operands)) +
                " operands, not " + std::to_string(count));
}

// The ledger when --db names none: $FARE_LEDGER, else the user's own.
void Set_Default_Ledger(Ledger_Options& options) {
  options.db = Os_Environment(LEDGER_VARIABLE).value_or("");
  if (!options.db.empty()) return;
  std::string data = Os_User_Data_Directory();
  if (data.empty())
    Fail_Ledger(std::string("no ledger named: give --db FILE or set ") +
                LEDGER_VARIABLE +
                " (the environment names no folder for the user's own)");
  const char separator = OS_PATH_SEPARATORS.back();
  options.db_folder = data + separator + "fare-settlement";
  options.db = options.db_folder + separator + "ledger.db";
}

}  // namespace

const char* Ledger_Usage() {
  return "usage: fare-ledger [--db FILE] record DAY DIR [--correct REASON]\n"
         "       fare-ledger [--db FILE] statement MONTH [--csv FILE] "
         "[--json FILE] [--html FILE]\n"
         "       fare-ledger [--db FILE] verify DAY DIR [--version N]\n"
         "       fare-ledger [--db FILE] close MONTH [--allow-missing]\n"
         "       fare-ledger [--db FILE] days [MONTH]\n"
         "       fare-ledger [--db FILE] check [--head HEAD]\n"
         "       fare-ledger -h | --help | --version\n"
         "Keeps the settled days of bus and metro fares in a ledger (default:\n"
         "$FARE_LEDGER, else the user's own), with corrections, month\n"
         "statements and closed months. DAY is YYYY-MM-DD, MONTH YYYY-MM.\n"
         "Exit status: 0 done, 1 refused (or files that differ, or a fault\n"
         "found), 2 the command could not be done. See fare-ledger(1).\n";
}

Ledger_Options Parse_Ledger_Options(int argc, const char* const* argv) {
  Ledger_Options options;
  bool db_given = false;
  int i = 1;
  for (; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "--version") {
      options.show_version = true;
    } else if (arg == "--db" || arg.starts_with("--db=")) {
      if (db_given) Usage_Fault("option '--db' given twice");
      db_given = true;
      options.db = Value_Of(argc, argv, i, "--db");
    } else if (arg.starts_with("-")) {
      Usage_Fault("unknown option '" + std::string(arg) + "'");
    } else {
      break;
    }
  }
  if (options.help || options.show_version) return options;
  if (i == argc) Usage_Fault("no command given");
  options.command = argv[i];
  Parse_Command(options, argc, argv, i + 1);
  if (!db_given) Set_Default_Ledger(options);
  return options;
}
