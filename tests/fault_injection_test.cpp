// Faults put on the program from outside: files it cannot read or write or
// that are not files, a disk that fills part-way, hostile input, a signal
// or kill at any moment, a second run, a report nobody can read. Each must
// end the run with one clear line on standard error, nothing but "wait" on
// standard output, the three outputs of the last run untouched and the flag
// still raised; a kill must leave the outputs of one run or the flag at 1.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <regex>
#include <sstream>
#include <thread>

#include "Day_Lock.h"
#include "model/settlement_model.h"
#include "settlement_run.h"

namespace {

namespace fs = std::filesystem;

const std::string OLD_HISTORY = "1,1,1,1,OLD\nEND";
const std::string OLD_BUS = "5,1,4321";
const std::string OLD_METRO = "6,0,8765";

// A day with the three outputs of an earlier run beside it.
void Lay_Out_With_Old_Results(const Scratch_Dir& dir, const Day& day) {
  Lay_Out_Day(dir, day);
  dir.Write("trans_history.txt", OLD_HISTORY);
  dir.Write("Total_Bus_Data.txt", OLD_BUS);
  dir.Write("Total_Metro_Data.txt", OLD_METRO);
}

// Limits far above what a correct run over a small day needs: a run that
// hangs ends by SIGALRM, one whose memory grows with its input fails.
Run_Options Limited() {
  Run_Options options;
#ifndef __SANITIZE_ADDRESS__
  // AddressSanitizer reserves terabytes of address space for its shadow:
  // the memory limit applies to the plain build only.
  options.memory_limit = 768LL << 20;
#endif
  options.time_limit_seconds = 30;
  return options;
}

// The names in the folder that start with '.': temporaries left behind.
std::vector<std::string> Hidden_Files(const std::string& dir) {
  std::vector<std::string> hidden;
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    if (name[0] == '.') hidden.push_back(name);
  }
  return hidden;
}

// The content of a summary file, or "<directory>" when one stands there.
std::string Summary(const Scratch_Dir& dir, const std::string& name) {
  if (fs::is_directory(dir.File(name))) return "<directory>";
  return dir.Read(name);
}

// Checks a run that must fail, naming `file` in its one line of error.
void Expect_Clean_Failure(const Scratch_Dir& dir, const Run_Result& run,
                          const std::string& file, const std::string& bus,
                          const std::string& metro) {
  EXPECT_EQ(run.status, 1) << run.err;
  std::string prefix = "fare-settlement: " + file + ":";
  EXPECT_EQ(run.err.compare(0, prefix.size(), prefix), 0) << run.err;
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
  EXPECT_EQ(run.out, "wait\n");
  if (file != std::string("trans_history.txt")) {
    EXPECT_EQ(dir.Read("trans_history.txt"), OLD_HISTORY);
  }
  EXPECT_EQ(Summary(dir, "Total_Bus_Data.txt"), bus);
  EXPECT_EQ(Summary(dir, "Total_Metro_Data.txt"), metro);
  EXPECT_EQ(dir.Read("enable.txt"), "1");
  EXPECT_EQ(Hidden_Files(dir.Path()), std::vector<std::string>{});
}

void Make_Directory(const Scratch_Dir& dir, const std::string& name) {
  fs::remove(dir.File(name));
  fs::create_directory(dir.File(name));
  // Not empty, so that nothing may replace it.
  Write_File(dir.File(name) + "/inside", "x");
}

struct Fault {
  const char* name;
  std::function<void(const Scratch_Dir&)> arrange;
  bool unprivileged;      // needs file permissions to apply
  const char* file;       // the file the error must name
  const char* bus_after;  // "" for the old summary
  const char* metro_after;
};

const Fault FAULTS[] = {
    {"PaymentFileMissing",
     [](const Scratch_Dir& dir) {
       fs::remove(dir.File("paymentData_7003.txt"));
     },
     false, "paymentData_7003.txt", "", ""},
    {"PaymentFileUnreadable",
     [](const Scratch_Dir& dir) {
       ::chmod(dir.File("paymentData_7001.txt").c_str(), 0);
     },
     true, "paymentData_7001.txt", "", ""},
    {"PaymentFileIsDirectory",
     [](const Scratch_Dir& dir) {
       Make_Directory(dir, "paymentData_5001.txt");
     },
     false, "paymentData_5001.txt", "", ""},
    {"HistoryIsDirectory",
     [](const Scratch_Dir& dir) { Make_Directory(dir, "trans_history.txt"); },
     false, "trans_history.txt", "", ""},
    {"BusSummaryIsDirectory",
     [](const Scratch_Dir& dir) { Make_Directory(dir, "Total_Bus_Data.txt"); },
     false, "Total_Bus_Data.txt", "<directory>", ""},
    {"MetroSummaryIsDirectory",
     [](const Scratch_Dir& dir) {
       Make_Directory(dir, "Total_Metro_Data.txt");
     },
     false, "Total_Metro_Data.txt", "", "<directory>"},
    {"FlagNotWritable",
     [](const Scratch_Dir& dir) {
       ::chmod(dir.File("enable.txt").c_str(), 0444);
     },
     true, "enable.txt", "", ""},
    {"WorkingDirectoryReadOnly",
     [](const Scratch_Dir& dir) { ::chmod(dir.Path().c_str(), 0555); }, true,
     "trans_history.txt", "", ""},
    // Files that are not files: found at once, never waited on.
    {"PaymentFileIsFifo",
     [](const Scratch_Dir& dir) {
       fs::remove(dir.File("paymentData_7002.txt"));
       ::mkfifo(dir.File("paymentData_7002.txt").c_str(), 0644);
     },
     false, "paymentData_7002.txt", "", ""},
    {"PaymentFileLinksToEndlessDevice",
     [](const Scratch_Dir& dir) {
       fs::remove(dir.File("paymentData_7004.txt"));
       fs::create_symlink("/dev/zero", dir.File("paymentData_7004.txt"));
     },
     false, "paymentData_7004.txt", "", ""},
    {"HistoryIsFifo",
     [](const Scratch_Dir& dir) {
       fs::remove(dir.File("trans_history.txt"));
       ::mkfifo(dir.File("trans_history.txt").c_str(), 0644);
     },
     false, "trans_history.txt", "", ""},
    // A line without end: 1 GiB of NUL bytes, held sparse on disk.
    {"PaymentFileOfOneEndlessLine",
     [](const Scratch_Dir& dir) {
       fs::resize_file(dir.File("paymentData_7001.txt"), 1LL << 30);
     },
     false, "paymentData_7001.txt:3", "", ""},
    {"LineLongerThanOneMebibyte",
     [](const Scratch_Dir& dir) {
       dir.Write("paymentData_7003.txt",
                 "1,0,1,1050,A\n" + std::string(3 << 20, '7') + "\n");
     },
     false, "paymentData_7003.txt:2", "", ""},
    // Failures after the separation: the history staged must not appear.
    {"ZeroDivisor",
     [](const Scratch_Dir& dir) {
       dir.Write("paymentData_5001.txt", "1,1,1,-525,Z\n");
       dir.Write("paymentData_7001.txt", "2,0,1,-525,Z\n");
     },
     false, "trans_history.txt", "", ""},
    {"JourneyOfTooManyLegs",
     [](const Scratch_Dir& dir) {
       std::string taps;
       for (int i = 0; i < 10001; ++i) taps += "7,1,1,0,SHARED\n";
       dir.Write("paymentData_5001.txt", taps);
     },
     false, "paymentData_5001.txt", "", ""},
};

void PrintTo(const Fault& fault, std::ostream* os) { *os << fault.name; }

class Unwritable : public testing::TestWithParam<Fault> {};

TEST_P(Unwritable, StopsCleanly) {
  const Fault& fault = GetParam();
  if (fault.unprivileged && !Permissions_Apply())
    GTEST_SKIP() << "no unprivileged user to run as";
  Scratch_Dir dir;
  Lay_Out_With_Old_Results(dir, Worked_Day());
  Give_To_Unprivileged_User(dir.Path());
  fault.arrange(dir);
  Run_Options options = Limited();
  options.unprivileged = fault.unprivileged;
  Run_Result run = Run_Settlement(dir, options);
  std::string bus = *fault.bus_after ? fault.bus_after : OLD_BUS;
  std::string metro = *fault.metro_after ? fault.metro_after : OLD_METRO;
  Expect_Clean_Failure(dir, run, fault.file, bus, metro);
}

INSTANTIATE_TEST_SUITE_P(Files, Unwritable, testing::ValuesIn(FAULTS),
                         [](const testing::TestParamInfo<Fault>& param_info) {
                           return std::string(param_info.param.name);
                         });

// Many transfer journeys, so the history file is long.
Day Day_With_Long_History() {
  Day day;
  for (int i = 0; i < 40; ++i) {
    std::string terminal = "J" + std::to_string(i);
    day.files[0] += std::to_string(100 + i) + ",1,1,500," + terminal + "\n";
    day.files[1] += std::to_string(50 + i) + ",0,1,1050," + terminal + "\n";
  }
  return day;
}

// A day without transfers whose summaries are "1,1,1050" (8 bytes) and
// "123456,0,9999" (13 bytes), after a history of "END" (3 bytes).
const Day SHORT_BUS_LONG_METRO = {
    {"1,1,1,1050,B\n", "123456,0,1,9999,M\n", "", "", "", ""}};

struct Space_Limit {
  const char* name;
  Day day;
  long long limit;
  const char* file;
};

void PrintTo(const Space_Limit& limit, std::ostream* os) { *os << limit.name; }

class Out_Of_Space : public testing::TestWithParam<Space_Limit> {};

TEST_P(Out_Of_Space, StopsCleanly) {
  const Space_Limit& param = GetParam();
  Scratch_Dir dir;
  Lay_Out_With_Old_Results(dir, param.day);
  Run_Options options;
  options.file_size_limit = param.limit;
  Run_Result run = Run_Settlement(dir, options);
  Expect_Clean_Failure(dir, run, param.file, OLD_BUS, OLD_METRO);
}

INSTANTIATE_TEST_SUITE_P(
    Writes, Out_Of_Space,
    testing::Values(  // The flag keeps its 1: it is never emptied first.
        Space_Limit{"FlagRaised", SHORT_BUS_LONG_METRO, 0, "enable.txt"},
        Space_Limit{"HistoryPartWay", Day_With_Long_History(), 200,
                    "trans_history.txt"},
        Space_Limit{"BusSummaryPartWay", SHORT_BUS_LONG_METRO, 5,
                    "Total_Bus_Data.txt"},
        Space_Limit{"MetroSummaryPartWay", SHORT_BUS_LONG_METRO, 10,
                    "Total_Metro_Data.txt"}),
    [](const testing::TestParamInfo<Space_Limit>& param_info) {
      return std::string(param_info.param.name);
    });

// A large day with few transfer journeys: about 300 000 taps.
Day Large_Day() {
  Day day;
  std::mt19937 dice(7);
  for (int f = 0; f < 6; ++f) {
    std::string& text = day.files[f];
    int taps = f == 0 ? 100000 : 40000;
    for (int i = 0; i < taps; ++i) {
      int amount = 1050 + static_cast<int>(dice() % 400);
      std::string terminal = "C" + std::to_string(dice() % 5000000);
      if (i % 5000 == 17) {
        terminal = "X" + std::to_string(i) + "_" + std::to_string(f);
        if (f == 0) amount = static_cast<int>(dice() % 1050);
      }
      text += std::to_string(i) + "," + (f == 0 ? "1" : "0") + ",1," +
              std::to_string(amount) + "," + terminal + "\n";
    }
  }
  return day;
}

// Starts one run per folder at once and sends run k the signal delays[k]
// seconds after the start; returns each run's result.
std::vector<Run_Result> Signal_Runs(
    const std::vector<std::unique_ptr<Scratch_Dir>>& dirs,
    const std::vector<double>& delays, const std::vector<int>& signals) {
  std::vector<Started_Run> runs;
  auto launch = std::chrono::steady_clock::now();
  for (const auto& dir : dirs)
    runs.push_back(Start_Run(dir->Path(), Run_Options{}));
  std::vector<std::size_t> order(runs.size());
  for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return delays[a] < delays[b];
  });
  for (std::size_t k : order) {
    std::this_thread::sleep_until(launch +
                                  std::chrono::duration<double>(delays[k]));
    if (signals[k] != SIGKILL) Wait_Until_Signals_Handled(runs[k].pid);
    ::kill(runs[k].pid, signals[k]);
  }
  std::vector<Run_Result> results;
  for (const Started_Run& run : runs) results.push_back(Finish_Run(run));
  return results;
}

// The three outputs and the flag of a folder.
struct Outputs {
  std::string history, bus, metro, flag;
};

Outputs Outputs_Of(const Scratch_Dir& dir) {
  return {dir.Read("trans_history.txt"), dir.Read("Total_Bus_Data.txt"),
          dir.Read("Total_Metro_Data.txt"), dir.Read("enable.txt")};
}

bool Old_Outputs(const Outputs& o) {
  return o.history == OLD_HISTORY && o.bus == OLD_BUS && o.metro == OLD_METRO;
}

bool New_Outputs(const Outputs& o, const model::Outcome& want) {
  return o.history == want.history && o.bus == want.bus_summary &&
         o.metro == want.metro_summary;
}

// Runs count copies of the day at once to their ends, checks them against
// the model, and returns the seconds until the first of them ended: runs
// started together to be signalled share the processors the same way, so
// most signals sent before that moment land.
double Time_Runs_Together(const Day& day, const model::Outcome& want,
                          int count) {
  std::vector<std::unique_ptr<Scratch_Dir>> dirs;
  for (int k = 0; k < count; ++k) {
    dirs.push_back(std::make_unique<Scratch_Dir>());
    Lay_Out_With_Old_Results(*dirs.back(), day);
  }
  auto start = std::chrono::steady_clock::now();
  std::vector<Started_Run> runs;
  for (const auto& dir : dirs)
    runs.push_back(Start_Run(dir->Path(), Run_Options{}));
  std::vector<Run_Result> results(count);
  std::vector<double> ended(count);
  std::vector<std::thread> waiters;
  for (int k = 0; k < count; ++k)
    waiters.emplace_back([&, k] {
      results[k] = Finish_Run(runs[k]);
      ended[k] = std::chrono::duration<double>(
                     std::chrono::steady_clock::now() - start)
                     .count();
    });
  for (std::thread& waiter : waiters) waiter.join();
  for (int k = 0; k < count; ++k) {
    EXPECT_EQ(results[k].status, 0) << results[k].err;
    EXPECT_TRUE(New_Outputs(Outputs_Of(*dirs[k]), want));
  }
  return *std::min_element(ended.begin(), ended.end());
}

// Folders holding the large day with old outputs, and random moments from
// just before the first poll into the runs' work. Measured here, runs
// signalled together end well before the runs timed together (whose
// synced writes all fall at once), so the moments stop at 40 % of the
// timed work.
constexpr double FIRST_POLL = 0.9;

void Prepare_Runs(const Day& day, double whole, std::mt19937& dice, int count,
                  std::vector<std::unique_ptr<Scratch_Dir>>& dirs,
                  std::vector<double>& delays) {
  const double first_poll = FIRST_POLL;
  const double last = first_poll + 0.4 * std::max(0.1, whole - first_poll);
  for (int k = 0; k < count; ++k) {
    dirs.push_back(std::make_unique<Scratch_Dir>());
    Lay_Out_With_Old_Results(*dirs.back(), day);
    delays.push_back(
        std::uniform_real_distribution<double>(first_poll, last)(dice));
  }
}

// Signals the runs, then gives each run whose signal came too late (it had
// settled already, which is checked here) up to three more tries, each in a
// fresh folder at a moment halfway nearer the first poll: on a loaded
// machine most signals still land, and the moments stay the seed's.
std::vector<Run_Result> Signal_Until_Landed(
    const Day& day, const model::Outcome& want,
    std::vector<std::unique_ptr<Scratch_Dir>>& dirs,
    std::vector<double>& delays, const std::vector<int>& signals) {
  std::vector<Run_Result> results = Signal_Runs(dirs, delays, signals);
  for (int round = 0; round < 3; ++round) {
    std::vector<std::size_t> late;
    for (std::size_t k = 0; k < results.size(); ++k)
      if (results[k].status == 0) late.push_back(k);
    if (late.empty()) break;
    std::vector<std::unique_ptr<Scratch_Dir>> again;
    std::vector<double> again_delays;
    std::vector<int> again_signals;
    for (std::size_t k : late) {
      EXPECT_TRUE(New_Outputs(Outputs_Of(*dirs[k]), want));
      again.push_back(std::make_unique<Scratch_Dir>());
      Lay_Out_With_Old_Results(*again.back(), day);
      again_delays.push_back(FIRST_POLL + (delays[k] - FIRST_POLL) / 2);
      again_signals.push_back(signals[k]);
    }
    std::vector<Run_Result> retried =
        Signal_Runs(again, again_delays, again_signals);
    for (std::size_t i = 0; i < late.size(); ++i) {
      dirs[late[i]] = std::move(again[i]);
      delays[late[i]] = again_delays[i];
      results[late[i]] = retried[i];
    }
  }
  return results;
}

// The large day, what the model settles it to, and a folder with old
// outputs and a seeded moment for each run to be signalled.
struct Signal_Batch {
  Day day = Large_Day();
  model::Outcome want = model::Settle(day.files);
  std::vector<std::unique_ptr<Scratch_Dir>> dirs;
  std::vector<double> delays;
  double whole = 0;  // seconds until the first of the timed runs ended
};

// Times count runs of the day together, then lays out count folders with
// moments drawn from the test's seed within that time.
void Prepare_Batch(Signal_Batch& batch, int count) {
  batch.whole = Time_Runs_Together(batch.day, batch.want, count);
  std::mt19937 dice(Test_Seed());
  Prepare_Runs(batch.day, batch.whole, dice, count, batch.dirs, batch.delays);
}

TEST(Killed, FlagStaysRaisedOrTheOutputsAreOneRuns) {
  constexpr int KILLS = 16;
  Signal_Batch batch;
  ASSERT_TRUE(batch.want.ok);
  Prepare_Batch(batch, KILLS);
  auto& [day, want, dirs, delays, whole] = batch;
  std::vector<Run_Result> runs = Signal_Until_Landed(
      day, want, dirs, delays, std::vector<int>(KILLS, SIGKILL));
  int killed = 0;
  Scratch_Dir* rerun = nullptr;
  for (int k = 0; k < KILLS; ++k) {
    Outputs o = Outputs_Of(*dirs[k]);
    SCOPED_TRACE("killed after " + std::to_string(delays[k]) + " s");
    if (runs[k].status == 128 + SIGKILL) {
      ++killed;
      // A kill between two renames may leave a mix, but only while the
      // flag still reads 1.
      EXPECT_TRUE(o.flag == "1" || New_Outputs(o, want))
          << o.flag << " " << o.bus << " " << o.metro;
      EXPECT_TRUE(o.history == OLD_HISTORY || o.history == want.history);
      EXPECT_TRUE(o.bus == OLD_BUS || o.bus == want.bus_summary) << o.bus;
      EXPECT_TRUE(o.metro == OLD_METRO || o.metro == want.metro_summary);
      if (o.flag == "1" && !Hidden_Files(dirs[k]->Path()).empty())
        rerun = dirs[k].get();
    } else {
      // A run that ended before its kill must have completed.
      EXPECT_EQ(runs[k].status, 0) << runs[k].err;
      EXPECT_TRUE(New_Outputs(o, want));
    }
  }
  std::printf("%d of %d runs killed (the first of %d together took %.2f s)\n",
              killed, KILLS, KILLS, whole);
  EXPECT_GE(killed, 10);
  // The next run in a folder a kill left temporaries in removes them.
  if (rerun != nullptr) {
    Run_Result again = Run_Settlement(*rerun);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(New_Outputs(Outputs_Of(*rerun), want));
    EXPECT_EQ(Hidden_Files(rerun->Path()), std::vector<std::string>{});
  }
}

const char* Name_Of(int signal) {
  return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "SIGHUP";
}

TEST(Signalled, StopsCleanlyByTheSameSignal) {
  constexpr int RUNS = 12;
  Signal_Batch batch;
  ASSERT_TRUE(batch.want.ok);
  Prepare_Batch(batch, RUNS);
  auto& [day, want, dirs, delays, whole] = batch;
  std::vector<int> signals;
  for (int k = 0; k < RUNS; ++k)
    signals.push_back(std::vector<int>{SIGINT, SIGTERM, SIGHUP}[k % 3]);
  std::vector<Run_Result> runs =
      Signal_Until_Landed(day, want, dirs, delays, signals);
  int stopped = 0;
  for (int k = 0; k < RUNS; ++k) {
    Outputs o = Outputs_Of(*dirs[k]);
    SCOPED_TRACE(std::string(Name_Of(signals[k])) + " after " +
                 std::to_string(delays[k]) + " s");
    EXPECT_EQ(Hidden_Files(dirs[k]->Path()), std::vector<std::string>{});
    if (runs[k].status == 128 + signals[k]) {
      ++stopped;
      EXPECT_EQ(runs[k].err, std::string("fare-settlement: stopped by ") +
                                 Name_Of(signals[k]) + "\n");
      // A caught signal never falls between the renames and the flag.
      EXPECT_TRUE((Old_Outputs(o) && o.flag == "1") ||
                  (New_Outputs(o, want) && o.flag == "0"))
          << o.flag << " " << o.bus << " " << o.metro;
    } else {
      EXPECT_EQ(runs[k].status, 0) << runs[k].err;
      EXPECT_TRUE(New_Outputs(o, want));
    }
  }
  std::printf("%d of %d runs stopped by their signal\n", stopped, RUNS);
  EXPECT_GE(stopped, RUNS / 2);
}

// Ctrl+C on Windows, SIGINT on Linux, while the run waits for the flag: the
// run says so and ends with 130, leaving the flag as the terminal left it
// and writing nothing. Run by the Windows tests too, through the runner.
TEST(Interrupted, DuringTheWaitWritesNothing) {
  auto dir = std::make_unique<Scratch_Dir>();
  Lay_Out_Day(*dir, Worked_Day());
  dir->Write("enable.txt", "0");
  Started_Run run = Start_Run(dir->Path(), Run_Options{});
  // "wait" is printed after the stop handler is in place.
  std::string out;
  char buffer[64];
  while (out.find("wait\n") == std::string::npos) {
    ssize_t n = ::read(run.out_fd, buffer, sizeof buffer);
    ASSERT_GT(n, 0) << "no wait: " << out;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  ::kill(run.pid, SIGINT);
  Run_Result result = Finish_Run(run);
  EXPECT_EQ(result.status, 130);
  EXPECT_EQ(result.err, std::string("fare-settlement: stopped by ") +
                            (Runner() != nullptr ? "Ctrl+C" : "SIGINT") + "\n");
  EXPECT_EQ(Read_File(dir->File("enable.txt")), "0");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir->Path()),
                          fs::directory_iterator()),
            7);
}

// Temporaries of the program's own output names that a killed run left are
// removed before anything is written; look-alikes of operators' files (a
// date, a backup, the pattern of older builds), another program's
// temporaries and other hidden files stay.
TEST(StaleTemporaries, AreRemovedByTheNextRunAndLookAlikesStay) {
  const std::vector<std::string> kept = {
      ".Total_Bus_Data.txt.261208",
      ".Total_Bus_Data.txt.fare-audit-abc123",
      ".Total_Metro_Data.txt.fare-settlement-12345",
      ".enable.txt.fare-settlement-abcdef",
      ".notes",
      ".trans_history.txt.a1B2c3",
      ".trans_history.txt.backup",
      ".trans_history.txt.fare-settlement-a1B2c3.old"};
  Scratch_Dir dir;
  Lay_Out_With_Old_Results(dir, Worked_Day());
  for (const std::string& name : kept) dir.Write(name, "x");
  for (const char* name : {".trans_history.txt.fare-settlement-a1B2c3",
                           ".Total_Bus_Data.txt.fare-settlement-XyZ789",
                           ".Total_Metro_Data.txt.fare-settlement-000000"})
    dir.Write(name, "x");
  Run_Result run = Run_Settlement(dir);
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<std::string> hidden = Hidden_Files(dir.Path());
  std::sort(hidden.begin(), hidden.end());
  EXPECT_EQ(hidden, kept);
}

// Waits up to a minute for the file at path to hold text; false if it never
// does.
bool Wait_For_Text(const std::string& path, const std::string& text) {
  for (int tries = 0; tries < 6000; ++tries) {
    if (Read_File(path).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// A second run in a folder where one is under way (here, waiting for the
// flag) is refused at once and touches nothing; the first is unharmed.
TEST(SecondRun, IsRefusedAtOnceAndTouchesNothing) {
  Scratch_Dir dir, logs;
  Lay_Out_With_Old_Results(dir, Worked_Day());
  dir.Write("enable.txt", "0");
  Run_Options options = Limited();
  options.output_files = logs.File("first");
  Started_Run first = Start_Run(dir.Path(), options);
  // The first run says wait once it holds the folder.
  ASSERT_TRUE(Wait_For_Text(logs.File("first.out"), "wait\n"));
  for (int attempt = 0; attempt < 2; ++attempt) {
    Run_Result second = Run_Settlement(dir, Limited());
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.out, "");  // refused before its wait began
    EXPECT_EQ(second.err,
              "fare-settlement: another run is under way in this directory\n");
    EXPECT_EQ(dir.Read("enable.txt"), "0");
    EXPECT_TRUE(Old_Outputs(Outputs_Of(dir)));
  }
  dir.Write("enable.txt", "1");
  int status = 0;
  ::waitpid(first.pid, &status, 0);
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0)
      << Read_File(logs.File("first.err"));
  EXPECT_EQ(dir.Read("enable.txt"), "0");
}

// Two runs started together: exactly one settles, the other is refused.
TEST(SecondRun, OfTwoStartedTogetherOneSettles) {
  Scratch_Dir dir;
  Lay_Out_With_Old_Results(dir, Worked_Day());
  Started_Run a = Start_Run(dir.Path(), Limited());
  Started_Run b = Start_Run(dir.Path(), Limited());
  Run_Result runs[2] = {Finish_Run(a), Finish_Run(b)};
  std::sort(std::begin(runs), std::end(runs),
            [](const Run_Result& x, const Run_Result& y) {
              return x.status < y.status;
            });
  EXPECT_EQ(runs[0].status, 0) << runs[0].err;
  EXPECT_EQ(runs[1].status, 1) << runs[1].err;
  EXPECT_EQ(runs[1].out, "");
}

// Results published and the flag lowered, but no report: exit 2.
TEST(ReportUnwritable, ExitsTwoAfterSettling) {
  for (const char* output : {"/dev/full", "no reader"}) {
    SCOPED_TRACE(output);
    Scratch_Dir dir;
    Lay_Out_With_Old_Results(dir, Worked_Day());
    Run_Options options = Limited();
    options.standard_output = output;
    Run_Result run = Run_Settlement(dir, options);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err,
              "fare-settlement: settled; the report could not be written to "
              "standard output\n");
    EXPECT_EQ(dir.Read("enable.txt"), "0");
    EXPECT_EQ(dir.Read("Total_Bus_Data.txt"), "300,1,2648");
    EXPECT_EQ(dir.Read("Total_Metro_Data.txt"), "280,0,5349");
  }
}

// A standard descriptor closed at the start is never taken by a file of the
// run: the outputs hold exactly their results, and no other file appears.
TEST(ClosedStandardDescriptors, NoFileOfTheRunTakesOne) {
  const std::vector<std::vector<int>> closed_sets = {
      {0}, {1}, {2}, {0, 1}, {0, 1, 2}};
  for (const std::vector<int>& closed : closed_sets) {
    SCOPED_TRACE(::testing::PrintToString(closed));
    Scratch_Dir dir;
    Lay_Out_With_Old_Results(dir, Worked_Day());
    std::vector<std::string> names = Names_In(dir.Path());
    Run_Options options = Limited();
    options.closed_descriptors = closed;
    Run_Result run = Run_Settlement(dir, options);
    EXPECT_EQ(run.status, 0) << run.err;
    bool output_closed = std::count(closed.begin(), closed.end(), 1) > 0;
    EXPECT_EQ(run.out, output_closed ? ""
                                     : "wait\nResult\nBus: 2648 won\n"
                                       "Metro: 5349 won\n");
    EXPECT_EQ(dir.Read("trans_history.txt"),
              "200,1,1,0,T2\n150,0,1,1050,T2\n270,0,1,100 T2\nEND");
    EXPECT_EQ(dir.Read("Total_Bus_Data.txt"), "300,1,2648");
    EXPECT_EQ(dir.Read("Total_Metro_Data.txt"), "280,0,5349");
    EXPECT_EQ(dir.Read("enable.txt"), "0");
    EXPECT_EQ(Names_In(dir.Path()), names);
  }
}

// An output that is a symlink stays one, and the file it leads to gets the
// new content; a link to a missing file creates it. No temporary is left
// beside the link or the target.
TEST(OutputLinks, AreWrittenThrough) {
  Scratch_Dir dir;
  Lay_Out_With_Old_Results(dir, Worked_Day());
  fs::create_directory(dir.File("shared"));
  for (const char* name : {"Total_Bus_Data.txt", "trans_history.txt"}) {
    dir.Write(std::string("shared/") + name, "old");
    fs::remove(dir.File(name));
    fs::create_symlink(std::string("shared/") + name, dir.File(name));
  }
  fs::remove(dir.File("Total_Metro_Data.txt"));
  fs::create_symlink(dir.File("shared/metro-new.txt"),
                     dir.File("Total_Metro_Data.txt"));
  Run_Result run = Run_Settlement(dir, Limited());
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* name :
       {"Total_Bus_Data.txt", "trans_history.txt", "Total_Metro_Data.txt"})
    EXPECT_TRUE(fs::is_symlink(dir.File(name))) << name;
  EXPECT_EQ(dir.Read("shared/Total_Bus_Data.txt"), "300,1,2648");
  EXPECT_EQ(dir.Read("shared/metro-new.txt"), "280,0,5349");
  EXPECT_EQ(dir.Read("shared/trans_history.txt"),
            "200,1,1,0,T2\n150,0,1,1050,T2\n270,0,1,100 T2\nEND");
  EXPECT_EQ(Hidden_Files(dir.Path()), std::vector<std::string>{});
  EXPECT_EQ(Hidden_Files(dir.File("shared")), std::vector<std::string>{});
}

// A folder shared by several users (mode 1777, owned by root) where the
// metro summary is root's: the caller, nobody, may not replace it. The run
// finds that before its first rename and leaves every output old.
TEST(StickyDirectory, AnotherUsersTargetIsFoundBeforeAnyRename) {
  if (::geteuid() != 0 || !Permissions_Apply())
    GTEST_SKIP() << "needs root to give the files to two users";
  Scratch_Dir dir;
  Lay_Out_With_Old_Results(dir, Worked_Day());
  Give_To_Unprivileged_User(dir.Path());
  ASSERT_EQ(::chown(dir.Path().c_str(), 0, 0), 0);
  ASSERT_EQ(::chmod(dir.Path().c_str(), 01777), 0);
  ASSERT_EQ(::chown(dir.File("Total_Metro_Data.txt").c_str(), 0, 0), 0);
  Run_Options options = Limited();
  options.unprivileged = true;
  Run_Result run = Run_Settlement(dir, options);
  Expect_Clean_Failure(dir, run, "Total_Metro_Data.txt", OLD_BUS, OLD_METRO);
  EXPECT_EQ(run.err,
            "fare-settlement: Total_Metro_Data.txt: cannot replace: it belongs "
            "to another user and its directory is sticky\n");
}

// The processor time process pid has used so far, in clock ticks.
long Cpu_Ticks(int pid) {
  std::string stat = Read_File("/proc/" + std::to_string(pid) + "/stat");
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) stime = std::stol(field);
  }
  return utime + stime;
}

// Whether an audit's mark (a shared lock of byte 0) is on the directory.
bool Audit_Marked(const std::string& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct flock range {};
  range.l_type = F_WRLCK;
  range.l_whence = SEEK_SET;
  range.l_start = 0;
  range.l_len = 1;
  bool marked = fd >= 0 && ::fcntl(fd, F_OFD_GETLK, &range) == 0 &&
                range.l_type != F_UNLCK;
  if (fd >= 0) ::close(fd);
  return marked;
}

// Holds the audit's mark on dir from another process, as an audit does;
// returns what ends it.
std::function<void()> Hold_Mark_In_Child(const std::string& dir) {
  int ready[2];
  int release[2];
  if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(release, O_CLOEXEC) != 0)
    return [] {};
  pid_t child = ::fork();
  if (child == 0) {
    ::close(ready[0]);
    ::close(release[1]);
    Day_Lock mark(dir, Day_Lock::AUDIT);
    char byte = 1;
    if (::write(ready[1], &byte, 1) != 1) ::_exit(1);
    while (::read(release[0], &byte, 1) < 0 && errno == EINTR) {
    }
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(release[0]);
  char byte = 0;
  EXPECT_EQ(::read(ready[0], &byte, 1), 1);
  ::close(ready[0]);
  return [child, release_fd = release[1]] {
    ::close(release_fd);
    ::waitpid(child, nullptr, 0);
  };
}

// Stops a real audit of dir (SIGSTOP) while it holds its mark, reading the
// day; returns what lets it go on and reaps it.
std::function<void()> Hold_Mark_With_Stopped_Audit(const std::string& dir) {
  for (int attempt = 0; attempt < 20; ++attempt) {
    Run_Options options;
    options.program = Audit_Exe();
    options.time_limit_seconds = 120;
    Started_Run audit = Start_Run(dir, options);
    for (int polls = 0; polls < 5000 && !Audit_Marked(dir); ++polls)
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    ::kill(audit.pid, SIGSTOP);
    if (Audit_Marked(dir))
      return [audit] {
        ::kill(audit.pid, SIGCONT);
        Finish_Run(audit);
      };
    ::kill(audit.pid, SIGCONT);  // it had finished its reading: again
    Finish_Run(audit);
  }
  ADD_FAILURE() << "no audit was caught holding its mark";
  return [] {};
}

struct Mark_Holder {
  const char* name;
  std::function<void()> (*hold)(const std::string& dir);
};

void PrintTo(const Mark_Holder& holder, std::ostream* os) {
  *os << holder.name;
}

class Audit_Mark : public testing::TestWithParam<Mark_Holder> {};

// While an audit holds the directory, the run has printed "wait", says once
// on standard error that it waits, sleeps (a few ticks of processor time
// over seconds) and settles once the audit is gone.
TEST_P(Audit_Mark, RunSaysItWaitsSleepsAndSettlesAfter) {
  Scratch_Dir dir;
  Day day = Large_Day();
  Lay_Out_With_Old_Results(dir, day);
  std::function<void()> release = GetParam().hold(dir.Path());
  Scratch_Dir logs;
  Run_Options options = Limited();
  options.output_files = logs.File("run");
  Started_Run run = Start_Run(dir.Path(), options);
  const std::string waiting =
      "fare-settlement: waiting for an audit of this directory to finish\n";
  ASSERT_TRUE(Wait_For_Text(logs.File("run.err"), waiting));
  long ticks_before = Cpu_Ticks(run.pid);
  std::this_thread::sleep_for(std::chrono::seconds(3));
  long ticks_waiting = Cpu_Ticks(run.pid) - ticks_before;
  EXPECT_EQ(Read_File(logs.File("run.out")), "wait\n");
  EXPECT_EQ(dir.Read("enable.txt"), "1");
  EXPECT_TRUE(Old_Outputs(Outputs_Of(dir)));
  release();
  int status = 0;
  ::waitpid(run.pid, &status, 0);
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
  EXPECT_EQ(Read_File(logs.File("run.err")), waiting);
  EXPECT_TRUE(New_Outputs(Outputs_Of(dir), model::Settle(day.files)));
  EXPECT_EQ(dir.Read("enable.txt"), "0");
  // Looking once a second costs nothing measurable; a busy loop takes all
  // of a processor (300 ticks in these 3 s).
  EXPECT_LE(ticks_waiting, 30);
}

INSTANTIATE_TEST_SUITE_P(
    Holders, Audit_Mark,
    testing::Values(Mark_Holder{"AnotherProcess", Hold_Mark_In_Child},
                    Mark_Holder{"StoppedAudit", Hold_Mark_With_Stopped_Audit}),
    [](const testing::TestParamInfo<Mark_Holder>& param_info) {
      return std::string(param_info.param.name);
    });

// The working directory removed while the run waits for the flag: the run
// says so in those words as soon as it looks, and stops.
TEST(RemovedDirectory, DuringTheWaitIsSaidInThoseWords) {
  auto dir = std::make_unique<Scratch_Dir>();
  Lay_Out_Day(*dir, Worked_Day());
  dir->Write("enable.txt", "0");
  Scratch_Dir logs;
  Run_Options options = Limited();
  options.output_files = logs.File("run");
  Started_Run run = Start_Run(dir->Path(), options);
  ASSERT_TRUE(Wait_For_Text(logs.File("run.out"), "wait\n"));
  dir.reset();  // removes the folder and everything in it
  int status = 0;
  ::waitpid(run.pid, &status, 0);
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
  EXPECT_EQ(Read_File(logs.File("run.err")),
            "fare-settlement: the working directory was removed during the "
            "wait\n");
}

// Under any address-space limit from 8 MiB up the run either settles or
// says it ran out of memory, and where, with the clean failure's status
// and files; never an abort. The limits run until runs settle.
TEST(AddressSpaceLimit, SettlesOrSaysOutOfMemory) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "AddressSanitizer needs terabytes of address space";
#endif
  Day day = Day_With_Long_History();
  model::Outcome want = model::Settle(day.files);
  const std::regex out_of_memory(
      "fare-settlement: out of memory while (starting|waiting for the flag|"
      "reading the payment files|separating the transfer journeys|totalling "
      "the ordinary revenue|apportioning the transfer journeys|writing the "
      "results)\n");
  std::vector<std::unique_ptr<Scratch_Dir>> dirs;
  std::vector<Started_Run> runs;
  for (long long mib = 8; mib <= 64; mib += 2) {
    dirs.push_back(std::make_unique<Scratch_Dir>());
    Lay_Out_With_Old_Results(*dirs.back(), day);
    Run_Options options = Limited();
    options.memory_limit = mib << 20;
    runs.push_back(Start_Run(dirs.back()->Path(), options));
  }
  int settled = 0;
  for (std::size_t k = 0; k < runs.size(); ++k) {
    Run_Result run = Finish_Run(runs[k]);
    const Scratch_Dir& dir = *dirs[k];
    SCOPED_TRACE(std::to_string(8 + 2 * k) + " MiB");
    if (run.status == 0) {
      ++settled;
      EXPECT_TRUE(New_Outputs(Outputs_Of(dir), want));
      EXPECT_EQ(dir.Read("enable.txt"), "0");
      continue;
    }
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_TRUE(std::regex_match(run.err, out_of_memory)) << run.err;
    EXPECT_TRUE(Old_Outputs(Outputs_Of(dir)));
    EXPECT_EQ(dir.Read("enable.txt"), "1");
    EXPECT_EQ(Hidden_Files(dir.Path()), std::vector<std::string>{});
  }
  EXPECT_GT(settled, 0);
  EXPECT_LT(settled, static_cast<int>(runs.size()));
}

}  // namespace
