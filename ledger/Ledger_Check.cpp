// fare-ledger check: SQLite's own check and the ledger's invariants.
#include <algorithm>
#include <functional>
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

// One entry of the chain, a version or a close, and its hash computed
// again from its rows.
struct Link {
  std::int64_t entry = 0;
  std::string name;
  std::string stored;                                   // the hash kept with it
  std::function<std::string(const std::string&)> hash;  // of the previous
};

std::vector<Link> Links(const std::vector<Version_Row>& rows,
                        const std::vector<Month_Close>& closes) {
  std::vector<Link> links;
  for (const Version_Row& row : rows)
    links.push_back({row.entry, Name(row), row.entry_hash,
                     [&row](const std::string& previous) {
                       return Entry_Hash(row, previous);
                     }});
  for (const Month_Close& close : closes)
    links.push_back({close.entry, "the close of " + close.month,
                     close.entry_hash, [&close](const std::string& previous) {
                       return Close_Hash(close, previous);
                     }});
  std::stable_sort(
      links.begin(), links.end(),
      [](const Link& a, const Link& b) { return a.entry < b.entry; });
  return links;
}

// Entries numbered 1, 2, ... each chained to the one before by its hash.
// Returns the number of the entry whose hash is head (when given), and 0
// when none is: then an entry up to it was removed or changed.
std::int64_t Check_Chain(const std::vector<Link>& links,
                         const std::string& head, Faults& faults) {
  std::string previous;
  std::int64_t expected = 1;
  std::int64_t head_entry = 0;
  for (const Link& link : links) {
    std::string entry = " (entry " + std::to_string(link.entry) + ")";
    if (link.entry < expected) {
      faults.push_back(link.name + entry + " has the number of another entry");
    } else if (link.entry > expected) {
      // The hash of what came before is gone: this one cannot be checked.
      faults.push_back("entry " + std::to_string(expected) +
                       (link.entry > expected + 1
                            ? " to " + std::to_string(link.entry - 1) + " are"
                            : " is") +
                       " missing: removed behind the ledger's back");
    } else if (link.hash(previous) != link.stored) {
      faults.push_back(link.name + entry +
                       " was changed after it was recorded: its hash differs");
    } else if (link.stored == head) {
      head_entry = link.entry;
    }
    expected = link.entry + 1;
    previous = link.stored;
  }
  return head_entry;
}

// Each version with its nine files.
void Check_Files(const std::vector<Version_Row>& rows, Faults& faults) {
  for (const Version_Row& row : rows) {
    bool all_files = true;
    for (const Day_File& file : row.figures.files)
      all_files = all_files && !file.sha256.empty();
    if (!all_files)
      faults.push_back(Name(row) + ": fewer than nine files recorded");
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

// Faults of the ledger, and the entry that has head (0: none).
std::int64_t Find_Faults(Database& db, const std::string& head,
                         std::size_t& versions, std::size_t& closed,
                         Faults& faults) {
  Check_Integrity(db, faults);
  std::vector<Version_Row> rows = All_Versions(db);
  Load_All_Files(db, rows);
  std::vector<Month_Close> all_closes = All_Closes(db);
  std::int64_t head_entry = Check_Chain(Links(rows, all_closes), head, faults);
  Check_Files(rows, faults);
  Check_Versions(rows, faults);
  std::map<std::string, Month_Close> closes;
  for (Month_Close& close : all_closes) closes[close.month] = close;
  Check_Carried(rows, closes, faults);
  for (const auto& [month, close] : closes) Check_Closed(db, close, faults);
  if (!head.empty() && head_entry == 0)
    faults.push_back("no entry has the head " + head +
                     ": it or an entry before it was removed or changed");
  versions = rows.size();
  closed = closes.size();
  return head_entry;
}

}  // namespace

void Check_Ledger(const Ledger_Options& options) {
  std::unique_ptr<Database> db = Open_Ledger(options.db, Access::READ);
  Faults faults;
  std::size_t versions = 0;
  std::size_t closed = 0;
  std::int64_t head_entry = 0;
  {
    Read_Transaction snapshot(*db);
    head_entry = Find_Faults(*db, options.head, versions, closed, faults);
  }
  if (!faults.empty()) {
    std::string message;
    for (const std::string& fault : faults)
      Append_Item(message, "\n", options.db + ": " + fault);
    Refuse(message);
  }
  std::string line =
      options.db + ": " + Counted(versions, "version", "versions") + ", " +
      Counted(closed, "closed month", "closed months") + ", no fault found";
  if (!options.head.empty())
    line += "; the head given is entry " + std::to_string(head_entry) +
            ", it and every entry before it unchanged";
  Print(line + "\n");
}
