// The audit's own reading of the payment files: the warnings it can only
// give once every tap of the day is in, gathered over all six files.
#include "Audit_Scan.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Audit_Recompute.h"
#include "Day_Snapshot.h"
#include "settlement_run.h"

namespace {

// count taps of terminal, one line each, in a payment file's form.
std::string Taps(const std::string& terminal, int count, int first_time) {
  std::string lines;
  for (int i = 0; i < count; ++i)
    lines += std::to_string(first_time + i) + ",0,1,1050," + terminal + "\n";
  return lines;
}

// The scan's warning of kind id on day: its count and its places.
std::pair<std::int64_t, std::vector<std::string>> Warned(const Day& day,
                                                         const char* id) {
  Scratch_Dir dir;
  Lay_Out_Day(dir, day);
  Day_Snapshot snapshot(dir.Path());
  Scan_Result scan = Scan_Payment_Files(10, nullptr, snapshot);
  for (const Warning& warning : scan.warnings)
    if (std::string(warning.id) == id) return {warning.count, warning.examples};
  ADD_FAILURE() << "no warning " << id;
  return {};
}

// Terminals carried by many taps are counted over all six files and named
// in the order of their bytes, whatever file or order their taps come in.
TEST(AuditScan, BusyTerminalsAreCountedOverTheDayAndNamedInByteOrder) {
  Day spread;
  const char* terminals[] = {
      "\xff"
      "1",
      "ZZZZZZZZZ",
      "B",
      "A1",
      "ZZZZZZZZY",
      "A",
      "A\x01"};
  int time = 1;
  for (const char* terminal : terminals) {
    // 11 taps in one file and 10 in another: 21 in all, one above the most
    // that is not worth a look.
    spread.files[time % 6] += Taps(terminal, 11, time);
    spread.files[(time + 3) % 6] += Taps(terminal, 10, time + 20);
    time += 50;
  }
  // 20 taps in all are not many; 21 in one file are.
  spread.files[2] += Taps("QUIET", 12, 900) + Taps("quiet", 21, 950);
  spread.files[4] += Taps("QUIET", 8, 1000);
  auto [count, places] = Warned(spread, "busy-terminal");
  EXPECT_EQ(count, 8);
  EXPECT_EQ(places,
            (std::vector<std::string>{"\"A\" (21 taps)", "\"A\\x01\" (21 taps)",
                                      "\"A1\" (21 taps)", "\"B\" (21 taps)",
                                      "\"ZZZZZZZZY\" (21 taps)"}));
}

// A line repeats only an earlier line of its own file with the same bytes,
// and each repetition counts once.
TEST(AuditScan, RepeatedLinesAreThoseOfOneFileWithTheSameBytes) {
  const struct {
    const char* name;
    Day day;
    std::int64_t count;
    std::vector<std::string> places;
  } cases[] = {
      {"three times in one file",
       {{"", "1,0,1,1050,T4\n2,0,1,1050,T5\n1,0,1,1050,T4\n1,0,1,1050,T4\n"}},
       2,
       {"paymentData_7001.txt:3", "paymentData_7001.txt:4"}},
      {"once in each of two files",
       {{"1,1,1,1050,T4\n", "", "", "1,1,1,1050,T4\n"}},
       0,
       {}},
      {"the same record written differently",
       {{"", "", "1,0,1,1050,T4\n01,0,1,1050,T4\n1,0,1,1050 T4\n"}},
       0,
       {}},
      {"two repeated lines of one terminal in two files",
       {{"5,1,1,0,J\n6,1,1,0,J\n5,1,1,0,J\n", "", "", "", "",
         "6,0,1,9,J\n6,0,1,9,J\n6,1,1,0,J\n"}},
       2,
       {"paymentData_5001.txt:3", "paymentData_7005.txt:2"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto [count, places] = Warned(c.day, "duplicate-line");
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(places, c.places);
  }
}

// Over a day of thousands of TerminalInfos, and one carried by more taps
// than are grouped at once, the counts are those of a plain count of the
// lines.
TEST(AuditScan, BusyAndRepeatedCountsMatchAPlainCountOfTheLines) {
  Day day;
  std::map<std::string, int> taps;              // per TerminalInfo
  std::set<std::pair<int, std::string>> lines;  // per file
  std::int64_t repeats = 0;
  auto add = [&](int file, const std::string& line, const std::string& t) {
    day.files[file] += line + "\n";
    ++taps[t];
    if (!lines.insert({file, line}).second) ++repeats;
  };
  for (int t = 0; t < 4000; ++t) {
    std::string terminal = "T" + std::to_string(t * 7919 % 100003);
    for (int i = 0; i <= t % 25; ++i)
      add((t + i) % 6, std::to_string(i % 9) + ",0,1,1050," + terminal,
          terminal);
  }
  for (int i = 0; i < 20000; ++i)
    add(0, std::to_string(i % 19000) + ",1,1,900,BIG", "BIG");
  std::int64_t busy = 0;
  for (const auto& [terminal, count] : taps) busy += count > 20;
  EXPECT_EQ(Warned(day, "busy-terminal").first, busy);
  EXPECT_EQ(Warned(day, "duplicate-line").first, repeats);
  EXPECT_GT(busy, 500);
  EXPECT_GT(repeats, 1000);
  // What the grouping of the taps leaves to be confirmed from the lines is
  // confirmed as every TerminalInfo and line would be: nothing that only
  // looked alike is warned of.
  Scratch_Dir dir;
  Lay_Out_Day(dir, day);
  Day_Snapshot snapshot(dir.Path());
  std::vector<Warning> scanned =
      Scan_Payment_Files(10, nullptr, snapshot).warnings;
  std::vector<Warning> every = Confirm_Every_Line(snapshot);
  for (std::size_t k = 0; k < scanned.size(); ++k) {
    std::string id = scanned[k].id;
    if (id != "busy-terminal" && id != "duplicate-line") continue;
    EXPECT_EQ(every[k].count, scanned[k].count) << id;
    EXPECT_EQ(every[k].examples, scanned[k].examples) << id;
  }
}

// The warnings of a day as (id, count, places) text, in report order.
std::string Warnings_Text(const std::vector<Warning>& warnings) {
  std::string text;
  for (const Warning& warning : warnings) {
    text += std::string(warning.id) + " " + std::to_string(warning.count);
    for (const std::string& place : warning.examples) text += " " + place;
    text += "\n";
  }
  return text;
}

// The checks told by the loading, which reads a large file in two halves
// on two threads, find what reading each file whole finds, wherever the
// lines that warn stand: at the start, either side of where the halves
// meet, at the end.
TEST(AuditScan, ChecksToldByTheLoadingMatchTheWholeFileScan) {
  // Over 1 MiB: the bus file is read in halves, as is the smallest metro
  // file (here metro 5).
  std::vector<std::string> lines;
  for (int i = 0; i < 60000; ++i)
    lines.push_back(std::to_string(100000 + i) + ",1,1,1250,T" +
                    std::to_string(i % 997));
  std::size_t size = 0;
  for (const std::string& line : lines) size += line.size() + 1;
  // The first line of the second half starts at or after 53% of the file.
  std::size_t at = 0, second = 0;
  while (at < size / 100 * 53) at += lines[second++].size() + 1;
  const struct {
    const char* name;
    std::function<void(std::vector<std::string>&, std::size_t)> spoil;
  } kinds[] = {
      {"CR LF", [](auto& l, std::size_t w) { l[w] += "\r"; }},
      {"CR LF from here on",
       [](auto& l, std::size_t w) {
         for (; w < l.size(); ++w) l[w] += "\r";
       }},
      {"earlier time",
       [](auto& l, std::size_t w) { l[w].replace(0, 6, "099999"); }},
      // The latest time twice, the file's last line not one of them.
      {"latest time",
       [](auto& l, std::size_t w) {
         l[w].replace(0, 6, "999999");
         l[l.size() - 2].replace(0, 6, "999999");
       }},
      {"metro Mot", [](auto& l, std::size_t w) { l[w].replace(7, 1, "0"); }},
      {"part number", [](auto& l, std::size_t w) { l[w].insert(6, "x"); }},
      {"repeat", [](auto& l, std::size_t w) { l[w] = l[0]; }},
  };
  for (const auto& kind : kinds) {
    for (std::size_t where :
         {std::size_t{0}, second - 1, second, second + 1, lines.size() - 1}) {
      SCOPED_TRACE(std::string(kind.name) + " at line " +
                   std::to_string(where + 1));
      std::vector<std::string> spoilt = lines;
      kind.spoil(spoilt, where);
      Day day;
      for (const std::string& line : spoilt) day.files[0] += line + "\n";
      day.files[5] = day.files[0];
      day.files[1] = "1,0,1,1250,M\n";
      Scratch_Dir dir;
      Lay_Out_Day(dir, day);
      Day_Snapshot snapshot(dir.Path());
      Load_Checks checks(snapshot);
      Unsettled_Journeys unsettled;
      Recompute_Settlement(
          dir.Path(), nullptr, unsettled, [](std::string_view) {}, &checks);
      std::string told = Warnings_Text(checks.Result().warnings);
      EXPECT_EQ(told, Warnings_Text(
                          Scan_Payment_Files(10, nullptr, snapshot).warnings));
      EXPECT_NE(told.find(" paymentData_7005.txt"), std::string::npos) << told;
    }
  }
}

// A TerminalInfo ending in a carriage return, whatever its length.
TEST(AuditScan, TerminalsEndingInACarriageReturnAreFoundAtAnyLength) {
  Day day;
  day.files[1] =
      "1,0,1,1050,\r\n"          // line 1: the text is the CR alone
      "2,0,1,1050,ABCDEFGH\r\n"  // 9 characters
      "3,0,1,1050,ABCDEFG\r\n"   // 8
      "4,0,1,1050,A\rB\n"        // a CR inside is not at the end
      "5,0,1,1050,ABCDEFGHI\n";  // 9 characters, no CR
  auto [count, places] = Warned(day, "terminal-cr");
  EXPECT_EQ(count, 3);
  EXPECT_EQ(places, (std::vector<std::string>{"paymentData_7001.txt:1",
                                              "paymentData_7001.txt:2",
                                              "paymentData_7001.txt:3"}));
}

}  // namespace
