#include "Audit_Json.h"

#include "Audit_Findings.h"
#include "Audit_Options.h"
#include "Audit_Text.h"

std::size_t Utf8_Length(std::string_view text, std::size_t at) {
  auto byte = [&](std::size_t i) {
    return static_cast<unsigned char>(text[i]);
  };
  unsigned char lead = byte(at);
  std::size_t length = lead < 0x80   ? 1
                       : lead < 0xC2 ? 0
                       : lead < 0xE0 ? 2
                       : lead < 0xF0 ? 3
                       : lead < 0xF5 ? 4
                                     : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i)
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  unsigned char second = length > 1 ? byte(at + 1) : 0;
  if (lead == 0xE0 && second < 0xA0) return 0;   // overlong
  if (lead == 0xED && second >= 0xA0) return 0;  // surrogate
  if (lead == 0xF0 && second < 0x90) return 0;   // overlong
  if (lead == 0xF4 && second >= 0x90) return 0;  // beyond U+10FFFF
  return length;
}

std::size_t Printable_Length(std::string_view text, std::size_t at) {
  unsigned char lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x20 || lead == 0x7f) return 0;
  std::size_t length = Utf8_Length(text, at);
  bool c1 = lead == 0xC2 && length == 2 &&
            static_cast<unsigned char>(text[at + 1]) < 0xA0;
  return c1 ? 0 : length;
}

namespace {

void Append_Code_Unit(std::string& out, unsigned char c) {
  static constexpr char DIGITS[] = "0123456789abcdef";
  out += "\\u00";
  out += DIGITS[c >> 4];
  out += DIGITS[c & 15];
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
