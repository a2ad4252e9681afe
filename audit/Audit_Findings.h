// The report sections of what the audit's reading of the payment files
// found: bad lines, journeys that cannot be apportioned, data-quality
// warnings and the rejects files written, as text and as JSON members.
#pragma once

#include <string>

#include "Audit_Report.h"

// "Problems in the payment files" with counts per file and in all, at most
// max_problems lines shown per file, each with its line escaped.
std::string Problems_Text(const Audit_Outcome& outcome);
// "Data-quality warnings": each kind met with its count and places.
std::string Warnings_Text(const Scan_Result& scan);
// "Rejects files written", or nothing when none was asked for.
std::string Rejects_Text(const Audit_Outcome& outcome);

// The JSON members "verdict", "problems", "warnings" and "rejects", each
// line ending in ",\n".
std::string Findings_Json(const Audit_Outcome& outcome);

// The warnings that were met, in report order.
std::vector<const Warning*> Warnings_Met(const Scan_Result& scan);
