// Runs the built fare-audit on whole days: the worked run, days whose
// residues are worked out by hand, tampered outputs and bad input.
#include <gtest/gtest.h>

#include <functional>
#include <random>

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

std::string Signed_Text(long long value) {
  std::string text = value > 0 ? "+" : "";
  return text + std::to_string(value);
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
  EXPECT_EQ(run.out.rfind("Settlement audit of " + day.Path() +
                              "\nby fare-audit " FARE_VERSION "\n\n",
                          0),
            0u)
      << run.out;
  Expect_Lines_In_Order(
      run.out,
      {" paymentData_5001.txt (bus) 3", " all payment files 9", " bus 2100 won",
       " metro 4200 won", " journeys 1", " legs 3", " of 3 legs 1",
       " collected 1150 won 100.00%", " bus credit 548 won 47.65%",
       " metro credit 1149 won 99.91%", " credited 1697 won 147.57%",
       " residue (credited - collected) +547 won 47.57%",
       " bus (last tag 300) 2648 won", " metro (last tag 280) 5349 won",
       " collected 7450 won (ordinary 6300, transfer 1150)",
       " credited 7997 won (bus 2648, metro 5349)", " residue +547 won",
       " T2 3 1150 548 1149 +547", " trans_history.txt as expected",
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
     {" bus 1250 won", " metro 1450 won", " of 1 leg 1", " of 2 legs 2",
      " collected 3150 won 100.00%", " bus credit 1530 won 48.57%",
      " metro credit 1085 won 34.44%",
      " residue (credited - collected) -535 won -16.98%",
      " bus (last tag 300) 2780 won", " metro (last tag 400) 2535 won",
      " C3 1 900 415 0 -485", " A1 2 1050 475 525 -50", " B2 2 1200 640 560 0"},
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
      " A0 1 900 415 0 -485", " Z9 1 900 415 0 -485", " M5 2 1050 525 525 0"},
     "Z9,1,10 bus 900 415,900,415,0,-485\r\n"
     "A0,1,20 bus 900 415,900,415,0,-485\r\n"
     "M5,2,5 metro 1050 525;30 bus 0 525,1050,525,525,0\r\n"},
    {"terminal text with a quote, markup and a carriage return",
     {{{"100,1,1,0,<i>\"&\r\n", "50,0,1,1050,<i>\"&\r\n", "", "", "", ""}},
      "100,1,1,0,<i>\"&\r\n50,0,1,1050,<i>\"&\r\nEND",
      "100,1,525",
      "50,0,525"},
     {" residue (credited - collected) 0 won 0.00%",
      " <i>\\\"&\\r 2 1050 525 525 0"},
     "\"<i>\"\"&\r\",2,50 metro 1050 525;100 bus 0 525,1050,525,525,0\r\n"},
};

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

TEST(AuditBadInput, ExitsTwoWithFileLineAndProblemAndWritesNothing) {
  const Bad_Input cases[] = {
      {"missing payment file",
       [](const Scratch_Dir& d) {
         std::remove(d.File("paymentData_7002.txt").c_str());
       },
       {},
       "fare-audit: paymentData_7002.txt: cannot open: No such file or "
       "directory\n"},
      {"malformed payment line",
       [](const Scratch_Dir& d) {
         d.Write("paymentData_7003.txt", "270,0,1,100,T2\n1,2\n");
       },
       {},
       "fare-audit: paymentData_7003.txt:2: fewer than five fields\n"},
      {"missing transfer history",
       [](const Scratch_Dir& d) {
         std::remove(d.File("trans_history.txt").c_str());
       },
       {},
       "fare-audit: trans_history.txt: cannot open: No such file or "
       "directory\n"},
      {"missing summary",
       [](const Scratch_Dir& d) {
         std::remove(d.File("Total_Metro_Data.txt").c_str());
       },
       {},
       "fare-audit: Total_Metro_Data.txt: cannot open: No such file or "
       "directory\n"},
      {"journey whose amounts add up to -1050",
       [](const Scratch_Dir& d) {
         d.Write("paymentData_5001.txt", "10,1,1,-999,Z\n");
         d.Write("paymentData_7001.txt", "5,0,1,-51,Z\n");
       },
       {},
       "fare-audit: trans_history.txt: journey Z: amounts add up to -1050, "
       "which leaves no divisor\n"},
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
  };
  for (const Bad_Input& bad : cases) {
    SCOPED_TRACE(bad.name);
    Scratch_Dir day;
    Lay_Out_Settled_Day(day, WORKED_RUN);
    bad.spoil(day);
    std::vector<std::string> args = {"--json", "r.json", "--journeys", "j.csv"};
    args.insert(args.end(), bad.args.begin(), bad.args.end());
    std::vector<std::string> before = Names_In(day.Path());
    Run_Result run = Run_Audit(args, day.Path());
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, bad.message);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(Names_In(day.Path()), before);
  }
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
  EXPECT_EQ(bad.status, 2);
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
