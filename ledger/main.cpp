// fare-ledger: keeps the settled days of bus and metro fares in one SQLite
// database, with corrections, month statements and closed months.
#include <cstdio>
#include <string>

#include "Audit_Adapter.h"
#include "Ledger_Commands.h"
#include "Ledger_Error.h"
#include "Os.h"
#include "Program_Main.h"
#include "Sqlite.h"
#include "Standard_Streams.h"
#include "Stop_Signals.h"

namespace {

void Run(const Ledger_Options& options) {
  const std::string& command = options.command;
  if (command == "record") return Record_Day(options);
  if (command == "statement") return Print_Statement(options);
  if (command == "verify") return Verify_Day(options);
  if (command == "close") return Close_Month(options);
  if (command == "days") return List_Days(options);
  Check_Ledger(options);
}

// Each line of message on standard error after the program's name.
void Print_Message_Lines(std::string_view message) {
  std::size_t begin = 0;
  while (begin <= message.size()) {
    std::size_t end = message.find('\n', begin);
    if (end == std::string_view::npos) end = message.size();
    Print_Error_Line("fare-ledger", message.substr(begin, end - begin));
    begin = end + 1;
  }
}

// Memory running out is said so; a thread that cannot start is named by
// its own message.
bool Out_Of_Memory(char* line, std::size_t size, bool thread) {
  if (thread) return false;
  std::snprintf(line, size, "out of memory");
  return true;
}

// The command, the usage or the version; a ledger error says why with the
// status that tells what went wrong, and the usage too for a bad command
// line.
int Ledger_Main(int argc, char** argv) {
  try {
    // Before the audit starts its threads. A stop removes the statement's
    // temporaries, says so and ends the process as the request does,
    // running none of SQLite's code on the way: a record not yet committed
    // is rolled back from the ledger's journal when the ledger is next
    // opened, so a day is recorded whole or not at all.
    Stop_On_Signals("fare-ledger");
    Ledger_Options options = Parse_Ledger_Options(argc, argv);
    if (options.help) {
      Print(Ledger_Usage());
    } else if (options.show_version) {
      Print(std::string("fare-ledger ") + Settlement_Version() + " (SQLite " +
            Sqlite_Version() + ")\n");
    } else {
      Run(options);
    }
    return 0;
  } catch (const Ledger_Error& error) {
    Print_Message_Lines(error.what());
    if (error.kind() == Ledger_Error::USAGE)
      Os_Write_Standard(OS_STANDARD_ERROR, Ledger_Usage());
    return error.Exit_Status();
  }
}

}  // namespace

int main(int argc, char** argv) {
  // The set-up also makes writing past a file-size limit fail with a
  // reportable error (and the transaction roll back) and a closed pipe a
  // write error.
  return Run_Main({"fare-ledger", 2, Out_Of_Memory, Print_Message_Lines},
                  Ledger_Main, argc, argv);
}
