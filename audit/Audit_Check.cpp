#include "Audit_Check.h"

#include <algorithm>

#include "Audit_Text.h"
#include "Calculating_System.h"

namespace {

// Longest stretch of a found line shown in a message.
constexpr std::size_t SHOWN_BYTES = 120;

// The line of text that holds byte offset at (or ends just before it), with
// its '\n' if it has one, quoted and escaped; "end of file" when there is
// none.
std::string Line_At(std::string_view text, std::size_t at) {
  std::size_t begin = 0;
  if (at > 0) {
    std::size_t newline = text.rfind('\n', at - 1);
    if (newline != std::string_view::npos) begin = newline + 1;
  }
  if (begin >= text.size()) return "end of file";
  std::size_t end = text.find('\n', begin);
  end = end == std::string_view::npos ? text.size() : end + 1;
  std::string quoted = "\"";
  quoted += Escaped(text.substr(begin, end - begin), SHOWN_BYTES);
  quoted += '"';
  return quoted;
}

}  // namespace

std::string Compare_History(std::string_view expected, std::string_view found) {
  if (expected == found) return "";
  auto mismatch = std::mismatch(expected.begin(), expected.end(), found.begin(),
                                found.end());
  std::size_t at = static_cast<std::size_t>(mismatch.first - expected.begin());
  // The line holding the first differing byte; a difference right after a
  // '\n' belongs to the next line.
  long line = 1 + std::count(expected.begin(), expected.begin() + at, '\n');
  return "line " + std::to_string(line) + " differs: expected " +
         Line_At(expected, at) + ", found " + Line_At(found, at);
}

std::vector<Difference> Check_Outputs(const Audit_Figures& figures,
                                      const Found_Outputs& found) {
  std::vector<Difference> differences;
  if (!found.missing[0]) {
    std::string problem = Compare_History(figures.history, found.history);
    if (!problem.empty()) differences.push_back({HISTORY_FILE, problem});
  }
  const struct {
    const char* file;
    const std::string& expected;
    const std::string& found;
    bool missing;
  } summaries[2] = {{BUS_SUMMARY_FILE, figures.bus_summary, found.bus_summary,
                     found.missing[1]},
                    {METRO_SUMMARY_FILE, figures.metro_summary,
                     found.metro_summary, found.missing[2]}};
  for (const auto& summary : summaries) {
    if (!summary.missing && summary.found != summary.expected)
      differences.push_back(
          {summary.file, "expected \"" + Escaped(summary.expected) +
                             "\", found \"" +
                             Escaped(summary.found, SHOWN_BYTES) + "\""});
  }
  return differences;
}
