#include "Ledger_Statement.h"

#include <limits>
#include <map>

#include "Won.h"

namespace {

// The latest version of each day recorded up to cutoff, by day.
std::map<std::string, Version_Row> In_Force(
    const std::vector<Version_Row>& versions, std::int64_t cutoff) {
  std::map<std::string, Version_Row> in_force;
  for (const Version_Row& row : versions)
    if (row.entry <= cutoff) in_force[row.day] = row;
  return in_force;
}

void Add_Totals(Month_Statement& statement) {
  for (const Statement_Day& day : statement.days) {
    if (!day.version) continue;
    statement.bus_days =
        Won_Sum(statement.bus_days, day.version->figures.bus_total);
    statement.metro_days =
        Won_Sum(statement.metro_days, day.version->figures.metro_total);
  }
  for (const Version_Row& row : statement.prior_period) {
    statement.bus_prior = Won_Sum(statement.bus_prior, row.bus_adjustment);
    statement.metro_prior =
        Won_Sum(statement.metro_prior, row.metro_adjustment);
  }
  statement.bus_to_pay = Won_Sum(statement.bus_days, statement.bus_prior);
  statement.metro_to_pay = Won_Sum(statement.metro_days, statement.metro_prior);
}

// Sets each day's version in force, or lists it as missing or to come.
void Add_Days(Month_Statement& statement, const std::vector<std::string>& days,
              const std::map<std::string, Version_Row>& in_force) {
  for (const std::string& day : days) {
    auto found = in_force.find(day);
    if (found != in_force.end()) {
      statement.days.push_back({day, found->second});
    } else if (day > statement.today) {
      statement.days.push_back({day, std::nullopt, true});
      statement.days_to_come.push_back(day);
    } else {
      statement.days.push_back({day, std::nullopt});
      statement.missing_days.push_back(day);
    }
  }
}

}  // namespace

Month_Statement Build_Statement(Database& db, const Month& month) {
  Month_Statement statement;
  statement.month = month.Text();
  statement.close = Find_Close(db, statement.month);
  statement.head =
      statement.close ? statement.close->entry_hash : Last_Entry_Hash(db);
  std::int64_t cutoff = statement.close
                            ? statement.close->last_entry
                            : std::numeric_limits<std::int64_t>::max();
  statement.today =
      statement.close ? statement.close->closed_at.substr(0, 10) : Utc_Today();
  std::vector<std::string> days = month.Day_Texts();
  std::vector<Version_Row> versions =
      Versions_Between(db, days.front(), days.back());
  Add_Days(statement, days, In_Force(versions, cutoff));
  for (const Version_Row& row : versions) {
    if (row.entry > cutoff)
      statement.since_close.push_back(row);
    else if (row.version > 1)
      statement.corrections.push_back(row);
  }
  for (const Version_Row& row : Versions_Carried_Into(db, statement.month))
    if (row.entry <= cutoff) statement.prior_period.push_back(row);
  Add_Totals(statement);
  return statement;
}

Month_Close Close_Of(const Month_Statement& statement,
                     const std::string& closed_at, std::int64_t last_entry) {
  Month_Close close;
  close.month = statement.month;
  close.closed_at = closed_at;
  close.last_entry = last_entry;
  close.missing_days = static_cast<std::int64_t>(statement.Unrecorded());
  close.bus_days = statement.bus_days;
  close.metro_days = statement.metro_days;
  close.bus_prior = statement.bus_prior;
  close.metro_prior = statement.metro_prior;
  return close;
}

std::string To_Come_Span(const Month_Statement& statement) {
  const std::vector<std::string>& days = statement.days_to_come;
  if (days.size() < 2) return days.empty() ? "" : days.front();
  return days.front() + " to " + days.back();
}
