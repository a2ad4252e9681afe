// Small text helpers shared by the report formats.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// bytes in C-like escaped form, printable ASCII as is: backslash, quote,
// \n, \r, \t and \xHH for every other byte. Longer than limit bytes (when
// limit is not 0): cut there and marked with "...".
std::string Escaped(std::string_view bytes, std::size_t limit = 0);

// part as a percentage of whole with two decimals, rounded half away from
// zero, computed in integers ("47.57%"); "n/a" when whole is 0.
std::string Percent(std::int64_t part, std::int64_t whole);

// A number with its digits grouped by thousands: "667,903,978", "-1,050".
std::string Grouped(std::int64_t value);

// Grouped with its sign always shown: "+1,072", "0", "-3".
std::string Signed_Grouped(std::int64_t value);

// Escaped bytes in double quotes: "\"T2\\r\"".
std::string Quoted(std::string_view bytes);

// A number with its sign always shown: "+547", "0", "-3".
std::string Signed(std::int64_t value);

// The payment files, then the settlement's three outputs, in report order.
inline constexpr const char* AUDITED_FILES[9] = {
    "paymentData_5001.txt", "paymentData_7001.txt", "paymentData_7002.txt",
    "paymentData_7003.txt", "paymentData_7004.txt", "paymentData_7005.txt",
    "trans_history.txt",    "Total_Bus_Data.txt",   "Total_Metro_Data.txt"};

// What each payment file holds, for labels: "bus", "metro 1" ... "metro 5".
const char* Source_Label(int file_index);
