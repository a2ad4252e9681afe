#include "Audit_Report.h"

#include <algorithm>
#include <string_view>

#include "Audit_Options.h"
#include "Audit_Text.h"
#include "Calculating_System.h"

namespace {

// Text of a bad line in the report: escaped, cut after this many bytes.
constexpr std::size_t SHOWN_LINE_BYTES = 120;
// So a kept text that was cut is always cut again where it is shown, and
// marked.
static_assert(SHOWN_LINE_BYTES < KEPT_TEXT_BYTES);

std::string Count_Of(std::int64_t count, const char* one, const char* many) {
  return Grouped(count) + " " + (count == 1 ? one : many);
}

// "  PLACE: PROBLEM", then the line in quotes, escaped, unless it has no
// text (a file that cannot be read, a line too long to keep).
std::string Problem_Line(const char* file, const Line_Problem& p) {
  std::string out = "  " + p.Place(file) + ": " + p.problem + "\n";
  if (p.text.empty()) return out;
  return out + "    \"" + Escaped(p.text, SHOWN_LINE_BYTES) + "\"\n";
}

// "  WHAT: N more not shown (--max-problems M)", or nothing when all are.
std::string Not_Shown(const Audit_Outcome& outcome, const std::string& what,
                      const File_Problems& problems) {
  auto shown = static_cast<std::int64_t>(outcome.Shown(problems));
  if (shown == problems.count) return "";
  return "  " + what + ": " + Grouped(problems.count - shown) +
         " more not shown (--max-problems " +
         std::to_string(outcome.max_problems) + ")\n";
}

// "Problems in the payment files" with counts per file and in all, at most
// max_problems lines shown per file, each with its line escaped.
std::string Problems_Text(const Audit_Outcome& outcome) {
  const Scan_Result& scan = outcome.scan;
  std::string out = "Problems in the payment files (" +
                    Count_Of(scan.Problem_Count(), "problem", "problems") +
                    " in all)\n";
  for (int i = 0; i < 6; ++i)
    out += "  " + std::string(AUDITED_FILES[i]) + ": " +
           Count_Of(scan.problems[i].count, "problem", "problems") + "\n";
  const File_Problems& journeys = scan.journey_problems;
  if (!journeys.empty())
    out += "  journeys that cannot be apportioned: " + Grouped(journeys.count) +
           "\n";
  for (int i = 0; i < 6; ++i) {
    const File_Problems& problems = scan.problems[i];
    for (std::size_t k = 0; k < outcome.Shown(problems); ++k)
      out += Problem_Line(AUDITED_FILES[i], problems.kept[k]);
    out += Not_Shown(outcome, AUDITED_FILES[i], problems);
  }
  for (std::size_t k = 0; k < outcome.Shown(journeys); ++k)
    out += "  " + journeys.kept[k].problem + "\n";
  out += Not_Shown(outcome, "journeys", journeys);
  return out;
}

// text broken at spaces into lines of at most 78 bytes, each after indent.
std::string Wrapped(std::string_view text, const std::string& indent) {
  constexpr std::size_t WIDTH = 78;
  std::string out, line = indent;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = std::min(text.find(' ', at), text.size());
    std::string_view word = text.substr(at, end - at);
    if (line.size() > indent.size() && line.size() + 1 + word.size() > WIDTH) {
      out += line + "\n";
      line = indent;
    }
    if (line.size() > indent.size()) line += ' ';
    line += word;
    at = end + 1;
  }
  return out + line + "\n";
}

// The line that heads a day whose totals are in doubt.
std::string Doubt_Headline(const Scan_Result& scan) {
  std::int64_t kinds = Kinds_Changing_Totals(scan);
  return "TOTALS IN DOUBT: " +
         Count_Of(kinds, "kind of warning", "kinds of warning") +
         " below can change the totals\n";
}

// "Data-quality warnings": each kind met with its count and places, and
// for a kind that can change the totals what it does and what to do.
std::string Warnings_Text(const Scan_Result& scan) {
  std::vector<const Warning*> met = Warnings_Met(scan);
  std::string out =
      "Data-quality warnings (" +
      Count_Of(static_cast<std::int64_t>(met.size()), "kind", "kinds") + ")\n";
  if (met.empty()) return out + "  none\n";
  for (const Warning* w : met) {
    out += "  " + w->title + ": " + Grouped(w->count) + "\n    ";
    for (std::size_t k = 0; k < w->examples.size(); ++k)
      out += (k ? ", " : "") + w->examples[k];
    if (w->count > static_cast<std::int64_t>(w->examples.size()))
      out += ", ...";
    out += "\n";
    if (w->Changes_Totals()) out += Wrapped(w->advice, "    ");
  }
  return out;
}

// "Rejects files written", or nothing when none was asked for.
std::string Rejects_Text(const Audit_Outcome& outcome) {
  if (outcome.rejects.empty()) return "";
  std::string out = "Rejects files written\n";
  for (const std::string& path : outcome.rejects)
    out += "  " + Escaped_Path(path) + "\n";
  return out;
}

// text padded with spaces to |width|: on the right (left-aligned) when width
// is negative, on the left (right-aligned) otherwise.
std::string Pad(const std::string& text, int width) {
  std::size_t size = static_cast<std::size_t>(width < 0 ? -width : width);
  if (text.size() >= size) return text;
  std::string fill(size - text.size(), ' ');
  return width < 0 ? text + fill : fill + text;
}

// "  label ........ value" with the value right-aligned in a fixed column.
std::string Row(const std::string& label, const std::string& value,
                const std::string& after = "") {
  return "  " + Pad(label, -30) + Pad(value, 16) + after + "\n";
}

std::string Won(std::int64_t value) { return Grouped(value) + " won"; }

// A won amount grouped by thousands with its sign always shown.
std::string Signed_Won(std::int64_t value) {
  return Signed_Grouped(value) + " won";
}

std::string Taps_Section(const Audit_Figures& f) {
  std::string out = "Taps per payment file\n";
  for (int i = 0; i < 6; ++i)
    out +=
        Row(std::string(AUDITED_FILES[i]) + " (" + PAYMENT_FILES[i].label + ")",
            std::to_string(f.taps[i]));
  out += Row("all payment files", std::to_string(f.Taps()));
  return out;
}

std::string Ordinary_Section(const Audit_Figures& f) {
  std::string out = "Ordinary revenue (" + std::to_string(f.Taps() - f.legs) +
                    " taps outside transfer journeys)\n";
  out += Row("bus", Won(f.ordinary_bus));
  out += Row("metro", Won(f.ordinary_metro));
  return out;
}

std::string Journeys_Section(const Audit_Figures& f) {
  std::string out = "Transfer journeys\n";
  out += Row("journeys", std::to_string(f.journeys));
  out += Row("legs", std::to_string(f.legs));
  for (const auto& [legs, count] : f.journeys_by_legs)
    out += Row("  of " + std::to_string(legs) + (legs == 1 ? " leg" : " legs"),
               std::to_string(count));
  return out;
}

std::string Transfer_Section(const Audit_Figures& f) {
  std::string out =
      "Transfer revenue" + std::string(30, ' ') + "share of collected\n";
  auto line = [&](const char* label, std::int64_t value, bool sign) {
    out += Row(label, sign ? Signed_Won(value) : Won(value),
               Pad(Percent(value, f.collected), 12));
  };
  line("collected", f.collected, false);
  line("bus credit", f.bus_credit, false);
  line("metro credit", f.metro_credit, false);
  line("credited", f.bus_credit + f.metro_credit, false);
  line("residue (credited - collected)", f.Residue(), true);
  return out;
}

std::string Totals_Section(const Audit_Figures& f) {
  std::string out = "Totals per company\n";
  out +=
      Row("bus (last tag " + std::to_string(f.bus_tag) + ")", Won(f.bus_total));
  out += Row("metro (last tag " + std::to_string(f.metro_tag) + ")",
             Won(f.metro_total));
  std::int64_t ordinary = f.ordinary_bus + f.ordinary_metro;
  out += "\nReconciliation\n";
  out += Row("collected", Won(ordinary + f.collected),
             "  (ordinary " + Grouped(ordinary) + ", transfer " +
                 Grouped(f.collected) + ")");
  out += Row("credited", Won(f.bus_total + f.metro_total),
             "  (bus " + Grouped(f.bus_total) + ", metro " +
                 Grouped(f.metro_total) + ")");
  out += Row("residue", Signed_Won(f.Residue()));
  return out;
}

std::string Largest_Section(const Audit_Figures& f) {
  std::string out = "Largest residues (by absolute value)\n";
  if (f.largest.empty()) return out + "  none: no transfer journeys\n";
  out += "  " + Pad("terminal", -14) + Pad("legs", 6) + Pad("collected", 12) +
         Pad("bus", 12) + Pad("metro", 12) + Pad("residue", 12) + "\n";
  for (const Residue_Entry& e : f.largest)
    out += "  " + Pad(Escaped(e.terminal), -14) +
           Pad(std::to_string(e.legs), 6) + Pad(Grouped(e.collected), 12) +
           Pad(Grouped(e.bus_credit), 12) + Pad(Grouped(e.metro_credit), 12) +
           Pad(Signed_Grouped(e.residue), 12) + "\n";
  return out;
}

std::string Consistency_Section(const Audit_Outcome& outcome) {
  std::string out = "Consistency with the settlement's outputs\n";
  const char* outputs[3] = {HISTORY_FILE, BUS_SUMMARY_FILE, METRO_SUMMARY_FILE};
  for (const char* file : outputs) {
    std::string verdict = "as expected";
    for (const Difference& d : outcome.differences)
      if (d.file == file) verdict = "DIFFERS: " + d.problem;
    for (const std::string& missing : outcome.missing)
      if (missing == file) verdict = "missing";
    out += "  " + Pad(file, -22) + verdict + "\n";
  }
  if (outcome.Not_Settled())
    return out +
           "  result: not settled yet, the payment files have no "
           "problem\n";
  if (outcome.Consistent()) return out + "  result: consistent\n";
  // The payment files are sound (else the day is bad input), so the
  // outputs are what is stale: say how to make them whole.
  return out +
         "  result: INCONSISTENT\n"
         "  outputs that differ are from an earlier delivery of the payment\n"
         "  files or were changed since; settling the day again makes them "
         "whole\n";
}

std::string Inputs_Section(const Audit_Outcome& outcome) {
  std::string out = "Files (bytes, SHA-256)\n";
  for (const File_Digest& d : outcome.inputs)
    out += "  " + Pad(d.name, -22) + Pad(std::to_string(d.size), 12) + "  " +
           Hex(d.sha256) + "\n";
  return out;
}

}  // namespace

std::string Format_Report(const Audit_Outcome& outcome) {
  const Audit_Figures& f = outcome.figures;
  std::string out = "Settlement audit of " + Escaped_Path(outcome.dir) +
                    "\nby fare-audit " + Version() + "\n\n";
  if (outcome.Bad_Input()) {
    out += Problems_Text(outcome) + "\n";
    out += Warnings_Text(outcome.scan);
    std::string rejects = Rejects_Text(outcome);
    if (!rejects.empty()) out += "\n" + rejects;
    return out + "\nresult: BAD INPUT, nothing settled\n";
  }
  // Warnings that can change the totals come before the totals.
  bool doubt = outcome.Totals_In_Doubt();
  if (doubt)
    out += Doubt_Headline(outcome.scan) + "\n" + Warnings_Text(outcome.scan) +
           "\n";
  out += Taps_Section(f) + "\n";
  out += Ordinary_Section(f) + "\n";
  out += Journeys_Section(f) + "\n";
  out += Transfer_Section(f) + "\n";
  out += Totals_Section(f) + "\n";
  out += Largest_Section(f) + "\n";
  out += Consistency_Section(outcome) + "\n";
  if (!doubt) out += Warnings_Text(outcome.scan) + "\n";
  std::string rejects = Rejects_Text(outcome);
  if (!rejects.empty()) out += rejects + "\n";
  out += Inputs_Section(outcome);
  return out;
}
