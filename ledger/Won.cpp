#include "Won.h"

#include "Audit_Adapter.h"
#include "Ledger_Error.h"
#include "Money.h"

std::int64_t Won_Sum(std::int64_t a, std::int64_t b) {
  std::optional<std::int64_t> sum = Checked_Sum(a, b);
  if (!sum) Fail_Ledger("a sum of won does not fit in 64 bits");
  return *sum;
}

std::int64_t Won_Difference(std::int64_t a, std::int64_t b) {
  std::optional<std::int64_t> difference = Checked_Difference(a, b);
  if (!difference) Fail_Ledger("a difference of won does not fit in 64 bits");
  return *difference;
}

std::string Won(std::int64_t value) { return Grouped_Number(value) + " won"; }

std::string Signed_Won(std::int64_t value) {
  return Signed_Grouped_Number(value) + " won";
}
