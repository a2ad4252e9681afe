// The payment history store: the record line and the loading of the six
// payment files into their lists.
#include <algorithm>
#include <atomic>
#include <bit>
#include <cassert>
#include <charconv>
#include <cstring>
#include <exception>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "Calculating_System.h"
#include "Keyed_Hash.h"
#include "Line_Reader.h"
#include "Load_Observer.h"
#include "Memory.h"
#include "Os.h"
#include "Paths.h"
#include "Record_Line.h"
#include "Record_List.h"
#include "Settlement_Error.h"
#include "Terminal_Key.h"

// --- Record lines -----------------------------------------------------------

namespace {

constexpr std::string_view SEPARATORS = " ,\t\n";
constexpr const char* FIELD_NAMES[5] = {"LastTime", "Mot", "InOut", "Balance",
                                        "TerminalInfo"};
constexpr std::size_t FIELD_WIDTHS[5] = {LASTTIME_WIDTH, MOT_WIDTH, INOUT_WIDTH,
                                         BALANCE_WIDTH, TERMINALINFO_WIDTH};

// A line is blank when it holds only spaces, tabs and commas, apart from the
// carriage return of a CRLF line ending.
bool Is_Blank(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line.find_first_not_of(" \t,") == std::string_view::npos;
}

}  // namespace

int Split_Fields(std::string_view line, std::string_view fields[5]) {
  int count = 0;
  std::size_t at = line.find_first_not_of(SEPARATORS);
  while (count < 5 && at != std::string_view::npos) {
    std::size_t stop = line.find_first_of(SEPARATORS, at);
    if (stop == std::string_view::npos) stop = line.size();
    fields[count++] = line.substr(at, stop - at);
    at = line.find_first_not_of(SEPARATORS, stop);
  }
  return count;
}

namespace {

bool Is_C_Space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

// atoi-style conversion: leading white space, optional sign, digits up to the
// first non-digit; no digits gives 0. The token holds at most 12 characters.
std::int64_t Convert_Decimal(std::string_view token) {
  std::size_t at = 0;
  while (at < token.size() && Is_C_Space(token[at])) ++at;
  bool negative = false;
  if (at < token.size() && (token[at] == '+' || token[at] == '-'))
    negative = token[at++] == '-';
  std::int64_t value = 0;
  for (; at < token.size() && token[at] >= '0' && token[at] <= '9'; ++at)
    value = value * 10 + (token[at] - '0');
  return negative ? -value : value;
}

}  // namespace

Line_Kind Read_Record_Line(Data& record, std::string_view line,
                           std::string& problem) {
  if (line.find('\0') != std::string_view::npos) {
    problem = "NUL byte in record line";
    return Line_Kind::BAD;
  }
  if (Is_Blank(line)) return Line_Kind::BLANK;
  std::string_view fields[5];
  if (Split_Fields(line, fields) < 5) {
    problem = "fewer than five fields";
    return Line_Kind::BAD;
  }
  for (int i = 0; i < 5; ++i) {
    if (fields[i].size() > FIELD_WIDTHS[i]) {
      problem = std::string(FIELD_NAMES[i]) + " longer than " +
                std::to_string(FIELD_WIDTHS[i]) +
                (FIELD_WIDTHS[i] == 1 ? " byte" : " bytes");
      return Line_Kind::BAD;
    }
  }
  std::int64_t time = Convert_Decimal(fields[0]);
  if (time < INT32_MIN || time > INT32_MAX) {
    problem = "LastTime outside the 32-bit range";
    return Line_Kind::BAD;
  }
  record.LastTime = static_cast<std::int32_t>(time);
  record.Mot = static_cast<signed char>(Convert_Decimal(fields[1]));
  record.InOut = static_cast<signed char>(Convert_Decimal(fields[2]));
  record.Balance = static_cast<std::int32_t>(Convert_Decimal(fields[3]));
  std::memset(record.TerminalInfo, 0, sizeof record.TerminalInfo);
  std::memcpy(record.TerminalInfo, fields[4].data(), fields[4].size());
  return Line_Kind::RECORD;
}

bool Is_Utf16_Start(std::string_view line) {
  if (line.starts_with("\xFF\xFE") || line.starts_with("\xFE\xFF")) {
    line.remove_prefix(2);
    return line.empty() || line.find('\0') != std::string_view::npos;
  }
  // Little-endian text has its NUL bytes at odd offsets, big-endian text at
  // even ones.
  for (std::size_t parity = 0; parity < 2; ++parity) {
    bool pattern = line.size() > 1;
    for (std::size_t at = 0; at < line.size() && pattern; ++at)
      pattern = (line[at] == '\0') == (at % 2 == parity);
    if (pattern) return true;
  }
  return false;
}

Boolean Fill_Data_General(Data& record, std::string_view line,
                          std::string_view file, long line_number) {
  std::string problem;
  Line_Kind kind = Read_Record_Line(record, line, problem);
  if (kind == Line_Kind::BAD) Fail(file, line_number, problem);
  return kind == Line_Kind::RECORD ? TRUE : FALSE;
}

namespace {

// Reads 1 to max_digits decimal digits at p; returns the position after them,
// or nullptr when there are none or more than max_digits.
const char* Read_Digits(const char* p, const char* end, int max_digits,
                        std::uint64_t& value) {
  const char* start = p;
  value = 0;
  while (p != end && *p >= '0' && *p <= '9' && p - start <= max_digits)
    value = value * 10 + static_cast<unsigned>(*p++ - '0');
  return p == start || p - start > max_digits ? nullptr : p;
}

bool Is_Digit(char c) { return c >= '0' && c <= '9'; }

bool Is_Separator_Or_Nul(char c) {
  return c == ' ' || c == ',' || c == '\t' || c == '\n' || c == '\0';
}

}  // namespace

Boolean Fill_Simple_Record(Data& record, std::string_view line) {
  const char* p = line.data();
  const char* end = p + line.size();
  std::uint64_t time, balance;
  p = Read_Digits(p, end, 10, time);
  // ",M,I,": Mot and InOut are one digit each.
  if (p == nullptr || time > INT32_MAX || end - p < 6 || p[0] != ',' ||
      !Is_Digit(p[1]) || p[2] != ',' || !Is_Digit(p[3]) || p[4] != ',')
    return FALSE;
  int mot = p[1] - '0', in_out = p[3] - '0';
  p = Read_Digits(p + 5, end, 4, balance);
  if (p == nullptr || p == end || (*p != ',' && *p != ' ')) return FALSE;
  ++p;
  std::size_t length = static_cast<std::size_t>(end - p);
  if (length == 0 || length > TERMINALINFO_WIDTH) return FALSE;
  // Checked and gathered in one loop of at most 9 characters, into numbers
  // rather than bytes in memory: reading back bytes just stored one by one
  // as a wider word stalls the processor, and took a quarter of this time.
  std::uint64_t first8 = 0;  // characters 0..7 in memory order
  char ninth = '\0';
  for (std::size_t i = 0; i < length; ++i) {
    if (Is_Separator_Or_Nul(p[i])) return FALSE;
    if (i == 8) {
      ninth = p[i];
      break;
    }
    std::uint64_t c = static_cast<unsigned char>(p[i]);
    first8 |= std::endian::native == std::endian::little ? c << (8 * i)
                                                         : c << (56 - 8 * i);
  }
  record.LastTime = static_cast<std::int32_t>(time);
  record.Mot = static_cast<signed char>(mot);
  record.InOut = static_cast<signed char>(in_out);
  record.Balance = static_cast<std::int32_t>(balance);
  std::memcpy(record.TerminalInfo, &first8, sizeof first8);
  record.TerminalInfo[8] = ninth;
  record.TerminalInfo[9] = '\0';
  return TRUE;
}

Boolean Fill_Data(Data& record, std::string_view line, std::string_view file,
                  long line_number) {
  if (Fill_Simple_Record(record, line)) {
#ifndef NDEBUG
    // The fast reader may only take lines the general one reads the same.
    Data general;
    assert(Fill_Data_General(general, line, file, line_number) &&
           std::memcmp(&general, &record, sizeof record) == 0);
#endif
    return TRUE;
  }
  return Fill_Data_General(record, line, file, line_number);
}

namespace {

// Writes value in decimal. The one-digit fields (Mot, InOut) skip the
// general conversion, which took a third of the time of writing a line.
char* Put_Decimal(char* out, int value) {
  constexpr int NUMBER = 12;  // a 32-bit number with its sign
  if (static_cast<unsigned>(value) < 10) {
    *out = static_cast<char>('0' + value);
    return out + 1;
  }
  return std::to_chars(out, out + NUMBER, value).ptr;
}

}  // namespace

char* Format_Record_Line(char* out, const Data& record,
                         char terminal_separator) {
  out = Put_Decimal(out, record.LastTime);
  *out++ = ',';
  out = Put_Decimal(out, record.Mot);
  *out++ = ',';
  out = Put_Decimal(out, record.InOut);
  *out++ = ',';
  out = Put_Decimal(out, record.Balance);
  *out++ = terminal_separator;
  std::size_t length = strnlen(record.TerminalInfo, sizeof record.TerminalInfo);
  std::memcpy(out, record.TerminalInfo, length);
  out += length;
  *out++ = '\n';
  return out;
}

// --- Payment file loading ---------------------------------------------------

namespace {

// The TerminalInfo texts of the bus records below the transfer threshold, as
// bits: a metro tap whose text's bit is clear shares its text with no such
// record, so no transfer journey can take it, and it needs no list node. A
// set bit may be another text's (on a day of ten million taps, for one tap
// of no journey in sixteen). Texts chosen to share bits can only keep more taps
// in the lists, as all were before, never keep a journey's tap out.
class Candidate_Texts {
 public:
  // Sized for a bus file of bus_bytes bytes: at least two bits for each of
  // its records (a record line takes at least ten bytes).
  explicit Candidate_Texts(std::uint64_t bus_bytes)
      : bits_(std::clamp<std::uint64_t>(bus_bytes / 4 / 64 + 1, 1, MAX_WORDS) *
              64),
        multiplier_(Process_Hash_Key().k1 | 1),
        words_(static_cast<std::uint64_t*>(
            Map_Memory(bits_ / 64 * sizeof(std::uint64_t)))) {}
  ~Candidate_Texts() {
    Unmap_Memory(words_, bits_ / 64 * sizeof(std::uint64_t));
  }
  Candidate_Texts(const Candidate_Texts& other)
      : bits_(other.bits_),
        multiplier_(other.multiplier_),
        words_(static_cast<std::uint64_t*>(
            Map_Memory(bits_ / 64 * sizeof(std::uint64_t)))) {
    std::copy(other.words_, other.words_ + bits_ / 64, words_);
  }
  Candidate_Texts& operator=(const Candidate_Texts&) = delete;

  // The bit of key: a multiply-shift hash of it under this process's
  // multiplier, scaled to the bits.
  std::uint64_t Bit(const Terminal_Key& key) const {
    __extension__ typedef unsigned __int128 Wide;
    std::uint64_t mix =
        (key.first8 ^ key.last * 0x9E3779B97F4A7C15u) * multiplier_;
    mix ^= mix >> 29;
    return static_cast<std::uint64_t>((Wide{mix} * bits_) >> 64);
  }
  // Asks the cache for the word of bit, to be written.
  void Prefetch_Bit(std::uint64_t bit) const {
    __builtin_prefetch(&words_[bit / 64], 1);
  }
  void Set(std::uint64_t bit) {
    words_[bit / 64] |= std::uint64_t{1} << (bit % 64);
  }
  // Adds every key that other, made for the same file, has.
  void Add_All(const Candidate_Texts& other) {
    for (std::size_t i = 0; i < bits_ / 64; ++i) words_[i] |= other.words_[i];
  }
  // False only when no key added is this one.
  bool May_Hold(const Terminal_Key& key) const {
    std::uint64_t bit = Bit(key);
    return words_[bit / 64] >> (bit % 64) & 1;
  }
  // Asks the cache for the bit May_Hold reads for key.
  void Prefetch(const Terminal_Key& key) const {
    __builtin_prefetch(&words_[Bit(key) / 64]);
  }

 private:
  static constexpr std::uint64_t MAX_WORDS = std::uint64_t{1} << 25;  // 256 MiB

  std::uint64_t bits_;
  std::uint64_t multiplier_;
  std::uint64_t* words_;  // bits_ / 64 of them, zeroed, in large pages
};

// What the loading of a part of a payment file does besides listing its
// records: notes the texts of the records below the threshold (the bus
// file), or lists only the records whose text may be noted and tallies the
// others in unlisted (a metro file).
struct Load_Plan {
  Candidate_Texts* note = nullptr;
  const Candidate_Texts* keep = nullptr;
  Unlisted_Taps* unlisted = nullptr;
};

// Where a file's records ended: whether it has one, the last one's time.
struct File_End {
  bool has_record = false;
  std::int32_t last_time = 0;
};

// The most taps of one file kept out of its list: their amounts, of 32 bits
// each, then add up exactly in 64.
constexpr std::int64_t MAX_UNLISTED = std::int64_t{UINT32_MAX};

// A record read and waiting for its turn, and the line it came from.
struct Pending_Record {
  Data record;
  long line;
};

// The loading of a part of a payment file onto the end of a list. What it
// counts stays in the object until the end: threads loading other parts
// write next to the plan's targets, and sharing a cache line with them at
// every record halved the speed of both.
class Part_Loader {
 public:
  Part_Loader(const char* file, History_Data* tailer, const Load_Plan& plan,
              Part_Observer* observer = nullptr)
      : file_(file),
        tailer_(tailer),
        last_(tailer->prev),
        plan_(plan),
        observer_(observer) {}

  // Loads the lines of reader that start before offset stop; the taps kept
  // out of the list are tallied in plan.unlisted once done.
  void Load(Line_Reader& reader, std::uint64_t stop) {
    std::string_view line;
    try {
      while (reader.Next_Offset() < stop && reader.Next(line)) {
        long number = reader.Line_Number();
        if (number == 1 && Is_Utf16_Start(line)) Fail(file_, 1, UTF16_PROBLEM);
        // Read straight into its place: copied from where it was just
        // written field by field, a record waits for those writes.
        Data& record = plan_.keep != nullptr
                           ? pending_[read_ % LOOK_AHEAD].record
                           : scratch_;
        if (observer_ != nullptr)
          Observed(record, line, number, reader.Ended_By_Newline());
        else if (Fill_Data(record, line, file_, number))
          Take(record, number);
      }
    } catch (...) {
      // The records read before the failing line come first.
      Settle_Pending();
      throw;
    }
    Settle_Pending();
    while (noted_ < seen_) plan_.note->Set(bits_[noted_++ % LOOK_AHEAD]);
    if (plan_.unlisted != nullptr) *plan_.unlisted = unlisted_;
  }
  const File_End& End() const { return end_; }

 private:
  // How many records (or candidates' bits) wait for their filter word,
  // asked for when read: looked up at once, it missed the cache nearly every
  // time, and the loading took half as long again.
  static constexpr std::size_t LOOK_AHEAD = 16;

  // Fill_Data, telling the observer of a record line before taking it.
  void Observed(Data& record, std::string_view line, long number,
                bool newline) {
    bool simple = Fill_Simple_Record(record, line);
    if (!simple && !Fill_Data_General(record, line, file_, number)) return;
    observer_->Record(line, number, newline, record, simple);
    Take(record, number);
  }
  // Takes record, read from line into its place.
  void Take(const Data& record, long line) {
    end_ = {true, record.LastTime};
    if (plan_.note != nullptr && record.Balance < TRANSFER_THRESHOLD)
      Note(Terminal_Key_Of(record));
    if (plan_.keep == nullptr) return List(record, line);
    plan_.keep->Prefetch(Terminal_Key_Of(record));
    pending_[read_++ % LOOK_AHEAD].line = line;
    if (read_ - settled_ == LOOK_AHEAD)
      Settle(pending_[settled_++ % LOOK_AHEAD]);
  }
  // Sets the bit of key LOOK_AHEAD candidates later, once its word is near.
  void Note(const Terminal_Key& key) {
    std::uint64_t bit = plan_.note->Bit(key);
    plan_.note->Prefetch_Bit(bit);
    if (seen_ - noted_ == LOOK_AHEAD)
      plan_.note->Set(bits_[noted_++ % LOOK_AHEAD]);
    bits_[seen_++ % LOOK_AHEAD] = bit;
  }
  void Settle_Pending() {
    while (settled_ < read_) Settle(pending_[settled_++ % LOOK_AHEAD]);
  }
  // Lists a record whose text may be a candidate's; tallies the others.
  void Settle(const Pending_Record& pending) {
    if (plan_.keep->May_Hold(Terminal_Key_Of(pending.record)))
      return List(pending.record, pending.line);
    if (unlisted_.count == MAX_UNLISTED)
      Fail(file_, pending.line,
           "more records than one run can hold (" +
               std::to_string(MAX_UNLISTED) + ")");
    ++unlisted_.count;
    unlisted_.amount += pending.record.Balance;
  }
  void List(const Data& record, long line) {
    try {
      last_ = Append(last_, tailer_);
    } catch (const Arena_Full& full) {
      Fail(file_, line, full.what());
    }
    last_->data = record;
  }

  // Measured once: every line's read takes it.
  const std::string_view file_;
  History_Data* tailer_;
  History_Data* last_;
  const Load_Plan plan_;
  Part_Observer* observer_;
  File_End end_;
  Unlisted_Taps unlisted_;
  Data scratch_;
  Pending_Record pending_[LOOK_AHEAD];  // records read, not yet settled
  std::size_t read_ = 0, settled_ = 0;
  std::uint64_t bits_[LOOK_AHEAD];  // bits noted, not yet set
  std::size_t seen_ = 0, noted_ = 0;
};

// The size of payment file file in directory dir; 0 when it cannot be
// asked (opening it then says why).
std::uint64_t File_Size(const std::string& dir, int file) {
  return Os_Size_Of(Path_In(dir, PAYMENT_FILES[file].name)).value_or(0);
}

// A file this large may be read by two threads, each about half of it.
constexpr std::uint64_t SPLIT_BYTES = std::uint64_t{1} << 20;
// Where a file's second half starts, in hundredths of the file: past the
// middle, since its thread first passes over the first half's lines to
// count them.
constexpr std::uint64_t SPLIT_PERCENT = 53;

// A piece of work of the loading: a payment file whole, or one half of it.
// The first half is the lines that start before middle, the second the
// rest, read into a list of its own and moved after the first's.
struct File_Part {
  enum Piece { WHOLE, FIRST, SECOND };
  int file = 0;
  Piece piece = WHOLE;
  std::uint64_t middle = 0;
  Load_Plan plan;
  // What the loading found: the file's end, and where the halves meet:
  // for the first, the offset of the first line it left and how many lines
  // it read; for the second, the offset of its first line and how many come
  // before it (found tells that they were reached).
  File_End end;
  Unlisted_Taps unlisted;
  bool found = false;
  std::uint64_t meet = 0;
  long lines = 0;
  History_Data* header = nullptr;  // the second half's own list
  History_Data* tailer = nullptr;
  std::exception_ptr failure;
};

// Loads part of the payment file in directory dir, telling observer (may
// be null) of its lines.
void Load_Part(const std::string& dir, File_Part& part,
               Load_Observer* observer) {
  const char* file = PAYMENT_FILES[part.file].name;
  Line_Reader reader(Path_In(dir, file), file);
  Part_Observer* told = nullptr;
  if (observer != nullptr) {
    told = &observer->Part(part.file, part.piece == File_Part::SECOND);
    told->Opened(reader.File());
  }
  Load_Plan plan = part.plan;
  plan.unlisted = plan.keep != nullptr ? &part.unlisted : nullptr;
  History_Data* tailer = *PAYMENT_FILES[part.file].tailer;
  std::uint64_t stop = UINT64_MAX;
  if (part.piece == File_Part::SECOND) {
    part.meet = reader.Skip_Lines_Before(part.middle);
    part.lines = reader.Line_Number();
    part.found = true;
    tailer = part.tailer;
  } else if (part.piece == File_Part::FIRST) {
    stop = part.middle;
  }
  Part_Loader loader(file, tailer, plan, told);
  loader.Load(reader, stop);
  part.end = loader.End();
  if (part.piece == File_Part::FIRST) {
    part.meet = reader.Next_Offset();
    part.lines = reader.Line_Number();
    part.found = true;
  }
}

// Adds the parts of file, of size bytes, to parts: two halves when it is
// large (split), else the whole.
void Add_Parts(int file, std::uint64_t size, bool split, const Load_Plan& plan,
               std::vector<File_Part>& parts) {
  File_Part part;
  part.file = file;
  part.plan = plan;
  if (!split || size < SPLIT_BYTES) {
    parts.push_back(part);
    return;
  }
  part.piece = File_Part::FIRST;
  part.middle = size / 100 * SPLIT_PERCENT;
  parts.push_back(part);
  part.piece = File_Part::SECOND;
  Create_List(part.header, part.tailer);
  parts.push_back(part);
}

// Loads parts on two threads, each taking the next part in order, and
// keeps each part's failure.
void Run_Parts(const std::string& dir, std::vector<File_Part>& parts,
               Load_Observer* observer) {
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (std::size_t i; (i = next.fetch_add(1)) < parts.size();) {
      try {
        Load_Part(dir, parts[i], observer);
      } catch (...) {
        parts[i].failure = std::current_exception();
      }
    }
  };
  std::thread helper(work);
  work();
  helper.join();
}

// After Run_Parts: rethrows the failure of the file first in reading order,
// as reading one file after the other would have stopped there, and joins
// the halves of each file: the second's records after the first's, their
// tallies added, the file's end the second's if it has a record.
void Join_Parts(std::vector<File_Part>& parts, File_End ends[6]) {
  std::stable_sort(
      parts.begin(), parts.end(),
      [](const File_Part& a, const File_Part& b) { return a.file < b.file; });
  for (std::size_t i = 0; i < parts.size(); ++i) {
    File_Part& part = parts[i];
    if (part.failure) std::rethrow_exception(part.failure);
    ends[part.file] = part.end;
    Unlisted[part.file] = part.unlisted;
    if (part.piece != File_Part::FIRST) continue;
    File_Part& second = parts[++i];
    // Both halves find where they meet alike, unless the file changed
    // between their readings.
    if (second.found &&
        (second.meet != part.meet || second.lines != part.lines))
      Fail(PAYMENT_FILES[part.file].name, 0, "changed while it was read");
    if (second.failure) std::rethrow_exception(second.failure);
    Move_Records_To_End(*PAYMENT_FILES[part.file].tailer, second.header,
                        second.tailer);
    if (second.end.has_record) ends[part.file] = second.end;
    Unlisted[part.file].count += second.unlisted.count;
    Unlisted[part.file].amount += second.unlisted.amount;
  }
}

// The bus file, on both threads when it is large: it tells which metro
// taps no transfer journey can take. Each half notes its candidates'
// texts apart, added to candidates after.
void Load_Bus_File(const std::string& dir, std::uint64_t size,
                   Candidate_Texts& candidates, File_End ends[6],
                   Load_Observer* observer) {
  std::vector<File_Part> parts;
  Add_Parts(0, size, true, {&candidates, nullptr, nullptr}, parts);
  std::optional<Candidate_Texts> second_candidates;
  if (parts.size() == 2)
    parts[1].plan.note = &second_candidates.emplace(candidates);
  Run_Parts(dir, parts, observer);
  Join_Parts(parts, ends);
  if (second_candidates) candidates.Add_All(*second_candidates);
}

// The metro files, largest first, on both threads, each listing only the
// taps whose text candidates may hold. The smallest is read in halves, so
// that five files of a size keep both threads busy to the end.
void Load_Metro_Files(const std::string& dir, const Candidate_Texts& candidates,
                      File_End ends[6], Load_Observer* observer) {
  int order[5] = {1, 2, 3, 4, 5};
  std::uint64_t size[6] = {};
  for (int file : order) size[file] = File_Size(dir, file);
  std::stable_sort(order, order + 5,
                   [&](int a, int b) { return size[a] > size[b]; });
  std::vector<File_Part> parts;
  for (int file : order)
    Add_Parts(file, size[file], file == order[4],
              {nullptr, &candidates, nullptr}, parts);
  Run_Parts(dir, parts, observer);
  Join_Parts(parts, ends);
}

}  // namespace

void Load_Payment_File(const std::string& dir, const char* file,
                       History_Data* header, History_Data* tailer) {
  (void)header;
  Line_Reader reader(Path_In(dir, file), file);
  Part_Loader(file, tailer, Load_Plan()).Load(reader, UINT64_MAX);
}

void HistoryData_Reader_Interface(const std::string& dir) {
  HistoryData_Reader_Interface(dir, nullptr);
}

void HistoryData_Reader_Interface(const std::string& dir,
                                  Load_Observer* observer) {
  const std::uint64_t bus_size = File_Size(dir, 0);
  Candidate_Texts candidates(bus_size);
  File_End ends[6];
  Load_Bus_File(dir, bus_size, candidates, ends, observer);
  Load_Metro_Files(dir, candidates, ends, observer);

  bus_LastTag = B_tailer->prev != B_header ? B_tailer->prev->data.LastTime : 0;
  // The greatest last time over the metro files that hold records; a tie
  // keeps the earlier file's time.
  bool found = false;
  metro_LastTag = 0;
  for (int i = 1; i < 6; ++i) {
    const File_End& end = ends[i];
    if (end.has_record && (!found || end.last_time > metro_LastTag))
      metro_LastTag = end.last_time;
    found = found || end.has_record;
  }
}
