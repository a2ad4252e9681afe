// fare-ledger record, verify and days on a real ledger file.
#include <gtest/gtest.h>

#include "ledger_run.h"

namespace {

TEST(LedgerRecord, RecordsOnceCorrectsOnlyWithAReason) {
  Ledger_Dir dir;
  dir.Settle("day", Day_With(0, 0));
  Run_Result run = dir.Run({"record", "2026-12-09", "day"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "2026-12-09 recorded as version 1\n");

  run = dir.Run({"record", "2026-12-09", "day"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "2026-12-09 already recorded as version 1\n");

  // Another delivery of the day, settled again: one more bus tap.
  dir.Settle("day", Day_With(1, 0));
  run = dir.Run({"record", "2026-12-09", "day"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "fare-ledger: 2026-12-09 is recorded as version 1 from other "
            "files (paymentData_5001.txt, Total_Bus_Data.txt differ); "
            "--correct REASON records these as version 2\n");
  EXPECT_EQ(Recorded_Times(dir.Ledger()).size(), 1u) << "written when refused";

  run = dir.Run({"record", "2026-12-09", "day", "--correct", "late bus file"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "2026-12-09 recorded as version 2, adjustment bus +1,050 won, "
            "metro 0 won\n");
  // Back to the first files: a correction too, taking the money back.
  dir.Settle("day", Day_With(0, 0));
  run = dir.Run({"record", "2026-12-09", "day", "--correct=bus tap twice"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "2026-12-09 recorded as version 3, adjustment bus -1,050 won, "
            "metro 0 won\n");

  std::vector<std::string> at = Recorded_Times(dir.Ledger());
  ASSERT_EQ(at.size(), 3u);
  run = dir.Run({"days"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "2026-12-09  version 1  recorded " + at[0] +
                "  bus 2,648 won  metro 5,349 won\n"
                "2026-12-09  version 2  recorded " +
                at[1] +
                "  bus 3,698 won  metro 5,349 won  correction \"late bus "
                "file\"\n"
                "2026-12-09  version 3  recorded " +
                at[2] +
                "  bus 2,648 won  metro 5,349 won  correction \"bus tap "
                "twice\"\n");
  EXPECT_EQ(dir.Run({"check"}).status, 0);
}

// Korean names as an operator types them: the day's folder, the ledger,
// a correction's reason and a statement's file, kept exactly (on Windows
// whatever the ANSI code page); a message naming a Korean folder is UTF-8
// on a pipe.
TEST(LedgerRecord, KoreanNamesAndReasonsAsTyped) {
  Ledger_Dir dir("정산 2026년 12월");
  Run_Options options;
  options.program = Ledger_Exe();
  auto run_ledger = [&](std::vector<std::string> args) {
    options.args = {"--db", dir.File("원장.db")};
    options.args.insert(options.args.end(), args.begin(), args.end());
    return Finish_Run(Start_Run(dir.Path(), options));
  };
  dir.Settle("01일", Day_With(0, 0));
  Run_Result run = run_ledger({"record", "2026-12-01", dir.File("01일")});
  ASSERT_EQ(run.status, 0) << run.err;
  dir.Settle("01일", Day_With(1, 0));
  run = run_ledger(
      {"record", "2026-12-01", "01일", "--correct", "7003 파일 재전송"});
  ASSERT_EQ(run.status, 0) << run.err;
  run = run_ledger({"statement", "2026-12", "--json", "12월.json"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(dir.Read("12월.json").find("\"7003 파일 재전송\""),
            std::string::npos)
      << dir.Read("12월.json");
  EXPECT_EQ(Read_File(dir.File("원장.db")).substr(0, 6), "SQLite");

  run = run_ledger({"record", "2026-12-02", "없는 폴더"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("없는 폴더"), std::string::npos) << run.err;
}

// A day the audit does not find settled and consistent is refused in the
// audit's words, and nothing is written: not even a new ledger.
TEST(LedgerRecord, RefusesWhatTheAuditRefuses) {
  struct Case {
    const char* name;
    void (*spoil)(const std::string& day);
    const char* words;
  };
  const Case cases[] = {
      {"not settled",
       [](const std::string& day) {
         std::remove((day + "/Total_Metro_Data.txt").c_str());
       },
       "2026-12-09 not recorded: not settled yet (no "
       "Total_Metro_Data.txt)\n"},
      {"summary differs",
       [](const std::string& day) {
         Write_File(day + "/Total_Bus_Data.txt", "300,1,2649");
       },
       "2026-12-09 not recorded: Total_Bus_Data.txt: expected "
       "\"300,1,2648\", found \"300,1,2649\"\n"},
      {"bad lines",
       [](const std::string& day) {
         Write_File(day + "/paymentData_7002.txt", "260,0,1,1050,T5\n1,2\n3\n");
       },
       "2026-12-09 not recorded: paymentData_7002.txt:2: fewer than five "
       "fields\nfare-ledger: 2026-12-09 not recorded: 2 problems in all "
       "(fare-audit lists them)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Ledger_Dir dir;
    dir.Settle("day", WORKED_RUN);
    c.spoil(dir.File("day"));
    Run_Result run = dir.Run({"record", "2026-12-09", "day"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, std::string("fare-ledger: ") + c.words);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(dir.Read("ledger.db"), "<missing>");
  }
}

// One delivery recorded as a second day would be paid twice: refused,
// naming the day, correction or not; six empty files (no taps) may recur.
TEST(LedgerRecord, RefusesAnotherDaysPaymentFiles) {
  Ledger_Dir dir;
  dir.Settle("dir", Day_With(0, 0));
  dir.Settle("other", Day_With(1, 0));
  ASSERT_EQ(dir.Run({"record", "2026-11-01", "dir"}).status, 0);
  ASSERT_EQ(dir.Run({"record", "2026-11-06", "other"}).status, 0);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"record", "2026-11-06", "dir"},
        {"record", "2026-11-06", "dir", "--correct", "resent"},
        {"record", "2026-11-07", "dir"}}) {
    Run_Result run = dir.Run(args);
    EXPECT_EQ(run.status, 1) << args[1];
    EXPECT_EQ(run.err, "fare-ledger: " + args[1] +
                           " not recorded: its six payment files are those "
                           "recorded as 2026-11-01 version 1\n");
  }
  Settled_Day empty = WORKED_RUN;
  for (std::string& file : empty.day.files) file.clear();
  empty.history = "END";
  empty.bus_summary = "0,1,0";
  empty.metro_summary = "0,0,0";
  dir.Settle("no-taps", empty);
  for (const char* day : {"2026-11-08", "2026-11-09"})
    EXPECT_EQ(dir.Run({"record", day, "no-taps"}).status, 0) << day;
  EXPECT_EQ(Recorded_Times(dir.Ledger()).size(), 4u);
}

TEST(LedgerVerify, NamesEachFileThatDiffersFromTheVersionAsked) {
  Ledger_Dir dir;
  dir.Settle("day", Day_With(0, 0));
  ASSERT_EQ(dir.Run({"record", "2026-12-09", "day"}).status, 0);
  dir.Settle("v2", Day_With(0, 1));
  ASSERT_EQ(
      dir.Run({"record", "2026-12-09", "v2", "--correct", "metro"}).status, 0);
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out_or_err;
  };
  const Case cases[] = {
      {{"verify", "2026-12-09", "v2"},
       0,
       "v2 holds the nine files of 2026-12-09 version 2\n"},
      {{"verify", "2026-12-09", "day", "--version", "1"},
       0,
       "day holds the nine files of 2026-12-09 version 1\n"},
      {{"verify", "2026-12-09", "day"},
       1,
       "fare-ledger: day/paymentData_7001.txt: differs: recorded 48 bytes"},
      {{"verify", "2026-12-09", "day", "--version", "3"},
       1,
       "fare-ledger: 2026-12-09 has no version 3 (the latest is 2)\n"},
      {{"verify", "2026-12-10", "day"},
       1,
       "fare-ledger: 2026-12-10 is not recorded\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args[2]);
    Run_Result run = dir.Run(c.args);
    EXPECT_EQ(run.status, c.status) << run.err;
    const std::string& text = c.status == 0 ? run.out : run.err;
    EXPECT_EQ(text.substr(0, c.out_or_err.size()), c.out_or_err) << text;
  }
  // A file changed in the archive: named, with what was recorded and found.
  Write_File(dir.File("day/Total_Metro_Data.txt"), "280,0,5348");
  std::remove(dir.File("day/trans_history.txt").c_str());
  Run_Result run = dir.Run({"verify", "2026-12-09", "day", "--version=1"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(
      run.err.find("fare-ledger: day/trans_history.txt: cannot open: No "
                   "such file or directory\n"
                   "fare-ledger: day/Total_Metro_Data.txt: differs: recorded "
                   "10 bytes, SHA-256 "),
      std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("\nfare-ledger: day does not hold the files of "
                         "2026-12-09 version 1\n"),
            std::string::npos);
}

TEST(LedgerCommandLine, UsageHelpAndVersion) {
  Ledger_Dir dir;
  Run_Result run = dir.Run({"--version"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.substr(0, run.out.find(" (")),
            std::string("fare-ledger ") + FARE_VERSION);
  EXPECT_NE(run.out.find(" (SQLite 3."), std::string::npos) << run.out;
  run = dir.Run({"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.substr(0, 18), "usage: fare-ledger");
  const std::vector<std::string> usage_faults[] = {
      {},
      {"settle"},
      {"record", "2026-12-09"},
      {"record", "2026-02-29", "day"},
      {"record", "2026-12-9", "day"},
      {"statement", "2026-13"},
      {"statement", "2026-12", "--csv"},
      {"record", "2026-12-09", "day", "--correct", "--csv"},
      {"verify", "2026-12-09", "day", "--version", "0"},
      {"close", "2026-12", "--allow-missing=yes"},
      {"days", "2026-12", "--csv", "x"},
      {"statement", "2026-12", "--csv", "a", "--csv=b"},
      {"--db", "a", "--db", "b", "check"},
      // One file by two spellings, existing or not.
      {"statement", "2026-12", "--csv", "x", "--json", "./x"},
      {"statement", "2026-12", "--json", "x", "--html", "sub/../x"},
      {"statement", "2026-12", "--html", "./ledger.db"},
      {"check", "--head", "12ab"},
  };
  for (const std::vector<std::string>& args : usage_faults) {
    run = dir.Run(args);
    EXPECT_EQ(run.status, 2) << (args.empty() ? "" : args[0]);
    EXPECT_NE(run.err.find("\nusage: fare-ledger"), std::string::npos)
        << run.err;
  }
  // An option's value left out, and one that is another option.
  const struct {
    std::vector<std::string> args;
    const char* message;
  } missing_values[] = {
      {{"verify", "2026-12-09", "day", "--version"},
       "fare-ledger: option '--version' needs a value\n"},
      {{"statement", "2026-12", "--csv="},
       "fare-ledger: option '--csv' needs a value\n"},
      {{"record", "2026-12-09", "day", "--correct", "--csv"},
       "fare-ledger: option '--correct' needs a value, not '--csv'\n"},
  };
  for (const auto& c : missing_values)
    EXPECT_EQ(dir.Run(c.args).err.rfind(c.message, 0), 0u) << c.message;
  EXPECT_EQ(Names_In(dir.Path()), std::vector<std::string>{})
      << "a usage fault created a ledger";
}

}  // namespace
