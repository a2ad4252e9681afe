// fare-audit: recomputes a settled day from its payment files with the
// settlement's own code, checks the settlement's outputs against it and
// reports where the revenue went.
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <future>
#include <memory>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "Audit_Csv.h"
#include "Audit_Html.h"
#include "Audit_Json.h"
#include "Audit_Options.h"
#include "Audit_Recompute.h"
#include "Audit_Rejects.h"
#include "Audit_Report.h"
#include "Audit_Text.h"
#include "Memory.h"
#include "Standard_Streams.h"

namespace {

// An output path that stays valid after the change into the day's
// directory; empty stays empty.
std::string Absolute(const std::string& path) {
  return path.empty() ? path : std::filesystem::absolute(path).string();
}

// The day's directory as the reports name it: absolute, without dots.
std::string Shown_Directory(const std::string& dir) {
  std::string shown =
      std::filesystem::absolute(dir).lexically_normal().string();
  if (shown.size() > 1 && shown.back() == '/') shown.pop_back();
  return shown;
}

// An output file asked for, created (under a temporary name) before the
// audit starts so that an unusable path fails before anything is printed.
// A device or FIFO is written in place.
std::optional<Staged_File> Open_Output(const std::string& path) {
  std::optional<Staged_File> file;
  if (!path.empty()) file.emplace(path, true);
  return file;
}

// Refuses outputs that would destroy what the audit reads, or each other:
// an output that is a directory, one given twice (a rejects file too), or
// one that is a file of the day, whether it exists yet or not (compared as
// files after following links, and by path).
void Check_Outputs_Apart(const Audit_Options& options) {
  std::vector<std::pair<const char*, std::string>> outputs;
  for (auto [name, path] :
       {std::pair{"--journeys", &options.journeys_csv},
        std::pair{"--json", &options.json}, std::pair{"--html", &options.html}})
    if (!path->empty()) outputs.emplace_back(name, Absolute(*path));
  if (!options.rejects_dir.empty())
    for (int i = 0; i < 6; ++i)
      outputs.emplace_back("--rejects", Absolute(options.rejects_dir) + "/" +
                                            Rejects_Name(AUDITED_FILES[i]));
  std::vector<std::string> inputs;
  for (const char* file : AUDITED_FILES) inputs.push_back(file);
  inputs.push_back(FLAG_FILE);
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const std::string& path = outputs[i].second;
    struct stat status;
    if (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
      Fail(path, 0, std::string(outputs[i].first) + " names a directory");
    for (std::size_t j = 0; j < i; ++j) {
      if (Same_File(path, outputs[j].second))
        Fail(path, 0,
             std::string("named by both ") + outputs[j].first + " and " +
                 outputs[i].first);
    }
    for (const std::string& input : inputs) {
      if (Same_File(path, options.dir + "/" + input))
        Fail(path, 0,
             std::string(outputs[i].first) + " names " + input +
                 ", a file the audit reads");
    }
  }
}

void Write_Output(std::optional<Staged_File>& file, const std::string& bytes) {
  if (!file) return;
  file->Write(bytes);
  file->Finish(false);
  file->Publish();
}

void Print(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  if (std::fflush(stream) != 0 || std::ferror(stream))
    Fail(stream == stdout ? "standard output" : "standard error", 0,
         "cannot write");
}

// Recomputes the day and checks the outputs against it, keeping the journey
// warnings, and any journey the settlement cannot apportion as a problem
// (whose outputs are then not checked: the settlement cannot have written
// them).
void Settle_And_Check(Audit_Outcome& outcome, Journey_Observer* csv,
                      Journey_Warnings& journey_warnings,
                      File_Problems& journey_problems) {
  Found_Outputs found;
  // The files are hashed on a second thread while the day is recomputed.
  std::future<std::vector<File_Digest>> digests =
      std::async(std::launch::async, [&found] { return Digest_Inputs(found); });
  Journey_Tee sinks(csv, &journey_warnings);
  Unsettled_Journeys unsettled;
  unsettled.keep = outcome.Problems_Kept();
  // Throws for what stops the settlement before its journeys: a bad line,
  // an unreadable file, more records than a run can hold.
  outcome.figures = Recompute_Settlement(&sinks, unsettled);
  for (std::string& problem : unsettled.first)
    journey_problems.kept.push_back({0, std::move(problem), ""});
  journey_problems.count = unsettled.count;
  if (!journey_problems.empty()) {
    digests.wait();
    return;
  }
  outcome.inputs = digests.get();
  outcome.differences = Check_Outputs(outcome.figures, found);
}

// Reads every line of the payment files and, at the same time (on a day
// with good lines most of the audit's work), recomputes and checks the day.
// A day with bad lines keeps only what the reading found: its settlement
// fails at the first bad line and its outputs need not exist. A day with
// journeys that cannot be apportioned keeps them and the warnings, but no
// figures: the settlement would have settled nothing.
void Scan_Settle_And_Check(Audit_Outcome& outcome, Journey_Observer* csv,
                           Problem_Sink* rejects) {
  std::future<Scan_Result> scan = std::async(
      std::launch::async, Scan_Payment_Files, outcome.Problems_Kept(), rejects);
  Journey_Warnings journey_warnings;
  File_Problems journey_problems;
  std::exception_ptr settle_failure;
  try {
    Settle_And_Check(outcome, csv, journey_warnings, journey_problems);
  } catch (const Settlement_Error&) {
    settle_failure = std::current_exception();
  }
  outcome.scan = scan.get();
  if (!outcome.Bad_Input()) {
    if (settle_failure) std::rethrow_exception(settle_failure);
    // Every journey was read, so the warnings about them are complete but
    // for those that cannot be apportioned, which are problems instead.
    outcome.scan.journey_problems = std::move(journey_problems);
    journey_warnings.Add_To(outcome.scan);
  }
  // Bad lines, or (now that they are in) journeys that cannot be
  // apportioned: nothing was settled.
  if (outcome.Bad_Input()) {
    Audit_Outcome unsettled;
    outcome.figures = unsettled.figures;
    outcome.differences.clear();
    outcome.inputs.clear();
  }
}

// Standard error: each difference, or the first problem as the settlement
// would name it and how many there are in all.
std::string Error_Lines(const Audit_Outcome& outcome) {
  std::string lines;
  for (const Difference& d : outcome.differences)
    lines += "fare-audit: " + d.file + ": " + d.problem + "\n";
  const Scan_Result& scan = outcome.scan;
  if (!outcome.Bad_Input()) return lines;
  for (int i = 0; i < 6 && lines.empty(); ++i)
    if (!scan.problems[i].empty())
      lines =
          "fare-audit: " + scan.problems[i].kept[0].Place(AUDITED_FILES[i]) +
          ": " + scan.problems[i].kept[0].problem + "\n";
  if (lines.empty())
    lines = "fare-audit: " + scan.journey_problems.kept[0].problem + "\n";
  if (scan.Problem_Count() > 1)
    lines += "fare-audit: " + std::to_string(scan.Problem_Count()) +
             " problems in all, listed in the report\n";
  return lines;
}

// Runs the audit; returns the exit status, 0 consistent, 1 not, 2 bad input.
int Run_Audit(const Audit_Options& options) {
  Check_Outputs_Apart(options);
  std::string rejects_dir = Absolute(options.rejects_dir);
  if (!rejects_dir.empty()) Check_Rejects_Dir(rejects_dir);
  Audit_Outcome outcome;
  outcome.dir = Shown_Directory(options.dir);
  Day_Lock lock(options.dir, Day_Lock::AUDIT);
  std::unique_ptr<Csv_Journeys> csv;
  if (!options.journeys_csv.empty())
    csv = std::make_unique<Csv_Journeys>(Absolute(options.journeys_csv));
  std::optional<Staged_File> json = Open_Output(Absolute(options.json));
  std::optional<Staged_File> html = Open_Output(Absolute(options.html));
  if (::chdir(options.dir.c_str()) != 0)
    Fail_Errno(options.dir, "cannot enter directory");

  outcome.max_problems = options.max_problems;
  std::optional<Rejects_Files> rejects;
  if (!rejects_dir.empty()) rejects.emplace(rejects_dir);
  Scan_Settle_And_Check(outcome, csv.get(), rejects ? &*rejects : nullptr);
  if (rejects) outcome.rejects = rejects->Publish();

  Print(stdout, Format_Report(outcome));
  if (csv && !outcome.Bad_Input()) csv->Publish();
  Write_Output(json, Format_Json(outcome));
  Write_Output(html, Format_Html(outcome));
  Print(stderr, Error_Lines(outcome));
  return outcome.Bad_Input() ? 2 : outcome.Consistent() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // Before anything is opened: a closed standard descriptor would be taken
  // by the day's lock or an output, and the report written into it.
  if (!Open_Missing_Standard_Streams()) return 2;
  Use_One_Heap();
  // Writing past a file-size limit then fails with a reportable error.
  std::signal(SIGXFSZ, SIG_IGN);
  Stop_On_Signals("fare-audit");
  Audit_Options options;
  try {
    options = Parse_Options(argc, argv);
  } catch (const Usage_Error& error) {
    std::fprintf(stderr, "fare-audit: %s\n%s", error.what(), Usage_Text());
    return 2;
  }
  if (options.help || options.version) {
    if (options.help)
      std::fputs(Usage_Text(), stdout);
    else
      std::printf("fare-audit %s\n", Version());
    return std::fflush(stdout) == 0 ? 0 : 2;
  }
  try {
    return Run_Audit(options);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "fare-audit: out of memory\n");
  } catch (const std::exception& error) {
    std::fprintf(stderr, "fare-audit: %s\n", error.what());
  }
  return 2;
}
