#include "Audit_Html.h"

#include <algorithm>

#include "Audit_Text.h"
#include "Calculating_System.h"
#include "Os.h"  // OS_PATH_SEPARATORS

std::string Shown(std::string_view bytes) {
  std::string text;
  for (std::size_t at = 0; at < bytes.size();) {
    std::size_t length = Printable_Length(bytes, at);
    if (length == 0 || bytes[at] == '\\') {
      std::size_t control = std::max<std::size_t>(Utf8_Length(bytes, at), 1);
      text += Escaped(bytes.substr(at, control));
      at += control;
    } else {
      text.append(bytes.substr(at, length));
      at += length;
    }
  }
  return Html_Escape(text);
}

namespace {

__extension__ typedef __int128 Wide;

constexpr const char* ORDINARY_COLOUR = "#3b6fb6";
constexpr const char* CREDIT_COLOUR = "#e08a2c";

// "1 journey", "2 journeys".
std::string Journeys(std::int64_t count) {
  return Grouped(count) + (count == 1 ? " journey" : " journeys");
}

std::string Cell(const std::string& text, bool number = false) {
  return number ? "<td class=\"n\">" + text + "</td>" : "<td>" + text + "</td>";
}

std::string Num(std::int64_t value) { return Grouped(value); }

Wide Magnitude(std::int64_t value) {
  return value < 0 ? -static_cast<Wide>(value) : value;
}

// Proportional length of value's magnitude on a scale where full is width
// pixels.
long Scaled(std::int64_t value, Wide full, long width) {
  if (full <= 0) return 0;
  return static_cast<long>(Magnitude(value) * width / full);
}

std::string Rect(long x, long y, long w, long h, const char* fill,
                 const std::string& title) {
  return "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) +
         "\" width=\"" + std::to_string(w) + "\" height=\"" +
         std::to_string(h) + "\" fill=\"" + fill + "\"><title>" + title +
         "</title></rect>";
}

std::string Text(long x, long y, const std::string& text,
                 const char* anchor = "start") {
  return "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) +
         "\" text-anchor=\"" + anchor + "\">" + text + "</text>";
}

// Two stacked bars, bus and metro: ordinary revenue, then transfer credit.
std::string Revenue_Chart(const Audit_Figures& f) {
  Wide full = std::max(Magnitude(f.ordinary_bus) + Magnitude(f.bus_credit),
                       Magnitude(f.ordinary_metro) + Magnitude(f.metro_credit));
  std::string svg =
      "<svg id=\"revenue-chart\" class=\"chart\" role=\"img\" "
      "xmlns=\"http://www.w3.org/2000/svg\" width=\"720\" height=\"170\" "
      "viewBox=\"0 0 720 170\"><title>Revenue by company: ordinary revenue "
      "and transfer credit</title>";
  const struct {
    const char* name;
    std::int64_t ordinary, credit, total;
  } bars[2] = {{"Bus", f.ordinary_bus, f.bus_credit, f.bus_total},
               {"Metro", f.ordinary_metro, f.metro_credit, f.metro_total}};
  for (int i = 0; i < 2; ++i) {
    long y = 20 + 50L * i;
    long w1 = std::max(1L, Scaled(bars[i].ordinary, full, 440));
    long w2 = std::max(1L, Scaled(bars[i].credit, full, 440));
    svg += Text(10, y + 22, bars[i].name);
    svg += Rect(80, y, w1, 34, ORDINARY_COLOUR,
                bars[i].name + std::string(" ordinary: ") +
                    Num(bars[i].ordinary) + " won");
    svg += Rect(80 + w1, y, w2, 34, CREDIT_COLOUR,
                bars[i].name + std::string(" transfer credit: ") +
                    Num(bars[i].credit) + " won");
    svg += Text(88 + w1 + w2, y + 22, Num(bars[i].total) + " won");
  }
  svg += Rect(80, 135, 14, 14, ORDINARY_COLOUR, "ordinary revenue");
  svg += Text(100, 147, "ordinary revenue");
  svg += Rect(260, 135, 14, 14, CREDIT_COLOUR, "transfer credit");
  svg += Text(280, 147, "transfer credit");
  return svg + "</svg>";
}

// Bars of journeys per residue range, with the ranges' bounds beneath.
std::string Residue_Chart(const Audit_Figures& f) {
  std::string svg =
      "<svg id=\"residue-chart\" class=\"chart\" role=\"img\" "
      "xmlns=\"http://www.w3.org/2000/svg\" width=\"720\" height=\"260\" "
      "viewBox=\"0 0 720 260\"><title>Residues per journey (credited minus "
      "collected, won)</title>";
  std::vector<Residue_Bin> bins = Residue_Bins(f.residue_distribution, 20);
  if (bins.empty())
    return svg + Text(360, 130, "no transfer journeys", "middle") + "</svg>";
  std::int64_t most = 0;
  for (const Residue_Bin& bin : bins) most = std::max(most, bin.journeys);
  long slot = std::min(80L, 640 / static_cast<long>(bins.size()));
  svg += "<line x1=\"50\" y1=\"210\" x2=\"" +
         std::to_string(50 + slot * static_cast<long>(bins.size())) +
         "\" y2=\"210\" stroke=\"#444\"/>";
  svg += Text(45, 24, Num(most), "end") + Text(45, 210, "0", "end");
  for (std::size_t i = 0; i < bins.size(); ++i) {
    const Residue_Bin& bin = bins[i];
    long x = 50 + slot * static_cast<long>(i);
    long h =
        bin.journeys > 0 ? std::max(1L, Scaled(bin.journeys, most, 190)) : 0;
    std::string range = bin.low == bin.high ? Signed_Grouped(bin.low)
                                            : Signed_Grouped(bin.low) + " to " +
                                                  Signed_Grouped(bin.high);
    svg += Rect(x + 2, 210 - h, std::max(1L, slot - 4), h, CREDIT_COLOUR,
                range + " won: " + Journeys(bin.journeys));
    if (bins.size() <= 10 || i % 2 == 0)
      svg += Text(x + slot / 2, 226, Signed_Grouped(bin.low), "middle");
  }
  svg += Text(360, 250, "residue per journey, won (lower bound of each bar)",
              "middle");
  return svg + "</svg>";
}

std::string Table(const std::string& caption, const std::string& head,
                  const std::string& rows) {
  return "<table><caption>" + caption + "</caption><thead><tr>" + head +
         "</tr></thead><tbody>" + rows + "</tbody></table>\n";
}

std::string Figures_Tables(const Audit_Figures& f) {
  std::string rows;
  for (int i = 0; i < 6; ++i)
    rows += "<tr>" + Cell(AUDITED_FILES[i]) + Cell(PAYMENT_FILES[i].label) +
            Cell(Num(f.taps[i]), true) + "</tr>";
  std::string out = Table("Taps per payment file",
                          "<th>file</th><th>source</th><th>taps</th>", rows);
  rows = "";
  for (const auto& [legs, count] : f.journeys_by_legs)
    rows += "<tr>" + Cell(Num(legs), true) + Cell(Num(count), true) + "</tr>";
  out +=
      Table("Transfer journeys: " + Num(f.journeys) + ", legs: " + Num(f.legs),
            "<th>legs</th><th>journeys</th>", rows);
  rows = "";
  auto money = [&](const char* label, std::int64_t value, bool sign = false) {
    rows += "<tr>" + Cell(label) +
            Cell(sign ? Signed_Grouped(value) : Num(value), true) +
            Cell(Percent(value, f.collected), true) + "</tr>";
  };
  money("collected", f.collected);
  money("bus credit", f.bus_credit);
  money("metro credit", f.metro_credit);
  money("credited", f.bus_credit + f.metro_credit);
  money("residue (credited &minus; collected)", f.Residue(), true);
  out += Table("Transfer revenue",
               "<th></th><th>won</th><th>share of collected</th>", rows);
  rows = "<tr>" + Cell("bus") + Cell(Num(f.bus_tag), true) +
         Cell(Num(f.ordinary_bus), true) + Cell(Num(f.bus_credit), true) +
         Cell(Num(f.bus_total), true) + "</tr><tr>" + Cell("metro") +
         Cell(Num(f.metro_tag), true) + Cell(Num(f.ordinary_metro), true) +
         Cell(Num(f.metro_credit), true) + Cell(Num(f.metro_total), true) +
         "</tr>";
  return out + Table("Totals per company",
                     "<th>company</th><th>last tag</th><th>ordinary</th>"
                     "<th>transfer credit</th><th>total, won</th>",
                     rows);
}

std::string Residue_Table(const Audit_Figures& f) {
  std::string rows;
  for (const Residue_Entry& e : f.largest)
    rows += "<tr>" + Cell("<code>" + Shown(e.terminal) + "</code>") +
            Cell(Num(static_cast<std::int64_t>(e.legs)), true) +
            Cell(Num(e.collected), true) + Cell(Num(e.bus_credit), true) +
            Cell(Num(e.metro_credit), true) +
            Cell(Signed_Grouped(e.residue), true) + "</tr>";
  return Table("Largest residues",
               "<th>terminal</th><th>legs</th><th>collected</th><th>bus</th>"
               "<th>metro</th><th>residue</th>",
               rows);
}

std::string Check_Tables(const Audit_Outcome& outcome) {
  std::string rows;
  for (const Difference& d : outcome.differences)
    rows += "<tr>" + Cell(Shown(d.file)) + Cell(Shown(d.problem)) + "</tr>";
  if (rows.empty())
    rows =
        "<tr><td colspan=\"2\">trans_history.txt, Total_Bus_Data.txt and "
        "Total_Metro_Data.txt are as the payment files give</td></tr>";
  std::string out =
      Table(outcome.Consistent() ? "Consistency: consistent"
                                 : "Consistency: <strong>INCONSISTENT</strong>",
            "<th>file</th><th>difference</th>", rows);
  rows = "";
  for (const File_Digest& d : outcome.inputs)
    rows += "<tr>" + Cell(Shown(d.name)) + Cell(std::to_string(d.size), true) +
            Cell("<code>" + Hex(d.sha256) + "</code>") + "</tr>";
  return out +
         Table("Files", "<th>file</th><th>bytes</th><th>SHA-256</th>", rows);
}

constexpr const char* PAGE_HEAD =
    "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
    "<style>\n"
    "body { font-family: sans-serif; margin: 2em; color: #222; }\n"
    "table { border-collapse: collapse; margin: 1em 0; }\n"
    "caption { text-align: left; font-weight: bold; padding: 0.3em 0; "
    "white-space: nowrap; }\n"
    "td, th { border: 1px solid #bbb; padding: 0.2em 0.6em; }\n"
    "td.n { text-align: right; font-variant-numeric: tabular-nums; }\n"
    "svg text { font-size: 12px; fill: #222; }\n"
    ".headline { border: 2px solid #2a7a2a; padding: 0.5em 1em; }\n"
    ".headline.bad { border-color: #b22; }\n"
    ".headline.doubt { border-color: #c77c00; }\n"
    "tr.doubt td { background: #fdf0d5; }\n"
    ".verdict { font-size: 1.6em; font-weight: bold; margin: 0.2em 0; }\n"
    "</style>\n";

}  // namespace

std::string Html_Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

namespace {

// value / width rounded toward minus infinity (width > 0).
Wide Floor_Div(Wide value, Wide width) {
  Wide quotient = value / width;
  return quotient * width > value ? quotient - 1 : quotient;
}

// The smallest of 1, 2, 5, 10, 20, 50 ... that is at least least.
Wide Round_Width(Wide least) {
  for (Wide decade = 1;; decade *= 10)
    for (Wide step : {1, 2, 5})
      if (step * decade >= least) return step * decade;
}

std::int64_t Clamped(Wide value) {
  return static_cast<std::int64_t>(
      std::clamp<Wide>(value, INT64_MIN, INT64_MAX));
}

}  // namespace

std::vector<Residue_Bin> Residue_Bins(const Value_Counts& distribution,
                                      std::size_t max_bins) {
  std::vector<Residue_Bin> bins;
  if (distribution.empty() || max_bins == 0) return bins;
  Wide low = distribution.front().first;
  Wide high = distribution.back().first;
  Wide most = static_cast<Wide>(max_bins);
  // Bars start on multiples of a round width, as few as fit in max_bins.
  Wide width = Round_Width((high - low + 1 + most - 1) / most);
  while (Floor_Div(high, width) - Floor_Div(low, width) + 1 > most)
    width = Round_Width(width + 1);
  Wide first = Floor_Div(low, width);
  Wide count = Floor_Div(high, width) - first + 1;
  for (Wide i = 0; i < count; ++i)
    bins.push_back({Clamped((first + i) * width),
                    Clamped((first + i + 1) * width - 1), 0});
  for (const auto& [residue, journeys] : distribution)
    bins[static_cast<std::size_t>(Floor_Div(residue, width) - first)]
        .journeys += journeys;
  return bins;
}

namespace {

// The verdict, the two company totals, the residue and the warnings.
std::string Headline(const Audit_Outcome& outcome) {
  const Audit_Figures& f = outcome.figures;
  std::vector<const Warning*> met = Warnings_Met(outcome.scan);
  std::int64_t warnings = 0;
  for (const Warning* w : met) warnings += w->count;
  std::int64_t kinds = static_cast<std::int64_t>(met.size());
  const char* look = !outcome.Consistent()       ? "bad"
                     : outcome.Totals_In_Doubt() ? "doubt"
                                                 : "good";
  std::string out = "<div id=\"headline\" class=\"headline " +
                    std::string(look) + "\">\n<p class=\"verdict\">" +
                    outcome.Verdict() + "</p>\n";
  if (outcome.Bad_Input())
    out += "<p>" + Num(outcome.scan.Problem_Count()) +
           (outcome.scan.Problem_Count() == 1 ? " problem" : " problems") +
           " in the payment files; nothing settled</p>\n";
  else
    out += "<p>bus " + Num(f.bus_total) + " won &middot; metro " +
           Num(f.metro_total) + " won &middot; residue " +
           Signed_Grouped(f.Residue()) + " won</p>\n";
  if (warnings == 0) return out + "<p>no data-quality warnings</p>\n</div>\n";
  out += "<p>" + Num(warnings) +
         (warnings == 1 ? " data-quality warning" : " data-quality warnings") +
         ", of " + Num(kinds) + (kinds == 1 ? " kind" : " kinds") + "</p>\n";
  if (outcome.Totals_In_Doubt()) {
    std::int64_t doubt = Kinds_Changing_Totals(outcome.scan);
    out += "<p><strong>Totals in doubt:</strong> " + Num(doubt) +
           (doubt == 1 ? " kind of warning" : " kinds of warning") +
           " below can change the totals</p>\n";
  }
  return out + "</div>\n";
}

std::string Reconciliation_Table(const Audit_Figures& f) {
  std::int64_t ordinary = f.ordinary_bus + f.ordinary_metro;
  std::string rows =
      "<tr>" + Cell("collected") + Cell(Num(ordinary + f.collected), true) +
      Cell("ordinary " + Num(ordinary) + ", transfer " + Num(f.collected)) +
      "</tr><tr>" + Cell("credited") +
      Cell(Num(f.bus_total + f.metro_total), true) +
      Cell("bus " + Num(f.bus_total) + ", metro " + Num(f.metro_total)) +
      "</tr><tr>" + Cell("residue") + Cell(Signed_Grouped(f.Residue()), true) +
      Cell("") + "</tr>";
  return Table("Reconciliation", "<th></th><th>won</th><th></th>", rows);
}

std::string Warnings_Table(const Scan_Result& scan) {
  std::string rows;
  for (const Warning* w : Warnings_Met(scan)) {
    std::string places;
    for (const std::string& place : w->examples)
      places += (places.empty() ? "" : ", ") + Html_Escape(place);
    if (w->count > static_cast<std::int64_t>(w->examples.size()))
      places += ", &hellip;";
    std::string what = Html_Escape(w->title);
    if (w->Changes_Totals()) what += "<br>" + Html_Escape(w->advice);
    rows += std::string(w->Changes_Totals() ? "<tr class=\"doubt\">" : "<tr>") +
            Cell(what) + Cell(Num(w->count), true) +
            Cell("<code>" + places + "</code>") + "</tr>";
  }
  if (rows.empty()) rows = "<tr><td colspan=\"3\">none</td></tr>";
  return "<div id=\"warnings\">" +
         Table("Data-quality warnings",
               "<th>warning</th><th>count</th><th>first places</th>", rows) +
         "</div>\n";
}

// The row "WHAT: N more not shown", or nothing when all are shown.
std::string More_Not_Shown(const std::string& what,
                           const File_Problems& problems, std::size_t shown) {
  auto hidden = problems.count - static_cast<std::int64_t>(shown);
  if (hidden == 0) return "";
  return "<tr><td colspan=\"3\">" + what + ": " + Num(hidden) +
         " more not shown</td></tr>";
}

std::string Problems_Table(const Audit_Outcome& outcome) {
  std::string rows;
  for (int i = 0; i < 6; ++i) {
    const File_Problems& problems = outcome.scan.problems[i];
    std::size_t shown = outcome.Shown(problems);
    for (std::size_t k = 0; k < shown; ++k)
      rows += "<tr>" + Cell(problems.kept[k].Place(AUDITED_FILES[i])) +
              Cell(Shown(problems.kept[k].problem)) +
              Cell("<code>" + Shown(problems.kept[k].text) +
                   (problems.kept[k].cut ? "...</code>" : "</code>")) +
              "</tr>";
    rows += More_Not_Shown(AUDITED_FILES[i], problems, shown);
  }
  const File_Problems& journeys = outcome.scan.journey_problems;
  std::size_t shown = outcome.Shown(journeys);
  for (std::size_t k = 0; k < shown; ++k)
    rows += "<tr><td colspan=\"3\">" + Shown(journeys.kept[k].problem) +
            "</td></tr>";
  rows += More_Not_Shown("journeys", journeys, shown);
  std::string out;
  for (const std::string& path : outcome.rejects)
    out += "<li><code>" + Shown(path) + "</code></li>";
  if (!out.empty()) out = "<p>Rejects files written:</p><ul>" + out + "</ul>\n";
  return "<div id=\"problems\">" +
         Table("Problems in the payment files: " +
                   Num(outcome.scan.Problem_Count()),
               "<th>place</th><th>problem</th><th>line</th>", rows) +
         out + "</div>\n";
}

// A path as Shown shows text, but for the characters that separate its
// parts, which stay as they are (on Windows a backslash is one).
std::string Shown_Path(std::string_view path) {
  std::string text;
  std::size_t begin = 0;
  for (std::size_t at = 0; at <= path.size(); ++at) {
    if (at < path.size() &&
        OS_PATH_SEPARATORS.find(path[at]) == std::string_view::npos)
      continue;
    text += Shown(path.substr(begin, at - begin));
    if (at < path.size()) text += path[at];
    begin = at + 1;
  }
  return text;
}

}  // namespace

std::string Format_Html(const Audit_Outcome& outcome) {
  const Audit_Figures& f = outcome.figures;
  std::string out = PAGE_HEAD;
  out += "<title>Settlement audit of " + Shown_Path(outcome.dir) +
         "</title></head>\n<body>\n<h1>Settlement audit of <code>" +
         Shown_Path(outcome.dir) + "</code></h1>\n";
  out += Headline(outcome);
  if (outcome.Bad_Input())
    return out + Problems_Table(outcome) + Warnings_Table(outcome.scan) +
           "</body></html>\n";
  // Warnings that can change the totals come before the totals.
  bool doubt = outcome.Totals_In_Doubt();
  if (doubt) out += Warnings_Table(outcome.scan);
  out += "<h2>Revenue by company</h2>\n" + Revenue_Chart(f) + "\n";
  out += "<h2>Residue per transfer journey</h2>\n" + Residue_Chart(f) + "\n";
  out += Reconciliation_Table(f);
  if (!doubt) out += Warnings_Table(outcome.scan);
  out += Figures_Tables(f) + Residue_Table(f) + Check_Tables(outcome);
  return out + "</body></html>\n";
}
