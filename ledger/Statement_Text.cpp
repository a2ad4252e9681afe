// The month's statement as the text fare-ledger prints.
#include "Audit_Adapter.h"
#include "Ledger_Statement.h"
#include "Won.h"

namespace {

std::string Right(const std::string& text, std::size_t width) {
  return text.size() >= width ? text
                              : std::string(width - text.size(), ' ') + text;
}

std::string Left(const std::string& text, std::size_t width) {
  return text.size() >= width ? text
                              : text + std::string(width - text.size(), ' ');
}

// A row of the tables: a label, then the bus and the metro column.
std::string Row(const std::string& label, const std::string& bus,
                const std::string& metro) {
  return Left(label, 28) + Right(bus, 20) + Right(metro, 20) + "\n";
}

std::string Status(const Month_Statement& s) {
  std::string head =
      "ledger head: " + (s.head.empty() ? "none (no entry yet)" : s.head) +
      "\n";
  if (s.close)
    return "closed at " + s.close->closed_at +
           ": the figures as paid, never changed\n" + head;
  return "open: the figures may still change\n" + head;
}

std::string Day_Rows(const Month_Statement& s) {
  std::string text = Row("day        version", "bus", "metro");
  for (const Statement_Day& day : s.days) {
    if (!day.version) continue;  // listed with the missing days
    text += Row(day.day + Right(std::to_string(day.version->version), 8),
                Won(day.version->figures.bus_total),
                Won(day.version->figures.metro_total));
  }
  return text;
}

// One correction or prior-period adjustment: which version, when, why and
// what it changed.
std::string Adjustment_Line(const Version_Row& row) {
  return "  " + row.day + " version " + std::to_string(row.version) +
         ", recorded " + row.recorded_at + ", " +
         (row.reason ? Quoted_Text(*row.reason) : "a day recorded late") +
         ": bus " + Signed_Won(row.bus_adjustment) + ", metro " +
         Signed_Won(row.metro_adjustment) + "\n";
}

std::string Adjustments(const char* title,
                        const std::vector<Version_Row>& rows) {
  std::string text = "\n";
  ((text += title) += ": ") += std::to_string(rows.size()) + "\n";
  for (const Version_Row& row : rows) text += Adjustment_Line(row);
  return text;
}

// The missing days, six to a line; then the days to come, if any.
std::string Missing(const Month_Statement& s) {
  std::string text = "\nmissing days: ";
  text += std::to_string(s.missing_days.size()) + "\n";
  for (std::size_t i = 0; i < s.missing_days.size(); ++i) {
    text += i % 6 == 0 ? "  " : ", ";
    text += s.missing_days[i];
    if (i % 6 == 5 || i + 1 == s.missing_days.size()) text += '\n';
  }
  if (s.days_to_come.empty()) return text;
  return text + "days to come: " + std::to_string(s.days_to_come.size()) +
         "\n  " + To_Come_Span(s) + "\n";
}

std::string Totals(const Month_Statement& s) {
  std::size_t recorded = s.days.size() - s.Unrecorded();
  std::string text = "\n";
  return text + Row("totals", "bus", "metro") +
         Row("  days (" + std::to_string(recorded) + " of " +
                 std::to_string(s.days.size()) + ")",
             Won(s.bus_days), Won(s.metro_days)) +
         Row("  prior-period adjustments", Signed_Won(s.bus_prior),
             Signed_Won(s.metro_prior)) +
         Row("  to pay", Won(s.bus_to_pay), Won(s.metro_to_pay));
}

}  // namespace

std::string Statement_Text(const Month_Statement& s) {
  return "Statement of " + s.month + "\n" + Status(s) + "\n" + Day_Rows(s) +
         Adjustments("corrections", s.corrections) +
         Adjustments("prior-period adjustments", s.prior_period) + Missing(s) +
         Totals(s);
}
