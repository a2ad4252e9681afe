// The audit's own reading of the six payment files: every line checked with
// the settlement's record-line check, so that every bad line of a day is
// found in one run, and the data-quality warnings gathered on the way.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Audit_Figures.h"
#include "Journey_Observer.h"
#include "Load_Observer.h"

// One line the settlement would stop at, a payment file it cannot read, or
// a journey it cannot apportion.
struct Line_Problem {
  long line = 0;        // 0 for the file as a whole, or a journey
  std::string problem;  // the settlement's own words, without the file
  std::string text;     // the line exactly as it stands, without its '\n'
  bool cut = false;     // text is only the start of the line

  // "FILE:LINE", or "FILE" for the file as a whole.
  std::string Place(const char* file) const {
    std::string place(file);
    if (line != 0) (place += ':') += std::to_string(line);
    return place;
  }
};

// Of a problem kept to be shown, the first this many bytes of its line are
// kept; the rejects files get every line whole.
constexpr std::size_t KEPT_TEXT_BYTES = 256;

// The problems of one payment file, or of the journeys, in order: all
// counted, the first few kept (as many as can be shown).
struct File_Problems {
  std::vector<Line_Problem> kept;
  std::int64_t count = 0;

  bool empty() const { return count == 0; }
  // Counts problem, keeping it while fewer than keep are kept.
  void Add(Line_Problem problem, std::size_t keep) {
    ++count;
    if (kept.size() == keep) return;
    if (problem.text.size() > KEPT_TEXT_BYTES) {
      problem.text.resize(KEPT_TEXT_BYTES);
      problem.cut = true;
    }
    kept.push_back(std::move(problem));
  }
};

// Where the scan sends every problem of a payment file as it is found, to
// be written out whole (the rejects files); called by one thread per file.
class Problem_Sink {
 public:
  virtual ~Problem_Sink() = default;
  virtual void Add(int file, const Line_Problem& problem) = 0;
};

// One kind of data-quality warning: how often it was met and the first few
// places ("FILE:LINE", a file name or a journey's TerminalInfo, escaped).
struct Warning {
  Warning(const char* id_, std::string title_, const char* advice_ = "")
      : id(id_), title(std::move(title_)), advice(advice_) {}
  const char* id;     // a stable name for the JSON: "mot-unknown"
  std::string title;  // what was found, as the report says it
  // For a kind that can change the totals (a file read other than its
  // writer meant it): what that does and what to do; empty for the others.
  const char* advice;
  bool Changes_Totals() const { return *advice != '\0'; }
  std::int64_t count = 0;
  std::vector<std::string> examples;  // at most Places_Kept()
  // A kind met once per payment file names every file it is met in.
  bool per_file = false;
  std::size_t Places_Kept() const;
};

constexpr std::size_t WARNING_EXAMPLES = 5;
inline std::size_t Warning::Places_Kept() const {
  return per_file ? 6 : WARNING_EXAMPLES;
}
// More legs than this in a journey, or more taps than this carrying one
// TerminalInfo, are worth a look.
constexpr std::int64_t MANY_TAPS = 20;

// What the audit's reading of the payment files found.
struct Scan_Result {
  std::array<File_Problems, 6> problems;  // per payment file
  File_Problems journey_problems;         // journeys that cannot be apportioned
  std::vector<Warning>
      warnings;  // every kind, in report order; count 0 if unmet

  std::int64_t Problem_Count() const;
};

class Day_Snapshot;

// Reads the six payment files of the snapshot's directory to the end, keeping
// the first keep problems of each file and telling sink (may be null) of
// every one; each file opened is checked against snapshot. A file that
// cannot be opened or read is a problem of that file.
Scan_Result Scan_Payment_Files(std::size_t keep, Problem_Sink* sink,
                               const Day_Snapshot& snapshot);
// The warnings of TerminalInfos carried by many taps and of repeated lines
// (the others empty), found from the lines alone with every TerminalInfo and
// every line taken as a candidate, as the audit does with the few that its
// grouping of the day's taps leaves; tests hold the two alike.
std::vector<Warning> Confirm_Every_Line(const Day_Snapshot& snapshot);

// The same checks of every record line, told by the loading of the day
// as it reads the files (so that they are read and parsed once): once the
// loading has read every file without fault, the same result as
// Scan_Payment_Files, which a day the loading stops in needs instead.
class Load_Checks : public Load_Observer {
 public:
  explicit Load_Checks(const Day_Snapshot& snapshot);
  ~Load_Checks() override;
  Part_Observer& Part(int file, int half) override;
  // The scan's result; only once the loading has read every file.
  Scan_Result Result();

 private:
  struct Halves;
  const Day_Snapshot& snapshot_;
  std::unique_ptr<Halves> halves_;
};

// Adds the warnings about the transfer journeys (long ones, amounts that
// add up to nothing, residues above the amount) to scan, in their place.
class Journey_Warnings : public Journey_Observer {
 public:
  Journey_Warnings();
  void Settled(const Settled_Journey& journey) override;
  void Add_To(Scan_Result& scan) const;

 private:
  std::vector<Warning> warnings_;
};

// Passes each journey on to two observers (either may be null).
class Journey_Tee : public Journey_Observer {
 public:
  Journey_Tee(Journey_Observer* first, Journey_Observer* second)
      : first_(first), second_(second) {}
  void Settled(const Settled_Journey& journey) override {
    if (first_ != nullptr) first_->Settled(journey);
    if (second_ != nullptr) second_->Settled(journey);
  }

 private:
  Journey_Observer* first_;
  Journey_Observer* second_;
};

// Counts one occurrence of warning, keeping its place if there is room.
void Note(Warning& warning, const std::string& place);
