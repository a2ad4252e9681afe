// The ledger file kept safe: refused when it is not a ledger, append-only,
// shared by two records at once, whole after a kill or a full disk,
// readable when read-only.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <random>
#include <thread>

#include "ledger_run.h"

namespace {

void Record_Ok(const Ledger_Dir& dir, const std::string& day) {
  dir.Settle(day, Day_With(0, 0));
  Run_Result run = dir.Run({"record", day, day});
  ASSERT_EQ(run.status, 0) << run.err;
}

TEST(LedgerSafety, RefusesWhatIsNotALedgerUntouched) {
  struct Case {
    const char* name;
    const char* sql;  // run on a new SQLite database, or nullptr
    std::string bytes;
    const char* message;
  };
  const Case cases[] = {
      {"text file", nullptr, "300,1,2648",
       "ledger.db: not a ledger (not an SQLite database)\n"},
      {"other database", "CREATE TABLE t (x INTEGER)", "",
       "ledger.db: not a ledger (an SQLite database of something else)\n"},
      {"newer ledger", "PRAGMA user_version = 3", "",
       "ledger.db: ledger of schema 3, written by a newer fare-ledger; this "
       "one reads schema 2 and older\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Ledger_Dir dir;
    if (c.sql == nullptr) {
      dir.Write("ledger.db", c.bytes);
    } else {
      if (std::string(c.name) == "newer ledger") Record_Ok(dir, "2026-12-09");
      ASSERT_EQ(Run_Sql(dir.Ledger(), c.sql), "");
    }
    std::string before = dir.Read("ledger.db");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"record", "2026-12-10", "2026-12-10"},
          {"statement", "2026-12"},
          {"check"}}) {
      dir.Settle("2026-12-10", WORKED_RUN);
      Run_Result run = dir.Run(args);
      EXPECT_EQ(run.status, 2) << args[0];
      EXPECT_EQ(run.err, std::string("fare-ledger: ") + c.message);
      EXPECT_EQ(dir.Read("ledger.db"), before) << args[0];
      EXPECT_EQ(dir.Read("ledger.db-wal"), "<missing>");
    }
  }
}

// A ledger of schema 1 kept its closes outside the chain: opened, it is
// taken to schema 2 with them chained after its newest entry, as they are,
// and they still close their months.
TEST(LedgerSafety, Schema1LedgerIsTakenOverWithItsCloses) {
  Ledger_Dir dir;
  Record_Ok(dir, "2026-11-30");
  Record_Ok(dir, "2026-12-01");
  ASSERT_EQ(Run_Sql(dir.Ledger(),
                    "DROP TABLE month_close; DROP INDEX day_file_sha256;"
                    "CREATE TABLE month_close (month TEXT PRIMARY KEY, "
                    "closed_at TEXT NOT NULL, last_entry INTEGER NOT NULL, "
                    "missing_days INTEGER NOT NULL, bus_days INTEGER NOT "
                    "NULL, metro_days INTEGER NOT NULL, bus_prior INTEGER "
                    "NOT NULL, metro_prior INTEGER NOT NULL) STRICT;"
                    "INSERT INTO month_close VALUES ('2026-11', "
                    "'2026-12-01T08:00:00Z', 1, 29, 2648, 5349, 0, 0);"
                    "CREATE TRIGGER month_close_no_DELETE BEFORE DELETE ON "
                    "month_close BEGIN SELECT RAISE(ABORT, 'no'); END;"
                    "PRAGMA user_version = 1"),
            "");
  Run_Result run = dir.Run({"check"});
  EXPECT_EQ(run.out, "ledger.db: 2 versions, 1 closed month, no fault found\n")
      << run.err;
  std::string head = Ledger_Head(dir.Ledger());
  EXPECT_NE(dir.Run({"statement", "2026-11"})
                .out.find("closed at 2026-12-01T08:00:00Z: the figures as "
                          "paid, never changed\nledger head: " +
                          head + "\n"),
            std::string::npos);
  dir.Settle("2026-11-29", Day_With(1, 1));
  run = dir.Run({"record", "2026-11-29", "2026-11-29"});
  EXPECT_EQ(run.out,
            "2026-11-29 recorded as version 1, carried into 2026-12 (2026-11 "
            "is closed)\n");
  run = dir.Run({"check", "--head", head});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("; the head given is entry 3,"), std::string::npos);
}

// An empty file becomes a ledger; a missing one only for the commands that
// write.
TEST(LedgerSafety, EmptyFileBecomesALedgerMissingOneIsNotRead) {
  Ledger_Dir dir;
  Run_Result run = dir.Run({"statement", "2026-12"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err,
            "fare-ledger: ledger.db: no ledger there (fare-ledger record "
            "creates one)\n");
  dir.Write("ledger.db", "");
  Record_Ok(dir, "2026-12-01");
  EXPECT_EQ(dir.Run({"check"}).status, 0);
}

// Statement files appear whole or not at all: a write that fails leaves
// the old file and no temporary.
TEST(LedgerSafety, StatementFilesReplacedWhole) {
  Ledger_Dir dir;
  Record_Ok(dir, "2026-12-01");
  // A reason longer than the file-size limit makes the JSON longer too.
  dir.Settle("2026-12-01", Day_With(1, 0));
  std::string reason(50000, 'r');
  ASSERT_EQ(dir.Run({"record", "2026-12-01", "2026-12-01", "--correct", reason})
                .status,
            0);
  dir.Write("dec.json", "old");
  Run_Options options;
  options.file_size_limit = 45000;
  Run_Result run =
      dir.Run({"statement", "2026-12", "--json", "dec.json"}, options);
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "fare-ledger: dec.json: cannot write: File too large\n");
  EXPECT_EQ(dir.Read("dec.json"), "old");
  EXPECT_EQ(Names_In(dir.Path()),
            (std::vector<std::string>{"2026-12-01", "dec.json", "ledger.db"}));
}

// Sets environment variables (nullptr: unset) for the object's life, for
// the programs it runs.
class Environment {
 public:
  void Set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    saved_.push_back(
        {name, old ? std::optional<std::string>(old) : std::nullopt});
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~Environment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
      it->second ? ::setenv(it->first, it->second->c_str(), 1)
                 : ::unsetenv(it->first);
  }

 private:
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

// Without --db, a clerk who records each day from inside its folder keeps
// one ledger: $FARE_LEDGER, else the user's own under XDG_DATA_HOME or
// HOME, its folders made with it.
TEST(LedgerSafety, DefaultLedgerIsOnePerUser) {
  Ledger_Dir dir;
  Environment environment;
  environment.Set("FARE_LEDGER", nullptr);
  environment.Set("XDG_DATA_HOME", nullptr);
  const struct {
    const char* variable;
    std::string value;
    std::string ledger;
  } cases[] = {
      {"HOME", dir.File("home"),
       dir.File("home/.local/share/fare-settlement/ledger.db")},
      {"XDG_DATA_HOME", dir.File("data"),
       dir.File("data/fare-settlement/ledger.db")},
      {"FARE_LEDGER", dir.File("named.db"), dir.File("named.db")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.variable);
    environment.Set(c.variable, c.value.c_str());
    // Wine sets the Windows user's folders itself, whatever HOME says.
    if (Runner() != nullptr && std::string(c.variable) != "FARE_LEDGER")
      continue;
    for (const char* day : {"2026-11-01", "2026-11-02"}) {
      dir.Settle(day, Day_With(day[9] - '0', 0));
      Run_Result run = dir.Run_Bare({"record", day, "."}, day);
      EXPECT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(run.err, day[9] == '1' ? "fare-ledger: created the ledger " +
                                             c.ledger + "\n"
                                       : "");
      EXPECT_EQ(Names_In(dir.File(day)).size(), 10u) << "a ledger beside it";
    }
    EXPECT_EQ(Recorded_Times(c.ledger).size(), 2u);
  }
}

// A ledger's name is a file's: never read as a URI or a special name, and
// refused, with nothing made beside it, when it is a device or directory.
TEST(LedgerSafety, LedgerNameIsAFileNeverAUriOrDevice) {
  Ledger_Dir dir;
  dir.Settle("day", Day_With(0, 0));
  for (const char* name : {":memory:", "file:led.db", "file:x.db?mode=ro"}) {
    SCOPED_TRACE(name);
    Run_Result run =
        dir.Run_Bare({"--db", name, "record", "2026-11-01", "day"});
    EXPECT_EQ(run.status, 0) << run.err;
    run = dir.Run_Bare({"--db", name, "days"});
    EXPECT_EQ(run.out.substr(0, 22), "2026-11-01  version 1 ") << run.err;
    EXPECT_NE(dir.Read(name), "<missing>");
  }
  for (const std::string& path : {std::string("/dev/null"), dir.File("day")}) {
    Run_Result run =
        dir.Run_Bare({"--db", path, "record", "2026-11-02", "day"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err,
              "fare-ledger: " + path + ": not a ledger (not a regular file)\n");
    EXPECT_EQ(Read_File(path + "-journal"), "<missing>");
    EXPECT_EQ(Read_File(path + "-wal"), "<missing>");
  }
}

TEST(LedgerSafety, RowsCannotBeChangedOrDeleted) {
  Ledger_Dir dir;
  Record_Ok(dir, "2026-11-30");
  ASSERT_EQ(dir.Run({"close", "2026-11", "--allow-missing"}).status, 0);
  for (const char* table : {"day_version", "day_file", "month_close"}) {
    std::string refused = std::string("the ledger is append-only: ") + table +
                          " rows are never changed or deleted";
    EXPECT_EQ(Run_Sql(dir.Ledger(), std::string("DELETE FROM ") + table),
              refused);
    EXPECT_EQ(Run_Sql(dir.Ledger(),
                      std::string("UPDATE ") + table + " SET rowid = rowid"),
              refused);
  }
  EXPECT_EQ(dir.Run({"check"}).status, 0);
}

// Two records started at once both land, one after the other; the same
// day twice is recorded once.
TEST(LedgerSafety, ConcurrentRecordsBothLand) {
  Ledger_Dir dir;
  for (const char* day : {"2026-12-01", "2026-12-02"})
    dir.Settle(day, Day_With(0, 0));
  for (int round = 0; round < 3; ++round) {
    std::vector<Started_Run> runs;
    for (const char* day : {"2026-12-01", "2026-12-02", "2026-12-02"}) {
      Run_Options options;
      options.program = Ledger_Exe();
      options.time_limit_seconds = 120;
      options.args = {"--db", "ledger.db", "record", day, day};
      runs.push_back(Start_Run(dir.Path(), options));
    }
    std::string out;
    for (const Started_Run& started : runs) {
      Run_Result run = Finish_Run(started);
      EXPECT_EQ(run.status, 0) << run.err;
      out += run.out;
    }
    EXPECT_EQ(Recorded_Times(dir.Ledger()).size(), 2u) << out;
  }
  EXPECT_EQ(dir.Run({"check"}).status, 0);
}

// SIGKILL at random moments of record (FARE_TEST_SEED replays a run): the
// ledger is as before or holds the day whole, and the next record works.
TEST(LedgerSafety, KillAtAnyMomentLeavesTheLedgerWhole) {
  Ledger_Dir dir;
  Record_Ok(dir, "2026-11-30");
  std::mt19937 random(Test_Seed());
  std::uniform_real_distribution<double> delay(0.0, 0.12);
  for (int day = 1; day <= 12; ++day) {
    std::string name =
        "2026-12-" + std::string(day < 10 ? "0" : "") + std::to_string(day);
    dir.Settle(name, Day_With(day, 0));
    Run_Options options;
    options.kill_after_seconds = delay(random);
    SCOPED_TRACE(name + " killed after " +
                 std::to_string(options.kill_after_seconds) + " s");
    std::size_t before = Recorded_Times(dir.Ledger()).size();
    dir.Run({"record", name, name}, options);
    std::size_t after = Recorded_Times(dir.Ledger()).size();
    EXPECT_TRUE(after == before || after == before + 1);
    Run_Result check = dir.Run({"check"});
    EXPECT_EQ(check.status, 0) << check.err;
    Run_Result again = dir.Run({"record", name, name});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(Recorded_Times(dir.Ledger()).size(), before + 1);
  }
}

// A day of some 300,000 taps with a few transfer journeys, settled in dir
// by the settlement itself; each variant adds its own ordinary metro tap,
// so that the days' payment files differ.
void Settle_Large_Day(const Scratch_Dir& dir, int variant = 0) {
  Day day;
  std::mt19937 dice(11);
  for (int f = 0; f < 6; ++f) {
    for (int i = 0; i < (f == 0 ? 100000 : 40000); ++i) {
      bool trigger = f == 0 && i % 5000 == 17;
      std::string terminal = trigger || (f == 1 && i % 5000 == 17)
                                 ? "X" + std::to_string(i)
                                 : "C" + std::to_string(dice() % 5000000);
      day.files[f] += std::to_string(i) + (f == 0 ? ",1,1," : ",0,1,") +
                      std::to_string(trigger ? 0 : 1050 + dice() % 400) + "," +
                      terminal + "\n";
    }
  }
  day.files[5] += "5,0,1,1050,V" + std::to_string(variant) + "\n";
  Lay_Out_Day(dir, day);
  Run_Result run = Run_Settlement(dir);
  ASSERT_EQ(run.status, 0) << run.err;
}

// SIGINT at random moments of records of a large day (FARE_TEST_SEED
// replays them): each is recorded whole or not at all, a stopped one says
// so in one line and ends by the signal, no temporary is left beside the
// ledger, and check finds no fault.
TEST(LedgerSafety, SignalledRecordIsWholeOrNotAtAll) {
  Ledger_Dir dir;
  Scratch_Dir large;
  Settle_Large_Day(large);
  // A whole record of the day: the moments are drawn from its length.
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(dir.Run({"record", "2026-11-30", large.Path()}).status, 0);
  std::chrono::duration<double> whole =
      std::chrono::steady_clock::now() - start;
  std::mt19937 random(Test_Seed());
  // Within the first part of a record, so that most stops fall inside one
  // however the machine's load changes its length. A record that ends
  // before its stop shortens the span for the next: the first, timed from
  // the process's start, can outlast the work that a signal can interrupt.
  double span = whole.count();
  int stopped = 0;
  for (int run = 1; run <= 8; ++run) {
    std::string day = "2026-12-0" + std::to_string(run);
    Settle_Large_Day(large, run);
    Run_Options options;
    options.program = Ledger_Exe();
    options.time_limit_seconds = 120;
    options.args = {"--db", "ledger.db", "record", day, large.Path()};
    std::size_t before = Recorded_Times(dir.Ledger()).size();
    Started_Run started = Start_Run(dir.Path(), options);
    Wait_Until_Signals_Handled(started.pid);
    auto handled = std::chrono::steady_clock::now();
    double seconds =
        std::uniform_real_distribution<double>(0.0, 0.6 * span)(random);
    SCOPED_TRACE(day + " stopped after " + std::to_string(seconds) + " s");
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    ::kill(started.pid, SIGINT);
    Run_Result result = Finish_Run(started);
    std::chrono::duration<double> ran =
        std::chrono::steady_clock::now() - handled;
    if (result.status == 0) span = std::min(span, ran.count());
    std::size_t after = Recorded_Times(dir.Ledger()).size();
    if (result.status == 128 + SIGINT) {
      ++stopped;
      EXPECT_EQ(result.err, "fare-ledger: stopped by SIGINT\n");
      EXPECT_TRUE(after == before || after == before + 1);
    } else {
      EXPECT_EQ(result.status, 0) << result.err;
      EXPECT_EQ(after, before + 1);
    }
    for (const std::string& name : Names_In(dir.Path()))
      EXPECT_TRUE(name.starts_with("ledger.db")) << name;
    Run_Result check = dir.Run({"check"});
    EXPECT_EQ(check.status, 0) << check.err;
    if (after > before) {
      EXPECT_EQ(dir.Run({"verify", day, large.Path()}).status, 0);
    }
  }
  std::printf("%d of 8 records stopped by SIGINT\n", stopped);
  EXPECT_GE(stopped, 1) << "no stop fell inside a record";
}

// A record run from a working folder that was removed, with the ledger and
// the day given by absolute paths, needs no working folder.
TEST(LedgerSafety, RecordFromARemovedDirectoryWithAbsolutePaths) {
  Ledger_Dir dir;
  dir.Settle("2026-11-01", Day_With(0, 0));
  Scratch_Dir removed;
  Run_Options options;
  options.program = "/bin/sh";
  options.args = {"-c",         "rmdir \"$PWD\" && exec \"$0\" \"$@\"",
                  Ledger_Exe(), "--db",
                  dir.Ledger(), "record",
                  "2026-11-01", dir.File("2026-11-01")};
  Run_Result run = Finish_Run(Start_Run(removed.Path(), options));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "2026-11-01 recorded as version 1\n");
  EXPECT_EQ(Recorded_Times(dir.Ledger()).size(), 1u);
}

// A file-size limit (a full disk) stops a record: the ledger stays as it
// was and takes the day once there is room.
TEST(LedgerSafety, FullDiskLeavesTheLedgerAsItWas) {
  for (long long limit : {0LL, 3000LL, 20000LL}) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    Ledger_Dir dir;
    if (limit > 0) Record_Ok(dir, "2026-11-30");
    std::string before = dir.Read("ledger.db");
    dir.Settle("2026-12-01", Day_With(0, 0));
    Run_Options options;
    options.file_size_limit = limit;
    Run_Result run = dir.Run({"record", "2026-12-01", "2026-12-01"}, options);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("fare-ledger: ledger.db: "), std::string::npos)
        << run.err;
    if (limit > 0) {
      EXPECT_EQ(dir.Run({"check"}).status, 0);
    }
    run = dir.Run({"record", "2026-12-01", "2026-12-01"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Recorded_Times(dir.Ledger()).size(), limit > 0 ? 2u : 1u);
  }
}

TEST(LedgerSafety, ReadOnlyLedgerGivesStatementsAndRefusesRecords) {
  if (!Permissions_Apply()) GTEST_SKIP() << "no unprivileged user to run as";
  Ledger_Dir dir;
  Record_Ok(dir, "2026-12-01");
  dir.Settle("2026-12-02", Day_With(0, 0));
  ASSERT_EQ(::chmod(dir.Ledger().c_str(), 0444), 0);
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
  Run_Options options;
  options.unprivileged = true;
  std::string before = dir.Read("ledger.db");
  Run_Result run = dir.Run({"statement", "2026-12"}, options);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("2026-12-01       1"), std::string::npos) << run.out;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"check"},
        {"days"},
        {"verify", "2026-12-01", "2026-12-01"}}) {
    run = dir.Run(args, options);
    EXPECT_EQ(run.status, 0) << args[0] << run.err;
  }
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"record", "2026-12-02", "2026-12-02"},
        {"close", "2026-12", "--allow-missing"}}) {
    run = dir.Run(args, options);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err,
              "fare-ledger: ledger.db: cannot write the ledger (read-only)\n");
  }
  EXPECT_EQ(dir.Read("ledger.db"), before);
}

}  // namespace
