// fare-ledger statement, days, verify and close.
#include "Ledger_Commands.h"

#include <algorithm>

#include "Audit_Adapter.h"
#include "Calendar.h"
#include "Ledger_Error.h"
#include "Ledger_Schema.h"
#include "Ledger_Statement.h"
#include "Os.h"
#include "Paths.h"
#include "Staged_File.h"
#include "Text_List.h"
#include "Won.h"

void Print(const std::string& text) {
  if (!Os_Write_Standard(OS_STANDARD_OUTPUT, text))
    Fail_Ledger("standard output: cannot write");
}

namespace {

// Makes the folder path and those above it that are missing.
void Make_Folders(const std::string& path) {
  if (path.empty() || Os_Kind_Of(path) == Os_Kind::DIRECTORY) return;
  std::string parent = Directory_Prefix(path);
  if (!parent.empty()) parent.pop_back();  // its separator
  if (parent != path) Make_Folders(parent);
  if (!Os_Make_Directory(path))
    Fail_Ledger(path + ": cannot make the folder: " + Os_Last_Error().text);
}

}  // namespace

std::unique_ptr<Database> Open_Ledger_To_Write(const Ledger_Options& options) {
  bool missing = Os_Kind_Of(options.db) == Os_Kind::MISSING;
  if (missing) Make_Folders(options.db_folder);
  std::unique_ptr<Database> db = Open_Ledger(options.db, Access::WRITE);
  if (missing)
    std::fprintf(stderr, "fare-ledger: created the ledger %s\n",
                 options.db.c_str());
  return db;
}

namespace {

struct Output {
  const char* option;
  const std::string& path;
  std::string (*format)(const Month_Statement&);
};

// Refuses an output that would overwrite the ledger or another output, by
// any spelling and whether it exists yet or not, and one that is a
// directory.
void Check_Outputs(const Ledger_Options& options,
                   const std::vector<Output>& outputs) {
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const Output& out = outputs[i];
    if (out.path.empty()) continue;
    if (Same_File(out.path, options.db))
      Usage_Fault(std::string(out.option) + " names the ledger");
    for (std::size_t j = 0; j < i; ++j)
      if (!outputs[j].path.empty() && Same_File(out.path, outputs[j].path))
        Usage_Fault(std::string(outputs[j].option) + " and " + out.option +
                    " name the same file");
    if (Os_Kind_Of(out.path) == Os_Kind::DIRECTORY)
      Fail_Ledger(out.path + ": is a directory");
  }
}

// Writes the statement's files, each under a temporary name beside it until
// all are complete, then renames them over their names one right after the
// other (a device or FIFO is written in place).
void Write_Statement_Files(const std::vector<Output>& outputs,
                           const Month_Statement& statement) {
  std::vector<Staged_File> files;
  files.reserve(outputs.size());
  for (const Output& out : outputs) {
    if (out.path.empty()) continue;
    files.emplace_back(out.path, true);
    files.back().Write(out.format(statement));
    files.back().Finish(false);
  }
  std::vector<Staged_File*> staged;
  for (Staged_File& file : files) staged.push_back(&file);
  Publish_All(staged.data(), staged.size());
}

}  // namespace

void Print_Statement(const Ledger_Options& options) {
  Month month = Parse_Month(options.operands[0]);
  const std::vector<Output> outputs = {
      {"--csv", options.csv, Statement_Csv},
      {"--json", options.json, Statement_Json},
      {"--html", options.html, Statement_Html}};
  Check_Outputs(options, outputs);
  std::unique_ptr<Database> db = Open_Ledger(options.db, Access::READ);
  Month_Statement statement;
  {
    Read_Transaction snapshot(*db);
    statement = Build_Statement(*db, month);
  }
  Write_Statement_Files(outputs, statement);
  Print(Statement_Text(statement));
}

namespace {

std::string Day_Line(const Version_Row& row) {
  std::string line = row.day + "  version " + std::to_string(row.version) +
                     "  recorded " + row.recorded_at + "  bus " +
                     Won(row.figures.bus_total) + "  metro " +
                     Won(row.figures.metro_total);
  if (row.reason) line += "  correction " + Quoted_Text(*row.reason);
  if (row.carried_to) line += "  carried into " + *row.carried_to;
  return line + "\n";
}

}  // namespace

void List_Days(const Ledger_Options& options) {
  std::string first = "0000-00-00";
  std::string last = "9999-99-99";
  if (!options.operands.empty()) {
    Month month = Parse_Month(options.operands[0]);
    first = month.Day_Text(1);
    last = month.Day_Text(month.Days());
  }
  std::unique_ptr<Database> db = Open_Ledger(options.db, Access::READ);
  std::vector<Version_Row> rows = Versions_Between(*db, first, last);
  std::stable_sort(
      rows.begin(), rows.end(),
      [](const Version_Row& a, const Version_Row& b) { return a.day < b.day; });
  std::string text;
  for (const Version_Row& row : rows) text += Day_Line(row);
  Print(text);
}

namespace {

// The version of day to verify against: the one asked for, or the latest.
Version_Row Version_To_Verify(Database& db, const std::string& day,
                              std::optional<std::int64_t> wanted) {
  std::vector<Version_Row> versions = Versions_Between(db, day, day);
  if (versions.empty()) Refuse(day + " is not recorded");
  Version_Row row = versions.back();
  if (wanted) {
    if (*wanted > row.version)
      Refuse(day + " has no version " + std::to_string(*wanted) +
             " (the latest is " + std::to_string(row.version) + ")");
    row = versions[static_cast<std::size_t>(*wanted - 1)];
  }
  Load_Files(db, row);
  return row;
}

// What differs between a recorded file and the file in dir now, or "".
std::string File_Difference(const std::string& dir, const Day_File& recorded,
                            const File_Now& now) {
  if (!now.problem.empty()) return now.problem;
  if (recorded.bytes == now.file.bytes && recorded.sha256 == now.file.sha256)
    return "";
  return dir + "/" + recorded.name + ": differs: recorded " +
         std::to_string(recorded.bytes) + " bytes, SHA-256 " + recorded.sha256 +
         "; found " + std::to_string(now.file.bytes) + " bytes, SHA-256 " +
         now.file.sha256;
}

}  // namespace

void Verify_Day(const Ledger_Options& options) {
  std::string day = Parse_Day(options.operands[0]);
  const std::string& dir = options.operands[1];
  std::unique_ptr<Database> db = Open_Ledger(options.db, Access::READ);
  Version_Row row = Version_To_Verify(*db, day, options.version);
  std::vector<File_Now> now = Digest_Day_Files(dir);
  std::string differences;
  for (std::size_t i = 0; i < DAY_FILES; ++i) {
    std::string difference = File_Difference(dir, row.figures.files[i], now[i]);
    if (!difference.empty()) Append_Item(differences, "\n", difference);
  }
  std::string which = day + " version " + std::to_string(row.version);
  if (!differences.empty())
    Refuse(differences + "\n" + dir + " does not hold the files of " + which);
  Print(dir + " holds the nine files of " + which + "\n");
}

namespace {

// Why a month cannot be closed yet: its missing days, its days to come.
std::string Unrecorded_Days(const Month_Statement& s) {
  std::string why;
  if (!s.missing_days.empty()) {
    std::string days;
    for (const std::string& day : s.missing_days) Append_Item(days, ", ", day);
    why = Counted(s.missing_days.size(), "day has", "days have") +
          " no record: " + days;
  }
  if (!s.days_to_come.empty())
    Append_Item(why, "; ",
                Counted(s.days_to_come.size(), "day is", "days are") +
                    " still to come: " + To_Come_Span(s));
  return why;
}

}  // namespace

void Close_Month(const Ledger_Options& options) {
  Month month = Parse_Month(options.operands[0]);
  std::unique_ptr<Database> db = Open_Ledger_To_Write(options);
  Write_Transaction transaction(*db);
  if (std::optional<Month_Close> closed = Find_Close(*db, month.Text()))
    Refuse(month.Text() + " was closed at " + closed->closed_at +
           "; a closed month cannot be closed again");
  Month_Statement s = Build_Statement(*db, month);
  if (s.Unrecorded() > 0 && !options.allow_missing)
    Refuse(month.Text() + " not closed: " + Unrecorded_Days(s) +
           " (--allow-missing closes it all the same)");
  Month_Close close = Close_Of(s, Utc_Now(), Last_Entry(*db));
  Append_Close(*db, close);
  transaction.Commit();
  Print(month.Text() + " closed at " + close.closed_at + ": to pay bus " +
        Won(s.bus_to_pay) + ", metro " + Won(s.metro_to_pay) +
        "\nledger head: " + close.entry_hash + "\n");
}
