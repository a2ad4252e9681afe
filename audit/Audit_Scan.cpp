#include "Audit_Scan.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "Audit_Text.h"
#include "Calculating_System.h"
#include "Day_Snapshot.h"
#include "Journey_Observer.h"
#include "Keyed_Hash.h"
#include "Line_Reader.h"
#include "Memory.h"
#include "Record_Line.h"
#include "Settlement_Error.h"
#include "Terminal_Key.h"

namespace {

// A tap as one number (Tap_Numbers).
typedef std::uint64_t Tap_Number;

// The kinds of warning, in the order of the report: those that can change
// the totals first. A file's scan leaves the journey kinds empty;
// Journey_Warnings fills them.
enum Kind {
  CRLF_FILE,
  TERMINAL_CR,
  BYTE_ORDER_MARK,
  PARTIAL_NUMBER,
  MOT_UNKNOWN,
  BUS_FILE_MOT,
  METRO_FILE_MOT,
  LONG_JOURNEY,
  BUSY_TERMINAL,
  NOT_POSITIVE,
  RESIDUE_ABOVE,
  TIME_BACKWARDS,
  LAST_NOT_LATEST,
  DUPLICATE_LINE,
  NEGATIVE_BALANCE,
  KINDS
};

std::vector<Warning> Empty_Warnings() {
  const std::string many = std::to_string(MANY_TAPS);
  std::vector<Warning> warnings = {
      {"crlf-file",
       "payment files with Windows line ends, CR LF (first such line)",
       "Each line keeps its carriage return in its last field (the "
       "TerminalInfo), so these taps do not meet the same card's taps in "
       "files with LF line ends. Convert the file to LF line ends and settle "
       "again."},
      {"terminal-cr",
       "records whose TerminalInfo ends in a carriage return (it never "
       "matches the same TerminalInfo without one)",
       "Remove the carriage returns (convert a file with Windows line ends to "
       "LF line ends) and settle again."},
      {"utf8-bom",
       "payment files that start with a UTF-8 byte-order mark (their first "
       "LastTime reads as 0)",
       "Save the file as UTF-8 without a byte-order mark, or as ASCII, and "
       "settle again."},
      {"partial-number",
       "records with a number field that is not a plain integer and is read "
       "only in part",
       "Have the source mend those fields and settle again."},
      {"mot-unknown", "records whose Mot is neither 0 (metro) nor 1 (bus)"},
      {"bus-file-mot",
       "bus file records whose Mot is not 1 (ordinary revenue to bus by file, "
       "transfer share to metro by Mot)"},
      {"metro-file-mot",
       "metro file records whose Mot is 1 (ordinary revenue to metro by file, "
       "transfer share to bus by Mot)"},
      {"long-journey", "journeys of more than " + many + " legs"},
      {"busy-terminal",
       "TerminalInfo values carried by more than " + many + " taps of the day"},
      {"collected-not-positive",
       "journeys whose collected amount is 0 or less"},
      {"residue-above-collected",
       "journeys whose residue exceeds their collected amount"},
      {"time-backwards",
       "payment files whose times go backwards (first place)"},
      {"last-tag-not-latest",
       "payment files whose last record's time is not their latest time "
       "(place of the latest)"},
      {"duplicate-line",
       "lines that repeat an earlier line of the same file exactly"},
      {"negative-balance", "records with a negative Balance"},
  };
  for (Kind kind :
       {CRLF_FILE, BYTE_ORDER_MARK, TIME_BACKWARDS, LAST_NOT_LATEST})
    warnings[kind].per_file = true;
  return warnings;
}

constexpr std::string_view BYTE_ORDER_MARK_BYTES = "\xEF\xBB\xBF";

// True for an optional sign followed by digits and nothing else: the text
// the conversion reads in full.
bool Is_Plain_Integer(std::string_view text) {
  if (!text.empty() && (text[0] == '+' || text[0] == '-'))
    text.remove_prefix(1);
  return !text.empty() &&
         text.find_first_not_of("0123456789") == std::string_view::npos;
}

// The last character of a TerminalInfo, 0 for an empty one: the lowest
// byte of its key that is not 0.
char Last_Character(const Terminal_Key& key) {
  if (key.last != 0) return static_cast<char>(key.last);
  if (key.first8 == 0) return 0;
  return static_cast<char>(key.first8 >> (std::countr_zero(key.first8) & ~7));
}

// The finalising mix of a 64-bit hash: a bijection that spreads each bit
// over all of them.
std::uint64_t Final_Mix(std::uint64_t x) {
  x = (x ^ (x >> 33)) * 0xFF51AFD7ED558CCDu;
  x = (x ^ (x >> 33)) * 0xC4CEB9FE1A85EC53u;
  return x ^ (x >> 33);
}

// A tap as one number: in the top 32 bits a mix of its TerminalInfo's key,
// below them 32 bits of a hash of its line and file, both under this
// process's key. Taps of one TerminalInfo share the top half, and equal
// lines of a file are equal numbers; the converse holds but for collisions,
// which a source cannot aim at without the key, and what the numbers show
// is checked against the lines themselves (Confirm_Findings).
class Tap_Numbers {
 public:
  Tap_Numbers()
      : line_hash_(Process_Hash_Key()), terminal_key_(Process_Hash_Key().k0) {}

  Tap_Number Of(const Terminal_Key& key, std::string_view line,
                int file) const {
    std::uint64_t terminal =
        Final_Mix(Final_Mix(key.first8 ^ terminal_key_) + key.last);
    std::uint64_t mark =
        line_hash_(line) ^
        (static_cast<std::uint64_t>(file) + 1) * 0x9E3779B97F4A7C15u;
    return (terminal & ~LOW_HALF) | (mark & LOW_HALF);
  }
  // The part of tap that all taps of its TerminalInfo share.
  static std::uint32_t Terminal(Tap_Number tap) {
    return static_cast<std::uint32_t>(tap >> 32);
  }

 private:
  static constexpr std::uint64_t LOW_HALF = 0xFFFFFFFFu;
  Keyed_Hash line_hash_;
  std::uint64_t terminal_key_;
};

// The day's taps, spread over partitions by their TerminalInfo, taps of one
// TerminalInfo in one partition. A partition grows by blocks: no tap is
// copied as it grows, and no memory is touched that is not filled. Few
// partitions keep the blocks being filled in the processor's cache.
class Tap_Partitions {
 public:
  static constexpr int BITS = 6;
  static constexpr std::size_t COUNT = std::size_t{1} << BITS;

  Tap_Partitions() : partitions_(COUNT) {}
  ~Tap_Partitions() {
    for (std::size_t p = 0; p < partitions_.size(); ++p) Free(p);
  }
  Tap_Partitions(Tap_Partitions&&) = default;  // leaves no partition behind
  Tap_Partitions& operator=(Tap_Partitions&&) = delete;

  void Add(Tap_Number tap) {
    Partition& partition = partitions_[tap >> (64 - BITS)];
    std::size_t slot = partition.size % BLOCK_TAPS;
    if (slot == 0) {
      partition.blocks.reserve(partition.blocks.size() + 1);
      partition.blocks.push_back(
          static_cast<Tap_Number*>(Recycled_Blocks().Take()));
    }
    partition.blocks.back()[slot] = tap;
    ++partition.size;
  }
  std::size_t Size(std::size_t p) const { return partitions_[p].size; }
  // Calls visit(tap) for each tap of partition p.
  template <class Visit>
  void For_Each(std::size_t p, Visit visit) const {
    const Partition& partition = partitions_[p];
    for (std::size_t b = 0; b < partition.blocks.size(); ++b) {
      const Tap_Number* block = partition.blocks[b];
      std::size_t taps = std::min(BLOCK_TAPS, partition.size - b * BLOCK_TAPS);
      for (std::size_t i = 0; i < taps; ++i) visit(block[i]);
    }
  }
  void Free(std::size_t p) {
    for (Tap_Number* block : partitions_[p].blocks)
      Recycled_Blocks().Give(block);
    partitions_[p] = Partition();
  }

 private:
  // In blocks from the process's recycler (in large pages, far fewer first
  // touches than the heap's small pages; bench/README.md), given
  // back as each partition is grouped, for the separation's members.
  static constexpr std::size_t BLOCK_TAPS =
      Block_Recycler::BLOCK_BYTES / sizeof(Tap_Number);
  struct Partition {
    std::vector<Tap_Number*> blocks;
    std::size_t size = 0;
  };

  std::vector<Partition> partitions_;
};

// A partition of the day's taps gathered from every file into pieces by
// TerminalInfo, each piece small enough to be sorted in the processor's
// first cache; taps of one TerminalInfo in one piece.
class Tap_Pieces {
 public:
  static constexpr int BITS = 8;
  static constexpr std::size_t COUNT = std::size_t{1} << BITS;

  // Takes (and frees) partition p of every file.
  void Gather(const std::vector<Tap_Partitions*>& files, std::size_t p);
  std::size_t Count() const { return COUNT; }
  // The taps of piece i, to be sorted in place.
  std::span<Tap_Number> Piece(std::size_t i) {
    return std::span<Tap_Number>(taps_).subspan(start_[i],
                                                start_[i + 1] - start_[i]);
  }

 private:
  static std::size_t Piece_Of(Tap_Number tap) {
    return (tap >> (64 - Tap_Partitions::BITS - BITS)) & (COUNT - 1);
  }

  std::vector<Tap_Number> taps_;
  std::size_t start_[COUNT + 1] = {};
};

void Tap_Pieces::Gather(const std::vector<Tap_Partitions*>& files,
                        std::size_t p) {
  std::size_t next[COUNT + 1] = {};
  for (const Tap_Partitions* file : files)
    file->For_Each(p, [&](Tap_Number tap) { ++next[Piece_Of(tap) + 1]; });
  for (std::size_t i = 1; i <= COUNT; ++i) next[i] += next[i - 1];
  std::copy(next, next + COUNT + 1, start_);
  taps_.resize(next[COUNT]);
  for (Tap_Partitions* file : files) {
    file->For_Each(p,
                   [&](Tap_Number tap) { taps_[next[Piece_Of(tap)]++] = tap; });
    file->Free(p);
  }
}

// The record a line gives, as the settlement reads it; false for a blank
// or bad line.
bool Read_Record(Data& record, std::string_view line, std::string& problem) {
  return Fill_Simple_Record(record, line) ||
         Read_Record_Line(record, line, problem) == Line_Kind::RECORD;
}

void Merge(Warning& into, const Warning& from) {
  into.count += from.count;
  for (const std::string& place : from.examples)
    if (into.examples.size() < into.Places_Kept())
      into.examples.push_back(place);
}

// The checks of the record lines of a payment file, or of one half of it
// (the loading reads a large file in two halves, on two threads): the
// warnings of single lines and the file's taps as they are read, and what
// the warnings about the whole file need, noted by Finish once the file
// is in.
class Line_Checks : public Part_Observer {
 public:
  Line_Checks(int index, const Day_Snapshot& snapshot)
      : index_(index),
        file_(AUDITED_FILES[index]),
        warnings_(Empty_Warnings()),
        snapshot_(snapshot) {}

  void Opened(Os_File file) override { snapshot_.Check_Opened(index_, file); }
  void Record(std::string_view line, long number, bool newline,
              const Data& record, bool simple) override;
  // Notes a byte-order mark at the start of line number, if it is the
  // first line (whatever the line holds).
  void Line_Start(std::string_view line, long number) {
    if (number == 1 && line.starts_with(BYTE_ORDER_MARK_BYTES)) bom_ = true;
  }
  // Takes in the checks of the half of the file read after this one (but
  // for its taps, which stay in it).
  void Add_Half(const Line_Checks& second);
  // Notes the warnings about the whole file.
  void Finish();

  const int index_;
  const char* file_;
  std::vector<Warning> warnings_;
  Tap_Partitions taps_;

 private:
  void Check_Fields(std::string_view line, long number);
  std::string Place(long number) const {
    return std::string(file_) + ":" + std::to_string(number);
  }

  const Day_Snapshot& snapshot_;
  Tap_Numbers numbers_;
  bool bom_ = false;
  long crlf_line_ = 0;       // the first record line that ends in CR LF
  long backwards_line_ = 0;  // the first record earlier than the one before
  bool has_record_ = false;
  long first_line_ = 0;
  std::int32_t first_time_ = 0;
  std::int32_t last_time_ = 0;
  std::int32_t latest_time_ = 0;
  long latest_line_ = 0;  // the first record of the latest time
};

void Line_Checks::Record(std::string_view line, long number, bool newline,
                         const Data& record, bool simple) {
  Line_Start(line, number);
  // Number fields read only in part; seen only on lines of the general form.
  if (!simple) Check_Fields(line, number);
  int mot = record.Mot;
  if (mot != BUS && mot != METRO) Note(warnings_[MOT_UNKNOWN], Place(number));
  if (index_ == 0 && mot != BUS) Note(warnings_[BUS_FILE_MOT], Place(number));
  if (index_ != 0 && mot == BUS) Note(warnings_[METRO_FILE_MOT], Place(number));
  Terminal_Key key = Terminal_Key_Of(record);
  if (Last_Character(key) == '\r') Note(warnings_[TERMINAL_CR], Place(number));
  // A last line that ends in '\r' without '\n' has no CR LF ending.
  if (crlf_line_ == 0 && newline && line.ends_with('\r')) crlf_line_ = number;
  if (record.Balance < 0) Note(warnings_[NEGATIVE_BALANCE], Place(number));
  if (!has_record_) {
    first_line_ = number;
    first_time_ = record.LastTime;
  } else if (record.LastTime < last_time_ && backwards_line_ == 0) {
    backwards_line_ = number;
  }
  if (!has_record_ || record.LastTime > latest_time_) {
    latest_time_ = record.LastTime;
    latest_line_ = number;
  }
  has_record_ = true;
  last_time_ = record.LastTime;
  taps_.Add(numbers_.Of(key, line, index_));
}

void Line_Checks::Check_Fields(std::string_view line, long number) {
  if (number == 1 && line.starts_with(BYTE_ORDER_MARK_BYTES))
    line.remove_prefix(BYTE_ORDER_MARK_BYTES.size());
  std::string_view fields[5];
  Split_Fields(line, fields);
  for (int i = 0; i < 4; ++i) {
    if (!Is_Plain_Integer(fields[i])) {
      Note(warnings_[PARTIAL_NUMBER], Place(number));
      return;
    }
  }
}

void Line_Checks::Add_Half(const Line_Checks& second) {
  for (int k = 0; k < KINDS; ++k) Merge(warnings_[k], second.warnings_[k]);
  if (crlf_line_ == 0) crlf_line_ = second.crlf_line_;
  if (!second.has_record_) return;
  if (backwards_line_ == 0)
    backwards_line_ = has_record_ && second.first_time_ < last_time_
                          ? second.first_line_
                          : second.backwards_line_;
  if (!has_record_ || second.latest_time_ > latest_time_) {
    latest_time_ = second.latest_time_;
    latest_line_ = second.latest_line_;
  }
  if (!has_record_) {
    first_line_ = second.first_line_;
    first_time_ = second.first_time_;
  }
  has_record_ = true;
  last_time_ = second.last_time_;
}

void Line_Checks::Finish() {
  if (bom_) Note(warnings_[BYTE_ORDER_MARK], file_);
  if (crlf_line_ != 0) Note(warnings_[CRLF_FILE], Place(crlf_line_));
  if (backwards_line_ != 0)
    Note(warnings_[TIME_BACKWARDS], Place(backwards_line_));
  if (has_record_ && last_time_ != latest_time_)
    Note(warnings_[LAST_NOT_LATEST], Place(latest_line_));
}

// Reads one payment file whole: its problems, and the checks of its record
// lines.
class File_Scan {
 public:
  File_Scan(int index, std::size_t keep, Problem_Sink* sink,
            const Day_Snapshot& snapshot)
      : checks_(index, snapshot),
        keep_(keep),
        sink_(sink),
        snapshot_(snapshot) {}

  void Run();

  Line_Checks checks_;
  File_Problems problems_;

 private:
  void Read_All();
  void Line(std::string_view line, long number);
  void Add_Problem(Line_Problem problem);

  std::size_t keep_;
  Problem_Sink* sink_;
  const Day_Snapshot& snapshot_;
  std::string problem_;   // what is wrong with the line being read
  bool newline_ = false;  // the line being read ended in '\n'
};

void File_Scan::Run() {
  try {
    Read_All();
  } catch (const Settlement_Error& error) {
    // A file that cannot be opened or read: the settlement stops there too,
    // naming the file ("FILE: PROBLEM").
    std::string_view message = error.what();
    std::string prefix = std::string(checks_.file_) + ": ";
    if (message.starts_with(prefix)) message.remove_prefix(prefix.size());
    Add_Problem({0, std::string(message), ""});
  }
  checks_.Finish();
}

void File_Scan::Read_All() {
  Line_Reader reader(snapshot_.Path(checks_.index_), checks_.file_);
  checks_.Opened(reader.File());
  std::string_view line;
  for (;;) {
    Line_Reader::Read read = reader.Next_Or_Long(line);
    if (read == Line_Reader::Read::END) return;
    if (read == Line_Reader::Read::LINE) {
      if (reader.Line_Number() == 1 && Is_Utf16_Start(line)) {
        // Every line after it is UTF-16 too: the one problem names them all.
        Add_Problem({1, UTF16_PROBLEM, std::string(line)});
        return;
      }
      newline_ = reader.Ended_By_Newline();
      Line(line, reader.Line_Number());
      continue;
    }
    // Its text is not kept: the source finds it by its number.
    reader.Skip_Long_Line();
    Add_Problem({reader.Line_Number(), "line longer than 1 MiB", ""});
  }
}

void File_Scan::Add_Problem(Line_Problem problem) {
  if (sink_ != nullptr) sink_->Add(checks_.index_, problem);
  problems_.Add(std::move(problem), keep_);
}

void File_Scan::Line(std::string_view line, long number) {
  checks_.Line_Start(line, number);
  Data record;
  bool simple = Fill_Simple_Record(record, line);
  if (!simple) {
    Line_Kind kind = Read_Record_Line(record, line, problem_);
    if (kind == Line_Kind::BLANK) return;
    if (kind == Line_Kind::BAD) {
      Add_Problem({number, problem_, std::string(line)});
      return;
    }
  }
  checks_.Record(line, number, newline_, record, simple);
}

// What the grouped taps of the day show, to be confirmed from the lines:
// the TerminalInfos (by their half of the number) that may be carried by more
// than MANY_TAPS taps, and the taps whose line may occur more than once in
// its file (one of each); both sorted. With all, every TerminalInfo and
// every line may.
struct Tap_Findings {
  std::vector<std::uint32_t> busy;
  std::vector<Tap_Number> repeated;
  bool all = false;

  bool empty() const { return !all && busy.empty() && repeated.empty(); }
  bool May_Be_Busy(Tap_Number tap) const {
    return all || std::binary_search(busy.begin(), busy.end(),
                                     Tap_Numbers::Terminal(tap));
  }
  bool May_Repeat(Tap_Number tap) const {
    return all || std::binary_search(repeated.begin(), repeated.end(), tap);
  }
};

// Adds to findings what the grouped taps show: all taps of a TerminalInfo
// half are there, together, and sorted.
void Find_In_Grouped(std::span<const Tap_Number> taps, Tap_Findings& findings) {
  for (std::size_t start = 0; start < taps.size();) {
    const std::uint32_t terminal = Tap_Numbers::Terminal(taps[start]);
    std::size_t stop = start + 1;
    while (stop < taps.size() &&
           Tap_Numbers::Terminal(taps[stop]) == terminal) {
      if (taps[stop] == taps[stop - 1] &&
          (stop == start + 1 || taps[stop] != taps[stop - 2]))
        findings.repeated.push_back(taps[stop]);
      ++stop;
    }
    if (static_cast<std::int64_t>(stop - start) > MANY_TAPS)
      findings.busy.push_back(terminal);
    start = stop;
  }
}

// Puts a piece's taps in order of their TerminalInfo halves' first
// appearance, each half's taps sorted: what Find_In_Grouped needs, without a
// sort of the whole piece. A hash table in the first cache groups them.
class Piece_Grouper {
 public:
  // Pieces larger than this are sorted instead: only a few TerminalInfos
  // can make a piece so large, and a sort needs no second copy of it.
  static constexpr std::size_t MAX_TAPS = std::size_t{1} << 14;

  // Returns the grouped taps of piece (at most MAX_TAPS of them).
  std::span<const Tap_Number> Group(std::span<const Tap_Number> piece);

 private:
  static constexpr std::uint32_t EMPTY = UINT32_MAX;
  std::uint32_t Group_Of(std::size_t tap, std::span<const Tap_Number> piece);

  std::vector<std::uint32_t> table_;  // a group per slot, or EMPTY
  std::vector<std::uint32_t> first_;  // per group: the index of its first tap
  std::vector<std::uint32_t> start_;  // per group: its start in grouped_
  std::vector<std::uint32_t> group_;  // per tap: its group
  std::vector<Tap_Number> grouped_;
};

// The group of tap i of piece, made if it is the first of its half.
std::uint32_t Piece_Grouper::Group_Of(std::size_t i,
                                      std::span<const Tap_Number> piece) {
  const std::size_t mask = table_.size() - 1;
  const std::uint32_t terminal = Tap_Numbers::Terminal(piece[i]);
  // The low bits of the half: the pieces were chosen by its high ones.
  for (std::size_t slot = terminal & mask;; slot = (slot + 1) & mask) {
    std::uint32_t g = table_[slot];
    if (g == EMPTY) {
      g = static_cast<std::uint32_t>(first_.size());
      table_[slot] = g;
      first_.push_back(static_cast<std::uint32_t>(i));
      start_.push_back(0);
      return g;
    }
    if (Tap_Numbers::Terminal(piece[first_[g]]) == terminal) return g;
  }
}

std::span<const Tap_Number> Piece_Grouper::Group(
    std::span<const Tap_Number> piece) {
  assert(piece.size() <= MAX_TAPS);
  table_.assign(std::bit_ceil(2 * piece.size() + 1), EMPTY);
  first_.clear();
  start_.clear();
  group_.resize(piece.size());
  for (std::size_t i = 0; i < piece.size(); ++i) {
    group_[i] = Group_Of(i, piece);
    ++start_[group_[i]];
  }
  // Counts to starts, then each tap to its group's next place.
  std::uint32_t at = 0;
  for (std::uint32_t& start : start_) at += std::exchange(start, at);
  grouped_.resize(piece.size());
  for (std::size_t i = 0; i < piece.size(); ++i)
    grouped_[start_[group_[i]]++] = piece[i];
  // start_ now holds each group's end.
  std::uint32_t begin = 0;
  for (std::uint32_t end : start_) {
    if (end - begin > 1)
      std::sort(grouped_.begin() + begin, grouped_.begin() + end);
    begin = end;
  }
  return grouped_;
}

// Groups the day's taps, one piece of a partition at a time (freeing each
// partition as it goes), and returns what they show.
Tap_Findings Group_Taps(const std::vector<Tap_Partitions*>& files) {
  Tap_Pieces pieces;
  Piece_Grouper grouper;
  Tap_Findings findings;
  for (std::size_t p = 0; p < Tap_Partitions::COUNT; ++p) {
    pieces.Gather(files, p);
    for (std::size_t i = 0; i < pieces.Count(); ++i) {
      std::span<Tap_Number> piece = pieces.Piece(i);
      if (piece.size() <= Piece_Grouper::MAX_TAPS) {
        Find_In_Grouped(grouper.Group(piece), findings);
      } else {
        std::sort(piece.begin(), piece.end());
        Find_In_Grouped(piece, findings);
      }
    }
  }
  std::sort(findings.busy.begin(), findings.busy.end());
  std::sort(findings.repeated.begin(), findings.repeated.end());
  return findings;
}

// Reads the files again, only on a day whose taps showed findings, to
// confirm them from the lines: counts the taps of each TerminalInfo that may
// be busy, noting those carried by more than MANY_TAPS taps in the order of
// their texts, and names each line that repeats an earlier one of its file.
// A line too long to read is a problem the first reading counted; this one
// goes on past it.
void Confirm_Findings(const Tap_Findings& findings, Warning& busy,
                      Warning& repeated, const Day_Snapshot& snapshot) {
  if (findings.empty()) return;
  const Tap_Numbers numbers;
  std::map<std::string, std::int64_t> taps_of;  // TerminalInfo texts
  for (int file = 0; file < 6; ++file) {
    std::unordered_set<std::string> seen;
    Line_Reader reader(snapshot.Path(file), AUDITED_FILES[file]);
    snapshot.Check_Opened(file, reader.File());
    std::string_view line;
    Data record;
    std::string problem;
    for (;;) {
      Line_Reader::Read read = reader.Next_Or_Long(line);
      if (read == Line_Reader::Read::END) break;
      if (read == Line_Reader::Read::TOO_LONG) {
        reader.Skip_Long_Line();
        continue;
      }
      long number = reader.Line_Number();
      if (!Read_Record(record, line, problem)) continue;
      Tap_Number tap = numbers.Of(Terminal_Key_Of(record), line, file);
      if (findings.May_Be_Busy(tap))
        ++taps_of[std::string(
            record.TerminalInfo,
            strnlen(record.TerminalInfo, TERMINALINFO_WIDTH))];
      if (findings.May_Repeat(tap) && !seen.emplace(line).second)
        Note(repeated,
             std::string(AUDITED_FILES[file]) + ":" + std::to_string(number));
    }
  }
  for (const auto& [text, count] : taps_of)
    if (count > MANY_TAPS)
      Note(busy, Quoted(text) + " (" + std::to_string(count) + " taps)");
}

}  // namespace

std::int64_t Scan_Result::Problem_Count() const {
  std::int64_t count = journey_problems.count;
  for (const File_Problems& file : problems) count += file.count;
  return count;
}

void Note(Warning& warning, const std::string& place) {
  ++warning.count;
  if (warning.examples.size() < warning.Places_Kept())
    warning.examples.push_back(place);
}

namespace {

// The warnings and repeated lines of the day, from the checks of its files
// (each finished, in file order) and the taps of their parts.
std::vector<Warning> Day_Warnings(const std::vector<Line_Checks*>& files,
                                  const std::vector<Tap_Partitions*>& taps,
                                  const Day_Snapshot& snapshot) {
  std::vector<Warning> warnings = Empty_Warnings();
  for (const Line_Checks* file : files)
    for (int k = 0; k < KINDS; ++k) Merge(warnings[k], file->warnings_[k]);
  Confirm_Findings(Group_Taps(taps), warnings[BUSY_TERMINAL],
                   warnings[DUPLICATE_LINE], snapshot);
  return warnings;
}

}  // namespace

std::vector<Warning> Confirm_Every_Line(const Day_Snapshot& snapshot) {
  std::vector<Warning> warnings = Empty_Warnings();
  Tap_Findings every;
  every.all = true;
  Confirm_Findings(every, warnings[BUSY_TERMINAL], warnings[DUPLICATE_LINE],
                   snapshot);
  return warnings;
}

// The six files are read one after the other on the calling thread.
Scan_Result Scan_Payment_Files(std::size_t keep, Problem_Sink* sink,
                               const Day_Snapshot& snapshot) {
  std::vector<File_Scan> scans;
  scans.reserve(6);
  for (int i = 0; i < 6; ++i) scans.emplace_back(i, keep, sink, snapshot);
  Scan_Result result;
  std::vector<Line_Checks*> files;
  std::vector<Tap_Partitions*> taps;
  for (File_Scan& scan : scans) {
    scan.Run();
    result.problems[scan.checks_.index_] = std::move(scan.problems_);
    files.push_back(&scan.checks_);
    taps.push_back(&scan.checks_.taps_);
  }
  result.warnings = Day_Warnings(files, taps, snapshot);
  return result;
}

// Both halves of each payment file, made before the loading starts so that
// its threads only look them up.
struct Load_Checks::Halves {
  std::vector<std::unique_ptr<Line_Checks>> checks;  // file * 2 + half
};

Load_Checks::Load_Checks(const Day_Snapshot& snapshot)
    : snapshot_(snapshot), halves_(std::make_unique<Halves>()) {
  for (int i = 0; i < 12; ++i)
    halves_->checks.push_back(std::make_unique<Line_Checks>(i / 2, snapshot));
}

Load_Checks::~Load_Checks() = default;

Part_Observer& Load_Checks::Part(int file, int half) {
  return *halves_->checks.at(static_cast<std::size_t>(file * 2 + half));
}

Scan_Result Load_Checks::Result() {
  std::vector<Line_Checks*> files;
  std::vector<Tap_Partitions*> taps;
  for (int file = 0; file < 6; ++file) {
    Line_Checks& first = *halves_->checks[static_cast<std::size_t>(file * 2)];
    Line_Checks& second =
        *halves_->checks[static_cast<std::size_t>(file * 2 + 1)];
    first.Add_Half(second);
    first.Finish();
    files.push_back(&first);
    taps.push_back(&first.taps_);
    taps.push_back(&second.taps_);
  }
  Scan_Result result;
  result.warnings = Day_Warnings(files, taps, snapshot_);
  return result;
}

Journey_Warnings::Journey_Warnings() : warnings_(Empty_Warnings()) {}

void Journey_Warnings::Settled(const Settled_Journey& journey) {
  // A journey is named only where its name is kept: most are not warned of,
  // and of those warned of (on a day of long journeys, a third of them
  // have a residue above their fare) only the first few are named.
  auto note = [&](Warning& warning, auto place) {
    ++warning.count;
    if (warning.examples.size() < warning.Places_Kept())
      warning.examples.push_back(place());
  };
  auto name = [&] { return Quoted(journey.terminal); };
  if (static_cast<std::int64_t>(journey.legs.size()) > MANY_TAPS)
    note(warnings_[LONG_JOURNEY], [&] {
      return name() + " (" + std::to_string(journey.legs.size()) + " legs)";
    });
  if (journey.collected <= 0) note(warnings_[NOT_POSITIVE], name);
  if (journey.Residue() > journey.collected)
    note(warnings_[RESIDUE_ABOVE], name);
}

void Journey_Warnings::Add_To(Scan_Result& scan) const {
  for (int k : {LONG_JOURNEY, NOT_POSITIVE, RESIDUE_ABOVE})
    Merge(scan.warnings[k], warnings_[k]);
}
