// The audit as one self-contained HTML page with inline SVG charts.
#pragma once

#include <string>
#include <string_view>

#include "Audit_Outcome.h"

// text with &, <, >, " and ' replaced by character references.
std::string Html_Escape(std::string_view text);

// Bytes from the files as the page shows them: valid UTF-8 as its
// characters; backslashes, control characters and bytes that are not UTF-8
// escaped as in the text report (so that a text "\xff" and a byte 0xff
// look different); then made safe for HTML.
std::string Shown(std::string_view bytes);

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
