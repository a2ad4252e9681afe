// Days written YYYY-MM-DD and months written YYYY-MM, as the ledger stores
// and shows them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Years run from 1 to this, as four digits.
constexpr int LAST_YEAR = 9999;

struct Month {
  int year = 0;
  int month = 0;  // 1 to 12

  std::string Text() const;  // "2026-12"
  int Days() const;          // 28 to 31
  // The month after; refuses (a Ledger_Error) after the last month.
  Month Next() const;
  std::string Day_Text(int day) const;  // "2026-12-09"
  std::vector<std::string> Day_Texts() const;
  auto operator<=>(const Month&) const = default;
};

// A month from "YYYY-MM" (years 1 to 9999); throws a usage Ledger_Error.
Month Parse_Month(std::string_view text);
// A day from "YYYY-MM-DD", a real date; throws a usage Ledger_Error.
// Returns it as given, which is its one spelling.
std::string Parse_Day(std::string_view text);
// The month of a day already checked by Parse_Day.
Month Month_Of(std::string_view day);

// The time now in UTC as "YYYY-MM-DDTHH:MM:SSZ": the environment's
// FARE_LEDGER_NOW when it is set (fails when it is not such a time), else
// the system clock's.
std::string Utc_Now();
// Today in UTC as "YYYY-MM-DD", by Utc_Now.
std::string Utc_Today();
