// Runs the built fare-audit on days with bad lines and doubtful data: every
// problem listed at once, the rejects files, the data-quality warnings.
#include <gtest/gtest.h>

#include <filesystem>

#include "Line_Reader.h"
#include "audit_run.h"

namespace {

// The sample day with bad lines in three files: bus line 2, metro 2 lines
// 1 and 3, metro 4 line 2.
Day Day_With_Bad_Lines() {
  Day day = Worked_Day();
  day.files[0] = "100,1,1,1050,T1\n1,2\n200,1,1,0,T2\n300,1,1,1050,T3\n";
  day.files[2] = "260,\"0\",1\n261,0,1,1050,T5a\n262,0,1,12345,T5b\n";
  day.files[4] = "280,0,1,1050,T6\n281,0,1,1050,TERMINAL10\n";
  return day;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos;
       at = text.find(part, at + 1))
    ++count;
  return count;
}

// Where text holds each of parts in this order, after the one before.
void Expect_In_Order(const std::string& text,
                     const std::vector<std::string>& parts) {
  std::size_t at = 0;
  for (const std::string& part : parts) {
    std::size_t found = text.find(part, at);
    ASSERT_NE(found, std::string::npos)
        << "missing or out of order: " << part << "\nin:\n"
        << text;
    at = found + part.size();
  }
}

// Lays out a day the settlement refuses; returns the settlement's error
// without its program name, as the audit must repeat it.
std::string Lay_Out_Refused_Day(const Scratch_Dir& dir, const Day& day) {
  Lay_Out_Day(dir, day);
  Run_Result settled = Run_Settlement(dir);
  EXPECT_EQ(settled.status, 1) << settled.err;
  return settled.err.substr(settled.err.find(": ") + 2);
}

TEST(AuditProblems, EveryBadLineIsListedWithTheSettlementsWords) {
  Scratch_Dir day, out;
  std::string first = Lay_Out_Refused_Day(day, Day_With_Bad_Lines());
  Run_Result run =
      Run_Audit({"--json", out.File("r.json"), "--html", out.File("p.html"),
                 "--journeys", out.File("j.csv"), day.Path()},
                day.Path());
  EXPECT_EQ(run.status, 2);
  // The first problem in the words and line number of the settlement.
  EXPECT_EQ(run.err,
            "fare-audit: " + first +
                "fare-audit: 4 problems in all, listed in the report\n");
  for (const char* line :
       {"Problems in the payment files (4 problems in all)\n",
        "  paymentData_5001.txt: 1 problem\n",
        "  paymentData_7002.txt: 2 problems\n",
        "  paymentData_7003.txt: 0 problems\n",
        "  paymentData_5001.txt:2: fewer than five fields\n    \"1,2\"\n",
        "  paymentData_7002.txt:1: fewer than five fields\n"
        "    \"260,\\\"0\\\",1\"\n",
        "  paymentData_7002.txt:3: Balance longer than 4 bytes\n"
        "    \"262,0,1,12345,T5b\"\n",
        "  paymentData_7004.txt:2: TerminalInfo longer than 9 bytes\n"
        "    \"281,0,1,1050,TERMINAL10\"\n",
        "result: BAD INPUT, nothing settled\n"})
    EXPECT_NE(run.out.find(line), std::string::npos) << line << run.out;
  // The reports describe the problems; no journeys file for an unsettled day.
  std::string json = out.Read("r.json");
  EXPECT_NE(json.find("\"verdict\": \"bad input\""), std::string::npos);
  EXPECT_NE(json.find("\"problems\": {\"count\": 4"), std::string::npos);
  EXPECT_NE(json.find("{\"line\": 3, \"problem\": \"Balance longer than 4 "
                      "bytes\", \"text\": \"262,0,1,12345,T5b\", "
                      "\"cut\": false}"),
            std::string::npos)
      << json;
  // Nothing was settled: no figure may read as a total of 0 won.
  EXPECT_NE(json.find("\"taps\": null,\n  \"ordinary\": null,\n  "
                      "\"transfer\": null,\n  \"totals\": null,\n"),
            std::string::npos)
      << json;
  EXPECT_NE(out.Read("p.html").find("paymentData_7002.txt:3"),
            std::string::npos);
  EXPECT_EQ(out.Read("j.csv"), "<missing>");

  // --max-problems bounds what is shown, never the counts.
  run = Run_Audit({"--max-problems", "1", day.Path()}, day.Path());
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.out.find("  paymentData_7002.txt: 2 problems\n"),
            std::string::npos);
  EXPECT_EQ(Count(run.out, "  paymentData_7002.txt:1: "), 1u) << run.out;
  EXPECT_EQ(Count(run.out, "  paymentData_7002.txt:3: "), 0u) << run.out;
  EXPECT_NE(run.out.find("  paymentData_7002.txt: 1 more not shown "
                         "(--max-problems 1)\n"),
            std::string::npos);
  for (const char* bad : {"-1", "x", "1x", "", "10001"})
    EXPECT_EQ(Run_Audit({std::string("--max-problems=") + bad, day.Path()},
                        day.Path())
                  .status,
              4)
        << bad;
}

// The sample day with three journeys the settlement cannot apportion: W of
// 10,001 legs, which the separation refuses, then Z and Y, whose amounts add
// up to -1050. N, alone with -5 won, can be apportioned.
Day Day_With_Unsettled_Journeys() {
  Day day = Worked_Day();
  day.files[0] += "10,1,1,-999,Z\n11,1,1,0,W\n12,1,1,-5,N\n13,1,1,-998,Y\n";
  day.files[1] += "5,0,1,-51,Z\n6,0,1,-52,Y\n";
  for (int k = 0; k < 10000; ++k) day.files[5] += "20,0,1,1,W\n";
  return day;
}

TEST(AuditProblems, EveryJourneyThatCannotBeApportionedIsListed) {
  Scratch_Dir day, out;
  std::string first = Lay_Out_Refused_Day(day, Day_With_Unsettled_Journeys());
  Run_Result run = Run_Audit(
      {"--json", out.File("r.json"), "--html", out.File("p.html")}, day.Path());
  EXPECT_EQ(run.status, 2);
  // The settlement stops at the first of them, in the separation.
  EXPECT_EQ(run.err,
            "fare-audit: " + first +
                "fare-audit: 3 problems in all, listed in the report\n");
  const std::string w =
      "paymentData_5001.txt: journey W has 10001 legs, more than 10000 "
      "(unrelated taps sharing one TerminalInfo?)";
  const std::string z =
      "trans_history.txt: journey Z: amounts add up to -1050, which leaves "
      "no divisor";
  const std::string y =
      "trans_history.txt: journey Y: amounts add up to -1050, which leaves "
      "no divisor";
  EXPECT_EQ(first, w + "\n");
  EXPECT_NE(run.out.find("Problems in the payment files (3 problems in all)\n"),
            std::string::npos);
  EXPECT_NE(run.out.find("  paymentData_7005.txt: 0 problems\n"
                         "  journeys that cannot be apportioned: 3\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("  " + w + "\n  " + z + "\n  " + y + "\n"),
            std::string::npos)
      << run.out;
  // The journeys that could be apportioned still carry their warnings.
  EXPECT_NE(run.out.find("journeys whose collected amount is 0 or less: 1\n"
                         "    \"N\"\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("result: BAD INPUT, nothing settled\n"),
            std::string::npos);
  std::string json = out.Read("r.json");
  EXPECT_NE(json.find("\"journey_count\": 3, \"journeys\": [\"" + w + "\", \"" +
                      z + "\", \"" + y + "\"]"),
            std::string::npos)
      << json;
  // The journeys apportioned are part of a day: no figure for them.
  EXPECT_NE(json.find("\"transfer\": null"), std::string::npos);
  EXPECT_NE(json.find("\"largest_residues\": [],"), std::string::npos);
  EXPECT_NE(out.Read("p.html").find("journey Y: amounts add up to -1050"),
            std::string::npos);

  // --max-problems bounds the journeys shown too, never their count. No
  // source is sent a journey: the payment files are clean.
  Scratch_Dir rejects;
  rejects.Write(Rejects_File_Of(day, "paymentData_7005.txt"),
                "line,problem,text\r\n");
  run = Run_Audit({"--max-problems", "1", "--json", out.File("r.json"),
                   "--rejects", rejects.Path()},
                  day.Path());
  EXPECT_EQ(Names_In(rejects.Path()), std::vector<std::string>{});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.out.find("  " + w +
                         "\n  journeys: 2 more not shown "
                         "(--max-problems 1)\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(out.Read("r.json").find("\"journey_count\": 3, \"journeys\": [\"" +
                                    w + "\"]"),
            std::string::npos);
}

// A payment file that cannot be read, or a line too long to read, is a
// problem of that file like a bad line: the audit reads on and reports.
TEST(AuditProblems, UnreadableFilesAndOverlongLinesAreProblemsToo) {
  const std::string long_line(MAX_LINE_BYTES + 1, 'y');
  const std::string wide = "1," + std::string(298, 'x');
  const std::string header = "line,problem,text\r\n";
  struct Case {
    const char* name;
    std::function<void(Day&)> change;  // the day's files, before laying out
    std::function<void(const Scratch_Dir&)> spoil;  // after
    std::vector<std::string> listed;                // in the report
    std::string json = "";                          // in the JSON, if given
    const char* rejects_file = "";  // whose whole rejects file is given
    std::string rejects = "";
  } cases[] = {
      {"missing",
       [](Day&) {},
       Removing("paymentData_7002.txt"),
       {"  paymentData_7002.txt: cannot open: No such file or directory\n"},
       "",
       "paymentData_7002.txt",
       header + "0,cannot open: No such file or directory,\r\n"},
      {"FIFO",
       [](Day&) {},
       Fifo_For("paymentData_7002.txt"),
       {"  paymentData_7002.txt: not a regular file\n"}},
      {"socket",
       [](Day&) {},
       Socket_For("paymentData_7002.txt"),
       {"  paymentData_7002.txt: not a regular file\n"}},
      // Reading goes on after the long line; the settlement names line 2.
      {"long line",
       [&](Day& d) {
         d.files[0] = "1,2\n1,2\n" + long_line + "\n1,1,1,0,T\n1\n";
       },
       [](const Scratch_Dir&) {},
       {"  paymentData_5001.txt:2: fewer than five fields\n",
        "  paymentData_5001.txt:3: line longer than 1 MiB\n"
        "  paymentData_5001.txt:5: fewer than five fields\n"},
       "",
       "paymentData_5001.txt",
       header + "1,fewer than five fields,\"1,2\"\r\n" +
           "2,fewer than five fields,\"1,2\"\r\n" +
           "3,line longer than 1 MiB,\r\n" + "5,fewer than five fields,1\r\n"},
      // The pass that names repeated lines goes on past a long line too.
      {"long line and a repeated line",
       [&](Day& d) {
         d.files[1] = "150,0,1,1050,T2\n" + long_line + "\n150,0,1,1050,T2\n";
       },
       [](const Scratch_Dir&) {},
       {"  paymentData_7001.txt:2: line longer than 1 MiB\n",
        "  lines that repeat an earlier line of the same file exactly: 1\n"
        "    paymentData_7001.txt:3\n"},
       "\"id\": \"duplicate-line\"",
       "paymentData_7001.txt",
       header + "2,line longer than 1 MiB,\r\n"},
      // A long bad line is cut where it is shown, never in its rejects file.
      {"wide line",
       [&](Day& d) { d.files[0] += wide + "\n"; },
       [](const Scratch_Dir&) {},
       {"  paymentData_5001.txt:4: fewer than five fields\n    \"" +
        wide.substr(0, 120) + "...\"\n"},
       "\"text\": \"" + wide.substr(0, 256) + "\", \"cut\": true}",
       "paymentData_5001.txt",
       header + "4,fewer than five fields,\"" + wide + "\"\r\n"},
      // The settlement names the bad line of the file read first.
      {"bad line before a missing file",
       [](Day& d) { d.files[0] += "1,2\n"; },
       Removing("paymentData_7004.txt"),
       {"  paymentData_5001.txt:4: fewer than five fields\n",
        "  paymentData_7004.txt: cannot open: No such file or directory\n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scratch_Dir day, out;
    Day files = Worked_Day();
    c.change(files);
    Lay_Out_Day(day, files);
    c.spoil(day);
    Run_Result settled = Run_Settlement(day);
    ASSERT_EQ(settled.status, 1) << settled.err;
    Run_Result run = Run_Audit(
        {"--json", out.File("r.json"), "--rejects", out.Path(), day.Path()},
        day.Path());
    EXPECT_EQ(run.status, 2);
    std::string first = settled.err.substr(settled.err.find(": ") + 2);
    EXPECT_EQ(run.err.substr(0, run.err.find('\n') + 1),
              "fare-audit: " + first);
    for (const std::string& line : c.listed)
      EXPECT_NE(run.out.find(line), std::string::npos) << line << run.out;
    std::string json = out.Read("r.json");
    EXPECT_NE(json.find("\"verdict\": \"bad input\""), std::string::npos);
    EXPECT_NE(json.find(c.json), std::string::npos) << json;
    if (!c.rejects.empty()) {
      EXPECT_EQ(out.Read(Rejects_File_Of(day, c.rejects_file)), c.rejects);
    }
  }
}

// A file saved as UTF-16 is one problem, named at its first line in the
// settlement's words, and the rest of it is not read.
TEST(AuditProblems, Utf16FileIsNamedAsSuchByBothPrograms) {
  const std::string problem =
      "UTF-16 text (save the file as ASCII or as UTF-8 without a byte-order "
      "mark)";
  const struct {
    bool big_endian;
    const char* mark;
    std::string shown;  // the start of line 1 as the report shows it
  } cases[] = {
      {false, "\xFF\xFE", "\\xff\\xfe2\\x007\\x000\\x00,"},
      {true, "", "\\x002\\x007\\x000\\x00,"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mark);
    Scratch_Dir day, rejects;
    Day files = Worked_Day();
    files.files[3] =
        Utf16("270,0,1,100,T2\r\n271,0,1,9,T9\r\n", c.big_endian, c.mark);
    EXPECT_EQ(Lay_Out_Refused_Day(day, files),
              "paymentData_7003.txt:1: " + problem + "\n");
    Run_Result run = Run_Audit({"--rejects", rejects.Path()}, day.Path());
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "fare-audit: paymentData_7003.txt:1: " + problem + "\n");
    Expect_In_Order(run.out, {"  paymentData_7003.txt: 1 problem\n",
                              "  paymentData_7003.txt:1: " + problem +
                                  "\n    \"" + c.shown});
    std::string line = Utf16("270,0,1,100,T2\r", c.big_endian, c.mark);
    if (c.big_endian) line += '\0';  // the line feed's first byte
    EXPECT_EQ(rejects.Read(Rejects_File_Of(day, "paymentData_7003.txt")),
              "line,problem,text\r\n1," + problem + ",\"" + line + "\"\r\n");
  }
}

// Rejects files are named after the day's folder, so days share a folder:
// each audit writes and removes only its own day's.
TEST(AuditRejects, OneFilePerSourceWithProblemsExactAndStaleOnesRemoved) {
  Scratch_Dir day, second, rejects;
  auto of = [&day](const char* file) { return Rejects_File_Of(day, file); };
  Day bad = Day_With_Bad_Lines();
  bad.files[4] = "280,0,1,1050,T6\r\n281,0,1,1050,\"TERMINAL\"\r\n";
  Lay_Out_Day(day, bad);
  // Left from an audit of an earlier delivery of a file that is clean now;
  // files of other names are not the audit's.
  rejects.Write(of("paymentData_7005.txt"), "line,problem,text\r\n");
  rejects.Write("paymentData_7005.rejects.csv", "kept");
  rejects.Write("other.csv", "kept");
  Run_Result run = Run_Audit({"--rejects", rejects.Path()}, day.Path());
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_EQ(Names_In(rejects.Path()),
            (std::vector<std::string>{of("paymentData_5001.txt"),
                                      of("paymentData_7002.txt"),
                                      of("paymentData_7004.txt"), "other.csv",
                                      "paymentData_7005.rejects.csv"}));
  EXPECT_EQ(rejects.Read(of("paymentData_5001.txt")),
            "line,problem,text\r\n2,fewer than five fields,\"1,2\"\r\n");
  const std::string rejects_7002 =
      "line,problem,text\r\n"
      "1,fewer than five fields,\"260,\"\"0\"\",1\"\r\n"
      "3,Balance longer than 4 bytes,\"262,0,1,12345,T5b\"\r\n";
  EXPECT_EQ(rejects.Read(of("paymentData_7002.txt")), rejects_7002);
  // The text as it stood, carriage return included.
  EXPECT_EQ(rejects.Read(of("paymentData_7004.txt")),
            "line,problem,text\r\n"
            "2,TerminalInfo longer than 9 bytes,"
            "\"281,0,1,1050,\"\"TERMINAL\"\"\r\"\r\n");
  EXPECT_NE(
      run.out.find("Rejects files written\n  " + Shown_Path(rejects.Path()) +
                   "/" + of("paymentData_5001.txt") + "\n"),
      std::string::npos)
      << run.out;

  // Another bad day, then a clean one, audited into the same folder.
  Day other = Worked_Day();
  other.files[2] = "1,2\n";
  Lay_Out_Day(second, other);
  run = Run_Audit({"--rejects", rejects.Path(), "."}, second.Path());
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_EQ(rejects.Read(Rejects_File_Of(second, "paymentData_7002.txt")),
            "line,problem,text\r\n1,fewer than five fields,\"1,2\"\r\n");
  Lay_Out_Settled_Day(second, WORKED_RUN);
  run = Run_Audit({"--rejects", rejects.Path(), "."}, second.Path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(rejects.Read(of("paymentData_7002.txt")), rejects_7002);
  EXPECT_EQ(Names_In(rejects.Path()).size(), 5u);

  // Once the sources send clean files, their rejects files go.
  Lay_Out_Settled_Day(day, WORKED_RUN);
  run = Run_Audit({"--rejects", rejects.Path()}, day.Path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(
      Names_In(rejects.Path()),
      (std::vector<std::string>{"other.csv", "paymentData_7005.rejects.csv"}));

  // The directory must exist, and nothing is read when it does not.
  run = Run_Audit({"--rejects", rejects.File("none")}, day.Path());
  EXPECT_EQ(run.status, 4);
  EXPECT_EQ(run.err, "fare-audit: " + Shown_Path(rejects.File("none")) +
                         ": cannot use as the rejects directory: No such file "
                         "or directory\n");
  EXPECT_EQ(run.out, "");
}

// One small day per warning: the file changed, the warning's JSON id, and
// the report's line for it with its count and places.
struct Warning_Case {
  const char* id;
  std::vector<std::pair<int, std::string>> files;  // payment file, content
  std::string report;
};

// Lays out the sample day with the payment files of files replaced.
void Lay_Out_Changed_Day(
    const Scratch_Dir& dir,
    const std::vector<std::pair<int, std::string>>& files) {
  Day changed = Worked_Day();
  for (const auto& [file, content] : files) changed.files[file] = content;
  Lay_Out_Day(dir, changed);
}

std::string Many_Taps(const char* terminal, int count, int mot, int balance) {
  std::string lines;
  for (int i = 1; i <= count; ++i)
    lines += std::to_string(i * 10) + "," + std::to_string(mot) + ",1," +
             std::to_string(balance) + "," + terminal + "\n";
  return lines;
}

// Three million bad lines would take over 400 MiB if each were held; the
// audit keeps only those it shows and streams the rejects file.
TEST(AuditRejects, EveryBadLineOfAHugeDeliveryInBoundedMemory) {
  constexpr int LINES = 3000000;
  Scratch_Dir day, rejects;
  Day bad = Worked_Day();
  bad.files[3].clear();
  for (int k = 0; k < LINES; ++k) bad.files[3] += "x\n";
  Lay_Out_Day(day, bad);
  Run_Options options;
  options.program = Audit_Exe();
#ifndef __SANITIZE_ADDRESS__
  // AddressSanitizer reserves terabytes of address space for its shadow.
  options.memory_limit = 256LL << 20;
#endif
  options.time_limit_seconds = 120;
  options.args = {"--max-problems", "2", "--rejects", rejects.Path(),
                  day.Path()};
  Run_Result run = Finish_Run(Start_Run("/", options));
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_EQ(run.err,
            "fare-audit: paymentData_7003.txt:1: fewer than five fields\n"
            "fare-audit: 3000000 problems in all, listed in the report\n");
  EXPECT_NE(run.out.find("  paymentData_7003.txt: 3,000,000 problems\n"),
            std::string::npos);
  EXPECT_NE(run.out.find("  paymentData_7003.txt: 2,999,998 more not shown"),
            std::string::npos);
  std::string want = "line,problem,text\r\n";
  for (int k = 1; k <= LINES; ++k)
    want += std::to_string(k) + ",fewer than five fields,x\r\n";
  EXPECT_TRUE(rejects.Read(Rejects_File_Of(day, "paymentData_7003.txt")) ==
              want);
}

TEST(AuditWarnings, EachIsCountedWithItsPlacesAndNoneOnTheSampleDay) {
  const Warning_Case cases[] = {
      {"mot-unknown",
       {{2, "260,7,1,1050,T5\n"}},
       "  records whose Mot is neither 0 (metro) nor 1 (bus): 1\n"
       "    paymentData_7002.txt:1\n"},
      {"bus-file-mot",
       {{0, "100,1,1,1050,T1\n200,1,1,0,T2\n300,0,1,1050,T3\n"}},
       "  bus file records whose Mot is not 1 (ordinary revenue to bus by "
       "file, "
       "transfer share to metro by Mot): 1\n"
       "    paymentData_5001.txt:3\n"},
      {"metro-file-mot",
       {{1, "150,0,1,1050,T2\n250,1,0,1050,T4\n"}},
       "  metro file records whose Mot is 1 (ordinary revenue to metro by "
       "file, transfer share to bus by Mot): 1\n"
       "    paymentData_7001.txt:2\n"},
      {"terminal-cr",
       {{1, "150,0,1,1050,T2\r\n250,0,0,1050,T4\r\n"}},
       "  records whose TerminalInfo ends in a carriage return (it never "
       "matches the same TerminalInfo without one): 2\n"
       "    paymentData_7001.txt:1, paymentData_7001.txt:2\n"},
      {"crlf-file",
       // A last line that ends in CR without LF has no CR LF ending.
       {{1, "150,0,1,1050,T2\r\n"},
        {4, "280,0,1,1050,T6\r\n"},
        {3, "1,0,1,5,Q\n2,0,1,5,R\r"}},
       "  payment files with Windows line ends, CR LF (first such line): 2\n"
       "    paymentData_7001.txt:1, paymentData_7004.txt:1\n"},
      {"long-journey",
       {{5, Many_Taps("LJ", 21, 0, 10)}, {0, "1,1,1,0,LJ\n"}},
       "  journeys of more than 20 legs: 1\n    \"LJ\" (22 legs)\n"},
      {"busy-terminal",
       {{5, Many_Taps("0000", 21, 0, 1050)}},
       "  TerminalInfo values carried by more than 20 taps of the day: 1\n"
       "    \"0000\" (21 taps)\n"},
      {"collected-not-positive",
       {{0, "100,1,1,-5,Z\n"}},
       "  journeys whose collected amount is 0 or less: 1\n    \"Z\"\n"},
      {"residue-above-collected",
       {{0, "100,1,1,-5,Z\n"}},
       "  journeys whose residue exceeds their collected amount: 1\n"
       "    \"Z\"\n"},
      {"time-backwards",
       {{1, "150,0,1,1050,T2\n140,0,0,1050,T4\n130,0,0,1050,T8\n"}},
       "  payment files whose times go backwards (first place): 1\n"
       "    paymentData_7001.txt:2\n"},
      {"last-tag-not-latest",
       {{0, "100,1,1,1050,T1\n300,1,1,0,T2\n200,1,1,1050,T3\n"}},
       "  payment files whose last record's time is not their latest time "
       "(place of the latest): 1\n    paymentData_5001.txt:2\n"},
      {"duplicate-line",
       {{1,
         "150,0,1,1050,T2\n250,0,0,1050,T4\n250,0,0,1050,T4\n"
         "250,0,0,1050,T4\n"}},
       "  lines that repeat an earlier line of the same file exactly: 2\n"
       "    paymentData_7001.txt:3, paymentData_7001.txt:4\n"},
      {"negative-balance",
       {{2, "260,0,1,-100,T5\n"}},
       "  records with a negative Balance: 1\n    paymentData_7002.txt:1\n"},
      {"partial-number",
       {{2,
         "260x,0,1,1050,T5\n261,0,1,abc,T9\n262,0,1,+-3,T10\n"
         "263,0,1,+50,T11\n"}},
       "  records with a number field that is not a plain integer and is "
       "read only in part: 3\n    paymentData_7002.txt:1, "
       "paymentData_7002.txt:2, "
       "paymentData_7002.txt:3\n"},
      {"utf8-bom",
       {{3,
         "\xEF\xBB\xBF"
         "270,0,1,100,T2\n"}},
       "  payment files that start with a UTF-8 byte-order mark (their "
       "first LastTime reads as 0): 1\n    paymentData_7003.txt\n"},
  };
  for (const Warning_Case& c : cases) {
    SCOPED_TRACE(c.id);
    Scratch_Dir day;
    Lay_Out_Changed_Day(day, c.files);
    ASSERT_EQ(Run_Settlement(day).status, 0);
    Run_Result run = Run_Audit({"--json", "r.json"}, day.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(c.report), std::string::npos) << run.out;
    EXPECT_NE(day.Read("r.json").find("{\"id\": \"" + std::string(c.id) + "\""),
              std::string::npos);
  }
  Scratch_Dir sample;
  Lay_Out_Day(sample, Worked_Day());
  ASSERT_EQ(Run_Settlement(sample).status, 0);
  Run_Result run = Run_Audit({"--json", "r.json"}, sample.Path());
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("Data-quality warnings (0 kinds)\n  none\n"),
            std::string::npos);
  std::string json = sample.Read("r.json");
  EXPECT_NE(json.find("\"warnings\": [],"), std::string::npos);
  EXPECT_NE(json.find("\"residue_percent_of_collected\": 47.57}"),
            std::string::npos);
}

// Warnings that can change the totals head the report and the page, with
// what they do and what to do, before the totals; a settled day stays
// consistent (exit 0). Other warnings follow the totals.
TEST(AuditWarnings, ThoseThatCanChangeTheTotalsComeFirstUnderAHeadline) {
  const std::string crlf =
      "  payment files with Windows line ends, CR LF (first such line): ";
  const std::string crlf_advice =
      "    Each line keeps its carriage return in its last field (the "
      "TerminalInfo),\n    so these taps do not meet the same card's taps in "
      "files with LF line ends.\n    Convert the file to LF line ends and "
      "settle again.\n";
  const std::string bus_crlf = "100,1,1,1050,T1\r\n200,1,1,0,T2\r\n";
  struct Case {
    const char* name;
    std::vector<std::pair<int, std::string>> files;
    bool settle;
    int status;
    int doubt_kinds;
    std::vector<std::string> report;  // in this order
    const char* look;                 // of the page's headline
  } cases[] = {
      {"bus file with Windows line ends",
       {{0, bus_crlf + "300,1,1,1050,T3\r\n"}},
       true,
       0,
       2,
       {"Data-quality warnings (3 kinds)\n" + crlf +
            "1\n    paymentData_5001.txt:1\n" + crlf_advice +
            "  records whose TerminalInfo ends in a carriage return",
        "    Remove the carriage returns (convert a file with Windows line "
        "ends to LF\n    line ends) and settle again.\n  journeys whose",
        "Taps per payment file\n", "metro (last tag 280)", "5,350 won\n",
        "  result: consistent\n\nFiles"},
       "doubt"},
      {"the same delivery before it is settled",
       {{0, bus_crlf + "300,1,1,1050,T3\r\n"}},
       false,
       3,
       2,
       {crlf + "1\n    paymentData_5001.txt:1\n" + crlf_advice,
        "Taps per payment file\n", "  result: not settled yet"},
       "bad"},
      {"every file with Windows line ends",
       {{0, bus_crlf},
        {1, "1,0,1,5,Q\r\n"},
        {2, "1,0,1,5,Q\r\n"},
        {3, "1,0,1,5,Q\r\n"},
        {4, "1,0,1,5,Q\r\n"},
        {5, "1,0,1,5,Q\r\n"}},
       true,
       0,
       2,
       {crlf + "6\n    paymentData_5001.txt:1, paymentData_7001.txt:1, "
               "paymentData_7002.txt:1, paymentData_7003.txt:1, "
               "paymentData_7004.txt:1, paymentData_7005.txt:1\n",
        "Taps per payment file\n"},
       "doubt"},
      {"a byte-order mark and a number read in part",
       {{2, "260x,0,1,1050,T5\n"},
        {3,
         "\xEF\xBB\xBF"
         "270,0,1,100,T2\n"}},
       true,
       0,
       2,
       {"  payment files that start with a UTF-8 byte-order mark",
        "    Save the file as UTF-8 without a byte-order mark, or as ASCII, "
        "and settle\n    again.\n  records with a number field",
        "    Have the source mend those fields and settle again.\n",
        "Taps per payment file\n"},
       "doubt"},
      {"warnings that cannot change the totals",
       {{2, "260,7,1,1050,T5\n"}},
       true,
       0,
       0,
       {"Taps per payment file\n",
        "  result: consistent\n\nData-quality warnings (1 kind)\n"
        "  records whose Mot is neither 0 (metro) nor 1 (bus): 1\n"
        "    paymentData_7002.txt:1\n\nFiles"},
       "good"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scratch_Dir day;
    Lay_Out_Changed_Day(day, c.files);
    if (c.settle) {
      ASSERT_EQ(Run_Settlement(day).status, 0);
    }
    Run_Result run = Run_Audit({"--html", "p.html"}, day.Path());
    EXPECT_EQ(run.status, c.status) << run.err;
    std::string doubt = std::to_string(c.doubt_kinds) +
                        (c.doubt_kinds == 1 ? " kind" : " kinds") +
                        " of warning below can change the totals";
    std::vector<std::string> report = {"by fare-audit " FARE_VERSION "\n\n"};
    if (c.doubt_kinds > 0)
      report.push_back("TOTALS IN DOUBT: " + doubt + "\n\n");
    report.insert(report.end(), c.report.begin(), c.report.end());
    Expect_In_Order(run.out, report);
    EXPECT_EQ(Count(run.out, "Data-quality warnings"), 1u);
    std::string page = day.Read("p.html");
    Expect_In_Order(page, {"class=\"headline " + std::string(c.look) + "\""});
    if (c.doubt_kinds == 0) {
      EXPECT_EQ(run.out.find("TOTALS IN DOUBT"), std::string::npos);
      Expect_In_Order(page,
                      {"<svg id=\"revenue-chart\"", "<div id=\"warnings\">"});
      continue;
    }
    Expect_In_Order(page,
                    {"<p><strong>Totals in doubt:</strong> " + doubt +
                         "</p>\n</div>\n<div id=\"warnings\">",
                     "<tr class=\"doubt\"><td>", "<svg id=\"revenue-chart\""});
    EXPECT_EQ(Count(page, "<div id=\"warnings\">"), 1u);
    // A journey named in a warning shows on the page as in the report.
    if (run.out.find("\"T2\\r\"") != std::string::npos) {
      EXPECT_TRUE(page.find("T2\\r") != std::string::npos &&
                  page.find("T2\\\\r") == std::string::npos);
    }
  }
}

}  // namespace
