#include "Audit_Html.h"

#include <algorithm>

#include "Audit_Text.h"

namespace {

__extension__ typedef __int128 Wide;

constexpr const char* ORDINARY_COLOUR = "#3b6fb6";
constexpr const char* CREDIT_COLOUR = "#e08a2c";

// Terminal texts and other bytes from the files, made printable and safe.
std::string Shown(std::string_view bytes) {
  return Html_Escape(Escaped(bytes));
}

std::string Cell(const std::string& text, bool number = false) {
  return number ? "<td class=\"n\">" + text + "</td>" : "<td>" + text + "</td>";
}

std::string Num(std::int64_t value) { return std::to_string(value); }

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
    std::string range = bin.low == bin.high
                            ? Signed(bin.low)
                            : Signed(bin.low) + " to " + Signed(bin.high);
    svg += Rect(x + 2, 210 - h, std::max(1L, slot - 4), h, CREDIT_COLOUR,
                range + " won: " + Num(bin.journeys) + " journeys");
    if (bins.size() <= 10 || i % 2 == 0)
      svg += Text(x + slot / 2, 226, Signed(bin.low), "middle");
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
            Cell(sign ? Signed(value) : Num(value), true) +
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
            Cell(Num(e.metro_credit), true) + Cell(Signed(e.residue), true) +
            "</tr>";
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

std::vector<Residue_Bin> Residue_Bins(const Value_Counts& distribution,
                                      std::size_t max_bins) {
  std::vector<Residue_Bin> bins;
  if (distribution.empty() || max_bins == 0) return bins;
  Wide low = distribution.front().first;
  Wide span = static_cast<Wide>(distribution.back().first) - low + 1;
  Wide count = std::min<Wide>(span, static_cast<Wide>(max_bins));
  Wide width = (span + count - 1) / count;
  count = (span + width - 1) / width;
  for (Wide i = 0; i < count; ++i)
    bins.push_back({static_cast<std::int64_t>(low + i * width),
                    static_cast<std::int64_t>(std::min<Wide>(
                        low + (i + 1) * width - 1, distribution.back().first)),
                    0});
  for (const auto& [residue, journeys] : distribution)
    bins[static_cast<std::size_t>((residue - low) / width)].journeys +=
        journeys;
  return bins;
}

std::string Format_Html(const Audit_Outcome& outcome) {
  const Audit_Figures& f = outcome.figures;
  std::string out = PAGE_HEAD;
  out += "<title>Settlement audit of " + Shown(outcome.dir) +
         "</title></head>\n<body>\n<h1>Settlement audit of <code>" +
         Shown(outcome.dir) + "</code></h1>\n";
  out += "<h2>Revenue by company</h2>\n" + Revenue_Chart(f) + "\n";
  out += "<h2>Residue per transfer journey</h2>\n" + Residue_Chart(f) + "\n";
  out += Figures_Tables(f) + Residue_Table(f) + Check_Tables(outcome);
  return out + "</body></html>\n";
}
