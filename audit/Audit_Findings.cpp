#include "Audit_Findings.h"

#include "Audit_Json.h"
#include "Audit_Text.h"

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

}  // namespace

const char* Audit_Outcome::Verdict() const {
  switch (Status()) {
    case AUDIT_BAD_INPUT:
      return "bad input";
    case AUDIT_DIFFERS:
      return "inconsistent";
    case AUDIT_NOT_SETTLED:
      return "not settled yet";
    default:
      return "consistent";
  }
}

int Audit_Outcome::Status() const {
  if (Bad_Input()) return AUDIT_BAD_INPUT;
  if (!differences.empty()) return AUDIT_DIFFERS;
  if (!missing.empty()) return AUDIT_NOT_SETTLED;
  return AUDIT_CONSISTENT;
}

std::vector<const Warning*> Warnings_Met(const Scan_Result& scan) {
  std::vector<const Warning*> met;
  for (const Warning& w : scan.warnings)
    if (w.count > 0) met.push_back(&w);
  return met;
}

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
  }
  return out;
}

std::string Rejects_Text(const Audit_Outcome& outcome) {
  if (outcome.rejects.empty()) return "";
  std::string out = "Rejects files written\n";
  for (const std::string& path : outcome.rejects)
    out += "  " + Escaped(path) + "\n";
  return out;
}

std::string Findings_Json(const Audit_Outcome& outcome) {
  const Scan_Result& scan = outcome.scan;
  std::string out =
      "  \"verdict\": " + Json_String(outcome.Verdict()) +
      ",\n  \"problems\": {\"count\": " + std::to_string(scan.Problem_Count()) +
      ", \"files\": [";
  for (int i = 0; i < 6; ++i) {
    out += std::string(i ? ",\n    " : "\n    ") +
           "{\"name\": " + Json_String(AUDITED_FILES[i]) +
           ", \"count\": " + std::to_string(scan.problems[i].count) +
           ", \"lines\": [";
    const File_Problems& problems = scan.problems[i];
    for (std::size_t k = 0; k < outcome.Shown(problems); ++k)
      out += std::string(k ? ", " : "") +
             "{\"line\": " + std::to_string(problems.kept[k].line) +
             ", \"problem\": " + Json_String(problems.kept[k].problem) +
             ", \"text\": " + Json_String(problems.kept[k].text) +
             ", \"cut\": " + (problems.kept[k].cut ? "true" : "false") + "}";
    out += "]}";
  }
  const File_Problems& journeys = scan.journey_problems;
  out += "],\n    \"journey_count\": " + std::to_string(journeys.count) +
         ", \"journeys\": [";
  for (std::size_t k = 0; k < outcome.Shown(journeys); ++k)
    out += std::string(k ? ", " : "") + Json_String(journeys.kept[k].problem);
  out += "]},\n  \"warnings\": [";
  std::vector<const Warning*> met = Warnings_Met(scan);
  for (std::size_t k = 0; k < met.size(); ++k) {
    out += std::string(k ? ",\n    " : "\n    ") +
           "{\"id\": " + Json_String(met[k]->id) +
           ", \"title\": " + Json_String(met[k]->title) +
           ", \"count\": " + std::to_string(met[k]->count) +
           ", \"examples\": [";
    for (std::size_t e = 0; e < met[k]->examples.size(); ++e)
      out += std::string(e ? ", " : "") + Json_String(met[k]->examples[e]);
    out += "]}";
  }
  out += "],\n  \"rejects\": [";
  for (std::size_t k = 0; k < outcome.rejects.size(); ++k)
    out += std::string(k ? ", " : "") + Json_String(outcome.rejects[k]);
  return out + "],\n";
}
