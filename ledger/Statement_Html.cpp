// The month's statement as a self-contained HTML page: a status box, an
// inline SVG chart of each company's daily totals on a scale in won, the
// tables of the statement, and the missing days.
#include <algorithm>
#include <cstdint>

#include "Audit_Adapter.h"
#include "Ledger_Statement.h"
#include "Text_List.h"
#include "Won.h"

namespace {

constexpr const char* BUS_COLOUR = "#2b6cb0";
constexpr const char* METRO_COLOUR = "#c05621";
constexpr const char* CORRECTED_COLOUR = "#e53e3e";
constexpr const char* SINCE_CLOSE_COLOUR = "#6b46c1";
constexpr const char* STYLE =
    "body{font-family:sans-serif;margin:2em;color:#1a202c}"
    "table{border-collapse:collapse;margin:1em 0}"
    "td,th{border:1px solid #cbd5e0;padding:.2em .6em;white-space:nowrap}"
    "td.n{text-align:right;font-variant-numeric:tabular-nums}"
    "caption{font-weight:bold;text-align:left;padding:.3em 0}"
    "svg text{font-size:11px;fill:#1a202c}"
    ".status{border:2px solid #2f855a;padding:.5em 1em;max-width:44em}"
    ".status.open{border-color:#b7791f}"
    ".status p{margin:.3em 0}"
    ".state{font-size:1.6em;font-weight:bold}"
    ".to-pay{font-size:1.2em}"
    "ul.days{columns:6 8em;padding-left:1.2em}"
    ".since-close{color:#6b46c1}td.since-close{white-space:normal}";

// Chart geometry: the axis runs along y = BASE; PLOT pixels above it hold
// the scale's top; a day takes SLOT pixels from LEFT on.
constexpr long LEFT = 90;
constexpr long BASE = 230;
constexpr long PLOT = 200;
constexpr long SLOT = 21;

std::string Cell(const std::string& text, bool number = false) {
  return std::string(number ? "<td class=\"n\">" : "<td>") + text + "</td>";
}

std::string Svg_Text(long x, long y, const std::string& text,
                     const char* anchor = "start") {
  return "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) +
         "\" text-anchor=\"" + anchor + "\">" + text + "</text>";
}

std::string Rect(const char* css_class, long x, long y, long width, long height,
                 const char* colour, const std::string& title) {
  return std::string("<rect class=\"") + css_class + "\" x=\"" +
         std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
         std::to_string(width) + "\" height=\"" + std::to_string(height) +
         "\" fill=\"" + colour + "\"><title>" + title + "</title></rect>";
}

// The scale: a round step (1, 2 or 5 times a power of ten) and how many of
// them reach the largest daily total, at most five.
struct Scale {
  std::int64_t step = 1;
  std::int64_t steps = 1;
  long Height(std::int64_t won) const {  // pixels, never below the axis
    double top = static_cast<double>(step) * static_cast<double>(steps);
    return static_cast<long>(
        static_cast<double>(std::max<std::int64_t>(0, won)) * PLOT / top);
  }
};

// The smallest of 1, 2, 5, 10, 20 ... that is at least least; 0 when five
// such steps would not fit in 64 bits.
std::int64_t Round_Step(std::int64_t least) {
  for (std::int64_t decade = 1;; decade *= 10) {
    for (std::int64_t factor : {1, 2, 5})
      if (factor * decade >= least && factor * decade <= INT64_MAX / 5)
        return factor * decade;
    if (decade > INT64_MAX / 50) return 0;
  }
}

Scale Scale_Of(const Month_Statement& s) {
  std::int64_t most = 0;
  for (const Statement_Day& day : s.days)
    if (day.version)
      most = std::max({most, day.version->figures.bus_total,
                       day.version->figures.metro_total});
  Scale scale;
  // No day recorded yet: a scale of 1,000 won rather than of 1.
  scale.step = most == 0 ? 1000 : Round_Step(most / 5 + (most % 5 != 0));
  if (scale.step == 0) {  // totals only an edited ledger has: one step
    scale.step = most;
    return scale;
  }
  scale.steps =
      std::max<std::int64_t>(1, most / scale.step + (most % scale.step != 0));
  return scale;
}

// Grid lines and their won, from 0 to the scale's top.
std::string Axis(const Scale& scale, long right) {
  std::string svg;
  for (std::int64_t i = 0; i <= scale.steps; ++i) {
    long y = BASE - static_cast<long>(i * PLOT / scale.steps);
    svg += "<line x1=\"" + std::to_string(LEFT - 4) + "\" y1=\"" +
           std::to_string(y) + "\" x2=\"" + std::to_string(right) + "\" y2=\"" +
           std::to_string(y) + "\" stroke=\"" +
           (i == 0 ? "#4a5568" : "#e2e8f0") + "\"/>" +
           Svg_Text(LEFT - 8, y + 4, Won(i * scale.step), "end");
  }
  return svg;
}

std::string Mark(const char* css_class, long x, const char* colour,
                 const std::string& title) {
  return std::string("<circle class=\"") + css_class + "\" cx=\"" +
         std::to_string(x) + "\" cy=\"" + std::to_string(BASE - PLOT - 10) +
         "\" r=\"5\" fill=\"" + colour + "\"><title>" + title +
         "</title></circle>";
}

// The versions of day recorded after its month's close.
std::vector<const Version_Row*> Since_Close(const Month_Statement& s,
                                            const std::string& day) {
  std::vector<const Version_Row*> rows;
  for (const Version_Row& row : s.since_close)
    if (row.day == day) rows.push_back(&row);
  return rows;
}

// "corrected after the close: version 3, carried into 2027-02" (a day first
// recorded after the close says "recorded").
std::string Since_Close_Note(const Version_Row& row) {
  return std::string(row.version > 1 ? "corrected" : "recorded") +
         " after the close: version " + std::to_string(row.version) +
         ", carried into " + row.carried_to.value_or("no month");
}

// A day's two bars and its marks, or a dot on the axis for a missing day.
std::string Day_Chart(const Month_Statement& s, const Statement_Day& day,
                      long x, const Scale& scale) {
  std::string svg;
  std::vector<const Version_Row*> since = Since_Close(s, day.day);
  if (!since.empty())  // one mark, for the latest
    svg = Mark("since-close", x + 8, SINCE_CLOSE_COLOUR,
               day.day + " " + Since_Close_Note(*since.back()));
  if (!day.version) {
    if (day.to_come) return svg;
    return svg + "<circle class=\"missing\" cx=\"" + std::to_string(x + 8) +
           "\" cy=\"" + std::to_string(BASE - 4) +
           "\" r=\"3\" fill=\"none\" stroke=\"#718096\"><title>" + day.day +
           " missing</title></circle>";
  }
  const Version_Row& v = *day.version;
  long bus = scale.Height(v.figures.bus_total);
  long metro = scale.Height(v.figures.metro_total);
  svg += Rect("bar", x, BASE - bus, 8, bus, BUS_COLOUR,
              day.day + " bus " + Won(v.figures.bus_total)) +
         Rect("bar", x + 9, BASE - metro, 8, metro, METRO_COLOUR,
              day.day + " metro " + Won(v.figures.metro_total));
  if (v.version > 1)
    svg += Mark("correction", x + 8, CORRECTED_COLOUR,
                day.day + " corrected: version " + std::to_string(v.version));
  return svg;
}

// The days to come, shaded.
std::string To_Come_Band(const Month_Statement& s) {
  if (s.days_to_come.empty()) return "";
  long first = static_cast<long>(s.days.size() - s.days_to_come.size());
  long x = LEFT + first * SLOT - 2;
  long width = static_cast<long>(s.days_to_come.size()) * SLOT;
  return Rect("to-come", x, BASE - PLOT, width, PLOT, "#edf2f7",
              "days to come") +
         Svg_Text(x + width / 2, BASE - PLOT / 2, "to come", "middle");
}

std::string Legend(const Month_Statement& s) {
  std::string svg = Rect("key", LEFT, 258, 12, 12, BUS_COLOUR, "bus") +
                    Svg_Text(LEFT + 16, 269, "bus") +
                    Rect("key", LEFT + 60, 258, 12, 12, METRO_COLOUR, "metro") +
                    Svg_Text(LEFT + 76, 269, "metro") + "<circle cx=\"" +
                    std::to_string(LEFT + 136) +
                    "\" cy=\"264\" r=\"5\" fill=\"" + CORRECTED_COLOUR +
                    "\"/>" + Svg_Text(LEFT + 146, 269, "corrected day");
  if (s.close)
    svg += "<circle cx=\"" + std::to_string(LEFT + 246) +
           "\" cy=\"264\" r=\"5\" fill=\"" + SINCE_CLOSE_COLOUR + "\"/>" +
           Svg_Text(LEFT + 256, 269, "recorded after the close");
  return svg;
}

std::string Chart(const Month_Statement& s) {
  long right = LEFT + static_cast<long>(s.days.size()) * SLOT;
  std::string svg =
      "<svg id=\"daily-chart\" class=\"chart\" role=\"img\" "
      "xmlns=\"http://www.w3.org/2000/svg\" width=\"760\" height=\"280\" "
      "aria-label=\"Daily totals per company, in won\">" +
      To_Come_Band(s);
  Scale scale = Scale_Of(s);
  svg += Axis(scale, right);
  for (std::size_t i = 0; i < s.days.size(); ++i) {
    long x = LEFT + static_cast<long>(i) * SLOT;
    svg += Day_Chart(s, s.days[i], x, scale);
    if (i == 0 || (i + 1) % 5 == 0)
      svg += Svg_Text(x + 8, BASE + 16, std::to_string(i + 1), "middle");
  }
  return svg + Legend(s) + "</svg>\n";
}

std::string Status_Box(const Month_Statement& s) {
  std::size_t recorded = s.days.size() - s.Unrecorded();
  std::string days = std::to_string(recorded) + " of " +
                     Counted(s.days.size(), "day", "days") + " recorded";
  if (!s.missing_days.empty())
    days += " &middot; " + Counted(s.missing_days.size(), "day", "days") +
            " missing";
  if (!s.days_to_come.empty())
    days += " &middot; " + Counted(s.days_to_come.size(), "day", "days") +
            " to come";
  std::string html =
      std::string("<div id=\"status\" class=\"status ") +
      (s.close ? "closed\">\n<p class=\"state\">Closed</p>\n<p>closed at " +
                     s.close->closed_at +
                     ": the figures as paid, never "
                     "changed</p>\n"
               : "open\">\n<p class=\"state\">Open</p>\n<p>the figures may "
                 "still change</p>\n") +
      "<p class=\"to-pay\">to pay: bus " + Won(s.bus_to_pay) +
      " &middot; metro " + Won(s.metro_to_pay) + "</p>\n<p>" + days + "</p>\n";
  if (!s.since_close.empty())
    html += "<p class=\"since-close\">" +
            Counted(s.since_close.size(), "version", "versions") +
            " of its days recorded after the close, paid in later "
            "months</p>\n";
  return html + "</div>\n";
}

std::string Days_Table(const Month_Statement& s) {
  std::string html =
      "<table id=\"days\"><caption>Days</caption><tr><th>day</th>"
      "<th>version</th><th>recorded</th><th>bus</th><th>metro</th>"
      "<th>note</th></tr>\n";
  for (const Statement_Day& day : s.days) {
    if (!day.version) continue;
    std::string note;
    for (const Version_Row* row : Since_Close(s, day.day))
      Append_Item(note, "; ", Since_Close_Note(*row));
    html += "<tr>" + Cell(day.day) +
            Cell(std::to_string(day.version->version), true) +
            Cell(day.version->recorded_at) +
            Cell(Won(day.version->figures.bus_total), true) +
            Cell(Won(day.version->figures.metro_total), true) +
            (note.empty() ? Cell("")
                          : "<td class=\"since-close\">" + note + "</td>") +
            "</tr>\n";
  }
  return html + "</table>\n";
}

std::string Adjustments_Table(const char* id, const char* caption,
                              const std::vector<Version_Row>& rows,
                              bool carried = false) {
  std::string html = std::string("<table id=\"") + id + "\"><caption>" +
                     caption + " (" + std::to_string(rows.size()) +
                     ")</caption><tr><th>day</th><th>version</th>"
                     "<th>recorded</th><th>reason</th><th>bus</th>"
                     "<th>metro</th>" +
                     (carried ? "<th>carried into</th>" : "") + "</tr>\n";
  for (const Version_Row& row : rows)
    html += "<tr>" + Cell(row.day) + Cell(std::to_string(row.version), true) +
            Cell(row.recorded_at) +
            Cell(row.reason ? Html_Text(*row.reason) : "a day recorded late") +
            Cell(Signed_Won(row.bus_adjustment), true) +
            Cell(Signed_Won(row.metro_adjustment), true) +
            (carried ? Cell(row.carried_to.value_or("")) : "") + "</tr>\n";
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

// The missing days as a list of their own; the days to come as their span.
std::string Missing_Section(const Month_Statement& s) {
  std::string html = "<h2 id=\"missing-days\">Missing days (" +
                     std::to_string(s.missing_days.size()) + ")</h2>\n";
  if (s.missing_days.empty() && s.today < s.days.front().day) {
    html += "<p id=\"missing\">none: the month has not begun</p>\n";
  } else if (s.missing_days.empty()) {
    html += "<p id=\"missing\">none: every day up to " +
            std::min(s.today, s.days.back().day) + " is recorded</p>\n";
  } else {
    html += "<ul id=\"missing\" class=\"days\">";
    for (const std::string& day : s.missing_days)
      html += "<li>" + day + "</li>";
    html += "</ul>\n";
  }
  if (s.days_to_come.empty()) return html;
  return html + "<p id=\"to-come\">" +
         Counted(s.days_to_come.size(), "day", "days") +
         " to come, not missing: " + To_Come_Span(s) + "</p>\n";
}

}  // namespace

std::string Statement_Html(const Month_Statement& s) {
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">"
      "\n<title>Statement of " +
      s.month + "</title>\n<style>" + STYLE +
      "</style>\n</head>\n<body>\n<h1>Statement of " + s.month + "</h1>\n" +
      Status_Box(s) + "<p id=\"head\">Ledger head: <code>" +
      (s.head.empty() ? "none (no entry yet)" : s.head) + "</code></p>\n" +
      "<h2>Daily totals</h2>\n" + Chart(s) + Totals_Table(s) +
      Missing_Section(s) + "<h2>The days and their adjustments</h2>\n" +
      Days_Table(s) +
      Adjustments_Table("corrections", "Corrections", s.corrections) +
      Adjustments_Table("prior-period", "Prior-period adjustments",
                        s.prior_period);
  if (s.close)
    html += Adjustments_Table("since-close", "Recorded after the close",
                              s.since_close, true);
  return html + "</body>\n</html>\n";
}
