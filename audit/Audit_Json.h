// The report's figures as one JSON document.
#pragma once

#include <string>
#include <string_view>

#include "Audit_Report.h"

// A JSON string literal of bytes: valid UTF-8 is kept, control characters
// are escaped, and a byte that is not part of valid UTF-8 becomes the code
// point of the same value (\u00HH).
std::string Json_String(std::string_view bytes);

// Length of the valid UTF-8 sequence starting at text[at], 0 if invalid.
std::size_t Utf8_Length(std::string_view text, std::size_t at);

// Length of the printable character at text[at]; 0 for a control character
// (C0, DEL or C1, U+0080 to U+009F) or a byte that is not valid UTF-8.
std::size_t Printable_Length(std::string_view text, std::size_t at);

std::string Format_Json(const Audit_Outcome& outcome);
