// Small text helpers shared by the report formats.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// bytes in C-like escaped form, printable ASCII as is: backslash, quote,
// \n, \r, \t and \xHH for every other byte. Longer than limit bytes (when
// limit is not 0): cut there and marked with "...".
std::string Escaped(std::string_view bytes, std::size_t limit = 0);
// A path escaped so, but for the characters that separate its parts (on
// Windows a backslash is one) and printable UTF-8 characters beyond ASCII,
// which stay as they are.
std::string Escaped_Path(std::string_view path);

// Appends byte as two lower-case hexadecimal digits.
void Append_Hex(std::string& out, std::uint8_t byte);
// bytes as lower-case hexadecimal text (a checksum).
std::string Hex(std::span<const std::uint8_t> bytes);

// part as a percentage of whole with two decimals, rounded half away from
// zero, computed in integers ("47.57%"); "n/a" when whole is 0.
std::string Percent(std::int64_t part, std::int64_t whole);

// A number with its digits grouped by thousands: "667,903,978", "-1,050".
std::string Grouped(std::int64_t value);

// Grouped with its sign always shown: "+1,072", "0", "-3".
std::string Signed_Grouped(std::int64_t value);

// Length of the valid UTF-8 sequence starting at text[at], 0 if invalid.
std::size_t Utf8_Length(std::string_view text, std::size_t at);

// Length of the printable character at text[at]; 0 for a control character
// (C0, DEL or C1, U+0080 to U+009F) or a byte that is not valid UTF-8.
std::size_t Printable_Length(std::string_view text, std::size_t at);

// A CSV field, quoted (RFC 4180) when it holds a quote, comma, CR or LF.
std::string Csv_Field(std::string_view text);

// Escaped bytes in double quotes: "\"T2\\r\"".
std::string Quoted(std::string_view bytes);

#include "Calculating_System.h"

// The payment files, then the settlement's three outputs, in report order.
inline constexpr const char* AUDITED_FILES[9] = {
    PAYMENT_FILES[0].name, PAYMENT_FILES[1].name, PAYMENT_FILES[2].name,
    PAYMENT_FILES[3].name, PAYMENT_FILES[4].name, PAYMENT_FILES[5].name,
    HISTORY_FILE,          BUS_SUMMARY_FILE,      METRO_SUMMARY_FILE};
