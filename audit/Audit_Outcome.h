// What an audit found: the one model the report, the JSON, the page and the
// ledger are rendered from.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "Audit_Check.h"
#include "Audit_Figures.h"
#include "Audit_Scan.h"
#include "Input_Digest.h"

// How many kinds of warning that can change the totals were met.
std::int64_t Kinds_Changing_Totals(const Scan_Result& scan);

// Everything an audit found, as every output format shows it.
struct Audit_Outcome {
  std::string dir;  // the directory as given on the command line
  Audit_Figures figures;
  std::vector<Difference> differences;
  std::vector<File_Digest> inputs;
  Scan_Result scan;                  // bad lines and data-quality warnings
  std::vector<std::string> rejects;  // rejects files written
  long max_problems = 50;  // problems shown per payment file and of journeys

  std::vector<std::string> missing;  // outputs not there: not settled yet

  // Bad lines or journeys that cannot be apportioned: nothing was settled.
  bool Bad_Input() const { return scan.Problem_Count() > 0; }
  bool Consistent() const {
    return !Bad_Input() && differences.empty() && missing.empty();
  }
  // Good payment files and no output differs, but one is missing.
  bool Not_Settled() const {
    return !Bad_Input() && differences.empty() && !missing.empty();
  }
  // Warnings that can change the totals were met on a day without
  // problems: its totals, consistent or not, may not be what the files mean.
  bool Totals_In_Doubt() const {
    return !Bad_Input() && Kinds_Changing_Totals(scan) > 0;
  }
  // "consistent", "inconsistent", "not settled yet" or "bad input".
  const char* Verdict() const;
  // The exit status that tells a script what to do with the day.
  int Status() const;
  // How many of the problems are shown: at most max_problems.
  std::size_t Shown(const File_Problems& problems) const {
    return std::min(problems.kept.size(),
                    static_cast<std::size_t>(max_problems));
  }
  // How many problems of each file, and of the journeys, are kept: those
  // shown, and never none, since standard error names the first.
  std::size_t Problems_Kept() const {
    return std::max<std::size_t>(1, static_cast<std::size_t>(max_problems));
  }
};

// Exit statuses of fare-audit, one meaning each.
enum Audit_Status {
  AUDIT_CONSISTENT = 0,   // the settled day is consistent
  AUDIT_DIFFERS = 1,      // an output differs from what the files give
  AUDIT_BAD_INPUT = 2,    // problems in the payment files or journeys
  AUDIT_NOT_SETTLED = 3,  // good payment files, no outputs yet
  AUDIT_NOT_DONE = 4,     // the audit could not be done
};

// The warnings that were met, in report order.
std::vector<const Warning*> Warnings_Met(const Scan_Result& scan);
