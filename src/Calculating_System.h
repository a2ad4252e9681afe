// Shared declarations of the fare-settlement program: the tap record, the
// record lists, the settlement state and the stages that work on them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "Record_List.h"
#include "Settlement_Error.h"

class Day_Lock;
class Journey_Table;
class Staged_File;

// Values of Mot.
constexpr int BUS = 1;
constexpr int METRO = 0;

using Boolean = char;
constexpr Boolean TRUE = 1;
constexpr Boolean FALSE = 0;

// A bus tap charged less than this many won marks a transfer journey.
constexpr int TRANSFER_THRESHOLD = 1050;

// The six program-wide record lists: bus, then metro 1 to 5.
extern History_Data *B_header, *B_tailer;
extern History_Data *M1_header, *M1_tailer;
extern History_Data *M2_header, *M2_tailer;
extern History_Data *M3_header, *M3_tailer;
extern History_Data *M4_header, *M4_tailer;
extern History_Data *M5_header, *M5_tailer;

// Settlement state (defined with the run control). The totals are 64-bit so
// that a large day stays exact.
extern std::int64_t Total_bus_fee;
extern std::int64_t Total_metro_fee;
extern std::int32_t bus_LastTag;
extern std::int32_t metro_LastTag;

// The taps of a payment file that the loading kept out of its list: metro
// taps whose TerminalInfo no bus record below the transfer threshold
// carries, so that no transfer journey can take them. Only their count and
// amount are kept; the ordinary metro total adds the amount.
struct Unlisted_Taps {
  std::int64_t count = 0;
  std::int64_t amount = 0;
};
extern Unlisted_Taps Unlisted[6];  // per payment file
// What the run is doing ("reading the payment files"), named when memory
// runs out; "starting" until the wait.
extern const char* Run_Step;

// File names, fixed.
inline constexpr const char* FLAG_FILE = "enable.txt";
inline constexpr const char* HISTORY_FILE = "trans_history.txt";
inline constexpr const char* BUS_SUMMARY_FILE = "Total_Bus_Data.txt";
inline constexpr const char* METRO_SUMMARY_FILE = "Total_Metro_Data.txt";

// Creates the six program-wide lists empty and zeroes the settlement state.
void Create_Settlement_State();

// One payment file: its name, the side its taps are on (BUS or METRO), what
// reports call it, and the program-wide list its records are loaded into.
struct Payment_File {
  const char* name;
  int side;
  const char* label;
  History_Data** header;
  History_Data** tailer;
  Record_List List() const { return {*header, *tailer}; }
};
// The six payment files in their fixed order: bus, then metro 1 to 5.
inline constexpr Payment_File PAYMENT_FILES[6] = {
    {"paymentData_5001.txt", BUS, "bus", &B_header, &B_tailer},
    {"paymentData_7001.txt", METRO, "metro 1", &M1_header, &M1_tailer},
    {"paymentData_7002.txt", METRO, "metro 2", &M2_header, &M2_tailer},
    {"paymentData_7003.txt", METRO, "metro 3", &M3_header, &M3_tailer},
    {"paymentData_7004.txt", METRO, "metro 4", &M4_header, &M4_tailer},
    {"paymentData_7005.txt", METRO, "metro 5", &M5_header, &M5_tailer}};

// --- Stages -----------------------------------------------------------------

void Initiation_Control();
// Waits for the flag, then for audits of the directory lock holds, and
// raises the flag.
void StandBy(const Day_Lock& lock);
void StartProcess();

// Loads the six payment files of directory dir ("" is the working
// directory, where the settlement runs) and fixes the last tags; messages
// name each file by its name alone.
void HistoryData_Reader_Interface(const std::string& dir);
class Load_Observer;
// The same, telling observer (may be null) of every record line read.
void HistoryData_Reader_Interface(const std::string& dir,
                                  Load_Observer* observer);

// Separates the transfer journeys into the staged transfer history file,
// complete but not yet published.
Staged_File HistoryData_Reader_Manager();
// The most legs a journey may have: more means unrelated taps share one
// TerminalInfo, and their exchange sort alone would take minutes.
constexpr std::size_t MAX_JOURNEY_LEGS = 10000;

void Normal_Bus_Process(std::int64_t* bus_fee);
void Normal_Metro_Process(std::int64_t* metro_fee);

// Apportions the transfer history at path onto Total_bus_fee and
// Total_metro_fee; messages name HISTORY_FILE.
void Transfer_Process(const std::string& path = HISTORY_FILE);
// The same for the journeys the separation has just written to the history,
// read from their records instead of the file's lines (Transfer_Journeys):
// the same totals and the same error for the first journey that cannot be
// apportioned.
void Transfer_Process(const Journey_Table& journeys);

// Stages the summary files, publishes them with history, lowers the flag.
void End_Process(Staged_File& history);
// The content of a summary file, "TAG,MODE,TOTAL" without a newline.
std::string Summary_Line(std::int32_t tag, int mode, std::int64_t total);
// The report the run prints on standard output once the day is settled.
std::string Report_Text(std::int64_t bus_fee, std::int64_t metro_fee);
Staged_File Bus_Company_Interface();
Staged_File Metro_Company_Interface();
void Terminal_Interface();
// Prints the report; throws failure (made beforehand, so that throwing it
// allocates nothing) when standard output cannot take it.
void Display_Interface(const std::string& report, const Report_Error& failure);
