#include "Audit_Day.h"

#include <exception>
#include <future>
#include <utility>
#include <vector>

#include "Audit_Check.h"
#include "Audit_Recompute.h"
#include "Audit_Text.h"
#include "Day_Lock.h"
#include "Day_Snapshot.h"
#include "Input_Digest.h"
#include "Journey_Observer.h"
#include "Paths.h"
#include "Settlement_Error.h"

namespace {

// The day's directory as the reports name it: absolute, without dots (as
// given when there is no working directory to resolve it against).
std::string Shown_Directory(const std::string& dir) {
  std::string shown = Absolute_Path(dir, true);
  if (shown.size() > 1 && shown.back() == '/') shown.pop_back();
  return shown;
}

// The outputs found missing, by name.
std::vector<std::string> Missing_Outputs(const Found_Outputs& found) {
  std::vector<std::string> missing;
  for (int i = 0; i < 3; ++i)
    if (found.missing[i]) missing.push_back(AUDITED_FILES[6 + i]);
  return missing;
}

// Recomputes the day and checks the outputs against it, keeping the journey
// warnings, and any journey the settlement cannot apportion as a problem
// (whose outputs are then not checked: the settlement cannot have written
// them).
void Settle_And_Check(Audit_Outcome& outcome, Journey_Observer* csv,
                      Journey_Warnings& journey_warnings,
                      File_Problems& journey_problems,
                      const Day_Snapshot& snapshot) {
  Found_Outputs found;
  // The files are hashed on a second thread while the day is recomputed.
  std::future<std::vector<File_Digest>> digests = std::async(
      std::launch::async,
      [&found, &snapshot] { return Digest_Inputs(found, snapshot); });
  Journey_Tee sinks(csv, &journey_warnings);
  Unsettled_Journeys unsettled;
  unsettled.keep = outcome.Problems_Kept();
  // Throws for what stops the settlement before its journeys: a bad line,
  // an unreadable file, more records than a run can hold.
  outcome.figures = Recompute_Settlement(snapshot.Dir(), &sinks, unsettled);
  for (std::string& problem : unsettled.first)
    journey_problems.kept.push_back({0, std::move(problem), ""});
  journey_problems.count = unsettled.count;
  if (!journey_problems.empty()) {
    digests.wait();
    return;
  }
  // The history is read again here, block by block, beside the one built.
  std::string history_problem;
  if (!snapshot.Missing(6))
    history_problem = Compare_History_File(outcome.figures.history, snapshot);
  outcome.inputs = digests.get();
  found.history_problem = std::move(history_problem);
  outcome.differences = Check_Outputs(outcome.figures, found);
  outcome.missing = Missing_Outputs(found);
}

// Reads every line of the payment files and, at the same time (on a day
// with good lines most of the audit's work), recomputes and checks the day.
// A day with bad lines keeps only what the reading found: its settlement
// fails at the first bad line and its outputs need not exist. A day with
// journeys that cannot be apportioned keeps them and the warnings, but no
// figures: the settlement would have settled nothing.
void Scan_Settle_And_Check(Audit_Outcome& outcome, Journey_Observer* csv,
                           Problem_Sink* rejects,
                           const Day_Snapshot& snapshot) {
  std::future<Scan_Result> scan =
      std::async(std::launch::async, Scan_Payment_Files,
                 outcome.Problems_Kept(), rejects, std::cref(snapshot));
  Journey_Warnings journey_warnings;
  File_Problems journey_problems;
  std::exception_ptr settle_failure;
  try {
    Settle_And_Check(outcome, csv, journey_warnings, journey_problems,
                     snapshot);
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
    outcome.missing.clear();
  }
}

}  // namespace

Audit_Outcome Audit_Day(const std::string& dir, long max_problems,
                        Journey_Observer* journeys, Problem_Sink* rejects) {
  Audit_Outcome outcome;
  outcome.dir = Shown_Directory(dir);
  outcome.max_problems = max_problems;
  Day_Lock lock(dir, Day_Lock::AUDIT);
  Day_Snapshot snapshot(dir);
  try {
    Scan_Settle_And_Check(outcome, journeys, rejects, snapshot);
  } catch (const Settlement_Error&) {
    // A file that changed under the reading is why it failed.
    snapshot.Check_Unchanged();
    throw;
  }
  snapshot.Check_Unchanged();
  return outcome;
}
