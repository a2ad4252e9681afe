// fare-audit: recomputes a settled day from its payment files with the
// settlement's own code, checks the settlement's outputs against it and
// reports where the revenue went.
#include <memory>
#include <new>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "Audit_Csv.h"
#include "Audit_Day.h"
#include "Audit_Html.h"
#include "Audit_Json.h"
#include "Audit_Options.h"
#include "Audit_Rejects.h"
#include "Audit_Report.h"
#include "Audit_Text.h"
#include "Os.h"
#include "Paths.h"
#include "Settlement_Error.h"
#include "Staged_File.h"
#include "Standard_Streams.h"
#include "Stop_Signals.h"

namespace {

const char PROGRAM[] = "fare-audit";

// An output file asked for, created (under a temporary name) before the
// audit starts so that an unusable path fails before anything is printed.
// A device or FIFO is written in place.
std::optional<Staged_File> Open_Output(const std::string &path) {
  std::optional<Staged_File> file;
  if (!path.empty())
    file.emplace(path, true);
  return file;
}

// Refuses outputs that would destroy what the audit reads, or each other:
// an output that is a directory, one given twice (a rejects file too), or
// one that is a file of the day, whether it exists yet or not (compared as
// files after following links, and by path).
void Check_Outputs_Apart(const Audit_Options &options) {
  std::vector<std::pair<const char *, std::string>> outputs;
  for (auto [name, path] :
       {std::pair{"--journeys", &options.journeys_csv},
        std::pair{"--json", &options.json}, std::pair{"--html", &options.html}})
    if (!path->empty())
      outputs.emplace_back(name, Absolute_Path(*path));
  if (!options.rejects_dir.empty())
    for (int i = 0; i < 6; ++i)
      outputs.emplace_back(
          "--rejects",
          Absolute_Path(options.rejects_dir) + "/" +
              Rejects_Name(Day_Folder_Name(options.dir), AUDITED_FILES[i]));
  std::vector<std::string> inputs;
  for (const char *file : AUDITED_FILES)
    inputs.push_back(file);
  inputs.push_back(FLAG_FILE);
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const std::string &path = outputs[i].second;
    if (Os_Kind_Of(path) == Os_Kind::DIRECTORY)
      Fail(path, 0, std::string(outputs[i].first) + " names a directory");
    for (std::size_t j = 0; j < i; ++j) {
      if (Same_File(path, outputs[j].second))
        Fail(path, 0,
             std::string("named by both ") + outputs[j].first + " and " +
                 outputs[i].first);
    }
    for (const std::string &input : inputs) {
      if (Same_File(path, options.dir + "/" + input))
        Fail(path, 0,
             std::string(outputs[i].first) + " names " + input +
                 ", a file the audit reads");
    }
  }
}

void Write_Output(std::optional<Staged_File> &file, const std::string &bytes,
                  Output_Errors &errors) {
  if (!file)
    return;
  errors.Try([&] {
    file->Write(bytes);
    file->Finish(false);
    file->Publish();
  });
  // A temporary that failed goes now, not at exit.
  file.reset();
}

// Standard error: each difference, the outputs not there yet, or the first
// problem as the settlement would name it and how many there are in all.
std::string Error_Lines(const Audit_Outcome &outcome) {
  std::string lines;
  for (const Difference &d : outcome.differences)
    lines += "fare-audit: " + d.file + ": " + d.problem + "\n";
  const Scan_Result &scan = outcome.scan;
  if (outcome.Not_Settled()) {
    std::string names;
    for (const std::string &name : outcome.missing)
      names += (names.empty() ? "" : ", ") + name;
    return "fare-audit: not settled yet (no " + names + ")\n";
  }
  if (!outcome.Bad_Input())
    return lines;
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

// Runs the audit; returns the exit status (Audit_Status). The day's mark
// is held only while its files are read, not while the reports are written.
int Run_Audit(const Audit_Options &options) {
  Check_Outputs_Apart(options);
  std::string rejects_dir = Absolute_Path(options.rejects_dir);
  if (!rejects_dir.empty())
    Check_Rejects_Dir(rejects_dir);
  std::unique_ptr<Csv_Journeys> csv;
  if (!options.journeys_csv.empty())
    csv = std::make_unique<Csv_Journeys>(Absolute_Path(options.journeys_csv));
  std::optional<Staged_File> json = Open_Output(Absolute_Path(options.json));
  std::optional<Staged_File> html = Open_Output(Absolute_Path(options.html));
  std::optional<Rejects_Files> rejects;
  if (!rejects_dir.empty())
    rejects.emplace(rejects_dir, Day_Folder_Name(options.dir));

  Audit_Outcome outcome = Audit_Day(options.dir, options.max_problems,
                                    csv.get(), rejects ? &*rejects : nullptr);
  Output_Errors errors;
  if (rejects)
    outcome.rejects = rejects->Publish(errors);
  errors.Try([&outcome] { Print_Output(Format_Report(outcome)); });
  if (csv && !outcome.Bad_Input())
    csv->Publish(errors);
  Write_Output(json, Format_Json(outcome), errors);
  Write_Output(html, Format_Html(outcome), errors);
  std::string lines = Error_Lines(outcome);
  for (const std::string &error : errors.Messages())
    lines += "fare-audit: " + error + "\n";
  Print_Error(lines);
  return errors.empty() ? outcome.Status() : AUDIT_NOT_DONE;
}

// Everything after the process set-up: the command line, then the audit,
// or the usage or version.
int Audit_Main(int argc, char **argv) {
  Stop_On_Signals(PROGRAM);
  Audit_Options options;
  try {
    options = Parse_Options(argc, argv);
  } catch (const Usage_Error &error) {
    Print_Error_Line(PROGRAM, error.what());
    Print_Error(Usage_Text());
    return AUDIT_NOT_DONE;
  }
  if (options.help || options.version) {
    std::string text = options.help
                           ? std::string(Usage_Text())
                           : std::string("fare-audit ") + Version() + "\n";
    return Os_Write_Standard(OS_STANDARD_OUTPUT, text) ? 0 : AUDIT_NOT_DONE;
  }
  return Run_Audit(options);
}

} // namespace

int main(int argc, char **argv) {
  // Before anything is opened: a closed standard descriptor would be taken
  // by the day's lock or an output, and the report written into it.
  if (!Os_Start_Process(argc, argv))
    return AUDIT_NOT_DONE;
  try {
    return Audit_Main(argc, argv);
  } catch (const std::bad_alloc &) {
    Print_Error_Line(PROGRAM, "out of memory");
  } catch (const std::system_error &error) {
    // A thread that cannot start: no memory for its stack.
    if (error.code() == std::errc::resource_unavailable_try_again)
      Print_Error_Line(PROGRAM, "out of memory (starting a thread)");
    else
      Print_Error_Line(PROGRAM, error.what());
  } catch (const std::exception &error) {
    Print_Error_Line(PROGRAM, error.what());
  }
  return AUDIT_NOT_DONE;
}
