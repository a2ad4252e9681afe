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

// One day under way: its folder, what was there before, and the runs.
struct Case {
  std::uint64_t seed = 0;
  Day day;
  std::string dir;
  std::map<std::string, std::string> before;  // file name -> bytes
  int status = -1;                            // of the settlement
  int audit_status = -1;                      // of the audit after it
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

// Starts executable in the day's folder, its output going to OUTPUT.out and
// OUTPUT.err.
pid_t Start(const std::string& executable, const Case& c,
            const std::string& output) {
  Run_Options options;
  options.program = executable.c_str();
  options.output_files = output;
  return Start_Run(c.dir, options).pid;
}

std::string Audit_Output(const Case& c) { return c.dir + ".audit"; }

// Describes how the audit after the run differs from what the model says:
// a settled day is consistent, and a refused one is bad input whose first
// problem is the one the settlement stopped at.
std::string Audit_Difference(const Case& c, const model::Outcome& want) {
  std::string err = Read_File(Audit_Output(c) + ".err");
  if (want.ok)
    return c.audit_status == 0 && err.empty()
               ? ""
               : "audit exit status " + std::to_string(c.audit_status) +
                     ", stderr: " + err;
  std::string settled = Read_File(c.dir + ".err");
  std::string first = "fare-audit: " + settled.substr(settled.find(": ") + 2);
  if (c.audit_status != 2 || err.compare(0, first.size(), first) != 0)
    return "audit exit status " + std::to_string(c.audit_status) +
           ", stderr: " + err + "wanted 2 and first " + first;
  return "";
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

// Runs start(case) for every case, at most `parallel` at a time, recording
// each exit status in the case's member status.
template <typename Start_Case>
void Run_All(std::vector<Case>& cases, int parallel, int Case::*status_of,
             Start_Case start) {
  std::map<pid_t, std::size_t> running;
  std::size_t next = 0;
  while (next < cases.size() || !running.empty()) {
    while (next < cases.size() && static_cast<int>(running.size()) < parallel) {
      running[start(cases[next])] = next;
      ++next;
    }
    int status = 0;
    pid_t done = ::waitpid(-1, &status, 0);
    if (done < 0) throw std::runtime_error("waitpid failed");
    auto it = running.find(done);
    if (it == running.end()) continue;
    cases[it->second].*status_of =
        WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    running.erase(it);
  }
}

}  // namespace

Comparison_Summary Compare_Days(const std::string& executable,
                                const std::string& audit, std::uint64_t first,
                                int count, int parallel) {
  std::vector<Case> cases(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    cases[i].seed = first + static_cast<std::uint64_t>(i);
    cases[i].day = Random_Day(cases[i].seed);
    Lay_Out(cases[i]);
  }
  Run_All(cases, parallel, &Case::status,
          [&](const Case& c) { return Start(executable, c, c.dir); });
  std::vector<std::string> differences;
  for (const Case& c : cases)
    differences.push_back(Difference(c, model::Settle(c.day.files)));
  // The audit reads what the runs left; a folder that already differs is
  // kept as the run left it.
  if (!audit.empty())
    Run_All(cases, parallel, &Case::audit_status,
            [&](const Case& c) { return Start(audit, c, Audit_Output(c)); });
  Comparison_Summary summary;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    model::Outcome want = model::Settle(c.day.files);
    ++summary.days;
    if (!want.ok) ++summary.error_days;
    std::string difference = differences[i];
    if (difference.empty() && !audit.empty())
      difference = Audit_Difference(c, want);
    if (difference.empty()) {
      std::error_code ignored;
      fs::remove_all(c.dir, ignored);
      for (const std::string& output : {c.dir, Audit_Output(c)}) {
        fs::remove(output + ".out", ignored);
        fs::remove(output + ".err", ignored);
      }
    } else {
      summary.failures.push_back("seed " + std::to_string(c.seed) +
                                 " (folder kept: " + c.dir +
                                 "): " + difference);
    }
  }
  return summary;
}
