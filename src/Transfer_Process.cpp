// Transfer apportionment: reads the transfer history back, orders each
// journey's legs by time and credits every leg's share of the journey's fare
// to the bus or the metro total.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>
#include <thread>
#include <utility>

#include "Calculating_System.h"

namespace {

__extension__ typedef __int128 Wide;

// A journey is settled as soon as its last line has been read, so the
// history is never held whole. A settlement failure (a zero divisor, a total
// leaving 64 bits) is kept until the file has been read to its END mark: a
// malformed line or a missing END is reported first, wherever it stands.
class Journey_Settler {
 public:
  // Adds record to the journey under way, settling that journey first when
  // record starts a new one.
  void Add(const Data& record) {
    if (!legs_.empty() && std::strcmp(record.TerminalInfo, terminal_) != 0)
      Settle();
    if (legs_.empty())
      std::memcpy(terminal_, record.TerminalInfo, sizeof terminal_);
    legs_.push_back({record.LastTime, record.Mot, record.Balance});
  }
  // Adds a whole journey whose TerminalInfo differs from the one before.
  void Add_Journey(const Leg* first, const Leg* stop, const char* terminal) {
    Settle();
    legs_.assign(first, stop);
    std::memcpy(terminal_, terminal, sizeof terminal_);
  }
  // Settles the last journey, then reports a kept failure.
  void Finish() {
    Settle();
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  void Settle() {
    if (legs_.empty()) return;
    if (!failure_) {
      try {
        Sort_Legs(legs_);
        calculate(legs_, &Total_bus_fee, &Total_metro_fee, terminal_);
      } catch (const Settlement_Error&) {
        failure_ = std::current_exception();
      }
    }
    reset_Arr(legs_);
  }

  Leg_Table legs_;
  char terminal_[TERMINALINFO_WIDTH + 1] = {};
  std::exception_ptr failure_;
};

// A history this large is read in two halves at once: a second thread
// parses the second half while this one settles the first; the second half
// is settled afterwards, journey by journey in file order, so totals and
// errors come out as from one reading.
constexpr std::uint64_t SPLIT_SIZE = std::uint64_t{8} << 20;

// The offset of a line near the middle of the file where a new journey
// starts, or 0 when there is none to be found nearby (the file is then read
// in one piece).
std::uint64_t Find_Split(std::uint64_t size) {
  std::uint64_t middle = size / 2;
  Line_Reader reader(HISTORY_FILE, middle,
                     std::min(size, middle + (std::uint64_t{1} << 20)));
  std::string_view line;
  if (!reader.Next(line) || !reader.Ended_By_Newline()) return 0;
  std::uint64_t at = middle + line.size() + 1;  // start of the next line
  char previous[TERMINALINFO_WIDTH + 1] = {};
  Data record;
  while (reader.Next(line) && reader.Ended_By_Newline()) {
    if (!Fill_Simple_Record(record, line)) return 0;
    if (previous[0] != '\0' && std::strcmp(previous, record.TerminalInfo) != 0)
      return at;
    std::memcpy(previous, record.TerminalInfo, sizeof previous);
    at += line.size() + 1;
  }
  return 0;
}

// The second half of the history, parsed: its journeys, and how its
// reading ended.
struct Parsed_Half {
  struct Journey {
    std::size_t first_leg;
    char terminal[TERMINALINFO_WIDTH + 1];
  };
  std::vector<Leg> legs;
  std::vector<Journey> journeys;
  bool ended = false;          // its END mark was read
  long bad_line_number = 0;    // counted within the half; 0 if none
  std::string bad_line;        // the first line that is not a record
  std::exception_ptr failure;  // a read failure
};

void Parse_Half(std::uint64_t first_byte, std::uint64_t end_byte,
                Parsed_Half& half) {
  try {
    Line_Reader reader(HISTORY_FILE, first_byte, end_byte);
    half.legs.reserve((end_byte - first_byte) / 24);
    std::string_view line;
    Data record;
    while (reader.Next(line)) {
      if (line == "END" && !reader.Ended_By_Newline()) {
        half.ended = true;
        return;
      }
      // The general reader is tried only on lines the simple one refuses;
      // a line it rejects is kept so that its error can be raised later,
      // with its number in the whole file.
      bool filled = Fill_Simple_Record(record, line);
      if (!filled) {
        try {
          filled = Fill_Data_General(record, line, HISTORY_FILE, 1);
        } catch (const Settlement_Error&) {
          half.bad_line_number = reader.Line_Number();
          half.bad_line = line;
          return;
        }
      }
      if (!filled) continue;
      if (half.journeys.empty() || std::strcmp(half.journeys.back().terminal,
                                               record.TerminalInfo) != 0) {
        half.journeys.push_back({half.legs.size(), {}});
        std::memcpy(half.journeys.back().terminal, record.TerminalInfo,
                    sizeof record.TerminalInfo);
      }
      half.legs.push_back({record.LastTime, record.Mot, record.Balance});
    }
  } catch (...) {
    half.failure = std::current_exception();
  }
}

// Settles the first half; returns how many lines it holds.
long Settle_First_Half(std::uint64_t end_byte, Journey_Settler& settler) {
  Line_Reader reader(HISTORY_FILE, 0, end_byte);
  std::string_view line;
  Data record;
  while (reader.Next(line))
    if (Fill_Data(record, line, HISTORY_FILE, reader.Line_Number()))
      settler.Add(record);
  return reader.Line_Number();
}

// Raises the first error of the second half as a reading of the whole file
// would have, its line counted after the first half's lines.
void Report_Second_Half(const Parsed_Half& half, long first_half_lines) {
  if (half.failure) std::rethrow_exception(half.failure);
  if (half.bad_line_number != 0) {
    Data record;
    Fill_Data(record, half.bad_line, HISTORY_FILE,
              first_half_lines + half.bad_line_number);
  }
  if (!half.ended) Fail(HISTORY_FILE, 0, "ends without its END mark");
}

void Settle_In_Two_Halves(std::uint64_t split, std::uint64_t size) {
  Parsed_Half second;
  std::thread parser(Parse_Half, split, size, std::ref(second));
  Journey_Settler settler;
  long first_half_lines = 0;
  try {
    first_half_lines = Settle_First_Half(split, settler);
  } catch (...) {
    parser.join();
    throw;
  }
  parser.join();
  Report_Second_Half(second, first_half_lines);
  for (std::size_t j = 0; j < second.journeys.size(); ++j) {
    std::size_t stop = j + 1 < second.journeys.size()
                           ? second.journeys[j + 1].first_leg
                           : second.legs.size();
    settler.Add_Journey(second.legs.data() + second.journeys[j].first_leg,
                        second.legs.data() + stop, second.journeys[j].terminal);
  }
  settler.Finish();
}

}  // namespace

void reset_Arr(Leg_Table& arr) { arr.clear(); }

namespace {

// Whether no two legs share a time: then every sort gives the one order.
bool Distinct_Times(const Leg_Table& arr) {
  std::vector<std::int32_t> times(arr.size());
  for (std::size_t i = 0; i < arr.size(); ++i) times[i] = arr[i].LastTime;
  std::sort(times.begin(), times.end());
  return std::adjacent_find(times.begin(), times.end()) == times.end();
}

}  // namespace

void Sort_Legs(Leg_Table& arr) {
  // Equal times come out of the exchange sort in an order of its own, which
  // the shares depend on; only with distinct times may a faster sort stand
  // in for it.
  constexpr std::size_t EXCHANGE_LIMIT = 32;
  if (arr.size() > EXCHANGE_LIMIT && Distinct_Times(arr)) {
    std::sort(arr.begin(), arr.end(), [](const Leg& a, const Leg& b) {
      return a.LastTime < b.LastTime;
    });
    return;
  }
  for (std::size_t x = 0; x < arr.size(); ++x) {
    for (std::size_t y = x + 1; y < arr.size(); ++y) {
      if (arr[x].LastTime > arr[y].LastTime) std::swap(arr[x], arr[y]);
    }
  }
}

std::int64_t Leg_Share(std::int64_t total, std::int64_t running,
                       std::string_view terminal) {
  std::int64_t divisor = total + TRANSFER_THRESHOLD;
  if (divisor == 0)
    Fail(HISTORY_FILE, 0,
         "journey " + std::string(terminal) +
             ": amounts add up to -1050, which leaves no divisor");
  std::int64_t product;
  // The common case, without 128-bit division (INT64_MIN / -1 overflows).
  if (!__builtin_mul_overflow(total, running, &product) &&
      !(product == INT64_MIN && divisor == -1))
    return product / divisor;
  Wide share = static_cast<Wide>(total) * running / divisor;
  if (share < INT64_MIN || share > INT64_MAX)
    Fail(HISTORY_FILE, 0,
         "journey " + std::string(terminal) + ": share leaves 64 bits");
  return static_cast<std::int64_t>(share);
}

void calculate(const Leg_Table& arr, std::int64_t* bus_fee,
               std::int64_t* metro_fee, std::string_view terminal) {
  std::int64_t total = 0;
  for (const Leg& leg : arr) total += leg.Balance;
  std::int64_t running = 0;
  for (const Leg& leg : arr) {
    running += leg.Balance;
    std::int64_t share = Leg_Share(total, running, terminal);
    if (leg.Mot == BUS)
      Add_Won(bus_fee, share, "bus total");
    else
      Add_Won(metro_fee, share, "metro total");
  }
}

void Transfer_Process() {
  struct stat info;
  if (::stat(HISTORY_FILE, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<std::uint64_t>(info.st_size) >= SPLIT_SIZE) {
    std::uint64_t size = static_cast<std::uint64_t>(info.st_size);
    std::uint64_t split = Find_Split(size);
    if (split != 0) {
      Settle_In_Two_Halves(split, size);
      return;
    }
  }
  Line_Reader reader(HISTORY_FILE);
  Journey_Settler settler;
  std::string_view line;
  Data record;
  while (reader.Next(line)) {
    if (line == "END" && !reader.Ended_By_Newline()) {
      settler.Finish();
      return;
    }
    if (Fill_Data(record, line, HISTORY_FILE, reader.Line_Number()))
      settler.Add(record);
  }
  Fail(HISTORY_FILE, 0, "ends without its END mark");
}
