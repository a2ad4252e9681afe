// fare-ledger record: a consistent settled day kept as a new version.

#include <optional>

#include "Audit_Adapter.h"
#include "Calendar.h"
#include "Ledger_Commands.h"
#include "Ledger_Error.h"
#include "Ledger_Schema.h"
#include "Ledger_Store.h"
#include "Os.h"
#include "Text_List.h"
#include "Won.h"

namespace {

// The names of the files that differ between two sets of nine, in order.
std::string Differing_Files(const Day_Figures& recorded,
                            const Day_Figures& now) {
  std::string names;
  for (std::size_t i = 0; i < DAY_FILES; ++i) {
    const Day_File& a = recorded.files[i];
    const Day_File& b = now.files[i];
    if (a.bytes != b.bytes || a.sha256 != b.sha256)
      Append_Item(names, ", ", b.name);
  }
  return names;
}

// The earliest month after the day's that is not closed, which pays the
// adjustment of a day whose month is closed.
std::string First_Open_Month_After(Database& db, const std::string& day) {
  Month month = Month_Of(day);
  do {
    if (month == Month{LAST_YEAR, 12})
      Refuse(day +
             " not recorded: its month is closed and no open month follows "
             "it up to " +
             month.Text() + ", the last a ledger keeps, to pay its adjustment");
    month = month.Next();
  } while (Find_Close(db, month.Text()));
  return month.Text();
}

// Refuses payment files recorded already as those of another day, so that
// no day is paid twice; six empty files (a day without taps) may recur.
void Refuse_Another_Days_Files(Database& db, const std::string& day,
                               const Day_Figures& figures) {
  bool all_empty = true;
  for (std::size_t i = 0; i < PAYMENT_FILE_COUNT; ++i)
    all_empty = all_empty && figures.files[i].bytes == 0;
  if (all_empty) return;
  std::string others;
  for (const Version_Row& row : Versions_With_Payment_Files(db, day, figures))
    Append_Item(others, ", ",
                row.day + " version " + std::to_string(row.version));
  if (!others.empty())
    Refuse(day +
           " not recorded: its six payment files are those recorded "
           "as " +
           others);
}

// The new version of the day, against the latest one recorded (if any).
Version_Row New_Version(Database& db, const std::string& day,
                        const Day_Figures& figures,
                        const std::optional<Version_Row>& latest,
                        const std::optional<std::string>& reason) {
  Version_Row row;
  row.entry = Last_Entry(db) + 1;
  row.day = day;
  row.version = latest ? latest->version + 1 : 1;
  row.recorded_at = Utc_Now();
  row.program_version = Settlement_Version();
  row.reason = reason;
  row.figures = figures;
  row.bus_adjustment =
      Won_Difference(figures.bus_total, latest ? latest->figures.bus_total : 0);
  row.metro_adjustment = Won_Difference(
      figures.metro_total, latest ? latest->figures.metro_total : 0);
  if (Find_Close(db, Month_Of(day).Text()))
    row.carried_to = First_Open_Month_After(db, day);
  row.entry_hash = Entry_Hash(row, Last_Entry_Hash(db));
  return row;
}

std::string Recorded_Line(const Version_Row& row) {
  std::string line =
      row.day + " recorded as version " + std::to_string(row.version);
  if (row.version > 1)
    line += ", adjustment bus " + Signed_Won(row.bus_adjustment) + ", metro " +
            Signed_Won(row.metro_adjustment);
  if (row.carried_to)
    line += ", carried into " + *row.carried_to + " (" +
            Month_Of(row.day).Text() + " is closed)";
  return line + "\n";
}

// Refuses the day with the audit's words, one line each.
[[noreturn]] void Refuse_Audit(const std::string& day,
                               const std::vector<std::string>& problems) {
  std::string message;
  for (const std::string& problem : problems)
    Append_Item(message, "\n", day + " not recorded: " + problem);
  Refuse(message);
}

}  // namespace

void Record_Day(const Ledger_Options& options) {
  std::string day = Parse_Day(options.operands[0]);
  const std::string& dir = options.operands[1];
  // An existing ledger is opened first, so that one that cannot be used
  // fails before the audit; a new one is made only for a day to record.
  std::unique_ptr<Database> db;
  if (Os_Kind_Of(options.db) != Os_Kind::MISSING)
    db = Open_Ledger(options.db, Access::WRITE);
  Day_Audit audit = Audit_Settled_Day(dir);
  if (!audit.problems.empty()) Refuse_Audit(day, audit.problems);
  if (!db) db = Open_Ledger_To_Write(options);

  Write_Transaction transaction(*db);
  std::vector<Version_Row> versions = Versions_Between(*db, day, day);
  std::optional<Version_Row> latest;
  std::string differing;
  if (!versions.empty()) {
    latest = versions.back();
    Load_Files(*db, *latest);
    differing = Differing_Files(latest->figures, audit.figures);
    if (differing.empty()) {
      Print(day + " already recorded as version " +
            std::to_string(latest->version) + "\n");
      return;
    }
  }
  Refuse_Another_Days_Files(*db, day, audit.figures);
  if (latest && !options.reason)
    Refuse(day + " is recorded as version " + std::to_string(latest->version) +
           " from other files (" + differing +
           " differ); --correct REASON records these as version " +
           std::to_string(latest->version + 1));
  Version_Row row =
      New_Version(*db, day, audit.figures, latest, options.reason);
  Insert_Version(*db, row);
  transaction.Commit();
  Print(Recorded_Line(row));
}
