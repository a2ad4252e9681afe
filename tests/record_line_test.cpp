// The record line: field splitting, widths, conversion and the written form.
#include "Record_Line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "Calculating_System.h"
#include "reference.h"

namespace {

struct Parsed {
  int time, mot, inout, balance;
  std::string terminal;
};

Parsed Parse(std::string_view line) {
  Data record{};
  EXPECT_TRUE(Fill_Data(record, line, "f.txt", 1)) << line;
  return {record.LastTime, record.Mot, record.InOut, record.Balance,
          record.TerminalInfo};
}

void Expect_Record(std::string_view line, const Parsed& want) {
  Parsed got = Parse(line);
  EXPECT_EQ(got.time, want.time) << line;
  EXPECT_EQ(got.mot, want.mot) << line;
  EXPECT_EQ(got.inout, want.inout) << line;
  EXPECT_EQ(got.balance, want.balance) << line;
  EXPECT_EQ(got.terminal, want.terminal) << line;
}

TEST(RecordLine, SeparatorFormsGiveTheSameRecord) {
  const char* lines[] = {
      "270,0,1,100,T2",         // commas
      "270,0,1,100 T2",         // space before the fifth field
      "270,0,1,100,T2,extra",   // a sixth field is ignored
      "270, 0,\t1 ,, 100,T2",   // runs of separators count as one
      " ,\t270,0,1,100,T2 , ",  // separators before and after
  };
  for (const char* line : lines) Expect_Record(line, {270, 0, 1, 100, "T2"});
}

TEST(RecordLine, ConvertsLikeAtoi) {
  Expect_Record("12x,1,0,-5,A", {12, 1, 0, -5, "A"});
  Expect_Record("abc,x,+,+7,A", {0, 0, 0, 7, "A"});
  Expect_Record("-2147483648,9,1,9999,A", {INT32_MIN, 9, 1, 9999, "A"});
  Expect_Record("002147483647,0,0,-999,A", {INT32_MAX, 0, 0, -999, "A"});
  Expect_Record("9,1,1,0,123456789", {9, 1, 1, 0, "123456789"});
}

TEST(RecordLine, CarriageReturnBelongsToTheFieldItTouches) {
  Expect_Record("1,1,1,0,T2\r", {1, 1, 1, 0, "T2\r"});
  Expect_Record("1,1,1,0,T2 \r", {1, 1, 1, 0, "T2"});
  Expect_Record("\r1,1,1,0,T2", {1, 1, 1, 0, "T2"});
}

TEST(RecordLine, BlankLinesMakeNoRecord) {
  for (std::string_view line : {"", " ", ",,\t, ", "\r", " ,\t\r"}) {
    Data record{};
    EXPECT_FALSE(Fill_Data(record, line, "f.txt", 1))
        << "[" << std::string(line) << "]";
  }
}

TEST(RecordLine, BadLinesNameFileLineAndProblem) {
  struct Case {
    std::string line;
    std::string message;
  } cases[] = {
      {"1,1,1,1050", "p.txt:7: fewer than five fields"},
      {"1,1,,1,1050", "p.txt:7: fewer than five fields"},
      {"1,1,1,1050\r", "p.txt:7: fewer than five fields"},
      {"\r\r", "p.txt:7: fewer than five fields"},
      {"1234567890123,1,1,0,T", "p.txt:7: LastTime longer than 12 bytes"},
      {"1,10,1,0,T", "p.txt:7: Mot longer than 1 byte"},
      {"1,1,-1,0,T", "p.txt:7: InOut longer than 1 byte"},
      {"1,1,1,10000,T", "p.txt:7: Balance longer than 4 bytes"},
      {"1,1,1,0,1234567890", "p.txt:7: TerminalInfo longer than 9 bytes"},
      {"1,1,1,0,12345678\r\r", "p.txt:7: TerminalInfo longer than 9 bytes"},
      // Four characters of three bytes each.
      {"1,1,1,0,\xEA\xB0\x80\xEA\xB0\x80\xEA\xB0\x80\xEA\xB0\x80",
       "p.txt:7: TerminalInfo longer than 9 bytes"},
      {"2147483648,1,1,0,T", "p.txt:7: LastTime outside the 32-bit range"},
      {"-2147483649,1,1,0,T", "p.txt:7: LastTime outside the 32-bit range"},
      {std::string("1,1,1,0,T\0X", 11), "p.txt:7: NUL byte in record line"},
  };
  for (const Case& c : cases) {
    Data record{};
    try {
      Fill_Data(record, c.line, "p.txt", 7);
      ADD_FAILURE() << "accepted: " << c.line;
    } catch (const Settlement_Error& error) {
      EXPECT_EQ(error.what(), c.message) << c.line;
    }
  }
}

TEST(RecordLine, FirstLinesOfUtf16TextAreKnownAndOthersAreNot) {
  const std::string le = "\xFF\xFE", be = "\xFE\xFF";
  // Each '_' of a case's text stands for a NUL byte.
  struct Case {
    std::string mark, text;
    bool utf16;
  } cases[] = {
      {le, "1_,_T_\r_", true},   // little-endian, CR LF
      {be, "_1_,", true},        // big-endian
      {le, "", true},            // the mark, then a line feed
      {"", "1_,_1_", true},      // no mark, little-endian
      {"", "_1_,_1", true},      // no mark, big-endian
      {le, "1,1,1,0,T", false},  // the mark before plain text
      {"", "1,1,1,0,T_X", false},
      {"", "1,1__,1", false},
      {"", "_", false},
      {"", "____", false},
      {"", "1,1,1,0,T", false},
      {"", "", false},
  };
  for (Case& c : cases) {
    std::replace(c.text.begin(), c.text.end(), '_', '\0');
    EXPECT_EQ(Is_Utf16_Start(c.mark + c.text), c.utf16)
        << ::testing::PrintToString(c.mark + c.text);
  }
}

TEST(RecordLine, WrittenFormReadsBackIdentically) {
  Data record{};
  ASSERT_TRUE(Fill_Data(record, "-7,1,0,-999,T\r", "f.txt", 1));
  std::string comma, space;
  Append_Record_Line(comma, record, ',');
  Append_Record_Line(space, record, ' ');
  EXPECT_EQ(comma, "-7,1,0,-999,T\r\n");
  EXPECT_EQ(space, "-7,1,0,-999 T\r\n");
  for (const std::string& line : {comma, space}) {
    Data again{};
    ASSERT_TRUE(Fill_Data(
        again, std::string_view(line).substr(0, line.size() - 1), "h.txt", 1));
    EXPECT_EQ(again.LastTime, -7);
    EXPECT_EQ(again.Balance, -999);
    EXPECT_STREQ(again.TerminalInfo, "T\r");
  }
}

// Each field as its decimal form, one digit or many, signed or not.
TEST(RecordLine, FieldsAreWrittenInDecimal) {
  struct Case {
    std::int32_t time;
    int mot, in_out;
    std::int32_t balance;
    const char* line;
  } cases[] = {
      {0, 0, 0, 0, "0,0,0,0,T\n"},
      {9, 9, 9, 9, "9,9,9,9,T\n"},
      {10, 10, 10, 10, "10,10,10,10,T\n"},
      {-1, -1, -1, -1, "-1,-1,-1,-1,T\n"},
      {INT32_MAX, 127, -128, INT32_MIN, "2147483647,127,-128,-2147483648,T\n"},
  };
  for (const Case& c : cases) {
    Data record{};
    record.LastTime = c.time;
    record.Mot = static_cast<signed char>(c.mot);
    record.InOut = static_cast<signed char>(c.in_out);
    record.Balance = c.balance;
    record.TerminalInfo[0] = 'T';
    std::string line;
    Append_Record_Line(line, record, ',');
    EXPECT_EQ(line, c.line);
  }
}

}  // namespace
