#include "Audit_Check.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "Audit_Text.h"
#include "Calculating_System.h"
#include "Day_Snapshot.h"
#include "Line_Reader.h"
#include "Settlement_Error.h"

namespace {

// Longest stretch of a found line shown in a message.
constexpr std::size_t SHOWN_BYTES = 120;

// The found history is read in blocks of this size, small enough to stay in
// the processor's cache while it is compared.
constexpr std::size_t COMPARE_BLOCK = 256 << 10;

// The index of the transfer history in AUDITED_FILES.
constexpr int HISTORY_INDEX = 6;

// Where the line holding byte offset at (or ending just before it) starts.
std::size_t Line_Start(std::string_view text, std::size_t at) {
  if (at == 0) return 0;
  std::size_t newline = text.rfind('\n', at - 1);
  return newline == std::string_view::npos ? 0 : newline + 1;
}

// A line as messages show it: quoted, escaped and cut to SHOWN_BYTES.
std::string Shown_Line(std::string_view line) {
  std::string quoted = "\"";
  quoted += Escaped(line, SHOWN_BYTES);
  quoted += '"';
  return quoted;
}

// The line of text that holds byte offset at (or ends just before it), with
// its '\n' if it has one, as shown; "end of file" when there is none.
std::string Line_At(std::string_view text, std::size_t at) {
  std::size_t begin = Line_Start(text, at);
  if (begin >= text.size()) return "end of file";
  std::size_t end = text.find('\n', begin);
  end = end == std::string_view::npos ? text.size() : end + 1;
  return Shown_Line(text.substr(begin, end - begin));
}

// How many bytes a and b have in common from their start.
std::size_t Common_Prefix(std::string_view a, std::string_view b) {
  std::size_t size = std::min(a.size(), b.size());
  if (std::memcmp(a.data(), b.data(), size) == 0) return size;
  return static_cast<std::size_t>(
      std::mismatch(a.begin(), a.begin() + size, b.begin()).first - a.begin());
}

}  // namespace

void History_Comparison::Add(std::string_view found) {
  if (line_complete_) return;
  if (!differs_) {
    std::size_t same = Common_Prefix(expected_.substr(given_), found);
    given_ += same;
    found.remove_prefix(same);
    if (found.empty()) return;
    differs_ = true;
    // The line's start, before the difference, is as expected.
    std::size_t begin = Line_Start(expected_, given_);
    found_line_ =
        expected_.substr(begin, std::min(given_ - begin, SHOWN_BYTES + 1));
  }
  Take_Line(found);
}

// Adds found bytes to the differing line up to its '\n', or until there are
// more than can be shown.
void History_Comparison::Take_Line(std::string_view found) {
  std::size_t room =
      SHOWN_BYTES + 1 - std::min(found_line_.size(), SHOWN_BYTES + 1);
  std::size_t newline = found.find('\n');
  std::size_t line =
      newline == std::string_view::npos ? found.size() : newline + 1;
  std::size_t take = std::min(room, line);
  found_line_.append(found.substr(0, take));
  line_complete_ = found_line_.size() > SHOWN_BYTES ||
                   (newline != std::string_view::npos && take == line);
}

std::string History_Comparison::Problem() const {
  if (!differs_ && given_ == expected_.size()) return "";
  // The line holding the first differing byte; a difference right after a
  // '\n' belongs to the next line. Found bytes that end early end their
  // line as expected so far.
  std::size_t at = given_;
  std::size_t begin = Line_Start(expected_, at);
  std::string_view found = differs_ ? std::string_view(found_line_)
                                    : expected_.substr(begin, at - begin);
  long line =
      first_line_ + std::count(expected_.begin(), expected_.begin() + at, '\n');
  return "line " + std::to_string(line) + " differs: expected " +
         Line_At(expected_, at) + ", found " +
         (found.empty() ? "end of file" : Shown_Line(found));
}

std::string Compare_History(std::string_view expected, std::string_view found) {
  History_Comparison comparison(expected);
  comparison.Add(found);
  return comparison.Problem();
}

History_File_Check::History_File_Check(const Day_Snapshot& snapshot)
    : snapshot_(snapshot), done_(snapshot.Missing(HISTORY_INDEX)) {}

History_File_Check::~History_File_Check() = default;

void History_File_Check::Expect(std::string_view piece) {
  if (done_) return;
  try {
    Compare_Piece(piece);
  } catch (const Settlement_Error&) {
    failure_ = std::current_exception();
    done_ = true;
  }
}

void History_File_Check::Compare_Piece(std::string_view piece) {
  if (input_ == nullptr) {
    input_ = std::make_unique<Input_File>(snapshot_.Path(HISTORY_INDEX),
                                          AUDITED_FILES[HISTORY_INDEX]);
    snapshot_.Check_Opened(HISTORY_INDEX, input_->File());
    block_.reset(new char[COMPARE_BLOCK]);
  }
  // The found bytes of this piece's place, never more: the next piece
  // compares what follows.
  History_Comparison comparison(piece, first_line_);
  std::size_t left = piece.size();
  while (left > 0 && !comparison.Differs()) {
    std::string_view found = Read_Found(std::min(left, COMPARE_BLOCK));
    if (found.empty()) break;
    comparison.Add(found);
    left -= found.size();
  }
  if (comparison.Differs() || left > 0) {
    Finish_Line(comparison);
    problem_ = comparison.Problem();
    done_ = true;
    return;
  }
  first_line_ += std::count(piece.begin(), piece.end(), '\n');
  std::size_t newline = piece.rfind('\n');
  if (newline == std::string_view::npos)
    tail_.append(piece);
  else
    tail_.assign(piece.substr(newline + 1));
}

std::string_view History_File_Check::Read_Found(std::size_t size) {
  return {block_.get(), input_->Read(block_.get(), size)};
}

void History_File_Check::Finish_Line(History_Comparison& comparison) {
  while (comparison.Wants_More()) {
    std::string_view found = Read_Found(COMPARE_BLOCK);
    if (found.empty()) break;
    comparison.Add(found);
  }
}

std::string History_File_Check::Problem() {
  if (failure_) std::rethrow_exception(failure_);
  if (done_ || input_ == nullptr) return problem_;
  // Every expected byte was found: any found byte more differs.
  std::string_view more = Read_Found(COMPARE_BLOCK);
  if (more.empty()) return "";
  History_Comparison comparison(tail_, first_line_);
  comparison.Add(tail_);
  comparison.Add(more);
  Finish_Line(comparison);
  return comparison.Problem();
}

std::vector<Difference> Check_Outputs(const Audit_Figures& figures,
                                      const Found_Outputs& found) {
  std::vector<Difference> differences;
  if (!found.missing[0] && !found.history_problem.empty())
    differences.push_back({HISTORY_FILE, found.history_problem});
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
