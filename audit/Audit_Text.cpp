#include "Audit_Text.h"

#include "Os.h"  // OS_PATH_SEPARATORS

namespace {

__extension__ typedef __int128 Wide;

void Append_Escaped(std::string& out, unsigned char c) {
  switch (c) {
    case '\\':
      out += "\\\\";
      return;
    case '"':
      out += "\\\"";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    case '\t':
      out += "\\t";
      return;
    default:
      break;
  }
  if (c >= 0x20 && c < 0x7f) {
    out += static_cast<char>(c);
  } else {
    out += "\\x";
    Append_Hex(out, c);
  }
}

// Decimal text of a non-negative 128-bit value.
std::string Decimal(Wide value) {
  char digits[48];
  char* at = digits + sizeof digits;
  do {
    *--at = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  return std::string(at, digits + sizeof digits);
}

}  // namespace

void Append_Hex(std::string& out, std::uint8_t byte) {
  static constexpr char DIGITS[] = "0123456789abcdef";
  out += DIGITS[byte >> 4];
  out += DIGITS[byte & 15];
}

std::string Hex(std::span<const std::uint8_t> bytes) {
  std::string text;
  text.reserve(2 * bytes.size());
  for (std::uint8_t byte : bytes) Append_Hex(text, byte);
  return text;
}

std::string Escaped(std::string_view bytes, std::size_t limit) {
  bool cut = limit != 0 && bytes.size() > limit;
  if (cut) bytes = bytes.substr(0, limit);
  std::string out;
  out.reserve(bytes.size() + 8);
  for (char c : bytes) Append_Escaped(out, static_cast<unsigned char>(c));
  if (cut) out += "...";
  return out;
}

std::string Escaped_Path(std::string_view path) {
  std::string out;
  out.reserve(path.size() + 8);
  for (std::size_t at = 0; at < path.size();) {
    auto c = static_cast<unsigned char>(path[at]);
    std::size_t length = c >= 0x80 ? Printable_Length(path, at) : 0;
    if (length > 0) {
      out.append(path.substr(at, length));
      at += length;
      continue;
    }
    if (OS_PATH_SEPARATORS.find(path[at]) != std::string_view::npos)
      out += path[at];
    else
      Append_Escaped(out, c);
    ++at;
  }
  return out;
}

std::string Percent(std::int64_t part, std::int64_t whole) {
  if (whole == 0) return "n/a";
  Wide scaled = static_cast<Wide>(part) * 10000;
  Wide quotient = scaled / whole;
  Wide remainder = scaled % whole;
  // Round half away from zero: compare twice the remainder with the divisor.
  Wide twice = remainder < 0 ? -2 * remainder : 2 * remainder;
  Wide divisor = whole < 0 ? -static_cast<Wide>(whole) : whole;
  if (twice >= divisor) quotient += (scaled < 0) != (whole < 0) ? -1 : 1;
  bool negative = quotient < 0;
  if (negative) quotient = -quotient;
  std::string text = negative ? "-" : "";
  text += Decimal(quotient / 100);
  text += quotient % 100 < 10 ? ".0" : ".";
  text += Decimal(quotient % 100);
  text += '%';
  return text;
}

std::string Grouped(std::int64_t value) {
  std::string digits = std::to_string(value);
  std::size_t first = digits[0] == '-' ? 1 : 0;
  for (std::size_t at = digits.size(); at > first + 3;) {
    at -= 3;
    digits.insert(at, 1, ',');
  }
  return digits;
}

std::string Signed_Grouped(std::int64_t value) {
  std::string text = value > 0 ? "+" : "";
  text += Grouped(value);
  return text;
}

std::string Quoted(std::string_view bytes) {
  std::string text = "\"";
  text += Escaped(bytes);
  text += '"';
  return text;
}

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

std::string Csv_Field(std::string_view text) {
  if (text.find_first_of("\",\r\n") == std::string_view::npos)
    return std::string(text);
  std::string field = "\"";
  for (char c : text) {
    if (c == '"') field += '"';
    field += c;
  }
  return field + "\"";
}
