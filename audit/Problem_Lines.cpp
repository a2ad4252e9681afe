#include "Problem_Lines.h"

#include "Audit_Outcome.h"
#include "Audit_Text.h"

std::vector<std::string> Problem_Lines(const Audit_Outcome& outcome,
                                       std::string_view more) {
  std::vector<std::string> lines;
  const Scan_Result& scan = outcome.scan;
  if (outcome.Bad_Input()) {
    for (int i = 0; i < 6 && lines.empty(); ++i)
      if (!scan.problems[i].empty())
        lines.push_back(scan.problems[i].kept[0].Place(AUDITED_FILES[i]) +
                        ": " + scan.problems[i].kept[0].problem);
    if (lines.empty()) lines.push_back(scan.journey_problems.kept[0].problem);
    if (scan.Problem_Count() > 1)
      lines.push_back(std::to_string(scan.Problem_Count()) + " " +
                      std::string(more));
    return lines;
  }
  if (outcome.Not_Settled()) {
    std::string names;
    for (const std::string& name : outcome.missing)
      names += (names.empty() ? "" : ", ") + name;
    lines.push_back("not settled yet (no " + names + ")");
  }
  for (const Difference& d : outcome.differences)
    lines.push_back(d.file + ": " + d.problem);
  return lines;
}
