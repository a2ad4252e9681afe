// Rows of the ledger: the versions of days, their files, the closed months.
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
  std::string month;
  std::string closed_at;
  std::int64_t last_entry = 0;  // the statement shows entries up to this
  std::int64_t missing_days = 0;
  std::int64_t bus_days = 0;  // the days' totals
  std::int64_t metro_days = 0;
  std::int64_t bus_prior = 0;  // prior-period adjustments carried in
  std::int64_t metro_prior = 0;
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
// The hash of the latest entry, empty when there is none.
std::string Last_Entry_Hash(Database& db);
std::int64_t Last_Entry(Database& db);
// The hash that chains row (its figures and files included) to the entry
// before it.
std::string Entry_Hash(const Version_Row& row, const std::string& previous);
// Adds row and its files; sets row.entry.
void Insert_Version(Database& db, Version_Row& row);

std::optional<Month_Close> Find_Close(Database& db, const std::string& month);
std::vector<Month_Close> All_Closes(Database& db);
void Insert_Close(Database& db, const Month_Close& close);
