#include "Audit_Outcome.h"

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

std::int64_t Kinds_Changing_Totals(const Scan_Result& scan) {
  std::int64_t kinds = 0;
  for (const Warning& w : scan.warnings)
    if (w.count > 0 && w.Changes_Totals()) ++kinds;
  return kinds;
}
