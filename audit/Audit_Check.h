// Comparison of the settlement's outputs with what the payment files give.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "Audit_Figures.h"

// One output that is not what the payment files give.
struct Difference {
  std::string file;
  std::string problem;  // expected against found, as one line of text
};

// Compares expected history bytes with found ones; the problem names the
// first differing line and shows both lines, empty when they are equal.
std::string Compare_History(std::string_view expected, std::string_view found);

// The settlement's three outputs as found on disk.
struct Found_Outputs {
  std::string history;
  std::string bus_summary;
  std::string metro_summary;
  // The history, bus and metro summary files that are not there (the day is
  // not settled yet); their bytes above are empty.
  std::array<bool, 3> missing{};
};

// Lists every output found that differs from what figures says it must
// hold; a missing one is not compared.
std::vector<Difference> Check_Outputs(const Audit_Figures& figures,
                                      const Found_Outputs& found);
