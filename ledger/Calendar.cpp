#include "Calendar.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "Ledger_Error.h"

namespace {

// The number written in exactly digits digits at text[at].
int Digits(std::string_view text, std::size_t at, std::size_t digits) {
  int value = -1;
  if (at + digits > text.size()) return -1;
  for (std::size_t i = at; i < at + digits; ++i)
    if (text[i] < '0' || text[i] > '9') return -1;
  std::from_chars(text.data() + at, text.data() + at + digits, value);
  return value;
}

// Whether text is "YYYY-MM-DD", a real date.
bool Real_Day(std::string_view text) {
  Month month{Digits(text, 0, 4), Digits(text, 5, 2)};
  int day = Digits(text, 8, 2);
  return text.size() == 10 && text[4] == '-' && text[7] == '-' &&
         month.year >= 1 && month.month >= 1 && month.month <= 12 && day >= 1 &&
         day <= month.Days();
}

// Whether text is "YYYY-MM-DDTHH:MM:SSZ", a real date and time of day.
bool Real_Time(std::string_view text) {
  return text.size() == 20 && Real_Day(text.substr(0, 10)) && text[10] == 'T' &&
         text[13] == ':' && text[16] == ':' && text[19] == 'Z' &&
         Digits(text, 11, 2) >= 0 && Digits(text, 11, 2) < 24 &&
         Digits(text, 14, 2) >= 0 && Digits(text, 14, 2) < 60 &&
         Digits(text, 17, 2) >= 0 && Digits(text, 17, 2) < 60;
}

std::string Padded(int value, std::size_t width) {
  std::string text = std::to_string(value);
  return std::string(width - std::min(width, text.size()), '0') + text;
}

}  // namespace

std::string Month::Text() const {
  return Padded(year, 4) + "-" + Padded(month, 2);
}

int Month::Days() const {
  static constexpr int DAYS[12] = {31, 28, 31, 30, 31, 30,
                                   31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : DAYS[month - 1];
}

Month Month::Next() const {
  if (year == LAST_YEAR && month == 12)
    Refuse(Text() +
           " is the last month a ledger keeps: there is no month "
           "after it");
  return month == 12 ? Month{year + 1, 1} : Month{year, month + 1};
}

std::string Month::Day_Text(int day) const {
  return Text() + "-" + Padded(day, 2);
}

std::vector<std::string> Month::Day_Texts() const {
  std::vector<std::string> days;
  for (int day = 1; day <= Days(); ++day) days.push_back(Day_Text(day));
  return days;
}

Month Parse_Month(std::string_view text) {
  Month month{Digits(text, 0, 4), Digits(text, 5, 2)};
  if (text.size() != 7 || text[4] != '-' || month.year < 1 || month.month < 1 ||
      month.month > 12)
    Usage_Fault("a month is written YYYY-MM, not '" + std::string(text) + "'");
  return month;
}

std::string Parse_Day(std::string_view text) {
  if (!Real_Day(text))
    Usage_Fault("a day is written YYYY-MM-DD (a real date), not '" +
                std::string(text) + "'");
  return std::string(text);
}

Month Month_Of(std::string_view day) {
  return {Digits(day, 0, 4), Digits(day, 5, 2)};
}

namespace {

std::string Clock_Now() {
  // Calendar arithmetic of the standard library: the same on every system.
  using namespace std::chrono;
  const sys_seconds now = floor<seconds>(system_clock::now());
  const sys_days today = floor<days>(now);
  const year_month_day date(today);
  const hh_mm_ss<seconds> time(now - today);
  char text[32];
  std::snprintf(
      text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
      static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
      static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
      static_cast<int>(time.minutes().count()),
      static_cast<int>(time.seconds().count()));
  return text;
}

}  // namespace

std::string Utc_Now() {
  const char* fixed = std::getenv("FARE_LEDGER_NOW");
  if (fixed == nullptr) return Clock_Now();
  if (!Real_Time(fixed))
    Fail_Ledger(std::string("FARE_LEDGER_NOW is written YYYY-MM-DDTHH:MM:SSZ, "
                            "not '") +
                fixed + "'");
  return fixed;
}

std::string Utc_Today() { return Utc_Now().substr(0, 10); }
