#include "Audit_Json.h"

#include "Audit_Options.h"
#include "Audit_Text.h"

namespace {

// The JSON members "verdict", "problems", "warnings" and "rejects", each
// line ending in ",\n".
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
    out += std::string("], \"changes_totals\": ") +
           (met[k]->Changes_Totals() ? "true" : "false") +
           ", \"advice\": " + Json_String(met[k]->advice) + "}";
  }
  out += "],\n  \"rejects\": [";
  for (std::size_t k = 0; k < outcome.rejects.size(); ++k)
    out += std::string(k ? ", " : "") + Json_String(outcome.rejects[k]);
  return out + "],\n";
}

void Append_Code_Unit(std::string& out, unsigned char c) {
  out += "\\u00";
  Append_Hex(out, c);
}

std::string Number(std::int64_t value) { return std::to_string(value); }

// A percentage as a JSON number ("47.57"), null when whole is 0.
std::string Percent_Number(std::int64_t part, std::int64_t whole) {
  std::string text = Percent(part, whole);
  return whole == 0 ? "null" : text.substr(0, text.size() - 1);
}

std::string Figures_Json(const Audit_Figures& f) {
  std::string out = "  \"taps\": {";
  for (int i = 0; i < 6; ++i)
    out += std::string(i ? ", " : "") + Json_String(AUDITED_FILES[i]) + ": " +
           Number(f.taps[i]);
  out += "},\n  \"ordinary\": {\"taps\": " + Number(f.Taps() - f.legs) +
         ", \"bus\": " + Number(f.ordinary_bus) +
         ", \"metro\": " + Number(f.ordinary_metro) + "},\n";
  out += "  \"transfer\": {\"journeys\": " + Number(f.journeys) +
         ", \"legs\": " + Number(f.legs) + ", \"journeys_by_legs\": [";
  for (std::size_t i = 0; i < f.journeys_by_legs.size(); ++i)
    out += std::string(i ? ", " : "") +
           "{\"legs\": " + Number(f.journeys_by_legs[i].first) +
           ", \"journeys\": " + Number(f.journeys_by_legs[i].second) + "}";
  out += "],\n    \"collected\": " + Number(f.collected) +
         ", \"bus_credit\": " + Number(f.bus_credit) +
         ", \"metro_credit\": " + Number(f.metro_credit) +
         ", \"credited\": " + Number(f.bus_credit + f.metro_credit) +
         ", \"residue\": " + Number(f.Residue()) +
         ", \"residue_percent_of_collected\": " +
         Percent_Number(f.Residue(), f.collected) + "},\n";
  out += "  \"totals\": {\"bus\": {\"last_tag\": " + Number(f.bus_tag) +
         ", \"total\": " + Number(f.bus_total) +
         "}, \"metro\": {\"last_tag\": " + Number(f.metro_tag) +
         ", \"total\": " + Number(f.metro_total) + "}},\n";
  return out;
}

std::string Residues_Json(const Audit_Figures& f) {
  std::string out = "  \"largest_residues\": [";
  for (std::size_t i = 0; i < f.largest.size(); ++i) {
    const Residue_Entry& e = f.largest[i];
    out += std::string(i ? ",\n    " : "\n    ") +
           "{\"terminal\": " + Json_String(e.terminal) +
           ", \"legs\": " + Number(static_cast<std::int64_t>(e.legs)) +
           ", \"collected\": " + Number(e.collected) +
           ", \"bus_credit\": " + Number(e.bus_credit) +
           ", \"metro_credit\": " + Number(e.metro_credit) +
           ", \"residue\": " + Number(e.residue) + "}";
  }
  out += "],\n  \"residue_distribution\": [";
  for (std::size_t i = 0; i < f.residue_distribution.size(); ++i)
    out += std::string(i ? ", " : "") +
           "{\"residue\": " + Number(f.residue_distribution[i].first) +
           ", \"journeys\": " + Number(f.residue_distribution[i].second) + "}";
  return out + "],\n";
}

std::string Checks_Json(const Audit_Outcome& outcome) {
  std::string out = "  \"differences\": [";
  for (std::size_t i = 0; i < outcome.differences.size(); ++i)
    out += std::string(i ? ", " : "") +
           "{\"file\": " + Json_String(outcome.differences[i].file) +
           ", \"problem\": " + Json_String(outcome.differences[i].problem) +
           "}";
  out += "],\n  \"files\": [";
  for (std::size_t i = 0; i < outcome.inputs.size(); ++i) {
    const File_Digest& d = outcome.inputs[i];
    out += std::string(i ? ",\n    " : "\n    ") +
           "{\"name\": " + Json_String(d.name) +
           ", \"bytes\": " + std::to_string(d.size) + ", \"sha256\": \"" +
           Hex(d.sha256) + "\"}";
  }
  return out + "]\n";
}

}  // namespace

std::string Json_String(std::string_view bytes) {
  std::string out = "\"";
  for (std::size_t at = 0; at < bytes.size();) {
    unsigned char c = static_cast<unsigned char>(bytes[at]);
    std::size_t length = Printable_Length(bytes, at);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (length == 0 && Utf8_Length(bytes, at) == 2) {
      // A C1 control character: U+0080 to U+009F, the value of its second
      // byte.
      Append_Code_Unit(out, static_cast<unsigned char>(bytes[++at]));
    } else if (length == 0) {
      Append_Code_Unit(out, c);
    } else {
      out.append(bytes.substr(at, length));
      at += length;
      continue;
    }
    ++at;
  }
  return out + "\"";
}

std::string Format_Json(const Audit_Outcome& outcome) {
  std::string out =
      "{\n  \"version\": " + Json_String(Version()) +
      ",\n  \"directory\": " + Json_String(outcome.dir) +
      ",\n  \"consistent\": " + (outcome.Consistent() ? "true" : "false") +
      ",\n";
  out += Findings_Json(outcome);
  // A day with problems is not settled: its figures would read as totals of
  // 0 won, or of part of the day.
  if (outcome.Bad_Input())
    out +=
        "  \"taps\": null,\n  \"ordinary\": null,\n  \"transfer\": null,\n"
        "  \"totals\": null,\n";
  else
    out += Figures_Json(outcome.figures);
  out += Residues_Json(outcome.Bad_Input() ? Audit_Figures{} : outcome.figures);
  out += Checks_Json(outcome);
  return out + "}\n";
}
