// The month's statement as a self-contained HTML page with an inline SVG
// chart of each company's daily totals.
#include <algorithm>

#include "Audit_Adapter.h"
#include "Ledger_Statement.h"
#include "Won.h"

namespace {

constexpr const char* BUS_COLOUR = "#2b6cb0";
constexpr const char* METRO_COLOUR = "#c05621";
constexpr const char* STYLE =
    "body{font-family:sans-serif;margin:2em;color:#1a202c}"
    "table{border-collapse:collapse;margin:1em 0}"
    "td,th{border:1px solid #cbd5e0;padding:.2em .6em}"
    "td.n{text-align:right}caption{font-weight:bold;text-align:left}"
    ".status{font-size:1.2em}";

std::string Cell(const std::string& text, bool number = false) {
  return std::string(number ? "<td class=\"n\">" : "<td>") + text + "</td>";
}

std::string Svg_Text(long x, long y, const std::string& text,
                     const char* anchor = "start") {
  return "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) +
         "\" text-anchor=\"" + anchor + "\" font-size=\"11\">" + text +
         "</text>";
}

std::string Bar(long x, long height, const char* colour,
                const std::string& title) {
  return "<rect x=\"" + std::to_string(x) + "\" y=\"" +
         std::to_string(230 - height) + "\" width=\"6\" height=\"" +
         std::to_string(height) + "\" fill=\"" + colour + "\"><title>" + title +
         "</title></rect>";
}

// The bar heights: won per pixel so that the largest total is 200 high.
std::int64_t Won_Per_Pixel(const Month_Statement& s) {
  std::int64_t most = 1;
  for (const Statement_Day& day : s.days)
    if (day.version)
      most = std::max({most, day.version->figures.bus_total,
                       day.version->figures.metro_total});
  return most / 200 + 1;
}

std::string Day_Bars(const Statement_Day& day, long x, std::int64_t scale) {
  const Version_Row& v = *day.version;
  auto height = [scale](std::int64_t won) {
    return static_cast<long>(std::max<std::int64_t>(0, won) / scale);
  };
  std::string svg = Bar(x, height(v.figures.bus_total), BUS_COLOUR,
                        day.day + " bus " + Won(v.figures.bus_total)) +
                    Bar(x + 7, height(v.figures.metro_total), METRO_COLOUR,
                        day.day + " metro " + Won(v.figures.metro_total));
  if (v.version > 1)
    svg += "<circle class=\"correction\" cx=\"" + std::to_string(x + 6) +
           "\" cy=\"22\" r=\"5\" fill=\"#e53e3e\"><title>" + day.day +
           " corrected: version " + std::to_string(v.version) +
           "</title></circle>";
  return svg;
}

std::string Chart(const Month_Statement& s) {
  std::string svg =
      "<svg id=\"daily-chart\" class=\"chart\" role=\"img\" "
      "xmlns=\"http://www.w3.org/2000/svg\" width=\"760\" height=\"280\" "
      "aria-label=\"Daily totals per company\">"
      "<line x1=\"40\" y1=\"230\" x2=\"750\" y2=\"230\" stroke=\"#4a5568\"/>";
  std::int64_t scale = Won_Per_Pixel(s);
  for (std::size_t i = 0; i < s.days.size(); ++i) {
    long x = 44 + static_cast<long>(i) * 22;
    if (s.days[i].version) svg += Day_Bars(s.days[i], x, scale);
    if (i % 5 == 0)
      svg += Svg_Text(x + 6, 246, std::to_string(i + 1), "middle");
  }
  svg += "<rect x=\"44\" y=\"258\" width=\"12\" height=\"12\" fill=\"" +
         std::string(BUS_COLOUR) + "\"/>" + Svg_Text(60, 269, "bus") +
         "<rect x=\"110\" y=\"258\" width=\"12\" height=\"12\" fill=\"" +
         METRO_COLOUR + "\"/>" + Svg_Text(126, 269, "metro") +
         "<circle cx=\"186\" cy=\"264\" r=\"5\" fill=\"#e53e3e\"/>" +
         Svg_Text(196, 269, "corrected day");
  return svg + "</svg>\n";
}

std::string Days_Table(const Month_Statement& s) {
  std::string html =
      "<table id=\"days\"><caption>Days</caption><tr><th>day</th>"
      "<th>version</th><th>recorded</th><th>bus</th><th>metro</th></tr>\n";
  for (const Statement_Day& day : s.days)
    if (day.version)
      html += "<tr>" + Cell(day.day) +
              Cell(std::to_string(day.version->version), true) +
              Cell(day.version->recorded_at) +
              Cell(Won(day.version->figures.bus_total), true) +
              Cell(Won(day.version->figures.metro_total), true) + "</tr>\n";
  return html + "</table>\n";
}

std::string Adjustments_Table(const char* id, const char* caption,
                              const std::vector<Version_Row>& rows) {
  std::string html = std::string("<table id=\"") + id + "\"><caption>" +
                     caption + " (" + std::to_string(rows.size()) +
                     ")</caption><tr><th>day</th><th>version</th>"
                     "<th>recorded</th><th>reason</th><th>bus</th>"
                     "<th>metro</th></tr>\n";
  for (const Version_Row& row : rows)
    html += "<tr>" + Cell(row.day) + Cell(std::to_string(row.version), true) +
            Cell(row.recorded_at) +
            Cell(row.reason ? Html_Text(*row.reason) : "a day recorded late") +
            Cell(Signed_Won(row.bus_adjustment), true) +
            Cell(Signed_Won(row.metro_adjustment), true) + "</tr>\n";
  return html + "</table>\n";
}

std::string Totals_Table(const Month_Statement& s) {
  auto row = [](const char* label, const std::string& bus,
                const std::string& metro) {
    return std::string("<tr>") + Cell(label) + Cell(bus, true) +
           Cell(metro, true) + "</tr>\n";
  };
  return "<table id=\"totals\"><caption>Totals</caption><tr><th></th>"
         "<th>bus</th><th>metro</th></tr>\n" +
         row("days", Won(s.bus_days), Won(s.metro_days)) +
         row("prior-period adjustments", Signed_Won(s.bus_prior),
             Signed_Won(s.metro_prior)) +
         row("to pay", Won(s.bus_to_pay), Won(s.metro_to_pay)) + "</table>\n";
}

std::string Missing_Days(const Month_Statement& s) {
  std::string html = "<p id=\"missing\">Missing days (" +
                     std::to_string(s.missing_days.size()) + ")";
  for (std::size_t i = 0; i < s.missing_days.size(); ++i)
    html += (i == 0 ? ": " : ", ") + s.missing_days[i];
  return html + "</p>\n";
}

}  // namespace

std::string Statement_Html(const Month_Statement& s) {
  std::string status = s.close ? "closed at " + s.close->closed_at +
                                     ": the figures as paid, never changed"
                               : "open: the figures may still change";
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">"
         "\n<title>Statement of " +
         s.month + "</title>\n<style>" + STYLE +
         "</style>\n</head>\n<body>\n<h1>Statement of " + s.month +
         "</h1>\n<p class=\"status\">" + status +
         "</p>\n<p id=\"head\">Ledger head: <code>" +
         (s.head.empty() ? "none (no entry yet)" : s.head) + "</code></p>\n" +
         Chart(s) + Totals_Table(s) + Days_Table(s) +
         Adjustments_Table("corrections", "Corrections", s.corrections) +
         Adjustments_Table("prior-period", "Prior-period adjustments",
                           s.prior_period) +
         Missing_Days(s) + "</body>\n</html>\n";
}
