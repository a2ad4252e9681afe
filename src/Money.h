// Money: sums of won and the shares of a transfer journey.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// a + b and a - b in won, exact: empty when the result leaves the 64-bit
// range. Each program says so in its own words.
std::optional<std::int64_t> Checked_Sum(std::int64_t a, std::int64_t b);
std::optional<std::int64_t> Checked_Difference(std::int64_t a, std::int64_t b);
// Adds amount to total; throws if the sum leaves the 64-bit range. what names
// the total in the error ("bus total").
void Add_Won(std::int64_t* total, std::int64_t amount, const char* what);
// One leg's share, total x running / (total + 1050) truncated toward zero,
// exact for any 64-bit total and running amount; a zero divisor, or a share
// outside 64 bits, throws naming the journey terminal.
std::int64_t Leg_Share(std::int64_t total, std::int64_t running,
                       std::string_view terminal);
