// The month's statement as one JSON document; won are JSON integers.
#include "Audit_Adapter.h"
#include "Ledger_Statement.h"

namespace {

std::string Number(std::int64_t value) { return std::to_string(value); }

std::string Day_Json(const Version_Row& row) {
  return "{\"day\": " + Json_Text(row.day) +
         ", \"version\": " + Number(row.version) +
         ", \"recorded_at\": " + Json_Text(row.recorded_at) +
         ", \"bus_total\": " + Number(row.figures.bus_total) +
         ", \"metro_total\": " + Number(row.figures.metro_total) + "}";
}

std::string Adjustment_Json(const Version_Row& row) {
  return "{\"day\": " + Json_Text(row.day) +
         ", \"version\": " + Number(row.version) +
         ", \"recorded_at\": " + Json_Text(row.recorded_at) +
         ", \"reason\": " + (row.reason ? Json_Text(*row.reason) : "null") +
         ", \"bus_adjustment\": " + Number(row.bus_adjustment) +
         ", \"metro_adjustment\": " + Number(row.metro_adjustment) + "}";
}

// A JSON array of items, one to a line.
template <typename T, typename F>
std::string Array(const std::vector<T>& items, F format) {
  if (items.empty()) return "[]";
  std::string out = "[\n";
  for (std::size_t i = 0; i < items.size(); ++i)
    out += "    " + format(items[i]) + (i + 1 < items.size() ? ",\n" : "\n");
  return out + "  ]";
}

std::string Recorded_Days(const Month_Statement& s) {
  std::vector<Version_Row> days;
  for (const Statement_Day& day : s.days)
    if (day.version) days.push_back(*day.version);
  return Array(days, Day_Json);
}

}  // namespace

std::string Statement_Json(const Month_Statement& s) {
  return "{\n  \"month\": " + Json_Text(s.month) +
         ",\n  \"status\": " + (s.close ? "\"closed\"" : "\"open\"") +
         ",\n  \"closed_at\": " +
         (s.close ? Json_Text(s.close->closed_at) : "null") +
         ",\n  \"head\": " + (s.head.empty() ? "null" : Json_Text(s.head)) +
         ",\n  \"days\": " + Recorded_Days(s) +
         ",\n  \"missing_days\": " + Array(s.missing_days, Json_Text) +
         ",\n  \"days_to_come\": " + Array(s.days_to_come, Json_Text) +
         ",\n  \"corrections\": " + Array(s.corrections, Adjustment_Json) +
         ",\n  \"prior_period_adjustments\": " +
         Array(s.prior_period, Adjustment_Json) +
         ",\n  \"totals\": {\"bus_days\": " + Number(s.bus_days) +
         ", \"metro_days\": " + Number(s.metro_days) +
         ", \"bus_prior_period\": " + Number(s.bus_prior) +
         ", \"metro_prior_period\": " + Number(s.metro_prior) +
         ", \"bus_to_pay\": " + Number(s.bus_to_pay) +
         ", \"metro_to_pay\": " + Number(s.metro_to_pay) + "}\n}\n";
}
