// Runs the built fare-audit on whole days: the worked run, days whose
// residues are worked out by hand, tampered outputs and bad input.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "audit_run.h"

namespace {

// text with every run of spaces made one space, so that checks of report
// lines do not depend on column widths.
std::string Squeezed(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != ' ' || out.empty() || out.back() != ' ') out += c;
  return out;
}

// Checks that every line appears in the report, in the order given.
void Expect_Lines_In_Order(const std::string& report,
                           const std::vector<std::string>& lines) {
  std::string squeezed = Squeezed(report);
  std::size_t at = 0;
  for (const std::string& line : lines) {
    std::size_t found = squeezed.find("\n" + line + "\n", at);
    EXPECT_NE(found, std::string::npos)
        << "missing or out of order: " << line << "\nin:\n"
        << squeezed;
    if (found != std::string::npos) at = found + 1;
  }
}

// value grouped by thousands with its sign shown, as the report writes
// won amounts: "+1,234", "-56", "0".
std::string Signed_Text(long long value) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  for (std::size_t at = digits.size(); at > 3;) digits.insert(at -= 3, ",");
  return (value > 0 ? "+" : value < 0 ? "-" : "") + digits;
}

TEST(AuditWorkedRun, ReportsTheKnownResidueAndWritesOnlyWhereAsked) {
  Scratch_Dir day, out;
  Lay_Out_Settled_Day(day, WORKED_RUN);
  std::vector<std::string> before = Names_In(day.Path());
  Run_Result run = Run_Audit({"--journeys", "j.csv", "--json", "r.json",
                              "--html", "p.html", day.Path()},
                             out.Path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.rfind("Settlement audit of " + Shown_Path(day.Path()) +
                              "\nby fare-audit " FARE_VERSION "\n\n",
                          0),
            0u)
      << run.out;
  Expect_Lines_In_Order(
      run.out,
      {" paymentData_5001.txt (bus) 3", " all payment files 9",
       " bus 2,100 won", " metro 4,200 won", " journeys 1", " legs 3",
       " of 3 legs 1", " collected 1,150 won 100.00%",
       " bus credit 548 won 47.65%", " metro credit 1,149 won 99.91%",
       " credited 1,697 won 147.57%",
       " residue (credited - collected) +547 won 47.57%",
       " bus (last tag 300) 2,648 won", " metro (last tag 280) 5,349 won",
       " collected 7,450 won (ordinary 6,300, transfer 1,150)",
       " credited 7,997 won (bus 2,648, metro 5,349)", " residue +547 won",
       " T2 3 1,150 548 1,149 +547", " trans_history.txt as expected",
       " result: consistent",
       // sha256sum of the worked run's transfer history.
       " trans_history.txt 47 "
       "aef5061dd7a8d68d090aaab43eb89871c30a02ea5e7f094183dbd87ad1b696da"});
  EXPECT_EQ(out.Read("j.csv"),
            "terminal,legs,legs_in_time_order,collected,bus_credit,"
            "metro_credit,residue\r\n"
            "T2,3,150 metro 1050 548;200 bus 0 548;270 metro 100 601,1150,548,"
            "1149,547\r\n");
  std::string json = out.Read("r.json");
  for (const char* part :
       {"\"version\": \"" FARE_VERSION "\",", "\"consistent\": true",
        "\"transfer\": {\"journeys\": 1, \"legs\": 3, \"journeys_by_legs\": "
        "[{\"legs\": 3, \"journeys\": 1}],",
        "\"collected\": 1150, \"bus_credit\": 548, \"metro_credit\": 1149, "
        "\"credited\": 1697, \"residue\": 547,",
        "\"totals\": {\"bus\": {\"last_tag\": 300, \"total\": 2648}, "
        "\"metro\": {\"last_tag\": 280, \"total\": 5349}}",
        "\"residue_distribution\": [{\"residue\": 547, \"journeys\": 1}]",
        "\"ordinary\": {\"taps\": 6, \"bus\": 2100, \"metro\": 4200}"})
    EXPECT_NE(json.find(part), std::string::npos) << part << "\nin:\n" << json;
  EXPECT_NE(out.Read("p.html").find("<svg id=\"residue-chart\""),
            std::string::npos);
  EXPECT_EQ(Names_In(day.Path()), before);
}

// Residues far from zero are counted beside the common small ones, all in
// ascending order.
TEST(AuditWorkedRun, ResidueDistributionHoldsLargeAndSmallResidues) {
  Scratch_Dir day, out;
  Lay_Out_Settled_Day(day,
                      {{{"100,1,1,950,A1\n100,1,1,950,A2\n100,1,1,500,BIG\n",
                         "200,0,1,100,A1\n200,0,1,100,A2\n50,0,1,9999,BIG\n"
                         "150,0,1,9999,BIG\n",
                         "", "", "", ""}},
                       "",
                       "",
                       ""});
  Run_Result run = Run_Audit({"--json", "r.json", day.Path()}, out.Path());
  std::string json = out.Read("r.json");
  // -50 worked out as in the hand days; 18499 from the shares 9511, 9987
  // and 19499 of 20498 won.
  EXPECT_NE(json.find("\"residue_distribution\": [{\"residue\": -50, "
                      "\"journeys\": 2}, {\"residue\": 18499, "
                      "\"journeys\": 1}]"),
            std::string::npos)
      << run.err << json;
}

// A folder name in valid UTF-8 heads the report as it is, as in the page.
TEST(AuditWorkedRun, HeadingShowsAKoreanFolderNameAsItIs) {
  Scratch_Dir day, parent;
  Lay_Out_Settled_Day(day, WORKED_RUN);
  const std::string korean = parent.File("\xec\xa0\x95\xec\x82\xb0 12-09");
  std::filesystem::create_directory(korean);
  for (const std::string& name : Names_In(day.Path()))
    std::filesystem::copy_file(day.File(name), korean + "/" + name);
  Run_Result run = Run_Audit({"--html", parent.File("p.html")}, korean);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, run.out.find('\n')),
            "Settlement audit of " + Shown_Path(korean));
  EXPECT_NE(parent.Read("p.html").find("<title>Settlement audit of " +
                                       Shown_Path(korean) + "</title>"),
            std::string::npos);
}

struct Hand_Day {
  const char* name;
  Settled_Day settled;
  std::vector<std::string> report_lines;  // squeezed, in order
  std::string csv_rows;
};

// Residues worked out by hand from the apportionment formula
// share = total x running / (total + 1050).
const Hand_Day HAND_DAYS[] = {
    {"three journeys, residues -50, 0 and -485",
     {{{"100,1,1,950,A1\n20,1,1,150,B2\n50,1,1,900,C3\n300,1,1,1250,X\n",
        "10,0,1,1050,B2\n400,0,1,1450,Y\n", "200,0,1,100,A1\n", "", "", ""}},
      "100,1,1,950,A1\n200,0,1,100,A1\n20,1,1,150,B2\n10,0,1,1050,B2\n"
      "50,1,1,900,C3\nEND",
      "300,1,2780",
      "400,0,2535"},
     {" bus 1,250 won", " metro 1,450 won", " of 1 leg 1", " of 2 legs 2",
      " collected 3,150 won 100.00%", " bus credit 1,530 won 48.57%",
      " metro credit 1,085 won 34.44%",
      " residue (credited - collected) -535 won -16.98%",
      " bus (last tag 300) 2,780 won", " metro (last tag 400) 2,535 won",
      " C3 1 900 415 0 -485", " A1 2 1,050 475 525 -50",
      " B2 2 1,200 640 560 0"},
     "A1,2,100 bus 950 475;200 metro 100 525,1050,475,525,-50\r\n"
     "B2,2,10 metro 1050 560;20 bus 150 640,1200,640,560,0\r\n"
     "C3,1,50 bus 900 415,900,415,0,-485\r\n"},
    {"equal residues ranked by terminal text",
     {{{"10,1,1,900,Z9\n20,1,1,900,A0\n30,1,1,0,M5\n", "5,0,1,1050,M5\n", "",
        "", "", ""}},
      "10,1,1,900,Z9\n20,1,1,900,A0\n30,1,1,0,M5\n5,0,1,1050,M5\nEND",
      "30,1,1355",
      "5,0,525"},
     {" residue (credited - collected) -970 won -34.04%",
      " A0 1 900 415 0 -485", " Z9 1 900 415 0 -485", " M5 2 1,050 525 525 0"},
     "Z9,1,10 bus 900 415,900,415,0,-485\r\n"
     "A0,1,20 bus 900 415,900,415,0,-485\r\n"
     "M5,2,5 metro 1050 525;30 bus 0 525,1050,525,525,0\r\n"},
    {"terminal text with a quote, markup and a carriage return",
     {{{"100,1,1,0,<i>\"&\r\n", "50,0,1,1050,<i>\"&\r\n", "", "", "", ""}},
      "100,1,1,0,<i>\"&\r\n50,0,1,1050,<i>\"&\r\nEND",
      "100,1,525",
      "50,0,525"},
     {" residue (credited - collected) 0 won 0.00%",
      " <i>\\\"&\\r 2 1,050 525 525 0"},
     "\"<i>\"\"&\r\",2,50 metro 1050 525;100 bus 0 525,1050,525,525,0\r\n"},
};

// Korean names as an operator types them: the day's folder and the
// outputs' names arrive exactly (on Windows whatever the ANSI code page);
// a message naming a Korean folder is UTF-8 on a pipe.
TEST(AuditWorkedRun, KoreanFolderAndOutputNamesAsTyped) {
  Scratch_Dir day("정산 2026년 12월"), out("보고");
  Lay_Out_Settled_Day(day, WORKED_RUN);
  Run_Result run = Run_Audit({"--json", "보고서.json", "--html", "보고서.html",
                              "--journeys", "여정.csv", day.Path()},
                             out.Path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(
      Names_In(out.Path()),
      (std::vector<std::string>{"보고서.html", "보고서.json", "여정.csv"}));
  EXPECT_NE(out.Read("보고서.json").find("정산 2026년 12월"),
            std::string::npos);

  std::string missing = day.File("없음");
  run = Run_Audit({missing}, out.Path());
  EXPECT_EQ(run.status, 4);
  EXPECT_EQ(run.err,
            "fare-audit: " + missing +
                ": cannot enter directory: No such file or directory\n");
}

TEST(AuditHandDays, ReportAndCsvMatchHandWorkedResidues) {
  for (const Hand_Day& hand : HAND_DAYS) {
    SCOPED_TRACE(hand.name);
    Scratch_Dir day;
    Lay_Out_Settled_Day(day, hand.settled);
    std::string csv = day.Path() + ".csv";
    Run_Result run = Run_Audit({"--journeys", csv, day.Path()}, "/");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    Expect_Lines_In_Order(run.out, hand.report_lines);
    EXPECT_EQ(Read_File(csv),
              "terminal,legs,legs_in_time_order,collected,bus_credit,"
              "metro_credit,residue\r\n" +
                  hand.csv_rows);
    std::remove(csv.c_str());
  }
}

TEST(AuditHandDays, JsonKeepsTheTerminalTextExactly) {
  Scratch_Dir day;
  Lay_Out_Settled_Day(day, HAND_DAYS[2].settled);
  Run_Result run = Run_Audit({"--json=r.json", "."}, day.Path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(day.Read("r.json").find("{\"terminal\": \"<i>\\\"&\\r\", "
                                    "\"legs\": 2, \"collected\": 1050"),
            std::string::npos)
      << day.Read("r.json");
}

struct Tampering {
  const char* file;
  std::string content;
  std::string message;
};

TEST(AuditTampered, EachDifferenceIsNamedWithExpectedAndFound) {
  const Tampering cases[] = {
      {"Total_Bus_Data.txt", "300,1,2649",
       "fare-audit: Total_Bus_Data.txt: expected \"300,1,2648\", found "
       "\"300,1,2649\"\n"},
      {"Total_Metro_Data.txt", "280,0,5349\n",
       "fare-audit: Total_Metro_Data.txt: expected \"280,0,5349\", found "
       "\"280,0,5349\\n\"\n"},
      {"trans_history.txt",
       "200,1,1,0,T2\n150,0,1,1050,T2\n270,0,1,100,T2\nEND",
       "fare-audit: trans_history.txt: line 3 differs: expected "
       "\"270,0,1,100 T2\\n\", found \"270,0,1,100,T2\\n\"\n"},
      {"trans_history.txt", "200,1,1,0,T2\n150,0,1,1050,T2\n",
       "fare-audit: trans_history.txt: line 3 differs: expected "
       "\"270,0,1,100 T2\\n\", found end of file\n"},
      {"trans_history.txt", "END",
       "fare-audit: trans_history.txt: line 1 differs: expected "
       "\"200,1,1,0,T2\\n\", found \"END\"\n"},
  };
  for (const Tampering& t : cases) {
    SCOPED_TRACE(t.content);
    Scratch_Dir day;
    Lay_Out_Settled_Day(day, WORKED_RUN);
    day.Write(t.file, t.content);
    Run_Result run = Run_Audit({}, day.Path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, t.message);
    std::string verdict = Squeezed(run.out);
    EXPECT_NE(verdict.find(std::string(" ") + t.file + " DIFFERS: "),
              std::string::npos);
    EXPECT_NE(verdict.find(" result: INCONSISTENT\n"), std::string::npos);
  }
}

struct Bad_Input {
  const char* name;
  std::function<void(const Scratch_Dir&)> spoil;
  std::vector<std::string> args;
  std::string message;
};

// A transfer history or summary that is there but cannot be read, or an
// unusable command line, stops the audit before any report (payment files
// are problems instead).
TEST(AuditNotDone, UnreadableDayExitsFourWithFileAndProblemAndWritesNothing) {
  const Bad_Input cases[] = {
      {"output in a missing directory",
       [](const Scratch_Dir&) {},
       {"--html", "/no-such-audit-dir/p.html"},
       "fare-audit: /no-such-audit-dir/p.html: cannot create: No such file or "
       "directory\n"},
      {"directory missing",
       [](const Scratch_Dir&) {},
       {"no-such-dir"},
       "fare-audit: no-such-dir: cannot enter directory: No such file or "
       "directory\n"},
      // Files that are not files: refused at once, never waited on.
      {"history is a FIFO",
       Fifo_For("trans_history.txt"),
       {},
       "fare-audit: trans_history.txt: not a regular file\n"},
      // A day given by its path: its files are still named alone.
      {"history is a FIFO, day by its path",
       Fifo_For("trans_history.txt"),
       {"DIR"},
       "fare-audit: trans_history.txt: not a regular file\n"},
      {"summary linked to an endless device",
       [](const Scratch_Dir& d) {
         std::remove(d.File("Total_Bus_Data.txt").c_str());
         std::filesystem::create_symlink("/dev/zero",
                                         d.File("Total_Bus_Data.txt"));
       },
       {},
       "fare-audit: Total_Bus_Data.txt: not a regular file\n"},
      {"output that is a directory",
       [](const Scratch_Dir& d) {
         std::filesystem::create_directory(d.File("out"));
       },
       {"--html", "out"},
       "fare-audit: DIR/out: --html names a directory\n"},
      {"output named twice",
       [](const Scratch_Dir&) {},
       {"--html", "r.json"},
       "fare-audit: DIR/r.json: named by both --json and --html\n"},
      {"two links to one missing file",
       [](const Scratch_Dir& d) {
         std::filesystem::create_symlink("t.out", d.File("r.json"));
         std::filesystem::create_symlink("t.out", d.File("l.html"));
       },
       {"--html", "l.html"},
       "fare-audit: DIR/l.html: named by both --json and --html\n"},
  };
  for (const Bad_Input& bad : cases) {
    SCOPED_TRACE(bad.name);
    Scratch_Dir day;
    Lay_Out_Settled_Day(day, WORKED_RUN);
    bad.spoil(day);
    std::vector<std::string> args = {"--json", "r.json", "--journeys", "j.csv"};
    for (const std::string& arg : bad.args)
      args.push_back(arg == "DIR" ? day.Path() : arg);
    std::vector<std::string> before = Names_In(day.Path());
    Run_Result run = Run_Audit(args, day.Path());
    EXPECT_EQ(run.status, 4);
    std::string message = bad.message;
    if (message.find("DIR/") != std::string::npos)
      message.replace(message.find("DIR/"), 4, Shown_Path(day.Path() + "/"));
    EXPECT_EQ(run.err, message);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(Names_In(day.Path()), before);
  }
}

// Each exit status from a day that earns it, audited as a delivery is
// checked (with --rejects): what a script does next depends on it alone.
TEST(AuditStatus, EachOfTheFiveFromADayThatEarnsIt) {
  const Spoil unsettled = [](const Scratch_Dir& d) {
    for (const char* name :
         {"trans_history.txt", "Total_Bus_Data.txt", "Total_Metro_Data.txt"})
      std::remove(d.File(name).c_str());
  };
  const Spoil bad_line = [](const Scratch_Dir& d) {
    d.Write("paymentData_7002.txt", "260,0,1,1050,T5\n1,2\n");
  };
  const std::string not_settled =
      "  result: not settled yet, the payment files have no problem\n";
  const std::string bad = "\nresult: BAD INPUT, nothing settled\n";
  const std::string bad_err =
      "fare-audit: paymentData_7002.txt:2: fewer than five fields\n";
  const struct {
    const char* name;
    Spoil spoil;
    int status;
    std::string result;  // in the report
    std::string err;
  } cases[] = {
      {"consistent", [](const Scratch_Dir&) {}, 0, "  result: consistent\n",
       ""},
      {"an output differs",
       [](const Scratch_Dir& d) { d.Write("Total_Bus_Data.txt", "300,1,9"); },
       1,
       "  result: INCONSISTENT\n"
       "  outputs that differ are from an earlier delivery of the payment\n"
       "  files or were changed since; settling the day again makes them "
       "whole\n",
       "fare-audit: Total_Bus_Data.txt: expected \"300,1,2648\", found "
       "\"300,1,9\"\n"},
      {"a bad line", bad_line, 2, bad, bad_err},
      {"a bad line, not settled",
       [&](const Scratch_Dir& d) {
         unsettled(d);
         bad_line(d);
       },
       2, bad, bad_err},
      {"a clean delivery, not settled", unsettled, 3, not_settled,
       "fare-audit: not settled yet (no trans_history.txt, "
       "Total_Bus_Data.txt, Total_Metro_Data.txt)\n"},
      {"no history", Removing("trans_history.txt"), 3,
       "  trans_history.txt     missing\n",
       "fare-audit: not settled yet (no trans_history.txt)\n"},
      {"a history that cannot be read", Fifo_For("trans_history.txt"), 4, "",
       "fare-audit: trans_history.txt: not a regular file\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Scratch_Dir day, rejects;
    Lay_Out_Settled_Day(day, WORKED_RUN);
    c.spoil(day);
    Run_Result run = Run_Audit({"--rejects", rejects.Path(), "."}, day.Path());
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, c.err);
    if (c.status == 4)
      EXPECT_EQ(run.out, "");
    else
      EXPECT_NE(run.out.find(c.result), std::string::npos) << run.out;
    // "." is named by the folder it is.
    if (c.status == 2)
      EXPECT_EQ(Names_In(rejects.Path()),
                std::vector<std::string>{
                    Rejects_File_Of(day, "paymentData_7002.txt")});
    else
      EXPECT_EQ(Names_In(rejects.Path()), std::vector<std::string>{});
  }
}

// Every file the audit reads, named as any of its outputs directly or
// through a link, is refused before anything is written.
TEST(AuditOutputs, NeverReplaceWhatTheAuditReads) {
  const char* inputs[] = {"paymentData_5001.txt", "paymentData_7001.txt",
                          "paymentData_7002.txt", "paymentData_7003.txt",
                          "paymentData_7004.txt", "paymentData_7005.txt",
                          "trans_history.txt",    "Total_Bus_Data.txt",
                          "Total_Metro_Data.txt", "enable.txt"};
  const char* options[] = {"--json", "--html", "--journeys"};
  // Directly, through a link, missing (as on a day never settled), and
  // through a link to the missing file (which a write would create).
  for (int i = 0; i < 40; ++i) {
    const char* input = inputs[i % 10];
    const char* option = options[i % 3];
    bool through_link = (i >= 10 && i < 20) || i >= 30;
    bool missing = i >= 20;
    // Links are not followed on Windows (the runner's programs).
    if (through_link && Runner() != nullptr) continue;
    SCOPED_TRACE(std::string(option) + " " + input +
                 (through_link ? " through a link" : "") +
                 (missing ? " missing" : ""));
    Scratch_Dir day;
    Lay_Out_Settled_Day(day, WORKED_RUN);
    day.Write("enable.txt", "0");
    if (missing) std::remove(day.File(input).c_str());
    std::string output = input;
    if (through_link) {
      output = "link.out";
      std::filesystem::create_symlink(input, day.File(output));
    }
    std::vector<std::string> before = Names_In(day.Path());
    std::string content = day.Read(input);
    // The day is given by its path: the check must not depend on the
    // working directory.
    Run_Result run = Run_Audit({option, day.File(output), day.Path()}, "/");
    EXPECT_EQ(run.status, 4);
    EXPECT_EQ(run.err, "fare-audit: " + Shown_Path(day.File(output)) + ": " +
                           option + " names " + input +
                           ", a file the audit reads\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(day.Read(input), content);
    EXPECT_EQ(Names_In(day.Path()), before);
  }
  // Nor may an output take the name of a rejects file.
  Scratch_Dir day;
  Lay_Out_Settled_Day(day, WORKED_RUN);
  std::string rejects = day.File(Rejects_File_Of(day, "paymentData_7003.txt"));
  Run_Result run =
      Run_Audit({"--json", rejects, "--rejects", day.Path()}, day.Path());
  EXPECT_EQ(run.status, 4);
  EXPECT_EQ(run.err, "fare-audit: " + Shown_Path(day.Path()) + "/" +
                         Rejects_File_Of(day, "paymentData_7003.txt") +
                         ": named by both --json and --rejects\n");
}

#ifndef __SANITIZE_ADDRESS__  // its shadow takes terabytes of address space
// A small day needs little memory, whichever of the audit's threads
// allocates first: under a limit of 200 MiB of address space, a heap per
// thread (64 MiB each) made most runs fail.
TEST(AuditMemory, SmallDayUnderAnAddressSpaceLimitAuditsEveryTime) {
  Scratch_Dir day;
  Lay_Out_Settled_Day(day, WORKED_RUN);
  Run_Options options;
  options.program = Audit_Exe();
  options.memory_limit = 200LL << 20;
  options.args = {day.Path()};
  for (int run = 0; run < 8; ++run) {
    Run_Result result = Finish_Run(Start_Run("/", options));
    EXPECT_EQ(result.status, 0) << "run " << run << ": " << result.err;
  }
}

// Under any address-space limit from the least the dynamic loader needs up,
// the audit either runs or says it ran out of memory (status 4), never
// aborts, and leaves no temporary; below that the loader refuses to start
// it.
TEST(AuditMemory, EveryAddressSpaceLimitGivesAnAuditOrOutOfMemory) {
  Scratch_Dir day, out;
  Lay_Out_Settled_Day(day, WORKED_RUN);
  Run_Options options;
  options.program = Audit_Exe();
  options.args = {"--json", out.File("r.json"), "--journeys", out.File("j.csv"),
                  day.Path()};
  for (long long megabytes = 8; megabytes <= 128; megabytes += 4) {
    SCOPED_TRACE(megabytes);
    options.memory_limit = megabytes << 20;
    Run_Result run = Finish_Run(Start_Run("/", options));
    if (run.status == 127) {
      EXPECT_NE(run.err.find("error while loading shared libraries"),
                std::string::npos)
          << run.err;
    } else if (run.status == 4) {
      EXPECT_EQ(run.err.rfind("fare-audit: out of memory", 0), 0u) << run.err;
      EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    } else {
      EXPECT_EQ(run.status, 0) << run.err;
    }
    for (const std::string& name : Names_In(out.Path()))
      EXPECT_NE(name[0], '.') << name;
  }
}
#endif

// A standard descriptor closed at the start is never taken by the day's
// lock or an output: the CSV holds only its rows and nothing else appears.
TEST(AuditOutputs, ClosedStandardDescriptorsTakeNoOutput) {
  Scratch_Dir day;
  Lay_Out_Settled_Day(day, WORKED_RUN);
  for (std::vector<int> closed : {std::vector<int>{0, 1}, {0, 1, 2}, {2}}) {
    SCOPED_TRACE(::testing::PrintToString(closed));
    Scratch_Dir out;
    Run_Options options;
    options.program = Audit_Exe();
    options.closed_descriptors = closed;
    options.args = {"--journeys", "j.csv", day.Path()};
    Run_Result run = Finish_Run(Start_Run(out.Path(), options));
    EXPECT_EQ(run.status, 0) << run.err;
    bool output_closed = closed.size() > 1;
    EXPECT_EQ(run.out.rfind("Settlement audit of ", 0),
              output_closed ? std::string::npos : 0u);
    EXPECT_EQ(out.Read("j.csv"),
              "terminal,legs,legs_in_time_order,collected,bus_credit,"
              "metro_credit,residue\r\n"
              "T2,3,150 metro 1050 548;200 bus 0 548;270 metro 100 601,1150,"
              "548,1149,547\r\n");
    EXPECT_EQ(Names_In(out.Path()), std::vector<std::string>{"j.csv"});
  }
}

// A settled day of many two-leg journeys: its CSV outgrows the write
// buffer, so a write fails while the journeys are being apportioned.
void Lay_Out_Busy_Settled_Day(const Scratch_Dir& day) {
  Day files;
  for (int i = 0; i < 30000; ++i) {
    std::string id = "J" + std::to_string(i);
    files.files[0] += std::to_string(2 * i + 1) + ",1,1,0," + id + "\n";
    files.files[1] += std::to_string(2 * i) + ",0,1,1050," + id + "\n";
  }
  Lay_Out_Day(day, files);
  ASSERT_EQ(Run_Settlement(day).status, 0);
}

// A TerminalInfo a spreadsheet could take for a formula stays exactly as
// it is in the journeys CSV (the man page says how to open it as text).
TEST(AuditOutputs, CsvKeepsFormulaLikeTerminalsExactly) {
  Scratch_Dir day, out;
  Day files;
  files.files[0] = "1,1,1,0,=1+2\n2,1,1,0,+B\n3,1,1,0,-C\n4,1,1,0,@D\n";
  Lay_Out_Day(day, files);
  Run_Result run =
      Run_Audit({"--journeys", out.File("j.csv"), "."}, day.Path());
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_EQ(out.Read("j.csv"),
            "terminal,legs,legs_in_time_order,collected,bus_credit,"
            "metro_credit,residue\r\n"
            "=1+2,1,1 bus 0 0,0,0,0,0\r\n+B,1,2 bus 0 0,0,0,0,0\r\n"
            "-C,1,3 bus 0 0,0,0,0,0\r\n@D,1,4 bus 0 0,0,0,0,0\r\n");
}

// An output that cannot be written (a full device, a file-size limit) is
// named with its error and gives status 4; the other outputs are written
// and the day's verdict stays what the files give, never "bad input".
TEST(AuditOutputs, EachThatCannotBeWrittenIsAnOutputErrorAndTheVerdictStays) {
  Scratch_Dir day, bad_day;
  Lay_Out_Busy_Settled_Day(day);
  Lay_Out_Day(bad_day, Worked_Day());
  std::string bad_lines;
  for (int i = 0; i < 100; ++i) bad_lines += "1,2\n";
  bad_day.Write("paymentData_7002.txt", bad_lines);
  const std::string full = ": cannot write: No space left on device\n";
  const std::string too_large = ": cannot write: File too large\n";
  const struct {
    const char* name;
    std::string option;  // the output; "" for the report
    const char* path;    // "OUT/..." in the output folder
    bool size_limit;
    std::string err;  // after "fare-audit: PATH"
  } cases[] = {
      {"journeys, full", "--journeys", "/dev/full", false, full},
      {"journeys, limit", "--journeys", "OUT/j.csv", true, too_large},
      {"JSON, full", "--json", "/dev/full", false, full},
      {"JSON, limit", "--json", "OUT/r.json", true, too_large},
      {"page, full", "--html", "/dev/full", false, full},
      {"page, limit", "--html", "OUT/p.html", true, too_large},
      {"rejects, limit", "--rejects", "OUT", true, too_large},
      {"report, full", "", "/dev/full", false, full},
      {"report, limit", "", "OUT/report.txt", true, too_large},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Scratch_Dir out;
    std::string path = c.path;
    if (path.starts_with("OUT")) path.replace(0, 3, out.Path());
    bool rejects = c.option == "--rejects";
    Run_Options options;
    options.program = Audit_Exe();
    if (c.size_limit) options.file_size_limit = 512;
    if (c.option.empty()) {
      out.Write("report.txt", "");
      options.standard_output = path.c_str();
      options.args = {"--json", out.File("ok.json")};
    } else {
      options.args = {c.option, path};
    }
    options.args.push_back(rejects ? bad_day.Path() : day.Path());
    Run_Result run = Finish_Run(Start_Run("/", options));
    EXPECT_EQ(run.status, 4);
    if (rejects) path += "/" + Rejects_File_Of(bad_day, "paymentData_7002.txt");
    std::string named = c.option.empty() ? "standard output" : path;
    EXPECT_NE(run.err.find("fare-audit: " + named + c.err), std::string::npos)
        << run.err;
    std::string verdict = rejects ? "bad input" : "consistent";
    // The JSON beside a report cut by the size limit is cut too.
    if (c.option.empty()) {
      if (!c.size_limit) {
        EXPECT_NE(out.Read("ok.json").find("\"verdict\": \"" + verdict),
                  std::string::npos);
      }
    } else {
      EXPECT_NE(
          run.out.find(rejects ? "result: BAD INPUT" : "result: consistent"),
          std::string::npos);
    }
    EXPECT_EQ(run.out.find("cannot be apportioned"), std::string::npos);
    for (const std::string& name : Names_In(out.Path()))
      EXPECT_TRUE(name == "report.txt" || name == "ok.json") << name;
  }
}

// The report's line of file in its list of sizes and checksums.
std::string Checksum_Line(const std::string& report, const std::string& file) {
  std::size_t at = report.rfind("\n  " + file + " ");
  if (at == std::string::npos) return "<none>";
  return report.substr(at + 1, report.find('\n', at + 1) - at - 1);
}

// A payment file swapped for another version by rename while audits run:
// each audit reads one version throughout (consistent with that version's
// checksum, or different from the outputs with the other's) or names the
// file as changed; it never says consistent beside bytes it did not check.
TEST(AuditChangedFiles, FileSwappedDuringAuditsIsNamedNeverConsistent) {
  Scratch_Dir day;
  Lay_Out_Busy_Settled_Day(day);
  const std::string name = "paymentData_7001.txt";
  std::string other = day.Read(name);
  other.replace(other.find(",1050,J7\n"), 9, ",1049,J7\n");
  day.Write("other.txt", other);
  auto swap = [&] {
    ASSERT_EQ(::renameat2(AT_FDCWD, day.File(name).c_str(), AT_FDCWD,
                          day.File("other.txt").c_str(), RENAME_EXCHANGE),
              0);
  };
  std::string settled = Checksum_Line(Run_Audit({"."}, day.Path()).out, name);
  swap();
  std::string swapped = Checksum_Line(Run_Audit({"."}, day.Path()).out, name);
  swap();
  ASSERT_NE(settled, swapped);
  std::atomic<bool> done{false};
  std::thread swapper([&, seed = Test_Seed()] {
    std::mt19937 random(seed);
    while (!done) {
      std::this_thread::sleep_for(std::chrono::milliseconds(random() % 600));
      swap();
    }
  });
  int changed = 0;
  for (int run = 0; run < 24; ++run) {
    SCOPED_TRACE(run);
    Run_Result audit = Run_Audit({"."}, day.Path());
    if (audit.status == 4) {
      ++changed;
      EXPECT_EQ(audit.err,
                "fare-audit: " + name + ": changed while being audited\n");
      EXPECT_EQ(audit.out, "");
    } else {
      ASSERT_TRUE(audit.status == 0 || audit.status == 1) << audit.err;
      EXPECT_EQ(Checksum_Line(audit.out, name),
                audit.status == 0 ? settled : swapped);
    }
  }
  done = true;
  swapper.join();
  std::printf("%d of 24 audits found the file changed\n", changed);
}

// The transfer history cut short in place while it is audited: no signal
// ends the audit, which names the file or finds it different, and no
// temporary of its outputs is left. The cuts fall within the time one audit
// of the day takes here; one that comes after the audit has read the file
// leaves it consistent, which must not happen every time.
TEST(AuditChangedFiles, HistoryTruncatedDuringAnAuditLeavesNoTemporaries) {
  Scratch_Dir day, out;
  Lay_Out_Busy_Settled_Day(day);
  const std::string history = day.Read("trans_history.txt");
  std::mt19937 random(Test_Seed());
  Run_Options options;
  options.program = Audit_Exe();
  options.time_limit_seconds = 60;
  options.args = {"--journeys", out.File("j.csv"), "--json", out.File("r.json"),
                  "."};
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Finish_Run(Start_Run(day.Path(), options)).status, 0);
  long one_audit_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - start)
                          .count();
  int unchanged = 0;
  for (int run = 0; run < 12; ++run) {
    SCOPED_TRACE(run);
    Started_Run started = Start_Run(day.Path(), options);
    std::this_thread::sleep_for(
        std::chrono::milliseconds(random() % (one_audit_ms / 2 + 1)));
    ASSERT_EQ(::truncate(day.File("trans_history.txt").c_str(),
                         static_cast<off_t>(history.size() / 2)),
              0);
    Run_Result audit = Finish_Run(started);
    if (audit.status == 0)
      ++unchanged;
    else if (audit.status == 4)
      EXPECT_EQ(audit.err,
                "fare-audit: trans_history.txt: changed while being audited\n");
    else
      EXPECT_EQ(audit.status, 1) << audit.err;
    for (const std::string& name : Names_In(out.Path()))
      EXPECT_NE(name[0], '.') << name;
    day.Write("trans_history.txt", history);
  }
  EXPECT_LT(unchanged, 12) << "no cut fell inside an audit";
}

// A device is written, never replaced; -h is --help.
TEST(AuditOutputs, DevicesAreWrittenInPlace) {
  Scratch_Dir day;
  Lay_Out_Settled_Day(day, WORKED_RUN);
  Run_Result run =
      Run_Audit({"--json", "/dev/null", "--html", "/dev/stdout"}, day.Path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("</html>"), std::string::npos);
  struct stat status;
  ASSERT_EQ(::stat("/dev/null", &status), 0);
  EXPECT_TRUE(S_ISCHR(status.st_mode));
  Run_Result full = Run_Audit({"--json", "/dev/full"}, day.Path());
  EXPECT_EQ(full.status, 4);
  EXPECT_EQ(full.err,
            "fare-audit: /dev/full: cannot write: No space left on "
            "device\n");
  EXPECT_EQ(Run_Audit({"-h"}, "/").out, Run_Audit({"--help"}, "/").out);

  // Standard output redirected to a file: the JSON follows the report in
  // it, rather than a renamed file taking the report's place.
  Scratch_Dir out;
  out.Write("o.txt", "");
  std::string o = out.File("o.txt");
  Run_Options options;
  options.program = Audit_Exe();
  options.standard_output = o.c_str();
  options.args = {"--json", "/dev/stdout"};
  EXPECT_EQ(Finish_Run(Start_Run(day.Path(), options)).status, 0);
  std::string both = out.Read("o.txt");
  EXPECT_EQ(both.rfind("Settlement audit of ", 0), 0u) << both;
  std::size_t json = both.find("\n{\n  \"version\": ");
  EXPECT_NE(json, std::string::npos) << both;
  EXPECT_LT(both.find("  result: consistent\n"), json) << both;

  // The same for standard error: the differences follow the JSON in it.
  day.Write("Total_Bus_Data.txt", "300,1,2649");
  options.standard_output = nullptr;
  options.output_files = out.File("run");
  options.args = {"--json", out.File("run.err")};
  int exit_status = 0;
  ASSERT_GT(::waitpid(Start_Run(day.Path(), options).pid, &exit_status, 0), 0);
  EXPECT_EQ(WEXITSTATUS(exit_status), 1);
  std::string err = out.Read("run.err");
  EXPECT_EQ(err.rfind("{\n  \"version\": ", 0), 0u) << err;
  EXPECT_NE(err.find("}\nfare-audit: Total_Bus_Data.txt: expected "
                     "\"300,1,2648\", found \"300,1,2649\"\n"),
            std::string::npos)
      << err;
}

// A summary file far longer than a summary line is read only so far and
// reported as different.
TEST(AuditOutputs, LongSummaryIsNotASummaryLine) {
  Scratch_Dir day;
  Lay_Out_Settled_Day(day, WORKED_RUN);
  day.Write("Total_Metro_Data.txt", "280,0,5349" + std::string(8 << 20, ' '));
  Run_Result run = Run_Audit({}, day.Path());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("fare-audit: Total_Metro_Data.txt: expected "
                          "\"280,0,5349\", found \"280,0,5349 ",
                          0),
            0u)
      << run.err;
}

// A day of many taps, so that an audit of it takes a while.
Day Long_Day() {
  Day day;
  std::mt19937 random(11);
  for (int i = 0; i < 300000; ++i) {
    int file = static_cast<int>(random() % 6);
    int amount = file == 0 && i % 3 == 0 ? 500 : 1100;
    day.files[file] += std::to_string(i) + (file == 0 ? ",1,1," : ",0,1,") +
                       std::to_string(amount) + ",P" +
                       std::to_string(random() % 100000) + "\n";
  }
  return day;
}

// Lays out Long_Day (and the worked run's outputs) in day; returns how to
// start an audit with args on it.
Run_Options Long_Audit(const Scratch_Dir& day, std::vector<std::string> args) {
  Lay_Out_Settled_Day(day, WORKED_RUN);
  Lay_Out_Day(day, Long_Day());
  Run_Options options;
  options.program = Audit_Exe();
  options.time_limit_seconds = 60;
  options.args = std::move(args);
  return options;
}

// SIGINT, SIGTERM or SIGHUP at a random moment of an audit: it ends by that
// signal with one line and leaves no temporary in its output folder.
TEST(AuditSignalled, LeavesNoTemporaries) {
  Scratch_Dir day, out;
  Run_Options options = Long_Audit(
      day, {"--json", out.File("r.json"), "--html", out.File("r.html"),
            "--journeys", out.File("j.csv"), day.Path()});
  auto start = std::chrono::steady_clock::now();
  Run_Result whole = Finish_Run(Start_Run("/", options));
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
          .count();
  ASSERT_EQ(whole.status, 1) << whole.err;  // the outputs are the worked run's
  std::mt19937 seed(Test_Seed());
  int stopped = 0;
  double span = seconds;
  const int signals[] = {SIGINT, SIGTERM, SIGHUP};
  const char* names[] = {"SIGINT", "SIGTERM", "SIGHUP"};
  for (int k = 0; k < 6; ++k) {
    for (const char* name : {"r.json", "r.html", "j.csv"})
      std::remove(out.File(name).c_str());
    double delay = std::uniform_real_distribution<double>(0, 0.6 * span)(seed);
    SCOPED_TRACE(std::string(names[k % 3]) + " after " + std::to_string(delay));
    Started_Run audit = Start_Run("/", options);
    Wait_Until_Signals_Handled(audit.pid);
    auto handled = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(delay));
    ::kill(audit.pid, signals[k % 3]);
    Run_Result run = Finish_Run(audit);
    // An audit that ended before its signal shortens the span for the next.
    if (run.status == 1)
      span = std::min(span, std::chrono::duration<double>(
                                std::chrono::steady_clock::now() - handled)
                                .count());
    std::vector<std::string> left = Names_In(out.Path());
    if (run.status == 128 + signals[k % 3]) {
      ++stopped;
      // Last, after the differences when the audit had got that far.
      std::string line =
          std::string("fare-audit: stopped by ") + names[k % 3] + "\n";
      EXPECT_TRUE(
          run.err.size() >= line.size() &&
          run.err.compare(run.err.size() - line.size(), line.size(), line) == 0)
          << run.err;
      for (const std::string& name : left) EXPECT_NE(name[0], '.') << name;
    } else {
      EXPECT_EQ(run.status, 1) << run.err;
      EXPECT_EQ(left, (std::vector<std::string>{"j.csv", "r.html", "r.json"}));
    }
  }
  std::printf("%d of 6 audits stopped (a whole audit took %.2f s)\n", stopped,
              seconds);
  EXPECT_GE(stopped, 2);
}

// Whether an open file description holds a lock on byte of the directory
// dir, as /proc/locks lists it ("N: OFDLCK ADVISORY READ -1 MAJ:MIN:INODE
// START END", device numbers in hex).
bool Directory_Marked(const std::string& dir, long byte) {
  struct stat status;
  if (::stat(dir.c_str(), &status) != 0) return false;
  char id[96];
  std::snprintf(id, sizeof id, " %02x:%02x:%llu %ld %ld\n",
                ::major(status.st_dev), ::minor(status.st_dev),
                static_cast<unsigned long long>(status.st_ino), byte, byte);
  std::string locks = Read_File("/proc/locks");
  std::size_t at = locks.find(id);
  if (at == std::string::npos) return false;
  std::size_t line = locks.rfind('\n', at);
  line = line == std::string::npos ? 0 : line + 1;
  return locks.substr(line, at - line).find("OFDLCK") != std::string::npos;
}

// Waits up to ten seconds for Directory_Marked(dir, byte).
bool Wait_Until_Directory_Marked(const std::string& dir, long byte) {
  for (int tries = 0; tries < 5000; ++tries) {
    if (Directory_Marked(dir, byte)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

// A settlement started while an audit reads waits for it: it prints its
// "wait" at once but writes nothing in the day until the audit has let the
// day go, and neither run fails.
TEST(AuditDuringSettlement, SettlementStartedDuringAnAuditWaitsForIt) {
  Scratch_Dir day;
  Run_Options audit_options = Long_Audit(day, {day.Path()});
  Run_Options settlement_options;
  settlement_options.time_limit_seconds = 60;
  const std::vector<std::string> names = Names_In(day.Path());
  Started_Run audit = Start_Run("/", audit_options);
  // Only once the audit has marked the directory is it reading the day; a
  // settlement that came first would rightly turn it away.
  ASSERT_TRUE(Wait_Until_Directory_Marked(day.Path(), 0));
  Started_Run settlement = Start_Run(day.Path(), settlement_options);
  // While the audit holds its mark, no file of the settlement may appear
  // (its staged outputs come only after the wait). (The audit process may
  // outlive its mark while it exits.)
  int looks_while_auditing = 0;
  for (;;) {
    std::vector<std::string> now = Names_In(day.Path());
    if (!Directory_Marked(day.Path(), 0)) break;
    ++looks_while_auditing;
    ASSERT_EQ(now, names) << "the settlement wrote while the audit ran";
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  std::printf("looked %d times at the settlement while the audit ran\n",
              looks_while_auditing);
  Run_Result audited = Finish_Run(audit);
  EXPECT_EQ(audited.status, 1) << audited.err;  // it read the old outputs
  Run_Result settled = Finish_Run(settlement);
  EXPECT_EQ(settled.status, 0) << settled.err;
  EXPECT_EQ(settled.out.substr(0, 5), "wait\n");
  // Said when the audit still read the day after the first poll.
  EXPECT_TRUE(settled.err.empty() ||
              settled.err ==
                  "fare-settlement: waiting for an audit of this directory to "
                  "finish\n")
      << settled.err;
}

// An audit whose report nobody reads (a stalled pipe) holds the directory
// only while it reads the day: once it is writing, a settlement runs.
TEST(AuditDuringSettlement, StalledReportHoldsNoMark) {
  Scratch_Dir day;
  Day files = Worked_Day();
  for (int i = 0; i < 3000; ++i) files.files[2] += "1,2\n";
  Lay_Out_Day(day, files);
  Run_Options options;
  options.program = Audit_Exe();
  options.time_limit_seconds = 60;
  // A report of 3,000 problems far outgrows the pipe's buffer.
  options.args = {"--max-problems", "3000", day.Path()};
  Started_Run audit = Start_Run("/", options);
  pollfd out = {audit.out_fd, POLLIN, 0};
  ASSERT_EQ(::poll(&out, 1, 30000), 1);  // it has started its report
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  int status = 0;
  ASSERT_EQ(::waitpid(audit.pid, &status, WNOHANG), 0) << "not stalled";
  EXPECT_FALSE(Directory_Marked(day.Path(), 0));
  Run_Options settlement;
  settlement.time_limit_seconds = 30;
  Run_Result settled = Finish_Run(Start_Run(day.Path(), settlement));
  EXPECT_EQ(settled.err,
            "fare-settlement: paymentData_7002.txt:2: fewer than five "
            "fields\n");
  EXPECT_EQ(Finish_Run(audit).status, 2);
}

// A day whose settlement is under way, even only waiting for its flag, is
// refused; the settlement then goes on unharmed.
TEST(AuditDuringSettlement, IsRefused) {
  Scratch_Dir day;
  Lay_Out_Settled_Day(day, WORKED_RUN);
  day.Write("enable.txt", "0");
  Scratch_Dir logs;
  Run_Options limited;
  limited.time_limit_seconds = 30;
  limited.output_files = logs.File("run");
  Started_Run settlement = Start_Run(day.Path(), limited);
  // The settlement holds the directory once it says "wait".
  for (int look = 0; look < 3000 && logs.Read("run.out") != "wait\n"; ++look)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(logs.Read("run.out"), "wait\n");
  Run_Result audit = Run_Audit({}, day.Path());
  EXPECT_EQ(audit.status, 4);
  EXPECT_EQ(audit.err,
            "fare-audit: .: a settlement is under way in this directory\n");
  EXPECT_EQ(audit.out, "");
  day.Write("enable.txt", "1");
  Run_Result settled = Finish_Run(settlement);
  EXPECT_EQ(settled.status, 0) << logs.Read("run.err");
  EXPECT_EQ(Run_Audit({}, day.Path()).status, 0);
}

TEST(AuditCommandLine, HelpVersionAndUnknownOptions) {
  Run_Result help = Run_Audit({"--help"}, "/");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: fare-audit ", 0), 0u) << help.out;
  EXPECT_EQ(help.err, "");
  // The version is the build's, and only the version is printed.
  Run_Result version = Run_Audit({"--version"}, "/");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "fare-audit " FARE_VERSION "\n");
  EXPECT_EQ(version.err, "");
  Run_Result bad = Run_Audit({"--frobnicate"}, "/");
  EXPECT_EQ(bad.status, 4);
  EXPECT_EQ(bad.err.rfind("fare-audit: unknown option '--frobnicate'\n"
                          "usage: fare-audit ",
                          0),
            0u)
      << bad.err;
  EXPECT_EQ(bad.out, "");
}

// A random day with many transfer journeys, settled by the real program:
// the audit finds every output consistent and the same totals.
TEST(AuditAfterSettlement, AgreesWithTheSettlementProgram) {
  std::mt19937 random(2026);
  Day day;
  for (int t = 0; t < 600; ++t) {
    std::string terminal = std::string("K") + std::to_string(t);
    int time = static_cast<int>(random() % 90000);
    if (random() % 4 == 0) {
      int metro_legs = static_cast<int>(random() % 3);
      for (int k = 0; k < metro_legs; ++k)
        day.files[1 + random() % 5] += std::to_string(time + 7 * k) + ",0,1," +
                                       std::to_string(random() % 1300) + "," +
                                       terminal + "\n";
      day.files[0] += std::to_string(time) + ",1,1," +
                      std::to_string(random() % 1050) + "," + terminal + "\n";
    } else {
      day.files[random() % 6] += std::to_string(time) + ",1,1," +
                                 std::to_string(1050 + random() % 400) + "," +
                                 terminal + "\n";
    }
  }
  Scratch_Dir dir;
  Lay_Out_Day(dir, day);
  Run_Result settled = Run_Settlement(dir);
  ASSERT_EQ(settled.status, 0) << settled.err;
  std::string csv = dir.Path() + ".csv";
  Run_Result audit = Run_Audit({"--journeys", csv}, dir.Path());
  EXPECT_EQ(audit.status, 0) << audit.err;
  std::string bus = settled.out.substr(settled.out.find("Bus: ") + 5);
  bus = bus.substr(0, bus.find('\n'));
  std::string metro = settled.out.substr(settled.out.find("Metro: ") + 7);
  metro = metro.substr(0, metro.find('\n'));
  // "2648 won" as the report writes it: "2,648 won".
  for (std::string* total : {&bus, &metro})
    *total = Signed_Text(std::stoll(*total)) + " won";
  for (std::string* total : {&bus, &metro})
    if ((*total)[0] == '+') total->erase(0, 1);
  std::string report = Squeezed(audit.out);
  EXPECT_NE(report.find(") " + bus + "\n"), std::string::npos) << bus;
  EXPECT_NE(report.find(") " + metro + "\n"), std::string::npos) << metro;
  EXPECT_NE(report.find(" result: consistent\n"), std::string::npos);

  // The CSV has one row per journey the report counts, and its residues
  // add up to the report's.
  std::string rows = Read_File(csv);
  std::remove(csv.c_str());
  long journeys = -1;  // the header row
  long long residue = 0;
  for (std::size_t at = 0; at < rows.size();) {
    std::size_t end = rows.find("\r\n", at);
    if (journeys >= 0)
      residue += std::stoll(rows.substr(rows.rfind(',', end) + 1));
    ++journeys;
    at = end + 2;
  }
  EXPECT_GT(journeys, 50);
  EXPECT_NE(report.find(std::string("\n journeys ") + std::to_string(journeys) +
                        "\n"),
            std::string::npos)
      << journeys;
  EXPECT_NE(
      report.find(std::string("\n residue ") + Signed_Text(residue) + " won\n"),
      std::string::npos)
      << residue;
}

}  // namespace
