// The audit's own logic: percentages, escapes, the history comparison, CSV
// and JSON fields, histogram bins and the command line.
#include <gtest/gtest.h>

#include <array>

#include "Audit_Check.h"
#include "Audit_Csv.h"
#include "Audit_Html.h"
#include "Audit_Json.h"
#include "Audit_Options.h"
#include "Audit_Rejects.h"
#include "Audit_Text.h"
#include "Calculating_System.h"
#include "Day_Snapshot.h"
#include "scratch_dir.h"

namespace {

TEST(AuditText, PercentRoundsHalfAwayFromZeroInIntegers) {
  const struct {
    std::int64_t part, whole;
    const char* text;
  } cases[] = {
      {547, 1150, "47.57%"},   {1150, 1150, "100.00%"},
      {-535, 3150, "-16.98%"}, {1, 200000, "0.00%"},
      {1, 20000, "0.01%"},     {-1, 20000, "-0.01%"},
      {5, 0, "n/a"},           {0, 7, "0.00%"},
      {7, -7, "-100.00%"},     {INT64_MAX, 1, "922337203685477580700.00%"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Percent(c.part, c.whole), c.text) << c.part << "/" << c.whole;
}

TEST(AuditText, GroupedByThousands) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {0, "0"},
      {999, "999"},
      {1000, "1,000"},
      {-1050, "-1,050"},
      {-999, "-999"},
      {667903978, "667,903,978"},
      {INT64_MIN, "-9,223,372,036,854,775,808"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(Grouped(value), text);
}

TEST(AuditText, EscapedShowsEveryByteUnambiguously) {
  EXPECT_EQ(Escaped("T2"), "T2");
  EXPECT_EQ(Escaped("a\"b\\c\r\n\t"), "a\\\"b\\\\c\\r\\n\\t");
  EXPECT_EQ(Escaped(std::string("\x01\x7f\xff", 3)), "\\x01\\x7f\\xff");
  EXPECT_EQ(Escaped("abcdef", 3), "abc...");
  // A path keeps its separators and printable UTF-8 beyond ASCII.
  const std::pair<const char*, const char*> paths[] = {
      {"/srv/fares/2026-12-09", "/srv/fares/2026-12-09"},
      {"/srv/\xec\xa0\x95\xec\x82\xb0/day",
       "/srv/\xec\xa0\x95\xec\x82\xb0/day"},
      {"/a\"b\tc\x01", "/a\\\"b\\tc\\x01"},
      {"/\xc2\x85/\xff\xec\xa0/\xed\xa0\x80",  // C1, cut, surrogate
       "/\\xc2\\x85/\\xff\\xec\\xa0/\\xed\\xa0\\x80"},
  };
  for (const auto& [path, shown] : paths)
    EXPECT_EQ(Escaped_Path(path), shown) << path;
}

// The comparison of found given in pieces of each of several sizes; fails
// the test unless every size gives the same problem.
std::string Compared_In_Pieces(const std::string& expected,
                               const std::string& found) {
  std::string problem;
  for (std::size_t size : {1, 2, 3, 7, 64}) {
    History_Comparison comparison(expected);
    for (std::size_t at = 0; at < found.size(); at += size)
      comparison.Add(std::string_view(found).substr(at, size));
    if (size == 1) problem = comparison.Problem();
    EXPECT_EQ(comparison.Problem(), problem) << "pieces of " << size;
  }
  // The found bytes as the day's history file, the expected ones given as
  // the recomputation gives them: whole lines, one or two at a time, or all.
  Scratch_Dir day;
  day.Write(HISTORY_FILE, found);
  for (std::size_t lines : {1, 2, 1000}) {
    Day_Snapshot snapshot(day.Path());
    History_File_Check check(snapshot);
    for (std::size_t at = 0; at < expected.size();) {
      std::size_t stop = at;
      for (std::size_t n = 0; n < lines && stop < expected.size(); ++n) {
        std::size_t newline = expected.find('\n', stop);
        stop = newline == std::string::npos ? expected.size() : newline + 1;
      }
      check.Expect(std::string_view(expected).substr(at, stop - at));
      at = stop;
    }
    EXPECT_EQ(check.Problem(), problem) << "file, lines " << lines;
  }
  return problem;
}

TEST(CompareHistory, NamesTheFirstDifferingLineAndShowsBoth) {
  const std::string expected = "200,1,1,0,T2\n150,0,1,1050,T2\nEND";
  const struct {
    std::string found;
    std::string problem;
  } cases[] = {
      {expected, ""},
      {"200,1,1,0,T2\n150,0,1,1050,T3\nEND",
       "line 2 differs: expected \"150,0,1,1050,T2\\n\", found "
       "\"150,0,1,1050,T3\\n\""},
      {expected + "\n", "line 3 differs: expected \"END\", found \"END\\n\""},
      {"200,1,1,0,T2\n",
       "line 2 differs: expected \"150,0,1,1050,T2\\n\", found end of file"},
      {"", "line 1 differs: expected \"200,1,1,0,T2\\n\", found end of file"},
      {"END", "line 1 differs: expected \"200,1,1,0,T2\\n\", found \"END\""},
      {expected + "\nextra",
       "line 3 differs: expected \"END\", found \"END\\n\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Compare_History(expected, c.found), c.problem) << c.found;
    EXPECT_EQ(Compared_In_Pieces(expected, c.found), c.problem) << c.found;
  }
  EXPECT_EQ(Compare_History("END", "END\n1,1,1,0,X\nEND"),
            "line 1 differs: expected \"END\", found \"END\\n\"");
}

// Lines longer than a message shows: the found line starts before the
// piece that differs and is cut where the message cuts it.
TEST(CompareHistory, LongLinesAreCutAlikeWhereverThePiecesBreak) {
  const std::string head = "1,1,1,0," + std::string(150, 'A');
  const std::string expected = "200,1,1,0,T2\n" + head + "B\nEND";
  const std::string shown = Escaped(head.substr(0, 120), 120) + "...";
  const struct {
    std::string found;
    std::string problem;
  } cases[] = {
      {"200,1,1,0,T2\n" + head + "C\nEND",
       "line 2 differs: expected \"" + shown + "\", found \"" + shown + "\""},
      {"200,1,1,0,T2\n1,1,1,0,x\nEND",
       "line 2 differs: expected \"" + shown + "\", found \"1,1,1,0,x\\n\""},
      {"200,1,1,0,T2\n" + head.substr(0, 100), "line 2 differs: expected \"" +
                                                   shown + "\", found \"" +
                                                   head.substr(0, 100) + "\""},
      {"200,1,1,0,T2\n1" + std::string(300, ','),
       "line 2 differs: expected \"" + shown + "\", found \"1" +
           std::string(119, ',') + "...\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Compare_History(expected, c.found), c.problem);
    EXPECT_EQ(Compared_In_Pieces(expected, c.found), c.problem);
  }
}

// Once the differing line is read far enough, the rest of the file is not
// wanted; until then, and while the bytes agree, it is.
TEST(CompareHistory, WantsBytesOnlyUntilTheDifferingLineIsComplete) {
  History_Comparison comparison("a\nb\nEND");
  comparison.Add("a\n");
  EXPECT_TRUE(comparison.Wants_More());
  comparison.Add("x");
  EXPECT_TRUE(comparison.Wants_More());
  comparison.Add("y\nmore");
  EXPECT_FALSE(comparison.Wants_More());
  comparison.Add("ignored\n");
  EXPECT_EQ(comparison.Problem(),
            "line 2 differs: expected \"b\\n\", found \"xy\\n\"");
}

TEST(CheckOutputs, ListsEachDifferingFileWithExpectedAndFound) {
  Audit_Figures figures;
  figures.bus_summary = "300,1,2648";
  figures.metro_summary = "280,0,5349";
  std::vector<Difference> none =
      Check_Outputs(figures, {"", "300,1,2648", "280,0,5349", {}});
  EXPECT_TRUE(none.empty());
  std::vector<Difference> two =
      Check_Outputs(figures, {"", "300,1,2649", "280,0,5349\n", {}});
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[0].file, "Total_Bus_Data.txt");
  EXPECT_EQ(two[0].problem, "expected \"300,1,2648\", found \"300,1,2649\"");
  EXPECT_EQ(two[1].file, "Total_Metro_Data.txt");
  EXPECT_EQ(two[1].problem, "expected \"280,0,5349\", found \"280,0,5349\\n\"");
  // The history's difference comes first; a missing output is not compared.
  std::vector<Difference> history = Check_Outputs(
      figures, {"line 1 differs", "300,1,2649", "280,0,5349", {}});
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[0].file, "trans_history.txt");
  EXPECT_EQ(history[0].problem, "line 1 differs");
  EXPECT_EQ(history[1].file, "Total_Bus_Data.txt");
  EXPECT_TRUE(
      Check_Outputs(figures, {"line 1 differs", "x", "y", {true, true, true}})
          .empty());
}

// The rejects files are named after the day's folder however it is written.
TEST(FormatFields, DayFolderNameIgnoresDotsAndSeparators) {
  const struct {
    const char* dir;
    const char* name;
  } cases[] = {{"/srv/fares/2026-12-09", "2026-12-09"},
               {"/srv/fares/2026-12-09/", "2026-12-09"},
               {"/srv/fares/2026-12-09/.", "2026-12-09"},
               {"/srv//fares/x/../2026-12-09//", "2026-12-09"},
               {"/srv/fares/2026-12-09/..", "fares"},
               {"/", ""}};
  for (const auto& c : cases)
    EXPECT_EQ(Day_Folder_Name(c.dir), c.name) << c.dir;
}

TEST(FormatFields, CsvQuotesOnlyWhereNeededAndJsonEscapes) {
  EXPECT_EQ(Csv_Field("T2"), "T2");
  EXPECT_EQ(Csv_Field("a\"b"), "\"a\"\"b\"");
  EXPECT_EQ(Csv_Field("T2\r"), "\"T2\r\"");
  EXPECT_EQ(Csv_Field("a;b"), "a;b");
  EXPECT_EQ(Json_String("T2"), "\"T2\"");
  EXPECT_EQ(Json_String("<\"\\\r\x01>"), "\"<\\\"\\\\\\r\\u0001>\"");
  EXPECT_EQ(Json_String("\xea\xb0\x80"), "\"\xea\xb0\x80\"");  // valid UTF-8
  EXPECT_EQ(Json_String("\xff\xea\xb0"), "\"\\u00ff\\u00ea\\u00b0\"");
  EXPECT_EQ(Html_Escape("<i>\"&'"), "&lt;i&gt;&quot;&amp;&#39;");
}

// C1 controls (U+0080 to U+009F) are escaped like the others; the page
// escapes a backslash so that a text "\xff" differs from a byte 0xff.
TEST(FormatFields, ControlCharactersAndBackslashesAreNeverShownRaw) {
  const struct {
    const char* bytes;
    const char* json;
    const char* page;
  } cases[] = {
      {"a\xc2\x85"
       "b",
       "\"a\\u0085b\"", "a\\xc2\\x85b"},
      {"\xc2\x9b\xc2\xa0", "\"\\u009b\xc2\xa0\"", "\\xc2\\x9b\xc2\xa0"},
      {"\\xff", "\"\\\\xff\"", "\\\\xff"},
      {"\xff", "\"\\u00ff\"", "\\xff"},
      {"\x7f\"\xc3\xa9", "\"\\u007f\\\"\xc3\xa9\"", "\\x7f&quot;\xc3\xa9"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Json_String(c.bytes), c.json) << c.bytes;
    EXPECT_EQ(Shown(c.bytes), c.page) << c.bytes;
  }
}

TEST(ResidueBins, CoverTheRangeInEqualBinsAndCountEveryJourney) {
  EXPECT_TRUE(Residue_Bins({}, 20).empty());
  struct Case {
    Value_Counts residues;
    std::size_t bins;
    // Some of the bins: (index, low, high, journeys).
    std::vector<std::array<std::int64_t, 4>> want;
  } cases[] = {
      {{{547, 3}}, 1, {{0, 547, 547, 3}}},
      // -10 .. 29 is 40 values: 20 bins of 2.
      {{{-10, 1}, {-9, 2}, {0, 4}, {29, 8}},
       20,
       {{0, -10, -9, 3}, {5, 0, 1, 4}, {19, 28, 29, 8}}},
      // Bars start on round edges, whatever the residues found.
      {{{-1, 1}, {639, 1}, {1279, 1}},
       14,
       {{0, -100, -1, 1}, {7, 600, 699, 1}, {13, 1200, 1299, 1}}},
  };
  for (const Case& c : cases) {
    std::vector<Residue_Bin> bins = Residue_Bins(c.residues, 20);
    ASSERT_EQ(bins.size(), c.bins) << c.residues.front().first;
    for (const auto& [at, low, high, journeys] : c.want) {
      const Residue_Bin& bin = bins[static_cast<std::size_t>(at)];
      EXPECT_EQ(bin.low, low) << at;
      EXPECT_EQ(bin.high, high) << at;
      EXPECT_EQ(bin.journeys, journeys) << at;
    }
  }

  // The extreme 64-bit residues still fall into bins without overflow.
  std::vector<Residue_Bin> wide =
      Residue_Bins({{INT64_MIN, 1}, {INT64_MAX, 1}}, 20);
  ASSERT_EQ(wide.size(), 20u);
  EXPECT_EQ(wide.front().journeys + wide.back().journeys, 2);
}

TEST(AuditOptions, ReadsOptionsAndDirectory) {
  const char* argv[] = {"fare-audit", "--journeys", "j.csv", "--json=r.json",
                        "--html",     "p.html",     "day"};
  Audit_Options options = Parse_Options(7, argv);
  EXPECT_EQ(options.journeys_csv, "j.csv");
  EXPECT_EQ(options.json, "r.json");
  EXPECT_EQ(options.html, "p.html");
  EXPECT_EQ(options.dir, "day");
  const char* plain[] = {"fare-audit"};
  EXPECT_EQ(Parse_Options(1, plain).dir, ".");
  const char* dashed[] = {"fare-audit", "--", "--json"};
  EXPECT_EQ(Parse_Options(3, dashed).dir, "--json");
  const char* named[] = {"fare-audit", "--json=--x", "--html", "./--y"};
  EXPECT_EQ(Parse_Options(4, named).json, "--x");
  EXPECT_EQ(Parse_Options(4, named).html, "./--y");
}

TEST(AuditOptions, RejectsWhatItCannotUse) {
  const std::vector<std::vector<const char*>> bad = {
      {"fare-audit", "--bogus"},
      {"fare-audit", "-x"},
      {"fare-audit", "--json"},
      {"fare-audit", "--html="},
      {"fare-audit", "one", "two"},
      {"fare-audit", "--help=yes"},
      // A value left out, so that the next option would become a file.
      {"fare-audit", "--json", "--html", "p.html"},
      // A second use would silently drop the first.
      {"fare-audit", "--json", "a.json", "--json=b.json"},
      {"fare-audit", "--max-problems", "3", "--max-problems", "4"},
  };
  for (const auto& args : bad)
    EXPECT_THROW(Parse_Options(static_cast<int>(args.size()), args.data()),
                 Usage_Error)
        << args.back();
}

TEST(AuditOptions, SaysWhatAValueNeeds) {
  const struct {
    std::vector<const char*> args;
    const char* message;
  } cases[] = {
      {{"fare-audit", "--json"}, "option '--json' needs a file"},
      {{"fare-audit", "--html="}, "option '--html' needs a file"},
      {{"fare-audit", "--rejects", "--json", "r.json"},
       "option '--rejects' needs a directory, not '--json'"},
      {{"fare-audit", "--max-problems"},
       "option '--max-problems' needs a count"},
  };
  for (const auto& c : cases) {
    try {
      Parse_Options(static_cast<int>(c.args.size()), c.args.data());
      ADD_FAILURE() << c.message << ": accepted";
    } catch (const Usage_Error& error) {
      EXPECT_STREQ(error.what(), c.message);
    }
  }
}

}  // namespace
