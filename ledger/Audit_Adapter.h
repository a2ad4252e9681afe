// fare-ledger's one way into the audit's code: everything the ledger takes
// from fare-audit goes through these calls, in the ledger's own terms.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Day_Figures.h"

// Audits the settled day in dir with fare-audit's own entry point (the
// payment files read and the settlement recomputed with its code, the
// outputs compared, the nine files hashed), reading them through dir.
Day_Audit Audit_Settled_Day(const std::string& dir);

// Sizes and SHA-256 of the nine files of dir, in the audit's order.
std::vector<File_Now> Digest_Day_Files(const std::string& dir);

// The SHA-256 of bytes, in lower-case hexadecimal.
std::string Sha256_Hex(std::string_view bytes);

// A number with its digits grouped by thousands, as the audit's report
// shows won: "667,903,978"; with its sign always shown: "+1,072", "0".
std::string Grouped_Number(std::int64_t value);
std::string Signed_Grouped_Number(std::int64_t value);

// Text in double quotes, escaped as the audit shows terminal texts: a
// backslash escape for any byte outside printable ASCII.
std::string Quoted_Text(std::string_view text);

// A JSON string literal of text, as the audit's JSON writes one.
std::string Json_Text(std::string_view text);
// A CSV field, quoted as RFC 4180 asks when it must be.
std::string Csv_Text(std::string_view text);

// Text as the audit's page shows text from the files: UTF-8 as its
// characters, control characters and other bytes escaped, safe in HTML.
std::string Html_Text(std::string_view text);

// The version of the settlement and the audit the ledger is built with.
const char* Settlement_Version();
