// fare-ledger check: SQLite's own check and the ledger's invariants.
#include <map>

#include "Calendar.h"
#include "Ledger_Commands.h"
#include "Ledger_Error.h"
#include "Ledger_Schema.h"
#include "Ledger_Statement.h"
#include "Text_List.h"
#include "Won.h"

namespace {

using Faults = std::vector<std::string>;

void Check_Integrity(Database& db, Faults& faults) {
  Statement integrity(db, "PRAGMA integrity_check");
  while (integrity.Step())
    if (integrity.Text(0) != "ok")
      faults.push_back("integrity_check: " + integrity.Text(0));
  Statement keys(db, "PRAGMA foreign_key_check");
  while (keys.Step())
    faults.push_back("a row of " + keys.Text(0) + " refers to no " +
                     keys.Text(2) + " row");
}

std::string Name(const Version_Row& row) {
  return row.day + " version " + std::to_string(row.version);
}

// Entries numbered 1, 2, ... each chained to the one before by its hash,
// with its nine files.
void Check_Chain(const std::vector<Version_Row>& rows, Faults& faults) {
  std::string previous;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Version_Row& row = rows[i];
    if (row.entry != static_cast<std::int64_t>(i + 1))
      faults.push_back("entry " + std::to_string(i + 1) +
                       " is missing (found entry " + std::to_string(row.entry) +
                       ")");
    bool all_files = true;
    for (const Day_File& file : row.figures.files)
      all_files = all_files && !file.sha256.empty();
    if (!all_files)
      faults.push_back(Name(row) + ": fewer than nine files recorded");
    if (Entry_Hash(row, previous) != row.entry_hash)
      faults.push_back(Name(row) + " (entry " + std::to_string(row.entry) +
                       ") was changed after it was recorded: its hash differs");
    previous = row.entry_hash;
  }
}

// Each day's versions numbered 1, 2, ... with no gap, each adjustment the
// difference of its totals and the previous version's.
void Check_Versions(const std::vector<Version_Row>& rows, Faults& faults) {
  std::map<std::string, const Version_Row*> latest;
  for (const Version_Row& row : rows) {
    const Version_Row* before = latest[row.day];
    std::int64_t expected = before ? before->version + 1 : 1;
    if (row.version != expected)
      faults.push_back(Name(row) + " follows version " +
                       std::to_string(expected - 1) + ": a gap");
    std::int64_t bus = Won_Difference(row.figures.bus_total,
                                      before ? before->figures.bus_total : 0);
    std::int64_t metro = Won_Difference(
        row.figures.metro_total, before ? before->figures.metro_total : 0);
    if (row.bus_adjustment != bus || row.metro_adjustment != metro)
      faults.push_back(Name(row) + ": adjustment bus " +
                       Signed_Won(row.bus_adjustment) + ", metro " +
                       Signed_Won(row.metro_adjustment) +
                       " is not the difference of the totals (bus " +
                       Signed_Won(bus) + ", metro " + Signed_Won(metro) + ")");
    latest[row.day] = &row;
  }
}

// Where an entry's adjustment must be paid: nowhere else when its day's
// month was open as it was recorded, else the earliest later month then
// open. A month is closed before an entry when its close saw less.
std::optional<std::string> Expected_Carry(
    const Version_Row& row, const std::map<std::string, Month_Close>& closes) {
  auto closed_before = [&](const Month& month) {
    auto found = closes.find(month.Text());
    return found != closes.end() && found->second.last_entry < row.entry;
  };
  Month month = Month_Of(row.day);
  if (!closed_before(month)) return std::nullopt;
  do month = month.Next();
  while (closed_before(month));
  return month.Text();
}

void Check_Carried(const std::vector<Version_Row>& rows,
                   const std::map<std::string, Month_Close>& closes,
                   Faults& faults) {
  for (const Version_Row& row : rows) {
    std::optional<std::string> expected = Expected_Carry(row, closes);
    if (row.carried_to == expected) continue;
    faults.push_back(Name(row) + ": adjustment carried into " +
                     row.carried_to.value_or("no month") + ", not " +
                     expected.value_or("left in its own month"));
  }
}

// A closed month's figures now are those recorded at its close.
void Check_Closed(Database& db, const Month_Close& close, Faults& faults) {
  Month_Statement now = Build_Statement(db, Parse_Month(close.month));
  if (now.bus_days != close.bus_days || now.metro_days != close.metro_days ||
      now.bus_prior != close.bus_prior ||
      now.metro_prior != close.metro_prior ||
      static_cast<std::int64_t>(now.Unrecorded()) != close.missing_days)
    faults.push_back("closed month " + close.month +
                     ": its figures are no longer those of its close");
}

}  // namespace

void Check_Ledger(const Ledger_Options& options) {
  std::unique_ptr<Database> db = Open_Ledger(options.db, Access::READ);
  Faults faults;
  Check_Integrity(*db, faults);
  std::vector<Version_Row> rows = All_Versions(*db);
  Load_All_Files(*db, rows);
  Check_Chain(rows, faults);
  Check_Versions(rows, faults);
  std::map<std::string, Month_Close> closes;
  for (Month_Close& close : All_Closes(*db)) closes[close.month] = close;
  Check_Carried(rows, closes, faults);
  for (const auto& [month, close] : closes) Check_Closed(*db, close, faults);
  if (!faults.empty()) {
    std::string message;
    for (const std::string& fault : faults)
      Append_Item(message, "\n", options.db + ": " + fault);
    Refuse(message);
  }
  Print(options.db + ": " + Counted(rows.size(), "version", "versions") + ", " +
        Counted(closes.size(), "closed month", "closed months") +
        ", no fault found\n");
}
