// Comparison of the settlement's outputs with what the payment files give.
#pragma once

#include <array>
#include <cstddef>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Audit_Figures.h"

class Day_Snapshot;
class Input_File;

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
  // first_line is the number of expected's first line in the whole history.
  explicit History_Comparison(std::string_view expected, long first_line = 1)
      : expected_(expected), first_line_(first_line) {}
  // Takes the next bytes of the found history.
  void Add(std::string_view found);
  // False once the found bytes still to come cannot change Problem().
  bool Wants_More() const { return !line_complete_; }
  // Whether a found byte given so far differs from the expected one.
  bool Differs() const { return differs_; }
  // Once every found byte is given: the first differing line named and
  // both lines shown, empty when the found bytes are the expected ones.
  std::string Problem() const;

 private:
  void Take_Line(std::string_view found);

  std::string_view expected_;
  long first_line_;
  std::size_t given_ = 0;   // found bytes that equal the expected ones
  bool differs_ = false;    // a byte at given_ differs (or is one too many)
  std::string found_line_;  // the differing line as found, its start only
  bool line_complete_ = false;
};

// Compares expected history bytes with found ones; the problem names the
// first differing line and shows both lines, empty when they are equal.
std::string Compare_History(std::string_view expected, std::string_view found);

// Compares the snapshot's transfer history file with the history as the
// recomputation writes it, piece by piece, reading the file alongside, so
// that neither is held whole. Every piece but the last ends at a line's end.
// The file is opened at the first piece, unless the snapshot found it
// missing; a failure to open or read it is kept for Problem.
class History_File_Check {
 public:
  explicit History_File_Check(const Day_Snapshot& snapshot);
  ~History_File_Check();
  History_File_Check(const History_File_Check&) = delete;
  History_File_Check& operator=(const History_File_Check&) = delete;

  // Takes the next piece of the expected history.
  void Expect(std::string_view piece);
  // Once every piece is given: how the file differs, as Compare_History
  // says it, "" when it holds exactly the pieces. Throws Settlement_Error
  // when it could not be opened or read.
  std::string Problem();

 private:
  void Compare_Piece(std::string_view piece);
  // Reads up to size found bytes; empty at the end of the file.
  std::string_view Read_Found(std::size_t size);
  // Gives comparison found bytes until it has the differing line.
  void Finish_Line(History_Comparison& comparison);

  const Day_Snapshot& snapshot_;
  std::unique_ptr<Input_File> input_;
  std::unique_ptr<char[]> block_;
  std::exception_ptr failure_;
  std::string problem_;
  bool done_ = false;    // problem_ or failure_ is final
  long first_line_ = 1;  // of the next piece
  std::string tail_;     // expected bytes after the last '\n' given
};

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
