// The month's statement as CSV (RFC 4180: CR LF line ends, fields quoted
// when they must be), one row per line of the statement.
#include "Audit_Adapter.h"
#include "Ledger_Statement.h"

namespace {

constexpr const char* HEADER =
    "kind,date,version,recorded_at,bus_won,metro_won,note\r\n";

std::string Csv_Row(const std::vector<std::string>& fields) {
  std::string row;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) row += ',';
    row += Csv_Text(fields[i]);
  }
  return row + "\r\n";
}

std::string Version_Row_Csv(const char* kind, const Version_Row& row,
                            std::int64_t bus, std::int64_t metro,
                            const std::string& note) {
  return Csv_Row({kind, row.day, std::to_string(row.version), row.recorded_at,
                  std::to_string(bus), std::to_string(metro), note});
}

std::string Total_Row(const char* kind, std::int64_t bus, std::int64_t metro) {
  return Csv_Row(
      {kind, "", "", "", std::to_string(bus), std::to_string(metro), ""});
}

}  // namespace

std::string Statement_Csv(const Month_Statement& s) {
  std::string csv = HEADER;
  csv += Csv_Row({"month", s.month, "", s.close ? s.close->closed_at : "", "",
                  "", s.close ? "closed" : "open"});
  csv += Csv_Row({"head", "", "", "", "", "", s.head});
  for (const Statement_Day& day : s.days) {
    if (!day.version)
      csv += Csv_Row(
          {day.to_come ? "to-come" : "missing", day.day, "", "", "", "", ""});
    else
      csv +=
          Version_Row_Csv("day", *day.version, day.version->figures.bus_total,
                          day.version->figures.metro_total, "");
  }
  for (const Version_Row& row : s.corrections)
    csv += Version_Row_Csv("correction", row, row.bus_adjustment,
                           row.metro_adjustment, row.reason.value_or(""));
  for (const Version_Row& row : s.prior_period)
    csv += Version_Row_Csv("prior-period", row, row.bus_adjustment,
                           row.metro_adjustment, row.reason.value_or(""));
  csv += Total_Row("days-total", s.bus_days, s.metro_days);
  csv += Total_Row("prior-period-total", s.bus_prior, s.metro_prior);
  csv += Total_Row("to-pay", s.bus_to_pay, s.metro_to_pay);
  return csv;
}
