// Rows of the ledger: the versions of days, their files, the closed months.
// Versions and closes are the ledger's entries, numbered 1, 2, ... in the
// order made, each carrying a SHA-256 chained to the entry before: the
// hash of the newest entry, the head, stands for the whole ledger.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Day_Figures.h"
#include "Sqlite.h"

// One recorded version of a day.
struct Version_Row {
  std::int64_t entry = 0;  // the order of recording, from 1
  std::string day;
  std::int64_t version = 0;
  std::string recorded_at;  // UTC
  std::string program_version;
  std::optional<std::string> reason;  // why a correction was made
  Day_Figures figures;                // files filled by Load_Files only
  // This version's totals minus the previous version's (or 0): what it
  // changes in what the companies are owed.
  std::int64_t bus_adjustment = 0;
  std::int64_t metro_adjustment = 0;
  // The month whose statement pays the adjustment, when the day's month was
  // already closed as it was recorded.
  std::optional<std::string> carried_to;
  std::string entry_hash;
};

// A month marked settled with the companies, and its figures then.
struct Month_Close {
  std::int64_t entry = 0;  // its place among the entries
  std::string month;
  std::string closed_at;
  std::int64_t last_entry = 0;  // the statement shows entries up to this
  std::int64_t missing_days = 0;
  std::int64_t bus_days = 0;  // the days' totals
  std::int64_t metro_days = 0;
  std::int64_t bus_prior = 0;  // prior-period adjustments carried in
  std::int64_t metro_prior = 0;
  std::string entry_hash;  // the head as the close left it
};

// Versions whose day lies from first to last (inclusive), in entry order.
std::vector<Version_Row> Versions_Between(Database& db,
                                          const std::string& first,
                                          const std::string& last);
std::vector<Version_Row> All_Versions(Database& db);
// Versions of other months whose adjustments month's statement pays.
std::vector<Version_Row> Versions_Carried_Into(Database& db,
                                               const std::string& month);
// Reads the nine files of row from the ledger.
void Load_Files(Database& db, Version_Row& row);
// Reads the nine files of every row at once.
void Load_All_Files(Database& db, std::vector<Version_Row>& rows);
// The head: the hash of the newest entry, empty when there is none.
std::string Last_Entry_Hash(Database& db);
// The number of the newest entry, 0 when there is none.
std::int64_t Last_Entry(Database& db);
// The hash that chains row (its figures and files included) to the entry
// before it.
std::string Entry_Hash(const Version_Row& row, const std::string& previous);
// The hash that chains close to the entry before it.
std::string Close_Hash(const Month_Close& close, const std::string& previous);
// Adds row and its files as they are, entry and hash included.
void Insert_Version(Database& db, const Version_Row& row);
// Versions of days other than day whose six payment files are files' six
// (sizes and SHA-256), in entry order.
std::vector<Version_Row> Versions_With_Payment_Files(Database& db,
                                                     const std::string& day,
                                                     const Day_Figures& files);

std::optional<Month_Close> Find_Close(Database& db, const std::string& month);
std::vector<Month_Close> All_Closes(Database& db);
// Adds close as it is, entry and hash included.
void Insert_Close(Database& db, const Month_Close& close);
// Adds close as the newest entry: sets its entry and its hash.
void Append_Close(Database& db, Month_Close& close);
