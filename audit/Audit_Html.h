// The audit as one self-contained HTML page with inline SVG charts.
#pragma once

#include <string>
#include <string_view>

#include "Audit_Report.h"

// text with &, <, >, " and ' replaced by character references.
std::string Html_Escape(std::string_view text);

// A histogram's bars: residue ranges [low, high] and their journey counts,
// at most max_bins of equal width covering the distribution.
struct Residue_Bin {
  std::int64_t low = 0;
  std::int64_t high = 0;
  std::int64_t journeys = 0;
};
std::vector<Residue_Bin> Residue_Bins(const Value_Counts& distribution,
                                      std::size_t max_bins);

std::string Format_Html(const Audit_Outcome& outcome);
