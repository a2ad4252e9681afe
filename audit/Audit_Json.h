// The report's figures as one JSON document.
#pragma once

#include <string>
#include <string_view>

#include "Audit_Outcome.h"

// A JSON string literal of bytes: valid UTF-8 is kept, control characters
// are escaped, and a byte that is not part of valid UTF-8 becomes the code
// point of the same value (\u00HH).
std::string Json_String(std::string_view bytes);

std::string Format_Json(const Audit_Outcome& outcome);
