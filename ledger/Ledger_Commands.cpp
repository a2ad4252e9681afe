// fare-ledger statement, days, verify and close.
#include "Ledger_Commands.h"

#include <algorithm>
#include <cstdio>

#include "Audit_Adapter.h"
#include "Calendar.h"
#include "Ledger_Error.h"
#include "Ledger_Schema.h"
#include "Ledger_Statement.h"
#include "Output_File.h"
#include "Text_List.h"
#include "Won.h"

void Print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    Fail_Ledger("standard output: cannot write");
}

namespace {

struct Output {
  const char* option;
  const std::string& path;
  std::string (*format)(const Month_Statement&);
};

// Refuses an output that would overwrite the ledger or another output.
void Check_Outputs(const Ledger_Options& options,
                   const std::vector<Output>& outputs) {
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const Output& out = outputs[i];
    if (out.path.empty()) continue;
    if (out.path == options.db || Same_Existing_File(out.path, options.db))
      Usage_Fault(std::string(out.option) + " names the ledger");
    for (std::size_t j = 0; j < i; ++j)
      if (!outputs[j].path.empty() &&
          (out.path == outputs[j].path ||
           Same_Existing_File(out.path, outputs[j].path)))
        Usage_Fault(std::string(outputs[j].option) + " and " + out.option +
                    " name the same file");
  }
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
  Month_Statement statement = Build_Statement(*db, month);
  for (const Output& out : outputs)
    if (!out.path.empty()) Write_Output_File(out.path, out.format(statement));
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
  std::unique_ptr<Database> db = Open_Ledger(options.db, Access::WRITE);
  Write_Transaction transaction(*db);
  if (std::optional<Month_Close> closed = Find_Close(*db, month.Text()))
    Refuse(month.Text() + " was closed at " + closed->closed_at +
           "; a closed month cannot be closed again");
  Month_Statement s = Build_Statement(*db, month);
  if (s.Unrecorded() > 0 && !options.allow_missing)
    Refuse(month.Text() + " not closed: " + Unrecorded_Days(s) +
           " (--allow-missing closes it all the same)");
  Month_Close close{month.Text(),    Utc_Now(),
                    Last_Entry(*db), static_cast<std::int64_t>(s.Unrecorded()),
                    s.bus_days,      s.metro_days,
                    s.bus_prior,     s.metro_prior};
  Insert_Close(*db, close);
  transaction.Commit();
  Print(month.Text() + " closed at " + close.closed_at + ": to pay bus " +
        Won(s.bus_to_pay) + ", metro " + Won(s.metro_to_pay) + "\n");
}
