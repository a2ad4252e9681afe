// The statement of a month: what the companies are owed for it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Calendar.h"
#include "Ledger_Store.h"

// A day of the month and the version of it in force (none: missing, or to
// come when the day is after today).
struct Statement_Day {
  std::string day;
  std::optional<Version_Row> version;
  bool to_come = false;
};

struct Month_Statement {
  std::string month;
  std::optional<Month_Close> close;  // none while the month is open
  // The ledger's head behind these figures: the close's hash for a closed
  // month, the newest entry's for an open one; "" for an empty ledger.
  std::string head;
  std::string today;                      // days after it are to come
  std::vector<Statement_Day> days;        // every day of the month, in order
  std::vector<std::string> missing_days;  // no record, up to today
  std::vector<std::string> days_to_come;  // no record, after today
  std::vector<Version_Row> corrections;   // of the month's days, as recorded
  std::vector<Version_Row> prior_period;  // carried in from closed months
  // Of a closed month: versions of its days recorded after the close, each
  // carried into a later month. The figures above leave them out.
  std::vector<Version_Row> since_close;
  std::int64_t bus_days = 0;  // the days' totals
  std::int64_t metro_days = 0;
  std::int64_t bus_prior = 0;  // the prior-period adjustments
  std::int64_t metro_prior = 0;
  std::int64_t bus_to_pay = 0;  // both together
  std::int64_t metro_to_pay = 0;

  // The days with no record, missing or to come.
  std::size_t Unrecorded() const {
    return missing_days.size() + days_to_come.size();
  }
};

// The month's statement. A closed month's shows the ledger as it stood at
// the close, today being the close's day, so its figures never change; an
// open month's shows it as it is, today by Utc_Today.
Month_Statement Build_Statement(Database& db, const Month& month);

// The close of the statement's month made at closed_at, when last_entry
// was the newest entry: its figures, not yet numbered or chained.
Month_Close Close_Of(const Month_Statement& statement,
                     const std::string& closed_at, std::int64_t last_entry);
// The days to come as the span they make, "2026-12-04 to 2026-12-31" (or
// the one day); they are the month's last days.
std::string To_Come_Span(const Month_Statement& statement);

// The statement as text, as CSV (RFC 4180), as JSON and as an HTML page.
std::string Statement_Text(const Month_Statement& statement);
std::string Statement_Csv(const Month_Statement& statement);
std::string Statement_Json(const Month_Statement& statement);
std::string Statement_Html(const Month_Statement& statement);
