#include "day_comparison.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <stdexcept>

#include "model/settlement_model.h"
#include "random_day.h"
#include "scratch_dir.h"
#include "settlement_run.h"

namespace {

namespace fs = std::filesystem;

// One day under way: its folder, what was there before, and the run.
struct Case {
  std::uint64_t seed = 0;
  Day day;
  std::string dir;
  std::map<std::string, std::string> before;  // file name -> bytes
  int status = -1;
};

std::string Make_Folder() {
  std::string pattern =
      (fs::temp_directory_path() / "fare-diff.XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("cannot create a folder for a random day");
  return pattern;
}

// Lays out the day with a raised flag and, on most days, the summary files
// and transfer history of an earlier run, which an error must leave alone.
void Lay_Out(Case& c) {
  c.dir = Make_Folder();
  for (std::size_t i = 0; i < c.day.files.size(); ++i)
    c.before[PAYMENT_FILES[i].name] = c.day.files[i];
  c.before["enable.txt"] = "1";
  if (c.seed % 7 != 0) {
    c.before["Total_Bus_Data.txt"] = "17,1,old" + std::to_string(c.seed);
    c.before["Total_Metro_Data.txt"] = "18,0,old" + std::to_string(c.seed);
  }
  if (c.seed % 3 == 0) c.before["trans_history.txt"] = "1,1,1,1,OLD\nEND";
  for (const auto& [name, bytes] : c.before)
    Write_File(c.dir + "/" + name, bytes);
}

pid_t Start(const std::string& executable, const Case& c) {
  Run_Options options;
  options.program = executable.c_str();
  options.output_files = c.dir;
  return Start_Run(c.dir, options).pid;
}

// Describes the first difference between the run and the model; empty
// when they agree in every byte.
std::string Difference(const Case& c, const model::Outcome& want) {
  std::string out = Read_File(c.dir + ".out");
  std::string err = Read_File(c.dir + ".err");
  auto file = [&](const std::string& name) {
    return Read_File(c.dir + "/" + name);
  };
  auto old = [&](const std::string& name) {
    auto it = c.before.find(name);
    return it == c.before.end() ? std::string("<missing>") : it->second;
  };
  for (const Payment_File& payment : PAYMENT_FILES)
    if (file(payment.name) != old(payment.name))
      return std::string(payment.name) + " was changed";
  std::vector<std::string> listed = Names_In(c.dir);
  std::set<std::string> names(listed.begin(), listed.end());
  std::set<std::string> expected_names;
  for (const auto& entry : c.before) expected_names.insert(entry.first);
  if (want.ok) {
    if (c.status != 0)
      return "exit status " + std::to_string(c.status) + ", stderr: " + err;
    if (!err.empty()) return "standard error not empty: " + err;
    if (out != "wait\n" + want.report)
      return "standard output:\n" + out + "\nwanted:\n" + want.report;
    if (file("trans_history.txt") != want.history)
      return "trans_history.txt:\n" + file("trans_history.txt") +
             "\nwanted:\n" + want.history;
    if (file("Total_Bus_Data.txt") != want.bus_summary)
      return "Total_Bus_Data.txt: " + file("Total_Bus_Data.txt") + " wanted " +
             want.bus_summary;
    if (file("Total_Metro_Data.txt") != want.metro_summary)
      return "Total_Metro_Data.txt: " + file("Total_Metro_Data.txt") +
             " wanted " + want.metro_summary;
    if (file("enable.txt") != "0") return "enable.txt: " + file("enable.txt");
    expected_names.insert(
        {"trans_history.txt", "Total_Bus_Data.txt", "Total_Metro_Data.txt"});
  } else {
    std::string where = want.error_file;
    if (want.error_line > 0) where += ":" + std::to_string(want.error_line);
    std::string prefix = "fare-settlement: " + where + ": ";
    if (c.status != 1)
      return "exit status " + std::to_string(c.status) + ", wanted 1 naming " +
             where;
    if (err.compare(0, prefix.size(), prefix) != 0 ||
        err.find('\n') != err.size() - 1)
      return "standard error: " + err + "wanted one line starting " + prefix;
    if (out != "wait\n") return "standard output: " + out;
    // A failed run changes nothing but the flag.
    for (const char* name :
         {"trans_history.txt", "Total_Bus_Data.txt", "Total_Metro_Data.txt"})
      if (file(name) != old(name))
        return std::string(name) + " was changed: " + file(name);
    if (file("enable.txt") != "1") return "enable.txt: " + file("enable.txt");
  }
  if (names != expected_names) {
    std::string listing;
    for (const auto& name : names) listing += " " + name;
    return "folder holds:" + listing;
  }
  return "";
}

// Runs the cases, at most `parallel` at a time, recording each exit status.
void Run_All(const std::string& executable, std::vector<Case>& cases,
             int parallel) {
  std::map<pid_t, std::size_t> running;
  std::size_t next = 0;
  while (next < cases.size() || !running.empty()) {
    while (next < cases.size() && static_cast<int>(running.size()) < parallel) {
      running[Start(executable, cases[next])] = next;
      ++next;
    }
    int status = 0;
    pid_t done = ::waitpid(-1, &status, 0);
    if (done < 0) throw std::runtime_error("waitpid failed");
    auto it = running.find(done);
    if (it == running.end()) continue;
    cases[it->second].status =
        WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    running.erase(it);
  }
}

}  // namespace

Comparison_Summary Compare_Days(const std::string& executable,
                                std::uint64_t first, int count, int parallel) {
  std::vector<Case> cases(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    cases[i].seed = first + static_cast<std::uint64_t>(i);
    cases[i].day = Random_Day(cases[i].seed);
    Lay_Out(cases[i]);
  }
  Run_All(executable, cases, parallel);
  Comparison_Summary summary;
  for (Case& c : cases) {
    model::Outcome want = model::Settle(c.day.files);
    ++summary.days;
    if (!want.ok) ++summary.error_days;
    std::string difference = Difference(c, want);
    if (difference.empty()) {
      std::error_code ignored;
      fs::remove_all(c.dir, ignored);
      fs::remove(c.dir + ".out", ignored);
      fs::remove(c.dir + ".err", ignored);
    } else {
      summary.failures.push_back("seed " + std::to_string(c.seed) +
                                 " (folder kept: " + c.dir +
                                 "): " + difference);
    }
  }
  return summary;
}
