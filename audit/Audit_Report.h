// The readable report of an audit, printed on standard output.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "Audit_Check.h"
#include "Audit_Figures.h"
#include "Audit_Scan.h"
#include "Input_Digest.h"

// Everything an audit found, as every output format shows it.
struct Audit_Outcome {
  std::string dir;  // the directory as given on the command line
  Audit_Figures figures;
  std::vector<Difference> differences;
  std::vector<File_Digest> inputs;
  Scan_Result scan;                  // bad lines and data-quality warnings
  std::vector<std::string> rejects;  // rejects files written
  long max_problems = 50;  // problems shown per payment file and of journeys

  // Bad lines or journeys that cannot be apportioned: nothing was settled.
  bool Bad_Input() const { return scan.Problem_Count() > 0; }
  bool Consistent() const { return !Bad_Input() && differences.empty(); }
  // "consistent", "inconsistent" or "bad input".
  const char* Verdict() const;
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

std::string Format_Report(const Audit_Outcome& outcome);
