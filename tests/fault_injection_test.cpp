// Faults put on the program from outside: files it cannot read or write, a
// disk that fills part-way, a kill at any moment. Each must end the run
// with one clear line on standard error, nothing but "wait" on standard
// output, the summary files of the last run untouched and the flag still
// raised; a kill must leave each summary file old or new, never a mix.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <thread>

#include "model/settlement_model.h"
#include "settlement_run.h"

namespace {

namespace fs = std::filesystem;

const std::string OLD_BUS = "5,1,4321";
const std::string OLD_METRO = "6,0,8765";

// A day with the summary files of an earlier run beside it.
void Lay_Out_With_Old_Results(const Scratch_Dir& dir, const Day& day) {
  Lay_Out_Day(dir, day);
  dir.Write("Total_Bus_Data.txt", OLD_BUS);
  dir.Write("Total_Metro_Data.txt", OLD_METRO);
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
  EXPECT_EQ(Summary(dir, "Total_Bus_Data.txt"), bus);
  EXPECT_EQ(Summary(dir, "Total_Metro_Data.txt"), metro);
  EXPECT_EQ(dir.Read("enable.txt"), "1");
  // No staged temporary is left behind.
  for (const auto& entry : fs::directory_iterator(dir.Path()))
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
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
  Run_Options options;
  options.unprivileged = fault.unprivileged;
  Run_Result run = Run_Settlement(dir, options);
  std::string bus = *fault.bus_after ? fault.bus_after : OLD_BUS;
  std::string metro = *fault.metro_after ? fault.metro_after : OLD_METRO;
  Expect_Clean_Failure(dir, run, fault.file, bus, metro);
}

INSTANTIATE_TEST_SUITE_P(Files, Unwritable, testing::ValuesIn(FAULTS),
                         [](const testing::TestParamInfo<Fault>& info) {
                           return std::string(info.param.name);
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
  dir.Write("trans_history.txt", "1,1,1,1,OLD\nEND");
  Run_Options options;
  options.file_size_limit = param.limit;
  Run_Result run = Run_Settlement(dir, options);
  Expect_Clean_Failure(dir, run, param.file, OLD_BUS, OLD_METRO);
}

INSTANTIATE_TEST_SUITE_P(
    Writes, Out_Of_Space,
    testing::Values(Space_Limit{"HistoryPartWay", Day_With_Long_History(), 200,
                                "trans_history.txt"},
                    Space_Limit{"BusSummaryPartWay", SHORT_BUS_LONG_METRO, 5,
                                "Total_Bus_Data.txt"},
                    Space_Limit{"MetroSummaryPartWay", SHORT_BUS_LONG_METRO, 10,
                                "Total_Metro_Data.txt"}),
    [](const testing::TestParamInfo<Space_Limit>& info) {
      return std::string(info.param.name);
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

// Runs the day once to its end, checks it against the model, and returns
// how long the run took in seconds.
double Time_Whole_Run(const Day& day, const model::Outcome& want) {
  auto start = std::chrono::steady_clock::now();
  Scratch_Dir dir;
  Lay_Out_With_Old_Results(dir, day);
  Run_Result run = Run_Settlement(dir);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(dir.Read("Total_Bus_Data.txt"), want.bus_summary);
  EXPECT_EQ(dir.Read("Total_Metro_Data.txt"), want.metro_summary);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
      .count();
}

// Starts one run per folder at once and kills run k delays[k] seconds after
// the start; returns each run's result.
std::vector<Run_Result> Kill_Runs(
    const std::vector<std::unique_ptr<Scratch_Dir>>& dirs,
    const std::vector<double>& delays) {
  std::vector<Started_Run> runs;
  auto launch = std::chrono::steady_clock::now();
  for (const auto& dir : dirs)
    runs.push_back(Start_Settlement(dir->Path(), Run_Options{}));
  std::vector<std::size_t> order(runs.size());
  for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return delays[a] < delays[b];
  });
  for (std::size_t k : order) {
    std::this_thread::sleep_until(launch +
                                  std::chrono::duration<double>(delays[k]));
    ::kill(runs[k].pid, SIGKILL);
  }
  std::vector<Run_Result> results;
  for (const Started_Run& run : runs) results.push_back(Finish_Run(run));
  return results;
}

TEST(Killed, EachSummaryIsOldOrCompleteNew) {
  const Day day = Large_Day();
  model::Outcome want = model::Settle(day.files);
  ASSERT_TRUE(want.ok);
  // The length of a whole run tells over what window to spread the kills:
  // from just before the first poll to just after a whole run's end.
  double whole = Time_Whole_Run(day, want);
  constexpr int KILLS = 16;
  std::mt19937 dice(std::random_device{}());
  std::vector<std::unique_ptr<Scratch_Dir>> dirs;
  std::vector<double> delays;
  for (int k = 0; k < KILLS; ++k) {
    dirs.push_back(std::make_unique<Scratch_Dir>());
    Lay_Out_With_Old_Results(*dirs.back(), day);
    delays.push_back(0.9 +
                     std::uniform_real_distribution<double>(0, whole)(dice));
  }
  std::vector<Run_Result> runs = Kill_Runs(dirs, delays);
  int killed = 0;
  for (int k = 0; k < KILLS; ++k) {
    std::string bus = dirs[k]->Read("Total_Bus_Data.txt");
    std::string metro = dirs[k]->Read("Total_Metro_Data.txt");
    SCOPED_TRACE("killed after " + std::to_string(delays[k]) + " s");
    EXPECT_TRUE(bus == OLD_BUS || bus == want.bus_summary) << bus;
    EXPECT_TRUE(metro == OLD_METRO || metro == want.metro_summary) << metro;
    if (runs[k].status == 128 + SIGKILL) {
      ++killed;
    } else {
      // A run that ended before its kill must have completed.
      EXPECT_EQ(runs[k].status, 0) << runs[k].err;
      EXPECT_EQ(bus, want.bus_summary);
      EXPECT_EQ(metro, want.metro_summary);
    }
  }
  std::printf("%d of %d runs killed (a whole run took %.2f s)\n", killed, KILLS,
              whole);
}

}  // namespace
