// The readable report of an audit, printed on standard output.
#pragma once

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
  long max_problems = 50;            // bad lines shown per payment file

  // Bad lines or journeys that cannot be apportioned: nothing was settled.
  bool Bad_Input() const { return scan.Problem_Count() > 0; }
  bool Consistent() const { return !Bad_Input() && differences.empty(); }
  // "consistent", "inconsistent" or "bad input".
  const char* Verdict() const;
};

std::string Format_Report(const Audit_Outcome& outcome);
