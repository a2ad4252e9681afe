// Run control: the enable-flag handshake with the external terminal and the
// fixed order of the settlement stages.
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "Calculating_System.h"

namespace {

constexpr int MAX_POLLS = 180;

void Sleep_One_Second() { ::sleep(1); }

}  // namespace

int Read_Flag(int previous) {
  std::ifstream in(FLAG_FILE);
  int value = 0;
  if (in >> value) return value;
  return previous;
}

void Write_Flag(char value) { Write_Whole_File(FLAG_FILE, {&value, 1}); }

int Wait_For_Flag(int max_polls, void (*sleep_one_second)()) {
  int enable = 0;
  int count = 0;
  // Flushed at once so that a terminal reading through a pipe sees it while
  // the program waits.
  std::fputs("wait\n", stdout);
  std::fflush(stdout);
  while (enable != 1 && count != max_polls) {
    sleep_one_second();
    enable = Read_Flag(enable);
    ++count;
  }
  // Marks the run as under way; after a timeout the run proceeds all the same.
  Write_Flag('1');
  return count;
}

void StandBy() { Wait_For_Flag(MAX_POLLS, Sleep_One_Second); }

void StartProcess() {
  HistoryData_Reader_Interface();
  HistoryData_Reader_Manager();
  Normal_Bus_Process(&Total_bus_fee);
  Normal_Metro_Process(&Total_metro_fee);
  Transfer_Process();
  End_Process();
}

void Initiation_Control() {
  StandBy();
  StartProcess();
}
