// Comparison of the settlement's outputs with what the payment files give.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "Audit_Figures.h"

class Day_Snapshot;

// One output that is not what the payment files give.
struct Difference {
  std::string file;
  std::string problem;  // expected against found, as one line of text
};

// Compares the found transfer history, given in pieces in file order, with
// the bytes it must hold, keeping of the found bytes only the start of the
// first differing line.
class History_Comparison {
 public:
  explicit History_Comparison(std::string_view expected)
      : expected_(expected) {}
  // Takes the next bytes of the found history.
  void Add(std::string_view found);
  // False once the found bytes still to come cannot change Problem().
  bool Wants_More() const { return !line_complete_; }
  // Once every found byte is given: the first differing line named and
  // both lines shown, empty when the found bytes are the expected ones.
  std::string Problem() const;

 private:
  void Take_Line(std::string_view found);

  std::string_view expected_;
  std::size_t given_ = 0;   // found bytes that equal the expected ones
  bool differs_ = false;    // a byte at given_ differs (or is one too many)
  std::string found_line_;  // the differing line as found, its start only
  bool line_complete_ = false;
};

// Compares expected history bytes with found ones; the problem names the
// first differing line and shows both lines, empty when they are equal.
std::string Compare_History(std::string_view expected, std::string_view found);

// Compares the snapshot's transfer history file, read in blocks, with
// expected, as Compare_History does. Throws Settlement_Error when the file
// cannot be opened or read; an opened file that is not the snapshot's is
// noted in the snapshot.
std::string Compare_History_File(std::string_view expected,
                                 const Day_Snapshot& snapshot);

// The settlement's outputs as found on disk.
struct Found_Outputs {
  // How the history differs from what the payment files give (as
  // Compare_History says it), empty when it does not.
  std::string history_problem;
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
