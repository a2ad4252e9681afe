// The leg table of the apportionment: the legs of one transfer journey,
// their exchange sort by time and their shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One row of the leg table: a leg's time, mode and amount.
struct Leg {
  std::int32_t LastTime;
  std::int32_t Mot;
  std::int32_t Balance;
};
// The legs of one journey; any number of legs.
using Leg_Table = std::vector<Leg>;

// The error of a journey of legs legs, more than MAX_JOURNEY_LEGS, named by
// file: such a journey means unrelated taps share one TerminalInfo.
std::string Too_Many_Legs(std::string_view file, std::string_view terminal,
                          std::size_t legs);

void reset_Arr(Leg_Table& arr);
// Exchange sort by time: a row moves before an earlier one only when its time
// is strictly smaller, so rows with equal times are never swapped.
void Sort_Legs(Leg_Table& arr);
// Credits each leg's share (Leg_Share of the journey's total and the running
// sum up to that leg, in the order given) to *bus_fee or *metro_fee by the
// leg's Mot, checked; terminal names the journey in the errors.
void calculate(const Leg_Table& arr, std::int64_t* bus_fee,
               std::int64_t* metro_fee, std::string_view terminal);
