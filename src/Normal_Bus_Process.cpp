// Ordinary bus revenue: whatever is left in the bus list after the transfer
// journeys have been taken out.
#include "Calculating_System.h"
#include "Money.h"

void Normal_Bus_Process(std::int64_t* bus_fee) {
  std::int64_t total = 0;
  for (History_Data* node = B_header->next; node != B_tailer;
       node = node->next) {
    Prefetch_Ahead(node);
    Add_Won(&total, node->data.Balance, "bus total");
  }
  Add_Won(bus_fee, total, "bus total");
}
