// Ordinary metro revenue: whatever is left in the five metro lists after the
// transfer journeys have been taken out.
#include "Calculating_System.h"

void Normal_Metro_Process(std::int64_t* metro_fee) {
  std::int64_t total = 0;
  Metro_List_Set metro = Metro_Lists();
  for (const Record_List& list : metro.list) {
    for (History_Data* node = list.header->next; node != list.tailer;
         node = node->next)
      Add_Won(&total, node->data.Balance, "metro total");
  }
  Add_Won(metro_fee, total, "metro total");
}
