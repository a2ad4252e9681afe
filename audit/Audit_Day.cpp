#include "Audit_Day.h"

#include <exception>
#include <future>
#include <utility>
#include <vector>

#include "Audit_Check.h"
#include "Audit_Recompute.h"
#include "Audit_Scan.h"
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

// What the audit reads beside the recomputation: the nine files' digests
// (or why they could not be taken), then the payment files' lines.
struct Day_Reading {
  Scan_Result scan;
  Found_Outputs found;
  std::vector<File_Digest> digests;
  std::exception_ptr digest_failure;
};

// Hashes the nine files, then takes the checks of the payment files' lines
// from the recomputation's loading once read_all tells that it read every
// file, or else reads them all again to find every bad line. One thread
// does it all: a second one that faults in fresh memory beside the
// recomputation's own measured slower than one.
Day_Reading Read_Day(std::size_t keep, Problem_Sink* rejects,
                     const Day_Snapshot& snapshot, Load_Checks& checks,
                     std::future<bool> read_all) {
  Day_Reading reading;
  try {
    reading.digests = Digest_Inputs(reading.found, snapshot);
  } catch (const Settlement_Error&) {
    reading.digest_failure = std::current_exception();
  }
  reading.scan = read_all.get() ? checks.Result()
                                : Scan_Payment_Files(keep, rejects, snapshot);
  return reading;
}

// Tells the reading once whether the recomputation's loading read every
// payment file; that it did not, if nothing was told before this goes.
class Loading_Told {
 public:
  explicit Loading_Told(std::promise<bool>& promise) : promise_(promise) {}
  ~Loading_Told() { Tell(false); }
  Loading_Told(const Loading_Told&) = delete;
  Loading_Told& operator=(const Loading_Told&) = delete;
  void Tell(bool read_all) {
    if (told_) return;
    told_ = true;
    promise_.set_value(read_all);
  }

 private:
  std::promise<bool>& promise_;
  bool told_ = false;
};

// Recomputes the day, keeping the journey warnings, and any journey the
// settlement cannot apportion as a problem; then, unless there is such a
// journey (the settlement cannot have written the outputs), compares the
// history found with the one recomputed. Returns how the history differs
// ("" when it does not, or is not compared).
std::string Settle_And_Compare(Audit_Outcome& outcome, Journey_Observer* csv,
                               Journey_Warnings& journey_warnings,
                               File_Problems& journey_problems,
                               const Day_Snapshot& snapshot,
                               Load_Checks& checks, Loading_Told& told) {
  Journey_Tee sinks(csv, &journey_warnings);
  Unsettled_Journeys unsettled;
  unsettled.keep = outcome.Problems_Kept();
  // Throws for what stops the settlement before its journeys: a bad line,
  // an unreadable file, more records than a run can hold.
  // The history found is compared as the recomputation writes it.
  History_File_Check history(snapshot);
  outcome.figures = Recompute_Settlement(
      snapshot.Dir(), &sinks, unsettled,
      [&history](std::string_view piece) { history.Expect(piece); }, &checks,
      [&told] { told.Tell(true); });
  for (std::string& problem : unsettled.first)
    journey_problems.kept.push_back({0, std::move(problem), ""});
  journey_problems.count = unsettled.count;
  if (!journey_problems.empty() || snapshot.Missing(6)) return "";
  return history.Problem();
}

// Hashes the files and checks every line of the payment files while (on
// a day with good lines most of the audit's work) the day is recomputed,
// then checks the outputs. A day with bad lines keeps only what the reading
// found: its settlement fails at the first bad line and its outputs need
// not exist. A day with journeys that cannot be apportioned keeps them and
// the warnings, but no figures: the settlement would have settled nothing.
void Scan_Settle_And_Check(Audit_Outcome& outcome, Journey_Observer* csv,
                           Problem_Sink* rejects,
                           const Day_Snapshot& snapshot) {
  Load_Checks checks(snapshot);
  std::promise<bool> read_all;
  std::future<Day_Reading> reading =
      std::async(std::launch::async, Read_Day, outcome.Problems_Kept(), rejects,
                 std::cref(snapshot), std::ref(checks), read_all.get_future());
  // Goes before the reading is waited for, whatever stops the settling.
  Loading_Told told(read_all);
  Journey_Warnings journey_warnings;
  File_Problems journey_problems;
  std::string history_problem;
  std::exception_ptr settle_failure;
  try {
    history_problem =
        Settle_And_Compare(outcome, csv, journey_warnings, journey_problems,
                           snapshot, checks, told);
  } catch (const Settlement_Error&) {
    settle_failure = std::current_exception();
  }
  told.Tell(false);
  Day_Reading read = reading.get();
  outcome.scan = std::move(read.scan);
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
    return;
  }
  if (read.digest_failure) std::rethrow_exception(read.digest_failure);
  outcome.inputs = std::move(read.digests);
  read.found.history_problem = std::move(history_problem);
  outcome.differences = Check_Outputs(outcome.figures, read.found);
  outcome.missing = Missing_Outputs(read.found);
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
