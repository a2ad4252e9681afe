// The plain settlement: every step is the literal walk over plain vectors,
// with no attempt at speed, so that it is easy to check by reading.
#include "settlement_model.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace model {
namespace {

const char* const FILE_NAMES[6] = {
    "paymentData_5001.txt", "paymentData_7001.txt", "paymentData_7002.txt",
    "paymentData_7003.txt", "paymentData_7004.txt", "paymentData_7005.txt"};

struct Leg {
  std::int32_t time;
  int mot;
  std::int32_t balance;
};

// A fault that ends the run: the file named and the line (0 for none).
struct Stop {
  std::string file;
  long line;
};

bool Is_Separator(char c) {
  return c == ' ' || c == ',' || c == '\t' || c == '\n';
}

// The pieces of text between '\n' bytes; a final empty piece after the last
// '\n' is no line. The flag says whether each piece ended in '\n'.
std::vector<std::pair<std::string, bool>> Lines_Of(const std::string& text) {
  std::vector<std::pair<std::string, bool>> lines;
  std::string current;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back({current, true});
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) lines.push_back({current, false});
  return lines;
}

bool Blank(std::string line) {
  if (!line.empty() && line[line.size() - 1] == '\r')
    line.erase(line.size() - 1);
  for (char c : line)
    if (c != ' ' && c != '\t' && c != ',') return false;
  return true;
}

// Turns one line into a record. The C library's strtoll converts like atoi
// for the short tokens a valid line can hold.
}  // namespace

Line_Kind Read_Line(const std::string& line, Record& rec) {
  for (char c : line)
    if (c == '\0') return Line_Kind::bad;
  if (Blank(line)) return Line_Kind::blank;
  std::vector<std::string> tokens;
  std::string token;
  for (char c : line) {
    if (Is_Separator(c)) {
      if (!token.empty()) tokens.push_back(token);
      token.clear();
    } else {
      token += c;
    }
  }
  if (!token.empty()) tokens.push_back(token);
  if (tokens.size() < 5) return Line_Kind::bad;
  const std::size_t widths[5] = {12, 1, 1, 4, 9};
  for (int i = 0; i < 5; ++i)
    if (tokens[i].size() > widths[i]) return Line_Kind::bad;
  long long time = std::strtoll(tokens[0].c_str(), nullptr, 10);
  if (time < -2147483648LL || time > 2147483647LL) return Line_Kind::bad;
  rec.time = static_cast<std::int32_t>(time);
  rec.mot =
      static_cast<signed char>(std::strtol(tokens[1].c_str(), nullptr, 10));
  rec.inout =
      static_cast<signed char>(std::strtol(tokens[2].c_str(), nullptr, 10));
  rec.balance =
      static_cast<std::int32_t>(std::strtol(tokens[3].c_str(), nullptr, 10));
  rec.term = tokens[4];
  return Line_Kind::record;
}

namespace {

std::vector<Record> Load(const std::string& bytes, const char* name) {
  std::vector<Record> list;
  std::vector<std::pair<std::string, bool>> lines = Lines_Of(bytes);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    Record rec;
    Line_Kind kind = Read_Line(lines[i].first, rec);
    if (kind == Line_Kind::bad) throw Stop{name, static_cast<long>(i + 1)};
    if (kind == Line_Kind::record) list.push_back(rec);
  }
  return list;
}

std::string Line_Of(const Record& rec, char before_term) {
  char buffer[80];
  std::snprintf(buffer, sizeof buffer, "%d,%d,%d,%d%c", rec.time, rec.mot,
                rec.inout, rec.balance, before_term);
  return buffer + rec.term + "\n";
}

// Writes and erases every record of list from index `from` up to (not
// including) index `to` whose terminal is term; returns how many it erased.
std::size_t Take_Matches(std::vector<Record>& list, std::size_t from,
                         std::size_t to, const std::string& term,
                         char before_term, std::string& out) {
  std::size_t erased = 0;
  std::size_t j = from;
  while (j < to - erased) {
    if (list[j].term == term) {
      out += Line_Of(list[j], before_term);
      list.erase(list.begin() + static_cast<long>(j));
      ++erased;
    } else {
      ++j;
    }
  }
  return erased;
}

// The transfer separation: the walk of the bus list, each trigger taking
// its whole group out of all six lists.
std::string Separate(std::vector<Record> lists[6]) {
  std::string out;
  std::vector<Record>& bus = lists[0];
  std::size_t i = 0;
  while (i < bus.size()) {
    if (bus[i].balance >= 1050) {
      ++i;
      continue;
    }
    Record trigger = bus[i];
    out += Line_Of(trigger, ',');
    i -= Take_Matches(bus, 0, i, trigger.term, ',', out);
    Take_Matches(bus, i + 1, bus.size(), trigger.term, ',', out);
    for (int m = 1; m <= 5; ++m)
      Take_Matches(lists[m], 0, lists[m].size(), trigger.term,
                   m == 3 ? ' ' : ',', out);
    bus.erase(bus.begin() + static_cast<long>(i));
  }
  return out + "END";
}

// Reads the history text back, as the apportionment stage does.
std::vector<Record> Read_History(const std::string& history) {
  std::vector<Record> records;
  std::vector<std::pair<std::string, bool>> lines = Lines_Of(history);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].first == "END" && !lines[i].second) return records;
    Record rec;
    Line_Kind kind = Read_Line(lines[i].first, rec);
    if (kind == Line_Kind::bad)
      throw Stop{"trans_history.txt", static_cast<long>(i + 1)};
    if (kind == Line_Kind::record) records.push_back(rec);
  }
  throw Stop{"trans_history.txt", 0};
}

__extension__ typedef __int128 Big;

void Apportion(std::vector<Leg> legs, long long& bus, long long& metro) {
  for (std::size_t x = 0; x < legs.size(); ++x)
    for (std::size_t y = x + 1; y < legs.size(); ++y)
      if (legs[x].time > legs[y].time) std::swap(legs[x], legs[y]);
  long long total = 0;
  for (const Leg& leg : legs) total += leg.balance;
  if (total + 1050 == 0) throw Stop{"trans_history.txt", 0};
  long long running = 0;
  for (const Leg& leg : legs) {
    running += leg.balance;
    long long share = static_cast<long long>(static_cast<Big>(total) * running /
                                             (total + 1050));
    if (leg.mot == 1)
      bus += share;
    else
      metro += share;
  }
}

void Transfers(const std::string& history, long long& bus, long long& metro) {
  std::vector<Record> records = Read_History(history);
  std::size_t i = 0;
  while (i < records.size()) {
    std::vector<Leg> legs;
    std::size_t j = i;
    while (j < records.size() && records[j].term == records[i].term) {
      legs.push_back({records[j].time, records[j].mot, records[j].balance});
      ++j;
    }
    Apportion(legs, bus, metro);
    i = j;
  }
}

}  // namespace

Outcome Settle(const std::array<std::string, 6>& files) {
  Outcome outcome;
  try {
    std::vector<Record> lists[6];
    for (int f = 0; f < 6; ++f) lists[f] = Load(files[f], FILE_NAMES[f]);
    std::int32_t bus_tag = lists[0].empty() ? 0 : lists[0].back().time;
    std::int32_t metro_tag = 0;
    bool seen = false;
    for (int m = 1; m <= 5; ++m) {
      if (lists[m].empty()) continue;
      if (!seen || lists[m].back().time > metro_tag)
        metro_tag = lists[m].back().time;
      seen = true;
    }
    outcome.history = Separate(lists);
    long long bus = 0;
    long long metro = 0;
    for (const Record& rec : lists[0]) bus += rec.balance;
    for (int m = 1; m <= 5; ++m)
      for (const Record& rec : lists[m]) metro += rec.balance;
    Transfers(outcome.history, bus, metro);
    outcome.bus_summary = std::to_string(bus_tag) + ",1," + std::to_string(bus);
    outcome.metro_summary =
        std::to_string(metro_tag) + ",0," + std::to_string(metro);
    outcome.report = "Result\nBus: " + std::to_string(bus) +
                     " won\nMetro: " + std::to_string(metro) + " won\n";
    outcome.ok = true;
  } catch (const Stop& stop) {
    outcome.ok = false;
    outcome.error_file = stop.file;
    outcome.error_line = stop.line;
  }
  return outcome;
}

}  // namespace model
