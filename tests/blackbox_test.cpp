// Runs the built program on whole days and checks every output byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "settlement_run.h"

namespace {

const char* const WORKED_HISTORY =
    "200,1,1,0,T2\n150,0,1,1050,T2\n270,0,1,100 T2\nEND";

struct Expected {
  std::string history;
  std::string bus;
  std::string metro;
  std::string out;
};

std::string Report(long long bus, long long metro) {
  return "wait\nResult\nBus: " + std::to_string(bus) +
         " won\nMetro: " + std::to_string(metro) + " won\n";
}

// Names in dir other than the day's own files: leftovers of a run.
std::vector<std::string> Stray_Files(const Scratch_Dir& dir) {
  std::vector<std::string> stray;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    std::string name = entry.path().filename().string();
    if (name.front() == '.') stray.push_back(name);
  }
  return stray;
}

// Runs day and checks a complete run: every output file, the report, the
// lowered flag, an empty standard error and untouched payment files.
void Expect_Settles(const Day& day, const Expected& expected,
                    const std::vector<std::string>& args = {}) {
  Scratch_Dir dir;
  Lay_Out_Day(dir, day);
  dir.Write("Total_Bus_Data.txt", "an earlier run's much longer content");
  dir.Write("trans_history.txt", "stale");
  Run_Result run = Run_Settlement(dir, args);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, expected.out);
  EXPECT_EQ(dir.Read("trans_history.txt"), expected.history);
  EXPECT_EQ(dir.Read("Total_Bus_Data.txt"), expected.bus);
  EXPECT_EQ(dir.Read("Total_Metro_Data.txt"), expected.metro);
  EXPECT_EQ(dir.Read("enable.txt"), "0");
  EXPECT_TRUE(Stray_Files(dir).empty());
  for (std::size_t i = 0; i < day.files.size(); ++i)
    EXPECT_EQ(dir.Read(PAYMENT_FILES[i].name), day.files[i])
        << PAYMENT_FILES[i].name;
}

TEST(Settlement, WorkedRun) {
  Expect_Settles(Worked_Day(), {WORKED_HISTORY, "300,1,2648", "280,0,5349",
                                Report(2648, 5349)});
}

TEST(Settlement, ArgumentsAreIgnored) {
  Expect_Settles(
      Worked_Day(),
      {WORKED_HISTORY, "300,1,2648", "280,0,5349", Report(2648, 5349)},
      {"--help", "paymentData_5001.txt"});
}

TEST(Settlement, WithoutTransfersTotalsAreTheFileSums) {
  Expect_Settles({{"5,1,1,1050,A\n9,1,0,2000,B\n", "", "7,0,1,-3,C\n",
                   "3,0,1,0,D\n4,0,1,1,E", "", "1,0,1,1500,F\n"}},
                 {"END", "9,1,3050", "7,0,1498", Report(3050, 1498)});
}

TEST(Settlement, LineEndingsBlankLinesAndEmptyFiles) {
  // CRLF lines keep the carriage return in TerminalInfo, so "T\r" in both
  // files still forms one journey; blank lines and empty files add nothing.
  Expect_Settles({{"\r\n10,1,1,100,T\r\n , \n20,1,1,1050,U\r\n", "", "\n\n",
                   "5,0,1,1050,T\r\n", "", ""}},
                 {"10,1,1,100,T\r\n5,0,1,1050 T\r\nEND", "20,1,1651", "5,0,548",
                  Report(1050 + 601, 548)});
}

TEST(Settlement, EmptyDay) {
  Expect_Settles({{"", "", "", "", "", ""}},
                 {"END", "0,1,0", "0,0,0", Report(0, 0)});
}

TEST(Settlement, JourneyOfManyLegsAndALegAtTimeNine) {
  // One bus leg of 0 at time 9 and 30 metro legs of 10 won at times 1..30:
  // total 300, and every leg is credited 300 x running / 1350.
  Day day{{"9,1,1,0,J\n", "", "", "", "", ""}};
  for (int t = 1; t <= 30; ++t)
    day.files[1] += std::to_string(t) + ",0,1,10,J\n";
  std::string history = "9,1,1,0,J\n" + day.files[1] + "END";
  long long bus = 0, metro = 0, running = 0;
  for (int t = 1; t <= 30; ++t) {
    running += 10;
    metro += 300 * running / 1350;
    if (t == 8) bus = 300 * running / 1350;  // the bus leg sorts after t=8
  }
  Expect_Settles(day, {history, "9,1," + std::to_string(bus),
                       "30,0," + std::to_string(metro), Report(bus, metro)});
}

// The exchange sort moves the bus leg behind the metro leg of equal time:
// metro 500, metro 1000, bus 0 (keeping equal times in file order would
// credit the bus 294).
TEST(Settlement, LegsOfEqualTimesInExchangeSortOrder) {
  Expect_Settles(
      {{"2,1,1,0,T\n", "2,0,1,1000,T\n", "1,0,1,500,T\n", "", "", ""}},
      {"2,1,1,0,T\n2,0,1,1000,T\n1,0,1,500,T\nEND", "2,1,882", "2,0,1176",
       Report(882, 1176)});
}

TEST(Settlement, TotalsBeyondThirtyTwoBits) {
  Day day{{"", "", "", "", "", ""}};
  std::string line = "1,1,1,9999,A\n";
  day.files[0].reserve(line.size() * 300000);
  for (int i = 0; i < 300000; ++i) day.files[0] += line;
  Expect_Settles(day,
                 {"END", "1,1,2999700000", "0,0,0", Report(2999700000LL, 0)});
}

// --- Runs that must fail cleanly --------------------------------------------

struct Failure_Case {
  std::string name;
  std::function<void(const Scratch_Dir&)> spoil;  // applied after laying out
  std::string message;                            // the whole stderr line
};

// Lays out the sample day with earlier summaries "1,1,1" and "2,0,2".
void Lay_Out_Failing_Day(const Scratch_Dir& dir) {
  Lay_Out_Day(dir, Worked_Day());
  dir.Write("Total_Bus_Data.txt", "1,1,1");
  dir.Write("Total_Metro_Data.txt", "2,0,2");
}

// Checks that a run failed: exit 1, c's line on stderr, no report.
void Expect_Failed(const Run_Result& run, const Failure_Case& c) {
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "fare-settlement: " + c.message + "\n");
  EXPECT_EQ(run.out, "wait\n");
}

// Checks a failed run: exit 1, one line on stderr, no report, the earlier
// summary files untouched, the flag still raised, no temporary files left.
void Expect_Fails(const Failure_Case& c) {
  SCOPED_TRACE(c.name);
  Scratch_Dir dir;
  Lay_Out_Failing_Day(dir);
  c.spoil(dir);
  Expect_Failed(Run_Settlement(dir), c);
  // A summary the case turned into a directory has no content to compare.
  if (std::filesystem::is_regular_file(dir.File("Total_Bus_Data.txt"))) {
    EXPECT_EQ(dir.Read("Total_Bus_Data.txt"), "1,1,1");
  }
  if (std::filesystem::is_regular_file(dir.File("Total_Metro_Data.txt"))) {
    EXPECT_EQ(dir.Read("Total_Metro_Data.txt"), "2,0,2");
  }
  EXPECT_EQ(dir.Read("enable.txt"), "1");
  EXPECT_TRUE(Stray_Files(dir).empty());
}

std::function<void(const Scratch_Dir&)> Replace(std::string file,
                                                std::string content) {
  return [=](const Scratch_Dir& dir) { dir.Write(file, content); };
}

std::function<void(const Scratch_Dir&)> Make_Directory(std::string file) {
  return [=](const Scratch_Dir& dir) {
    std::filesystem::remove(dir.File(file));
    std::filesystem::create_directory(dir.File(file));
  };
}

void PrintTo(const Failure_Case& c, std::ostream* out) { *out << c.name; }

class Failing : public ::testing::TestWithParam<Failure_Case> {};

TEST_P(Failing, LeavesResultsUntouchedAndFlagRaised) {
  Expect_Fails(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Settlement, Failing,
    ::testing::Values(
        Failure_Case{"MissingFile",
                     [](const Scratch_Dir& dir) {
                       std::filesystem::remove(
                           dir.File("paymentData_7002.txt"));
                     },
                     "paymentData_7002.txt: cannot open: No such file or "
                     "directory"},
        Failure_Case{"PaymentFileIsDirectory",
                     Make_Directory("paymentData_5001.txt"),
                     "paymentData_5001.txt: not a regular file"},
        Failure_Case{
            "ShortLine",
            Replace("paymentData_7003.txt", "270,0,1,100,T2\n\n271,0,1,100\n"),
            "paymentData_7003.txt:3: fewer than five fields"},
        Failure_Case{"WideField",
                     Replace("paymentData_7005.txt", "1,0,1,10500,T\n"),
                     "paymentData_7005.txt:1: Balance longer than 4 "
                     "bytes"},
        Failure_Case{"TimeOutOfRange",
                     Replace("paymentData_5001.txt", "99999999999,1,1,5,T\n"),
                     "paymentData_5001.txt:1: LastTime outside the 32-bit "
                     "range"},
        Failure_Case{"Utf16WithMark",
                     Replace("paymentData_5001.txt",
                             Utf16("100,1,1,1050,T1\r\n200,1,1,0,T2\r\n", false,
                                   "\xFF\xFE")),
                     "paymentData_5001.txt:1: UTF-16 text (save the file as "
                     "ASCII or as UTF-8 without a byte-order mark)"},
        Failure_Case{"Utf16WithoutMark",
                     Replace("paymentData_7004.txt",
                             Utf16("280,0,1,1050,T6\n", true, "")),
                     "paymentData_7004.txt:1: UTF-16 text (save the file as "
                     "ASCII or as UTF-8 without a byte-order mark)"},
        // T2's legs: 0 + 1050 - 999 - 999 - 102 = -1050.
        Failure_Case{"ZeroDivisor",
                     [](const Scratch_Dir& dir) {
                       dir.Write("paymentData_7003.txt", "270,0,1,-999,T2\n");
                       dir.Write("paymentData_7004.txt",
                                 "281,0,1,-999,T2\n282,0,1,-102,T2\n");
                     },
                     "trans_history.txt: journey T2: amounts add up to "
                     "-1050, which leaves no divisor"},
        Failure_Case{"HistoryIsDirectory", Make_Directory("trans_history.txt"),
                     "trans_history.txt: cannot replace: Is a directory"},
        Failure_Case{"SecondSummaryIsDirectory",
                     Make_Directory("Total_Metro_Data.txt"),
                     "Total_Metro_Data.txt: cannot replace: Is a directory"}),
    [](const ::testing::TestParamInfo<Failure_Case>& param_info) {
      return param_info.param.name;
    });

// Every file of the directory by name, read through its links.
std::vector<std::pair<std::string, std::string>> Contents(
    const Scratch_Dir& dir) {
  std::vector<std::pair<std::string, std::string>> contents;
  for (const std::string& name : Names_In(dir.Path()))
    contents.emplace_back(name, dir.Read(name));
  return contents;
}

// The flag and the outputs are written through their links: one that leads
// to a payment file or to another of them is refused before anything is
// written, so no payment file or earlier result is overwritten.
TEST(Settlement, FilesThatLeadToOneAnotherAreRefusedBeforeAnyWrite) {
  auto link = [](const char* target, const char* name) {
    return [=](const Scratch_Dir& dir) {
      std::filesystem::remove(dir.File(name));
      std::filesystem::create_symlink(target, dir.File(name));
    };
  };
  const Failure_Case cases[] = {
      {"history linked to the bus file",
       link("paymentData_5001.txt", "trans_history.txt"),
       "trans_history.txt: leads to paymentData_5001.txt, a payment file"},
      {"summary hard-linked to a metro file",
       [](const Scratch_Dir& dir) {
         std::filesystem::remove(dir.File("Total_Bus_Data.txt"));
         std::filesystem::create_hard_link(dir.File("paymentData_7004.txt"),
                                           dir.File("Total_Bus_Data.txt"));
       },
       "Total_Bus_Data.txt: leads to paymentData_7004.txt, a payment file"},
      // Its first line reads as a raised flag.
      {"flag linked to a metro file",
       [=](const Scratch_Dir& dir) {
         dir.Write("paymentData_7005.txt", "1,0,1,1050,T7\n");
         link("paymentData_7005.txt", "enable.txt")(dir);
       },
       "enable.txt: leads to paymentData_7005.txt, a payment file"},
      {"both summaries linked to one missing file",
       [=](const Scratch_Dir& dir) {
         link("shared", "Total_Bus_Data.txt")(dir);
         link("shared", "Total_Metro_Data.txt")(dir);
       },
       "Total_Metro_Data.txt: leads to the same file as Total_Bus_Data.txt"},
  };
  for (const Failure_Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scratch_Dir dir;
    Lay_Out_Failing_Day(dir);
    c.spoil(dir);
    auto before = Contents(dir);
    Expect_Failed(Run_Settlement(dir), c);
    EXPECT_EQ(Contents(dir), before);
  }
}

}  // namespace
