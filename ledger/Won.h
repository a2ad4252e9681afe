// Sums of won in 64 bits, exact (Money.h): an overflow fails as a ledger
// error instead of wrapping.
#pragma once

#include <cstdint>
#include <string>

std::int64_t Won_Sum(std::int64_t a, std::int64_t b);
std::int64_t Won_Difference(std::int64_t a, std::int64_t b);

// "2,648 won"; "+52 won", "0 won", "-1,050 won" with Signed_Won.
std::string Won(std::int64_t value);
std::string Signed_Won(std::int64_t value);
