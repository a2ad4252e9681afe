// Ordinary bus revenue: whatever is left in the bus list after the transfer
// journeys have been taken out.
#include <string>

#include "Calculating_System.h"

void Add_Won(std::int64_t* total, std::int64_t amount, const char* what) {
  if (__builtin_add_overflow(*total, amount, total))
    throw Settlement_Error(std::string(what) + " leaves the 64-bit range");
}

void Normal_Bus_Process(std::int64_t* bus_fee) {
  std::int64_t total = 0;
  for (History_Data* node = B_header->next; node != B_tailer; node = node->next)
    Add_Won(&total, node->data.Balance, "bus total");
  Add_Won(bus_fee, total, "bus total");
}
