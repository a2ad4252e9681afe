// Transfer apportionment: reads the transfer history back, orders each
// journey's legs by time and credits every leg's share of the journey's fare
// to the bus or the metro total.
#include <string>
#include <utility>

#include "Calculating_System.h"

namespace {

__extension__ typedef __int128 Wide;

// Reads the transfer history file into the list T_header..T_tailer, up to
// its closing "END".
void Read_History(History_Data* T_header, History_Data* T_tailer) {
  Line_Reader reader(HISTORY_FILE);
  History_Data* last = T_header;
  std::string_view line;
  Data record;
  while (reader.Next(line)) {
    if (line == "END" && !reader.Ended_By_Newline()) return;
    if (!Fill_Data(record, line, HISTORY_FILE, reader.Line_Number())) continue;
    last = Append(last, T_tailer);
    last->data = record;
  }
  Fail(HISTORY_FILE, 0, "ends without its END mark");
}

// Copies the journey starting at first (the run of records sharing its
// TerminalInfo) into arr; returns the record after the journey.
History_Data* Collect_Journey(History_Data* first, History_Data* T_tailer,
                              Leg_Table& arr) {
  History_Data* node = first;
  do {
    arr.push_back({node->data.LastTime, node->data.Mot, node->data.Balance});
    node = node->next;
  } while (node != T_tailer && Same_Terminal(node->data, first->data));
  return node;
}

}  // namespace

void reset_Arr(Leg_Table& arr) { arr.clear(); }

void Sort_Legs(Leg_Table& arr) {
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
  History_Data *T_header, *T_tailer;
  Create_List(T_header, T_tailer);
  Read_History(T_header, T_tailer);
  Leg_Table temp;
  History_Data* node = T_header->next;
  while (node != T_tailer) {
    reset_Arr(temp);
    const Data& first = node->data;
    node = Collect_Journey(node, T_tailer, temp);
    Sort_Legs(temp);
    calculate(temp, &Total_bus_fee, &Total_metro_fee, first.TerminalInfo);
  }
}
