// Run control: the settlement state and its six lists, the enable-flag
// handshake with the external terminal and the fixed order of the
// settlement stages.
#include "Initiation_control.h"

#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

#include "Calculating_System.h"
#include "Day_Lock.h"
#include "Line_Reader.h"
#include "Os.h"
#include "Paths.h"
#include "Settlement_Error.h"
#include "Staged_File.h"
#include "Stale_Temporaries.h"
#include "Transfer_Journeys.h"
#include "Whole_File.h"

History_Data *B_header, *B_tailer;
History_Data *M1_header, *M1_tailer;
History_Data *M2_header, *M2_tailer;
History_Data *M3_header, *M3_tailer;
History_Data *M4_header, *M4_tailer;
History_Data *M5_header, *M5_tailer;

std::int64_t Total_bus_fee;
std::int64_t Total_metro_fee;
std::int32_t bus_LastTag;
std::int32_t metro_LastTag;
Unlisted_Taps Unlisted[6];
const char *Run_Step = "starting";

void Create_Settlement_State() {
  for (const Payment_File &file : PAYMENT_FILES)
    Create_List(*file.header, *file.tailer);
  Transfer_Journeys.Release();
  Total_bus_fee = 0;
  Total_metro_fee = 0;
  bus_LastTag = 0;
  metro_LastTag = 0;
  for (Unlisted_Taps &unlisted : Unlisted) unlisted = Unlisted_Taps();
}

namespace {

constexpr int MAX_POLLS = 180;
// A flag file is a digit or two; what lies beyond this is never looked at.
constexpr std::size_t FLAG_BYTES = 4096;

// Looks for audits still reading the directory, once a second, before the
// run gives up: an audit of a 10M-tap day reads it in seconds.
constexpr int MAX_AUDIT_LOOKS = 600;

void Sleep_One_Second() {
  std::this_thread::sleep_for(std::chrono::seconds(1));
}

// A removed directory can never see the flag raised nor take the outputs.
void Check_Directory_Kept(const Day_Lock *lock) {
  if (lock != nullptr && lock->Removed())
    throw Settlement_Error("the working directory was removed during the wait");
}

// Refuses a day whose files would overwrite one another: the flag and the
// three outputs are written through their links, so none of them may lead
// to a payment file or to another of them.
void Check_Files_Apart() {
  const char *written[] = {FLAG_FILE, HISTORY_FILE, BUS_SUMMARY_FILE,
                           METRO_SUMMARY_FILE};
  for (std::size_t i = 0; i < std::size(written); ++i) {
    for (const Payment_File &payment : PAYMENT_FILES)
      if (Same_File(written[i], payment.name))
        Fail(written[i], 0,
             std::string("leads to ") + payment.name + ", a payment file");
    for (std::size_t j = 0; j < i; ++j)
      if (Same_File(written[i], written[j]))
        Fail(written[i], 0,
             std::string("leads to the same file as ") + written[j]);
  }
}

}  // namespace

int Read_Flag(int previous) {
  std::string bytes;
  try {
    bytes = Read_File_Start(FLAG_FILE, FLAG_BYTES);
    bytes.resize(std::min(bytes.size(), FLAG_BYTES));
  } catch (const Settlement_Error &) {
    return previous;  // missing, unreadable or not a regular file
  }
  std::istringstream in(bytes);
  int value = 0;
  if (in >> value) return value;
  return previous;
}

void Write_Flag(char value) { Write_Whole_File(FLAG_FILE, {&value, 1}); }

int Wait_For_Flag(int max_polls, void (*sleep_one_second)(),
                  const Day_Lock *lock, int max_audit_looks) {
  int enable = 0;
  int count = 0;
  // Flushed at once so that a terminal reading through a pipe sees it while
  // the program waits.
  Os_Write_Standard(OS_STANDARD_OUTPUT, "wait\n");
  while (enable != 1 && count != max_polls) {
    sleep_one_second();
    enable = Read_Flag(enable);
    ++count;
    Check_Directory_Kept(lock);
  }
  // Audits under way read what the run is about to write; they finish
  // within seconds, and new ones refuse the directory meanwhile.
  if (lock != nullptr) {
    lock->Wait_For_Audits(max_audit_looks, sleep_one_second);
    Check_Directory_Kept(lock);
  }
  // Marks the run as under way; after a timeout the run proceeds all the same.
  // Nothing is written before the files are known to be apart.
  Check_Files_Apart();
  Write_Flag('1');
  return count;
}

void StandBy(const Day_Lock &lock) {
  Wait_For_Flag(MAX_POLLS, Sleep_One_Second, &lock, MAX_AUDIT_LOOKS);
}

void StartProcess() {
  Run_Step = "reading the payment files";
  HistoryData_Reader_Interface("");
  Run_Step = "separating the transfer journeys";
  Staged_File history = HistoryData_Reader_Manager();
  Run_Step = "totalling the ordinary revenue";
  Normal_Bus_Process(&Total_bus_fee);
  Normal_Metro_Process(&Total_metro_fee);
  Run_Step = "apportioning the transfer journeys";
  Transfer_Process(Transfer_Journeys);
  Run_Step = "writing the results";
  End_Process(history);
}

void Initiation_Control() {
  Day_Lock lock(".", Day_Lock::SETTLEMENT);
  // What a killed run left behind; no other run can be writing now.
  for (const char *file : {HISTORY_FILE, BUS_SUMMARY_FILE, METRO_SUMMARY_FILE})
    Remove_Stale_Temporaries(file);
  Run_Step = "waiting for the flag";
  StandBy(lock);
  StartProcess();
}
