// fare-bench: times the settlement stages on a generated day and checks
// their outputs.
//
//   fare-bench table DIR RUNS   runs the day in DIR RUNS times, each in a
//                               fresh process, prints the median time of
//                               each stage, taps/s, MB/s, peak memory and
//                               the time of a plain cat of the input, then
//                               checks the outputs against the sort-based
//                               reference settlement
//   fare-bench table DIR RUNS PEER...
//                               the same, then runs the command PEER... DIR
//                               (a SQL engine settling the day, printing
//                               "BUS METRO SECONDS") up to 3 times, checks
//                               its totals and prints the ratio
//   fare-bench literal DIR      checks the transfer separation against the
//                               literal one (quadratic: small days only)
//   fare-bench crafted CRAFTED RANDOM RUNS AUDIT
//                               times the settlement (fare-bench once) and
//                               the audit program AUDIT on the day of
//                               colliding texts in CRAFTED and the day of
//                               random texts in RANDOM (fare-gen-crafted),
//                               the least of RUNS runs each, and fails when
//                               either takes more than CRAFTED_LIMIT times
//                               the CPU time on the crafted day
//   fare-bench once DIR         one timed run (used by table)
//
// A run starts right after the flag handshake: the wait is not timed.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Calculating_System.h"
#include "Initiation_control.h"
#include "Journey_Observer.h"
#include "Leg_Table.h"
#include "Record_Line.h"
#include "Staged_File.h"
#include "Transfer_Journeys.h"
#include "reference.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* TIMING_FILE = "bench-timing.txt";
constexpr const char* REPORT_FILE = "bench-report.txt";
constexpr int STAGES = 6;
constexpr const char* STAGE_NAMES[STAGES] = {
    "load payment files",   "separate transfers",  "ordinary bus total",
    "ordinary metro total", "apportion transfers", "end-of-run outputs"};

std::string Day_File(const std::string& dir, int i) {
  return dir + "/" + PAYMENT_FILES[i].name;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

double Seconds_Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// --- once -------------------------------------------------------------------

// The transfer history between its separation and its publication.
std::optional<Staged_File> staged_history;

void Run_Stage(int stage) {
  switch (stage) {
    case 0:
      HistoryData_Reader_Interface("");
      break;
    case 1:
      staged_history.emplace(HistoryData_Reader_Manager());
      break;
    case 2:
      Normal_Bus_Process(&Total_bus_fee);
      break;
    case 3:
      Normal_Metro_Process(&Total_metro_fee);
      break;
    case 4:
      Transfer_Process(Transfer_Journeys);
      break;
    default:
      End_Process(*staged_history);
      staged_history.reset();
      break;
  }
}

int Run_Once(const std::string& dir) {
  if (::chdir(dir.c_str()) != 0) Fail_Os(dir, "cannot enter");
  Create_Settlement_State();
  Write_Flag('1');
  double seconds[STAGES];
  for (int stage = 0; stage < STAGES; ++stage) {
    Clock::time_point start = Clock::now();
    Run_Stage(stage);
    seconds[stage] = Seconds_Since(start);
  }
  std::ofstream timing(TIMING_FILE);
  for (double s : seconds) timing << s << "\n";
  return timing ? 0 : 1;
}

// --- table ------------------------------------------------------------------

struct Child {
  double wall = 0;
  double cpu = 0;  // user + system
  long max_rss_kib = 0;
  int status = -1;
};

// Runs argv with stdout to out_path (or /dev/null), timing it.
Child Spawn(std::vector<std::string> args, const std::string& out_path) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  Child child;
  pid_t pid;
  Clock::time_point start = Clock::now();
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
    Fail(args[0], 0, "cannot start");
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  child.wall = Seconds_Since(start);
  posix_spawn_file_actions_destroy(&actions);
  child.max_rss_kib = usage.ru_maxrss;
  child.cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 +
              usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
  child.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
  return child;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Day_Size {
  long long taps = 0;
  double megabytes = 0;
};

Day_Size Measure_Day(const std::string& dir) {
  Day_Size size;
  for (int i = 0; i < 6; ++i) {
    std::string bytes = Slurp(Day_File(dir, i));
    size.taps += std::count(bytes.begin(), bytes.end(), '\n');
    if (!bytes.empty() && bytes.back() != '\n') ++size.taps;
    size.megabytes += bytes.size() / 1e6;
  }
  return size;
}

void Print_Row(const char* name, double seconds, const Day_Size& size) {
  std::printf("  %-22s %9.3f s %12.0f %9.1f\n", name, seconds,
              size.taps / seconds, size.megabytes / seconds);
}

// The expected outputs of the day, computed once and kept beside it.
Reference_Result Expected(const std::string& dir) {
  std::string cache = dir + "/expected";
  std::ifstream in(cache + ".totals");
  Reference_Result expected;
  if (in >> expected.bus_fee >> expected.metro_fee >> expected.bus_tag >>
      expected.metro_tag) {
    expected.history = Slurp(cache + ".history");
    return expected;
  }
  std::fprintf(stderr, "computing the reference settlement of %s\n",
               dir.c_str());
  expected = Reference_Settle(dir);
  std::ofstream(cache + ".history", std::ios::binary) << expected.history;
  std::ofstream(cache + ".totals")
      << expected.bus_fee << " " << expected.metro_fee << " "
      << expected.bus_tag << " " << expected.metro_tag << "\n";
  return expected;
}

// Compares the outputs the last run left in dir with the reference.
bool Check_Outputs(const std::string& dir) {
  Reference_Result expected = Expected(dir);
  bool ok = true;
  auto check = [&](const char* what, const std::string& got,
                   const std::string& want) {
    if (got == want) return;
    std::printf("  MISMATCH in %s\n", what);
    ok = false;
  };
  check(HISTORY_FILE, Slurp(dir + "/" + HISTORY_FILE), expected.history);
  check(BUS_SUMMARY_FILE, Slurp(dir + "/" + BUS_SUMMARY_FILE),
        Summary_Line(expected.bus_tag, BUS, expected.bus_fee));
  check(METRO_SUMMARY_FILE, Slurp(dir + "/" + METRO_SUMMARY_FILE),
        Summary_Line(expected.metro_tag, METRO, expected.metro_fee));
  check("report", Slurp(dir + "/" + REPORT_FILE),
        Report_Text(expected.bus_fee, expected.metro_fee));
  return ok;
}

// The figures of the program's runs that the peer's are set against.
struct Program_Figures {
  double wall = 0;
  double cpu = 0;
  double rss_mib = 0;
};

// Runs the peer command (which prints "BUS METRO SECONDS" for the day in
// dir) runs times, checks its totals against the reference settlement and
// prints its median query time and the ratio to the program's.
bool Run_Peer(std::vector<std::string> peer, const std::string& dir, int runs,
              const Program_Figures& program) {
  peer.push_back(dir);
  Reference_Result expected = Expected(dir);
  const std::string out = dir + "/bench-peer.txt";
  std::vector<double> query, wall, cpu;
  long max_rss = 0;
  bool same = true;
  for (int run = 0; run < runs; ++run) {
    Child child = Spawn(peer, out);
    long long bus = 0, metro = 0;
    double seconds = 0;
    std::ifstream result(out);
    if (child.status != 0 || !(result >> bus >> metro >> seconds)) {
      std::printf("  SQL engine: the query failed\n");
      return false;
    }
    same = same && bus == expected.bus_fee && metro == expected.metro_fee;
    query.push_back(seconds);
    wall.push_back(child.wall);
    cpu.push_back(child.cpu);
    max_rss = std::max(max_rss, child.max_rss_kib);
  }
  std::printf(
      "  SQL engine (median of %d runs): query %.3f s; whole process %.3f s "
      "wall, %.3f s CPU, peak RSS %.0f MiB\n",
      runs, Median(query), Median(wall), Median(cpu), max_rss / 1024.0);
  std::printf("  SQL engine totals %s the reference settlement's\n",
              same ? "equal" : "DIFFER FROM");
  std::printf(
      "  program vs SQL engine: %.1f x faster (query time / program's whole "
      "process wall time), %.1f x less CPU, %.1f x less memory\n",
      Median(query) / program.wall, Median(cpu) / program.cpu,
      max_rss / 1024.0 / program.rss_mib);
  return same;
}

int Run_Table(const std::string& self, const std::string& dir, int runs,
              const std::vector<std::string>& peer) {
  Day_Size size = Measure_Day(dir);
  std::vector<double> stage_times[STAGES], totals, cat_times, cpu_times,
      process_times;
  long max_rss = 0;
  for (int run = 0; run < runs; ++run) {
    Child child = Spawn({self, "once", dir}, dir + "/" + REPORT_FILE);
    if (child.status != 0) Fail(dir, 0, "a timed run failed");
    max_rss = std::max(max_rss, child.max_rss_kib);
    cpu_times.push_back(child.cpu);
    process_times.push_back(child.wall);
    std::ifstream timing(dir + "/" + TIMING_FILE);
    double sum = 0;
    for (auto& times : stage_times) {
      double s = 0;
      timing >> s;
      times.push_back(s);
      sum += s;
    }
    totals.push_back(sum);
    std::vector<std::string> cat{"/bin/cat"};
    for (int i = 0; i < 6; ++i) cat.push_back(Day_File(dir, i));
    cat_times.push_back(Spawn(cat, "/dev/null").wall);
  }
  std::printf("%s: %lld taps, %.1f MB of input, median of %d runs\n",
              dir.c_str(), size.taps, size.megabytes, runs);
  std::printf("  %-22s %11s %12s %9s\n", "stage", "time", "taps/s", "MB/s");
  for (int stage = 0; stage < STAGES; ++stage)
    Print_Row(STAGE_NAMES[stage], Median(stage_times[stage]), size);
  Print_Row("total", Median(totals), size);
  Print_Row("cat of the input", Median(cat_times), size);
  std::printf(
      "  whole process %.3f s wall (start and exit included), %.3f s CPU "
      "(user + system, both threads)\n",
      Median(process_times), Median(cpu_times));
  std::printf("  peak RSS %.0f MiB = %.2f x the input\n", max_rss / 1024.0,
              max_rss * 1024.0 / (size.megabytes * 1e6));
  bool ok = Check_Outputs(dir);
  std::printf("  outputs %s the reference settlement\n",
              ok ? "match" : "DO NOT match");
  if (!peer.empty())
    ok = Run_Peer(
             peer, dir, std::min(runs, 3),
             {Median(process_times), Median(cpu_times), max_rss / 1024.0}) &&
         ok;
  std::fflush(stdout);
  return ok ? 0 : 1;
}

// --- literal ----------------------------------------------------------------

// The records left in the six lists, as history lines.
std::string Remaining_Records() {
  std::string out;
  for (const Payment_File& file : PAYMENT_FILES) {
    Record_List list = file.List();
    for (History_Data* n = list.header->next; n != list.tailer; n = n->next)
      Append_Record_Line(out, n->data, ',');
    out += "--\n";
  }
  return out;
}

int Run_Literal(const std::string& dir) {
  if (::chdir(dir.c_str()) != 0) Fail_Os(dir, "cannot enter");
  Create_Settlement_State();
  HistoryData_Reader_Interface("");
  std::string literal;
  Clock::time_point start = Clock::now();
  Literal_Separate_Transfers(literal);
  double literal_seconds = Seconds_Since(start);
  std::string literal_left = Remaining_Records();

  Create_Settlement_State();
  HistoryData_Reader_Interface("");
  std::string fast;
  start = Clock::now();
  Unsettled_Journeys unsettled;
  Separate_Transfers(fast, unsettled);
  unsettled.Raise_First();
  double fast_seconds = Seconds_Since(start);
  bool same = fast == literal && Remaining_Records() == literal_left;
  std::printf("%s: literal separation %.3f s, indexed separation %.3f s: %s\n",
              dir.c_str(), literal_seconds, fast_seconds,
              same ? "same history and same lists left" : "THEY DIFFER");
  bool reference = Reference_Settle(".").history == literal;
  std::printf("  sort-based reference history %s\n",
              reference ? "matches" : "DIFFERS");
  return same && reference ? 0 : 1;
}

// --- crafted ----------------------------------------------------------------

// A day of colliding texts may cost this many times the CPU time of a day of
// random texts of the same shape: room for a loaded machine, far below the
// hundreds that a quadratic look-up costs.
constexpr double CRAFTED_LIMIT = 4;

// The least wall and CPU time of runs runs of args.
Child Least_Of(const std::vector<std::string>& args, int runs) {
  Child least;
  for (int run = 0; run < runs; ++run) {
    Child child = Spawn(args, "/dev/null");
    if (child.status != 0) Fail(args.back(), 0, "a timed run failed");
    least.wall = run == 0 ? child.wall : std::min(least.wall, child.wall);
    least.cpu = run == 0 ? child.cpu : std::min(least.cpu, child.cpu);
  }
  return least;
}

int Run_Crafted(const std::string& self, const std::string& crafted,
                const std::string& random, int runs, const std::string& audit) {
  Day_Size size = Measure_Day(crafted);
  std::printf(
      "%s: %lld taps, %.1f MB of input, texts crafted to collide under a fixed "
      "hash, against %s (random texts); least of %d runs\n",
      crafted.c_str(), size.taps, size.megabytes, random.c_str(), runs);
  std::printf("  %-11s %21s %21s %9s\n", "", "random: wall / CPU",
              "crafted: wall / CPU", "CPU ratio");
  // Each command is given the day's directory; the settlement runs first,
  // so the audit (exit 0: consistent) checks its outputs.
  const struct {
    const char* name;
    std::vector<std::string> command;
  } programs[] = {{"settlement", {self, "once"}}, {"audit", {audit}}};
  bool ok = true;
  for (const auto& [program, command] : programs) {
    auto on = [&](const std::string& dir) {
      std::vector<std::string> args = command;
      args.push_back(dir);
      return args;
    };
    Child plain = Least_Of(on(random), runs);
    Child collide = Least_Of(on(crafted), runs);
    double ratio = collide.cpu / plain.cpu;
    std::printf("  %-11s %9.3f s / %.3f s %9.3f s / %.3f s %9.2f%s\n", program,
                plain.wall, plain.cpu, collide.wall, collide.cpu, ratio,
                ratio > CRAFTED_LIMIT ? " (OVER THE LIMIT)" : "");
    ok = ok && ratio <= CRAFTED_LIMIT;
  }
  std::printf("  limit of the ratio: %.0f\n", CRAFTED_LIMIT);
  std::fflush(stdout);
  return ok ? 0 : 1;
}

// --- legs -------------------------------------------------------------------

// The worst journey the apportionment accepts: the most legs, and times that
// repeat (ten distinct values), so that the exchange sort runs in full.
int Run_Legs(int runs) {
  double best = 1e9;
  std::int64_t bus = 0, metro = 0;
  for (int run = 0; run < runs; ++run) {
    Leg_Table legs;
    for (std::size_t i = 0; i < MAX_JOURNEY_LEGS; ++i)
      legs.push_back({static_cast<std::int32_t>((i * 7919) % 10),
                      i % 2 == 0 ? BUS : METRO,
                      static_cast<std::int32_t>(i % 1300)});
    bus = metro = 0;
    Clock::time_point start = Clock::now();
    Sort_Legs(legs);
    calculate(legs, &bus, &metro, "WORST");
    best = std::min(best, Seconds_Since(start));
  }
  std::printf(
      "journey of %zu legs, heavy ties: %.3f s (best of %d)"
      " bus %lld metro %lld\n",
      MAX_JOURNEY_LEGS, best, runs, static_cast<long long>(bus),
      static_cast<long long>(metro));
  return 0;
}

// The path of this executable, which runs its own timed runs.
std::string Own_Path() {
  char self[4096];
  ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n < 0) Fail_Os("/proc/self/exe", "cannot read");
  return std::string(self, static_cast<std::size_t>(n));
}

}  // namespace

int main(int argc, char** argv) {
  try {
    std::string mode = argc > 2 ? argv[1] : "";
    if (mode == "once") return Run_Once(argv[2]);
    if (mode == "literal") return Run_Literal(argv[2]);
    if (mode == "legs") return Run_Legs(std::atoi(argv[2]));
    if (mode == "table" && argc > 3)
      return Run_Table(Own_Path(), argv[2], std::atoi(argv[3]),
                       std::vector<std::string>(argv + 4, argv + argc));
    if (mode == "crafted" && argc == 6)
      return Run_Crafted(Own_Path(), argv[2], argv[3], std::atoi(argv[4]),
                         argv[5]);
    std::fprintf(stderr,
                 "usage: fare-bench table DIR RUNS [PEER...] | literal DIR | "
                 "once DIR | legs RUNS | crafted CRAFTED RANDOM RUNS AUDIT\n");
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "fare-bench: %s\n", error.what());
    return 1;
  }
}
