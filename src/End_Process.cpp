// End-of-run outputs: one summary file per company, published with the
// transfer history, the lowered flag and the console report.
#include <string>

#include "Calculating_System.h"
#include "Initiation_control.h"
#include "Os.h"
#include "Settlement_Error.h"
#include "Staged_File.h"

namespace {

// Writes "TAG,MODE,TOTAL" (no newline) to a staged, synced file.
Staged_File Stage_Summary(const char* file, std::int32_t tag, int mode,
                          std::int64_t total) {
  Staged_File summary(file);
  summary.Write(Summary_Line(tag, mode, total));
  summary.Finish(true);
  return summary;
}

}  // namespace

std::string Summary_Line(std::int32_t tag, int mode, std::int64_t total) {
  return std::to_string(tag) + "," + std::to_string(mode) + "," +
         std::to_string(total);
}

std::string Report_Text(std::int64_t bus_fee, std::int64_t metro_fee) {
  return "Result\nBus: " + std::to_string(bus_fee) +
         " won\nMetro: " + std::to_string(metro_fee) + " won\n";
}

Staged_File Bus_Company_Interface() {
  return Stage_Summary(BUS_SUMMARY_FILE, bus_LastTag, BUS, Total_bus_fee);
}

Staged_File Metro_Company_Interface() {
  return Stage_Summary(METRO_SUMMARY_FILE, metro_LastTag, METRO,
                       Total_metro_fee);
}

void Terminal_Interface() { Write_Flag('0'); }

void Display_Interface(const std::string& report, const Report_Error& failure) {
  if (!Os_Write_Standard(OS_STANDARD_OUTPUT, report)) throw failure;
}

void End_Process(Staged_File& history) {
  Staged_File bus = Bus_Company_Interface();
  Staged_File metro = Metro_Company_Interface();
  // Made before the renames, after which nothing may run out of memory: a
  // failure there must still say that the day is settled.
  const std::string report = Report_Text(Total_bus_fee, Total_metro_fee);
  const Report_Error unwritten(
      "settled; the report could not be written to standard output");
  // The flag goes to 0 only once all three files are the new ones.
  Staged_File* outputs[3] = {&history, &bus, &metro};
  Publish_All(outputs, 3, Terminal_Interface);
  Display_Interface(report, unwritten);
}
