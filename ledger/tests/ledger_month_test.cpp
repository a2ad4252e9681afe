// Statements of open and closed months, corrections carried into the next
// open month, and check on a ledger edited behind its back.
#include <gtest/gtest.h>

#include "ledger_run.h"

namespace {

// Records day from a folder of its own laid out with settled.
void Record(const Ledger_Dir& dir, const std::string& day,
            const Settled_Day& settled, const std::string& reason = "") {
  dir.Settle(day, settled);
  std::vector<std::string> args = {"record", day, day};
  if (!reason.empty()) args.insert(args.end(), {"--correct", reason});
  Run_Result run = dir.Run(args);
  ASSERT_EQ(run.status, 0) << run.err;
}

// December: two days recorded, one corrected; 2026-11-30 outside it.
void Record_December(const Ledger_Dir& dir) {
  Record(dir, "2026-11-30", Day_With(0, 0));
  Record(dir, "2026-12-01", Day_With(1, 0));
  Record(dir, "2026-12-03", Day_With(0, 0));
  Record(dir, "2026-12-03", Day_With(0, 2), "7001 sent \"late\"");
}

std::string December_Missing() {
  return "missing days: 29\n"
         "  2026-12-02, 2026-12-04, 2026-12-05, 2026-12-06, 2026-12-07, "
         "2026-12-08\n"
         "  2026-12-09, 2026-12-10, 2026-12-11, 2026-12-12, 2026-12-13, "
         "2026-12-14\n"
         "  2026-12-15, 2026-12-16, 2026-12-17, 2026-12-18, 2026-12-19, "
         "2026-12-20\n"
         "  2026-12-21, 2026-12-22, 2026-12-23, 2026-12-24, 2026-12-25, "
         "2026-12-26\n"
         "  2026-12-27, 2026-12-28, 2026-12-29, 2026-12-30, 2026-12-31\n";
}

TEST(LedgerStatement, OpenMonthAsTextCsvAndJson) {
  Ledger_Dir dir;
  Record_December(dir);
  Run_Result run =
      dir.Run({"statement", "2026-12", "--csv", "dec.csv", "--json=dec.json"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<std::string> at = Recorded_Times(dir.Ledger());
  ASSERT_EQ(at.size(), 4u);
  const std::string head = Ledger_Head(dir.Ledger());
  EXPECT_EQ(
      run.out,
      "Statement of 2026-12\n"
      "open: the figures may still change\n"
      "ledger head: " +
          head +
          "\n\n"
          "day        version                           bus               "
          "metro\n"
          "2026-12-01       1                     3,698 won           5,349 "
          "won\n"
          "2026-12-03       2                     2,648 won           7,449 "
          "won\n\n"
          "corrections: 1\n"
          "  2026-12-03 version 2, recorded " +
          at[3] +
          ", \"7001 sent \\\"late\\\"\": bus 0 won, metro +2,100 won\n\n"
          "prior-period adjustments: 0\n\n" +
          December_Missing() +
          "\ntotals                                       bus          "
          "     metro\n"
          "  days (2 of 31)                       6,346 won          "
          "12,798 won\n"
          "  prior-period adjustments                 0 won          "
          "     0 won\n"
          "  to pay                               6,346 won          "
          "12,798 won\n");
  std::string missing_rows;
  for (int d = 2; d <= 31; ++d)
    if (d != 3)
      missing_rows += std::string("missing,2026-12-") + (d < 10 ? "0" : "") +
                      std::to_string(d) + ",,,,,\r\n";
  EXPECT_EQ(dir.Read("dec.csv"),
            "kind,date,version,recorded_at,bus_won,metro_won,note\r\n"
            "month,2026-12,,,,,open\r\nhead,,,,,," +
                head + "\r\nday,2026-12-01,1," + at[1] +
                ",3698,5349,\r\nmissing,2026-12-02,,,,,\r\nday,2026-12-03,2," +
                at[3] + ",2648,7449,\r\n" + missing_rows.substr(25) +
                "correction,2026-12-03,2," + at[3] +
                ",0,2100,\"7001 sent \"\"late\"\"\"\r\n"
                "days-total,,,,6346,12798,\r\n"
                "prior-period-total,,,,0,0,\r\n"
                "to-pay,,,,6346,12798,\r\n");
  std::string json = dir.Read("dec.json");
  for (const std::string& part :
       {std::string("{\n  \"month\": \"2026-12\",\n  \"status\": \"open\",\n"
                    "  \"closed_at\": null,\n  \"head\": \"") +
            head +
            "\",\n  \"days\": [\n"
            "    {\"day\": \"2026-12-01\", \"version\": 1, "
            "\"recorded_at\": \"" +
            at[1] + "\", \"bus_total\": 3698, \"metro_total\": 5349},\n",
        std::string("  \"missing_days\": [\n    \"2026-12-02\",\n"),
        std::string("  \"corrections\": [\n    {\"day\": \"2026-12-03\", "
                    "\"version\": 2, \"recorded_at\": \"") +
            at[3] +
            "\", \"reason\": \"7001 sent \\\"late\\\"\", \"bus_adjustment\": "
            "0, \"metro_adjustment\": 2100}\n  ],\n",
        std::string("  \"prior_period_adjustments\": [],\n  \"totals\": "
                    "{\"bus_days\": 6346, \"metro_days\": 12798, "
                    "\"bus_prior_period\": 0, \"metro_prior_period\": 0, "
                    "\"bus_to_pay\": 6346, \"metro_to_pay\": 12798}\n}\n")})
    EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
}

TEST(LedgerClose, ClosedMonthStaysAsPaidAndLateCorrectionsMoveOn) {
  Ledger_Dir dir;
  Record_December(dir);
  Run_Result run = dir.Run({"close", "2026-12"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.substr(0, 91),
            "fare-ledger: 2026-12 not closed: 29 days have no record: "
            "2026-12-02, 2026-12-04, 2026-12-05");
  EXPECT_NE(run.err.find(", 2026-12-31 (--allow-missing closes it all the "
                         "same)\n"),
            std::string::npos);
  run = dir.Run({"close", "2026-12", "--allow-missing"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.substr(run.out.find(": to pay")),
            ": to pay bus 6,346 won, metro 12,798 won\nledger head: " +
                Ledger_Head(dir.Ledger()) + "\n");
  run = dir.Run({"close", "2026-12", "--allow-missing"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("; a closed month cannot be closed again"),
            std::string::npos);
  Run_Result paid = dir.Run({"statement", "2026-12"});
  ASSERT_EQ(paid.status, 0);
  EXPECT_NE(paid.out.find("closed at "), std::string::npos);
  EXPECT_NE(paid.out.find(": the figures as paid, never changed\n"),
            std::string::npos);

  // After payment: a corrected day of December, and a day never recorded.
  Record(dir, "2026-12-01", Day_With(3, 0), "bus 5001 resent");
  Record(dir, "2026-12-02", Day_With(0, 0));
  // January is closed too: they go to February, the first open month.
  ASSERT_EQ(dir.Run({"close", "2027-01", "--allow-missing"}).status, 0);
  dir.Settle("2026-12-03", Day_With(0, 1));
  run = dir.Run({"record", "2026-12-03", "2026-12-03", "--correct",
                 "one metro tap too many"});
  EXPECT_EQ(run.out,
            "2026-12-03 recorded as version 3, adjustment bus 0 won, metro "
            "-1,050 won, carried into 2027-02 (2026-12 is closed)\n");
  EXPECT_NE(dir.Run({"days", "2026-12"})
                .out.find("  correction \"one metro tap too many\"  "
                          "carried into 2027-02\n"),
            std::string::npos);
  EXPECT_EQ(dir.Run({"statement", "2026-12"}).out, paid.out);

  std::vector<std::string> at = Recorded_Times(dir.Ledger());
  ASSERT_EQ(at.size(), 7u);
  run = dir.Run({"statement", "2027-01"});
  EXPECT_NE(run.out.find("prior-period adjustments: 2\n"
                         "  2026-12-01 version 2, recorded " +
                         at[4] +
                         ", \"bus 5001 resent\": bus +2,100 won, metro 0 "
                         "won\n"
                         "  2026-12-02 version 1, recorded " +
                         at[5] +
                         ", a day recorded late: bus +2,648 won, metro +5,349 "
                         "won\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("  to pay                               4,748 won  "
                         "         5,349 won\n"),
            std::string::npos)
      << run.out;
  run = dir.Run({"statement", "2027-02", "--csv", "feb.csv"});
  EXPECT_EQ(
      dir.Read("feb.csv").substr(dir.Read("feb.csv").find("prior-period,")),
      "prior-period,2026-12-03,3," + at[6] +
          ",0,-1050,one metro tap too many\r\n"
          "days-total,,,,0,0,\r\n"
          "prior-period-total,,,,0,-1050,\r\n"
          "to-pay,,,,0,-1050,\r\n");
  run = dir.Run({"check"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "ledger.db: 7 versions, 2 closed months, no fault found\n");
}

// Today is the 3rd: the days after it are to come, not missing, in every
// form of the statement and for close; the page shows the status, a scale
// in won and the missing days, and once closed marks a day corrected since.
TEST(LedgerStatement, DaysToComeAndThePageOfAnOpenAndAClosedMonth) {
  Ledger_Dir dir;
  dir.now = "2026-12-03T12:00:00Z";
  Record(dir, "2026-12-01", Day_With(1, 0));
  Record(dir, "2026-12-03", Day_With(0, 0));
  Run_Result open = dir.Run({"statement", "2026-12", "--csv", "dec.csv",
                             "--json", "dec.json", "--html", "open.html"});
  ASSERT_EQ(open.status, 0) << open.err;
  const std::string unrecorded =
      "missing days: 1\n  2026-12-02\n"
      "days to come: 28\n  2026-12-04 to 2026-12-31\n";
  EXPECT_NE(open.out.find(unrecorded), std::string::npos) << open.out;
  EXPECT_NE(open.out.find("  days (2 of 31)"), std::string::npos);
  EXPECT_NE(dir.Read("dec.csv").find("missing,2026-12-02,,,,,\r\nday,"
                                     "2026-12-03,1,"),
            std::string::npos);
  EXPECT_NE(dir.Read("dec.csv").find(",\r\nto-come,2026-12-04,,,,,\r\n"),
            std::string::npos);
  EXPECT_NE(dir.Read("dec.json")
                .find("\"missing_days\": [\n    "
                      "\"2026-12-02\"\n  ],\n  "
                      "\"days_to_come\": [\n    \"2026-12-04\","),
            std::string::npos);
  Run_Result run = dir.Run({"close", "2026-12"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "fare-ledger: 2026-12 not closed: 1 day has no record: "
            "2026-12-02; 28 days are still to come: 2026-12-04 to 2026-12-31 "
            "(--allow-missing closes it all the same)\n");
  ASSERT_EQ(dir.Run({"close", "2026-12", "--allow-missing"}).status, 0);
  dir.now = "2027-01-05T08:00:00Z";
  Record(dir, "2026-12-03", Day_With(0, 2), "7001 resent");
  run = dir.Run({"statement", "2026-12", "--html", "closed.html"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find(unrecorded), std::string::npos) << run.out;
  EXPECT_EQ(run.out.substr(run.out.find("\n\n")),
            open.out.substr(open.out.find("\n\n")));
  EXPECT_EQ(dir.Run({"check"}).out,
            "ledger.db: 3 versions, 1 closed month, no fault found\n");

  const struct {
    const char* page;
    std::vector<std::string> shown;
  } pages[] = {
      {"open.html",
       {"<div id=\"status\" class=\"status open\">\n<p class=\"state\">Open",
        "<p class=\"to-pay\">to pay: bus 6,346 won &middot; metro 10,698 "
        "won</p>\n<p>2 of 31 days recorded &middot; 1 day missing &middot; "
        "28 days to come</p>",
        // 5,349 won the most: steps of 2,000 won up to 6,000.
        ">0 won</text>", ">2,000 won</text>", ">6,000 won</text>",
        "<h2 id=\"missing-days\">Missing days (1)</h2>\n<ul id=\"missing\" "
        "class=\"days\"><li>2026-12-02</li></ul>\n<p id=\"to-come\">28 days "
        "to come, not missing: 2026-12-04 to 2026-12-31</p>"}},
      {"closed.html",
       {"<div id=\"status\" class=\"status closed\">",
        "1 version of its days recorded after the close",
        "<td class=\"since-close\">corrected after the close: version 2, "
        "carried into 2027-01</td>",
        "<circle class=\"since-close\"",
        "<caption>Recorded after the close (1)</caption>"}},
  };
  for (const auto& p : pages) {
    std::string page = dir.Read(p.page);
    for (const std::string& shown : p.shown)
      EXPECT_NE(page.find(shown), std::string::npos) << p.page << ": " << shown;
  }
}

// Totals beyond 64 bits (only an edited ledger has them) fail the
// statement instead of wrapping.
TEST(LedgerStatement, SumBeyond64BitsFails) {
  Ledger_Dir dir;
  Record(dir, "2026-12-01", Day_With(0, 0));
  Record(dir, "2026-12-02", Day_With(0, 0));
  ASSERT_EQ(
      Run_Sql(dir.Ledger(),
              "UPDATE day_version SET bus_total = 9223372036854775000", true),
      "");
  Run_Result run = dir.Run({"statement", "2026-12"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "fare-ledger: a sum of won does not fit in 64 bits\n");
}

// Edits made with the append-only triggers dropped, each caught by check.
TEST(LedgerCheck, CatchesALedgerEditedBehindItsBack) {
  struct Case {
    const char* sql;
    const char* fault;
  };
  const Case cases[] = {
      {"UPDATE day_version SET bus_total = bus_total + 1 WHERE entry = 2",
       "2026-12-01 version 1 (entry 2) was changed after it was recorded"},
      {"UPDATE day_version SET metro_adjustment = 0 WHERE entry = 4",
       "2026-12-03 version 2: adjustment bus 0 won, metro 0 won is not the "
       "difference of the totals (bus 0 won, metro +2,100 won)"},
      {"DELETE FROM day_file WHERE entry = 3",
       "2026-12-03 version 1: fewer than nine files recorded\n"},
      {"DELETE FROM day_version WHERE entry = 3",
       "2026-12-03 version 2 follows version 0: a gap"},
      {"UPDATE day_file SET sha256 = 'x' WHERE entry = 1 AND position = 9",
       "2026-11-30 version 1 (entry 1) was changed"},
      {"UPDATE month_close SET bus_days = 1",
       "closed month 2026-11: its figures are no longer those of its close"},
      {"UPDATE month_close SET closed_at = '2026-12-01T00:00:00Z'",
       "the close of 2026-11 (entry 5) was changed after it was recorded"},
      {"DELETE FROM month_close",
       "entry 5 is missing: removed behind the ledger's back"},
      {"UPDATE day_version SET carried_to = '2026-12' WHERE entry = 1",
       "2026-11-30 version 1: adjustment carried into 2026-12, not left in "
       "its own month"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    Ledger_Dir dir;
    Record_December(dir);
    ASSERT_EQ(dir.Run({"close", "2026-11", "--allow-missing"}).status, 0);
    Record(dir, "2026-12-04", Day_With(2, 2));
    ASSERT_EQ(dir.Run({"check"}).status, 0);
    ASSERT_EQ(Run_Sql(dir.Ledger(), c.sql, true), "");
    Run_Result run = dir.Run({"check"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(std::string("fare-ledger: ledger.db: ") + c.fault),
              std::string::npos)
        << run.err;
  }
}

// check alone cannot see the newest entries gone; a head filed from a close
// or a statement can, and still vouches for every entry up to it.
TEST(LedgerCheck, FiledHeadShowsTheNewestEntriesRemoved) {
  Ledger_Dir dir;
  Record(dir, "2026-11-30", Day_With(0, 0));
  std::string closed = dir.Run({"close", "2026-11", "--allow-missing"}).out;
  std::string close_head = closed.substr(closed.find("ledger head: ") + 13, 64);
  Record(dir, "2026-12-01", Day_With(1, 0));
  std::string open = dir.Run({"statement", "2026-12"}).out;
  std::string open_head = open.substr(open.find("ledger head: ") + 13, 64);
  EXPECT_NE(dir.Run({"statement", "2026-11"})
                .out.find("\nledger head: " + close_head + "\n"),
            std::string::npos);
  struct Step {
    const char* sql;  // run behind the ledger's back first, or nullptr
    std::string head;
    int status;
    std::string says;
  };
  const std::string gone =
      ": it or an entry before it was removed or changed\n";
  const Step steps[] = {
      {nullptr, open_head, 0, "; the head given is entry 3, it and every"},
      {"DELETE FROM day_file WHERE entry = 3;"
       "DELETE FROM day_version WHERE entry = 3",
       open_head, 1, "ledger.db: no entry has the head " + open_head + gone},
      {nullptr, close_head, 0, "; the head given is entry 2, it and every"},
      {"DELETE FROM month_close", close_head, 1,
       "ledger.db: no entry has the head " + close_head + gone},
  };
  bool triggers = true;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.sql ? step.sql : "as it is");
    if (step.sql) {
      ASSERT_EQ(Run_Sql(dir.Ledger(), step.sql, triggers), "");
      triggers = false;
    }
    Run_Result run = dir.Run({"check"});
    EXPECT_EQ(run.status, 0) << run.err;
    run = dir.Run({"check", "--head", step.head});
    EXPECT_EQ(run.status, step.status);
    EXPECT_NE((run.status == 0 ? run.out : run.err).find(step.says),
              std::string::npos)
        << run.out << run.err;
  }
}

// 9999-12 is the last month: no later month can pay a correction of it.
TEST(LedgerClose, NoMonthFollowsTheLast) {
  Ledger_Dir dir;
  Record(dir, "9999-12-31", Day_With(0, 0));
  ASSERT_EQ(dir.Run({"close", "9999-12", "--allow-missing"}).status, 0);
  dir.Settle("late", Day_With(1, 0));
  Run_Result run =
      dir.Run({"record", "9999-12-31", "late", "--correct", "resent"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "fare-ledger: 9999-12-31 not recorded: its month is closed and "
            "no open month follows it up to 9999-12, the last a ledger "
            "keeps, to pay its adjustment\n");
}

}  // namespace
