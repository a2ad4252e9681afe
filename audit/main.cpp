// fare-audit: recomputes a settled day from its payment files with the
// settlement's own code, checks the settlement's outputs against it and
// reports where the revenue went.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "Audit_Csv.h"
#include "Audit_Day.h"
#include "Audit_Html.h"
#include "Audit_Json.h"
#include "Audit_Options.h"
#include "Audit_Outputs.h"
#include "Audit_Rejects.h"
#include "Audit_Report.h"
#include "Os.h"
#include "Paths.h"
#include "Problem_Lines.h"
#include "Program_Main.h"
#include "Standard_Streams.h"
#include "Stop_Signals.h"

namespace {

const char PROGRAM[] = "fare-audit";

// Runs the audit; returns the exit status (Audit_Status). The day's mark
// is held only while its files are read, not while the reports are written.
int Run_Audit(const Audit_Options& options) {
  Check_Outputs_Apart(options);
  std::string rejects_dir = Absolute_Path(options.rejects_dir);
  if (!rejects_dir.empty()) Check_Rejects_Dir(rejects_dir);
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
  if (rejects) outcome.rejects = rejects->Publish(errors);
  errors.Try([&outcome] { Print_Output(Format_Report(outcome)); });
  if (csv && !outcome.Bad_Input()) csv->Publish(errors);
  Write_Output(json, Format_Json(outcome), errors);
  Write_Output(html, Format_Html(outcome), errors);
  // Standard error: why the day is not consistent, then each output that
  // could not be written.
  std::string lines;
  for (const std::string& line :
       Problem_Lines(outcome, "problems in all, listed in the report"))
    lines += "fare-audit: " + line + "\n";
  for (const std::string& error : errors.Messages())
    lines += "fare-audit: " + error + "\n";
  Print_Error(lines);
  return errors.empty() ? outcome.Status() : AUDIT_NOT_DONE;
}

// The command line, then the audit, or the usage or version.
int Audit_Main(int argc, char** argv) {
  Stop_On_Signals(PROGRAM);
  Audit_Options options;
  try {
    options = Parse_Options(argc, argv);
  } catch (const Usage_Error& error) {
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

bool Out_Of_Memory(char* line, std::size_t size, bool thread) {
  std::snprintf(line, size, "%s",
                thread ? "out of memory (starting a thread)" : "out of memory");
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  return Run_Main({PROGRAM, AUDIT_NOT_DONE, Out_Of_Memory}, Audit_Main, argc,
                  argv);
}
