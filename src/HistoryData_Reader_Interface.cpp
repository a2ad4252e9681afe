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
#include <thread>

#include "Calculating_System.h"
#include "Line_Reader.h"
#include "Os.h"
#include "Paths.h"
#include "Record_Line.h"
#include "Record_List.h"
#include "Settlement_Error.h"

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

void Load_Payment_File(const std::string& dir, const char* file,
                       History_Data* header, History_Data* tailer) {
  Line_Reader reader(Path_In(dir, file), file);
  History_Data* last = header;
  std::string_view line;
  Data record;
  while (reader.Next(line)) {
    if (reader.Line_Number() == 1 && Is_Utf16_Start(line))
      Fail(file, 1, UTF16_PROBLEM);
    if (!Fill_Data(record, line, file, reader.Line_Number())) continue;
    try {
      last = Append(last, tailer);
    } catch (const Arena_Full& full) {
      Fail(file, reader.Line_Number(), full.what());
    }
    last->data = record;
  }
}

namespace {

// The time of a list's last record; has_record tells whether there is one.
std::int32_t Last_Time(const History_Data* header, const History_Data* tailer,
                       bool& has_record) {
  has_record = tailer->prev != header;
  return has_record ? tailer->prev->data.LastTime : 0;
}

}  // namespace

void For_Each_Payment_File(const std::string& dir,
                           const std::function<void(int)>& job) {
  std::exception_ptr failure[6];
  // Larger files first, so that the two threads finish close together.
  int order[6] = {0, 1, 2, 3, 4, 5};
  std::uint64_t size[6] = {};
  for (int i = 0; i < 6; ++i)
    size[i] = Os_Size_Of(Path_In(dir, PAYMENT_FILES[i].name)).value_or(0);
  std::stable_sort(order, order + 6,
                   [&](int a, int b) { return size[a] > size[b]; });
  std::atomic<int> next{0};
  auto work = [&] {
    for (int i; (i = next.fetch_add(1)) < 6;) {
      int file = order[i];
      try {
        job(file);
      } catch (...) {
        failure[file] = std::current_exception();
      }
    }
  };
  std::thread helper(work);
  work();
  helper.join();
  for (const std::exception_ptr& f : failure)
    if (f) std::rethrow_exception(f);
}

void HistoryData_Reader_Interface(const std::string& dir) {
  // The files are independent and each fills its own list.
  For_Each_Payment_File(dir, [&dir](int file) {
    const Payment_File& payment = PAYMENT_FILES[file];
    Load_Payment_File(dir, payment.name, *payment.header, *payment.tailer);
  });

  bool has_record = false;
  bus_LastTag = Last_Time(B_header, B_tailer, has_record);
  // The greatest last time over the metro files that hold records; a tie
  // keeps the earlier file's time.
  bool found = false;
  metro_LastTag = 0;
  for (int i = 1; i < 6; ++i) {
    Record_List metro = PAYMENT_FILES[i].List();
    std::int32_t time = Last_Time(metro.header, metro.tailer, has_record);
    if (has_record && (!found || time > metro_LastTag)) metro_LastTag = time;
    found = found || has_record;
  }
}
