// Ordinary metro revenue: whatever is left in the five metro lists after the
// transfer journeys have been taken out, and the taps kept out of them.
#include "Calculating_System.h"
#include "Money.h"

void Normal_Metro_Process(std::int64_t* metro_fee) {
  std::int64_t total = 0;
  for (int i = 1; i < 6; ++i) {
    Record_List list = PAYMENT_FILES[i].List();
    for (History_Data* node = list.header->next; node != list.tailer;
         node = node->next) {
      Prefetch_Ahead(node);
      Add_Won(&total, node->data.Balance, "metro total");
    }
  }
  for (int i = 1; i < 6; ++i)
    Add_Won(&total, Unlisted[i].amount, "metro total");
  Add_Won(metro_fee, total, "metro total");
}
