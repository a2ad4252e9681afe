// The figures of one audited day, as the report, JSON and HTML show them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A journey kept for the list of largest residues.
struct Residue_Entry {
  std::string terminal;
  std::size_t legs = 0;
  std::int64_t collected = 0;
  std::int64_t bus_credit = 0;
  std::int64_t metro_credit = 0;
  std::int64_t residue = 0;
};

// How many journeys have a given count (of legs, or of won of residue).
using Value_Counts = std::vector<std::pair<std::int64_t, std::int64_t>>;

struct Audit_Figures {
  std::array<std::int64_t, 6> taps{};  // records per payment file
  std::int64_t ordinary_bus = 0;       // bus list after separation, won
  std::int64_t ordinary_metro = 0;     // metro lists after separation, won
  std::int64_t journeys = 0;
  std::int64_t legs = 0;
  Value_Counts journeys_by_legs;      // (legs, journeys), ascending
  Value_Counts residue_distribution;  // (residue, journeys), ascending
  std::int64_t collected = 0;         // transfer journeys' amounts
  std::int64_t bus_credit = 0;        // shares of bus legs
  std::int64_t metro_credit = 0;
  std::vector<Residue_Entry> largest;  // largest |residue| first
  std::int32_t bus_tag = 0;
  std::int32_t metro_tag = 0;
  std::int64_t bus_total = 0;
  std::int64_t metro_total = 0;
  // What the settlement's summary files must hold.
  std::string bus_summary;
  std::string metro_summary;

  std::int64_t Taps() const;
  std::int64_t Residue() const { return bus_credit + metro_credit - collected; }
};

// How many journeys the list of largest residues keeps.
constexpr std::size_t LARGEST_RESIDUES = 10;
