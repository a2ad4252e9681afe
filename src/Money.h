// Money: sums of won and the shares of a transfer journey.
#pragma once

#include <cstdint>
#include <string_view>

// Adds amount to total; throws if the sum leaves the 64-bit range. what names
// the total in the error ("bus total").
void Add_Won(std::int64_t* total, std::int64_t amount, const char* what);
// One leg's share, total x running / (total + 1050) truncated toward zero,
// exact for any 64-bit total and running amount; a zero divisor, or a share
// outside 64 bits, throws naming the journey terminal.
std::int64_t Leg_Share(std::int64_t total, std::int64_t running,
                       std::string_view terminal);
