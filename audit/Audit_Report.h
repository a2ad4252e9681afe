// The readable report of an audit, printed on standard output.
#pragma once

#include <string>
#include <vector>

#include "Audit_Check.h"
#include "Audit_Figures.h"
#include "Input_Digest.h"

// Everything an audit found, as every output format shows it.
struct Audit_Outcome {
  std::string dir;  // the directory as given on the command line
  Audit_Figures figures;
  std::vector<Difference> differences;
  std::vector<File_Digest> inputs;

  bool Consistent() const { return differences.empty(); }
};

std::string Format_Report(const Audit_Outcome& outcome);
