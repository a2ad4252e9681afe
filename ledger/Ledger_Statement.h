// The statement of a month: what the companies are owed for it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Calendar.h"
#include "Ledger_Store.h"

// A day of the month and the version of it in force (none: missing).
struct Statement_Day {
  std::string day;
  std::optional<Version_Row> version;
};

struct Month_Statement {
  std::string month;
  std::optional<Month_Close> close;  // none while the month is open
  // The ledger's head behind these figures: the close's hash for a closed
  // month, the newest entry's for an open one; "" for an empty ledger.
  std::string head;
  std::vector<Statement_Day> days;  // every day of the month, in order
  std::vector<std::string> missing_days;
  std::vector<Version_Row> corrections;   // of the month's days, as recorded
  std::vector<Version_Row> prior_period;  // carried in from closed months
  std::int64_t bus_days = 0;              // the days' totals
  std::int64_t metro_days = 0;
  std::int64_t bus_prior = 0;  // the prior-period adjustments
  std::int64_t metro_prior = 0;
  std::int64_t bus_to_pay = 0;  // both together
  std::int64_t metro_to_pay = 0;
};

// The month's statement. A closed month's shows the ledger as it stood at
// the close, so it never changes; an open month's shows it as it is.
Month_Statement Build_Statement(Database& db, const Month& month);

// The close of the statement's month made at closed_at, when last_entry
// was the newest entry: its figures, not yet numbered or chained.
Month_Close Close_Of(const Month_Statement& statement,
                     const std::string& closed_at, std::int64_t last_entry);

// The statement as text, as CSV (RFC 4180), as JSON and as an HTML page.
std::string Statement_Text(const Month_Statement& statement);
std::string Statement_Csv(const Month_Statement& statement);
std::string Statement_Json(const Month_Statement& statement);
std::string Statement_Html(const Month_Statement& statement);
