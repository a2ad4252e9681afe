// Arithmetic on amounts of won: checked sums and a journey leg's share.
#include "Money.h"

#include <string>

#include "Calculating_System.h"
#include "Settlement_Error.h"

namespace {

__extension__ typedef __int128 Wide;

}  // namespace

std::optional<std::int64_t> Checked_Sum(std::int64_t a, std::int64_t b) {
  std::int64_t sum = 0;
  if (__builtin_add_overflow(a, b, &sum)) return std::nullopt;
  return sum;
}

std::optional<std::int64_t> Checked_Difference(std::int64_t a, std::int64_t b) {
  std::int64_t difference = 0;
  if (__builtin_sub_overflow(a, b, &difference)) return std::nullopt;
  return difference;
}

void Add_Won(std::int64_t* total, std::int64_t amount, const char* what) {
  std::optional<std::int64_t> sum = Checked_Sum(*total, amount);
  if (!sum)
    throw Settlement_Error(std::string(what) + " leaves the 64-bit range");
  *total = *sum;
}

std::int64_t Leg_Share(std::int64_t total, std::int64_t running,
                       std::string_view terminal) {
  std::int64_t divisor = total + TRANSFER_THRESHOLD;
  if (divisor == 0)
    Fail(HISTORY_FILE, 0,
         "journey " + std::string(terminal) +
             ": amounts add up to -1050, which leaves no divisor");
  std::int64_t product;
  // The common case, without 128-bit division (INT64_MIN / -1 overflows).
  if (!__builtin_mul_overflow(total, running, &product) &&
      !(product == INT64_MIN && divisor == -1))
    return product / divisor;
  Wide share = static_cast<Wide>(total) * running / divisor;
  if (share < INT64_MIN || share > INT64_MAX)
    Fail(HISTORY_FILE, 0,
         "journey " + std::string(terminal) + ": share leaves 64 bits");
  return static_cast<std::int64_t>(share);
}
