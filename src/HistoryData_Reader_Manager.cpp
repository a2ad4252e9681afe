// Transfer separation: moves every transfer journey out of the record lists
// into the transfer history file, one group of lines per journey.
#include "Calculating_System.h"

History_Data* Del(History_Data* data) {
  History_Data* a = data->prev;
  History_Data* b = data->next;
  a->next = b;
  b->prev = a;
  return b;
}

namespace {

// Writes and removes every record from first up to (not including) stop
// whose TerminalInfo equals the trigger's.
void Extract_Matches(const Data& trigger, History_Data* first,
                     History_Data* stop, char terminal_separator,
                     std::string& out) {
  History_Data* node = first;
  while (node != stop) {
    if (Same_Terminal(node->data, trigger)) {
      Append_Record_Line(out, node->data, terminal_separator);
      node = Del(node);
    } else {
      node = node->next;
    }
  }
}

// Writes the group of the trigger temp: the trigger, the matching bus
// records before and after it, then those of metro lists 1 to 5. Removes
// the matches; the trigger itself stays for the caller to remove.
void Extract_Group(History_Data* temp, std::string& out) {
  const Data& trigger = temp->data;
  Append_Record_Line(out, trigger, ',');
  Extract_Matches(trigger, B_header->next, temp, ',', out);
  Extract_Matches(trigger, temp->next, B_tailer, ',', out);
  Metro_List_Set metro = Metro_Lists();
  for (int i = 0; i < 5; ++i) {
    char separator = i == 2 ? ' ' : ',';
    Extract_Matches(trigger, metro.list[i].header->next, metro.list[i].tailer,
                    separator, out);
  }
}

}  // namespace

void Separate_Transfers(std::string& history) {
  History_Data* temp = B_header->next;
  while (temp != B_tailer) {
    if (temp->data.Balance >= TRANSFER_THRESHOLD) {
      temp = temp->next;
      continue;
    }
    Extract_Group(temp, history);
    temp = Del(temp);
  }
  history += "END";
}

void HistoryData_Reader_Manager() {
  std::string out;
  Separate_Transfers(out);
  Staged_File history(HISTORY_FILE);
  history.Write(out);
  history.Finish(false);
  history.Publish();
}
