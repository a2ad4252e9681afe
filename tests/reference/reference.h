// Reference settlements the fast stages are checked against: the literal
// transfer separation (each trigger walks all six lists) and exchange sort,
// and an independent sort-based settlement of a whole day.
#pragma once

#include <cstdint>
#include <string>

#include "Calculating_System.h"
#include "Leg_Table.h"

// Appends the line of record to out as the program formats it for the
// transfer history (Format_Record_Line): for dumps of the record lists.
void Append_Record_Line(std::string& out, const Data& record,
                        char terminal_separator);

// Separates the transfer journeys of the program-wide lists by walking all
// six lists once per trigger, removing what it writes; appends the history
// bytes (ending in "END") to history. Quadratic: for small days only.
void Literal_Separate_Transfers(std::string& history);

// The exchange sort of the leg table, row by row: quadratic.
void Literal_Sort_Legs(Leg_Table& arr);

// What a run must produce for one day.
struct Reference_Result {
  std::string history;  // bytes of trans_history.txt
  std::int64_t bus_fee = 0;
  std::int64_t metro_fee = 0;
  std::int32_t bus_tag = 0;
  std::int32_t metro_tag = 0;
};

// Settles the day whose six payment files are in dir without any record
// list: sorts all records by TerminalInfo to find each journey's trigger and
// members, orders groups by trigger position. O(n log n).
Reference_Result Reference_Settle(const std::string& dir);
