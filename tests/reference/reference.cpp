#include "reference.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "Leg_Table.h"
#include "Line_Reader.h"
#include "Record_Line.h"

namespace {

__extension__ typedef __int128 Wide;

// The history line of record, formatted here rather than by the program's
// formatter, so that the literal separation checks that formatter too.
void Append_Literal_Line(std::string& out, const Data& record,
                         char terminal_separator) {
  char line[96];
  int length = std::snprintf(
      line, sizeof line, "%d,%d,%d,%d%c%.*s\n",
      static_cast<int>(record.LastTime), static_cast<int>(record.Mot),
      static_cast<int>(record.InOut), static_cast<int>(record.Balance),
      terminal_separator, static_cast<int>(sizeof record.TerminalInfo),
      record.TerminalInfo);
  out.append(line, static_cast<std::size_t>(length));
}

bool Same_Terminal(const Data& a, const Data& b) {
  return std::strcmp(a.TerminalInfo, b.TerminalInfo) == 0;
}

// Writes and removes every record from first up to (not including) stop
// whose TerminalInfo equals the trigger's.
void Extract_Matches(const Data& trigger, History_Data* first,
                     History_Data* stop, char terminal_separator,
                     std::string& out) {
  History_Data* node = first;
  while (node != stop) {
    if (Same_Terminal(node->data, trigger)) {
      Append_Literal_Line(out, node->data, terminal_separator);
      node = Del(node);
    } else {
      node = node->next;
    }
  }
}

void Extract_Group(History_Data* trigger_node, std::string& out) {
  const Data& trigger = trigger_node->data;
  Append_Literal_Line(out, trigger, ',');
  Extract_Matches(trigger, B_header->next, trigger_node, ',', out);
  Extract_Matches(trigger, trigger_node->next, B_tailer, ',', out);
  for (int i = 1; i < 6; ++i)
    Extract_Matches(trigger, PAYMENT_FILES[i].List().header->next,
                    PAYMENT_FILES[i].List().tailer, i == 3 ? ' ' : ',', out);
}

struct Entry {
  Data record;
  int list;  // 0 bus, 1..5 metro
};

std::vector<Entry> Read_Day(const std::string& dir,
                            std::int32_t (&last_time)[6], bool (&has)[6]) {
  std::vector<Entry> entries;
  for (int list = 0; list < 6; ++list) {
    Line_Reader reader(dir + "/" + PAYMENT_FILES[list].name);
    std::string_view line;
    Entry entry{};
    entry.list = list;
    has[list] = false;
    while (reader.Next(line)) {
      if (!Fill_Data_General(entry.record, line, PAYMENT_FILES[list].name,
                             reader.Line_Number()))
        continue;
      entries.push_back(entry);
      last_time[list] = entry.record.LastTime;
      has[list] = true;
    }
  }
  return entries;
}

// The record's line as the transfer history holds it, formatted on its own
// rather than by the code under test.
void Format_Line(std::string& out, const Data& r, char separator) {
  char line[64];
  int n = std::snprintf(line, sizeof line, "%d,%d,%d,%d%c%s\n", r.LastTime,
                        r.Mot, r.InOut, r.Balance, separator, r.TerminalInfo);
  out.append(line, static_cast<std::size_t>(n));
}

// Apportions one journey whose legs are in history order.
void Apportion(Leg_Table legs, Reference_Result& result) {
  Literal_Sort_Legs(legs);
  Wide total = 0;
  for (const Leg& leg : legs) total += leg.Balance;
  Wide running = 0;
  for (const Leg& leg : legs) {
    running += leg.Balance;
    Wide share = total * running / (total + TRANSFER_THRESHOLD);
    (leg.Mot == BUS ? result.bus_fee : result.metro_fee) +=
        static_cast<std::int64_t>(share);
  }
}

}  // namespace

void Literal_Separate_Transfers(std::string& history) {
  History_Data* node = B_header->next;
  while (node != B_tailer) {
    if (node->data.Balance >= TRANSFER_THRESHOLD) {
      node = node->next;
      continue;
    }
    Extract_Group(node, history);
    node = Del(node);
  }
  history += "END";
}

void Literal_Sort_Legs(Leg_Table& arr) {
  for (std::size_t x = 0; x < arr.size(); ++x)
    for (std::size_t y = x + 1; y < arr.size(); ++y)
      if (arr[x].LastTime > arr[y].LastTime) std::swap(arr[x], arr[y]);
}

Reference_Result Reference_Settle(const std::string& dir) {
  Reference_Result result;
  std::int32_t last_time[6] = {};
  bool has[6] = {};
  std::vector<Entry> entries = Read_Day(dir, last_time, has);
  result.bus_tag = has[0] ? last_time[0] : 0;
  bool found = false;
  for (int i = 1; i < 6; ++i) {
    if (has[i] && (!found || last_time[i] > result.metro_tag))
      result.metro_tag = last_time[i];
    found = found || has[i];
  }

  // Records of one TerminalInfo become adjacent, still in reading order
  // (bus list, then metro lists 1 to 5, each in list order).
  std::vector<std::uint32_t> order(entries.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    int c = std::strcmp(entries[a].record.TerminalInfo,
                        entries[b].record.TerminalInfo);
    return c != 0 ? c < 0 : a < b;
  });

  // A journey is the records of a TerminalInfo whose first bus record below
  // the threshold is its trigger; (trigger, first, end) into order.
  std::vector<std::vector<std::uint32_t>> groups;
  std::vector<bool> in_group(entries.size(), false);
  for (std::size_t begin = 0, end; begin < order.size(); begin = end) {
    end = begin + 1;
    while (end < order.size() && Same_Terminal(entries[order[end]].record,
                                               entries[order[begin]].record))
      ++end;
    std::size_t trigger = end;
    for (std::size_t i = begin; i < end && trigger == end; ++i) {
      const Entry& e = entries[order[i]];
      if (e.list == 0 && e.record.Balance < TRANSFER_THRESHOLD) trigger = i;
    }
    if (trigger == end) continue;
    std::vector<std::uint32_t> members{order[trigger]};
    for (std::size_t i = begin; i < end; ++i) {
      if (i != trigger) members.push_back(order[i]);
      in_group[order[i]] = true;
    }
    groups.push_back(std::move(members));
  }
  std::sort(groups.begin(), groups.end(),
            [](const auto& a, const auto& b) { return a[0] < b[0]; });

  for (std::size_t i = 0; i < entries.size(); ++i)
    if (!in_group[i])
      (entries[i].list == 0 ? result.bus_fee : result.metro_fee) +=
          entries[i].record.Balance;
  for (const auto& members : groups) {
    Leg_Table legs;
    for (std::uint32_t m : members) {
      const Data& r = entries[m].record;
      Format_Line(result.history, r, entries[m].list == 3 ? ' ' : ',');
      legs.push_back({r.LastTime, r.Mot, r.Balance});
    }
    Apportion(std::move(legs), result);
  }
  result.history += "END";
  return result;
}

void Append_Record_Line(std::string& out, const Data& record,
                        char terminal_separator) {
  char line[RECORD_LINE_MAX];
  out.append(line, Format_Record_Line(line, record, terminal_separator));
}
