// Fuzzes a whole settlement over fuzzed payment files. The input is split
// at 0xFF bytes into the six files (bus, metro 1 to 5; missing ones are
// empty), which are written to a scratch folder where the stages after the
// handshake run. Invariants: no crash and no sanitizer report; either the
// run stops with a Settlement_Error naming the file (and line) the plain
// model names, or the history file, both summary files and the totals are
// exactly the model's. The same day settled as the audit does, listing the
// journeys that cannot be apportioned instead of stopping, lists first the
// journey the run stopped at, and lists none after a complete run, whose
// history and totals it then repeats.
//
// The record lists live until the process exits by design, so every input
// leaves the lists of its run behind: leak checking is off for this target
// (its default options below, and -detect_leaks=0 for libFuzzer's own
// check); every other sanitizer report stays on.
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "Calculating_System.h"
#include "Journey_Observer.h"
#include "model/settlement_model.h"

namespace {

std::string g_folder;

std::string Read(const char* name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void Write(const char* name, const std::string& bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) std::abort();
}

std::array<std::string, 6> Split(const std::uint8_t* bytes, std::size_t size) {
  std::array<std::string, 6> files;
  std::size_t file = 0;
  for (std::size_t i = 0; i < size; ++i) {
    if (bytes[i] == 0xFF) {
      if (++file == files.size()) break;
      continue;
    }
    files[file] += static_cast<char>(bytes[i]);
  }
  return files;
}

// Runs the stages after the handshake; returns the error message, or ""
// when the run completed.
std::string Settle() {
  try {
    Create_Settlement_State();
    StartProcess();
  } catch (const Settlement_Error& error) {
    return error.what();
  }
  return "";
}

class Ignoring_Journeys : public Journey_Observer {
 public:
  void Settled(const Settled_Journey&) override {}
};

// Settles the files in memory as the audit does. Returns the error of a
// malformed line or "", with the journeys that cannot be apportioned in
// unsettled.
std::string Settle_Listing(std::string& history,
                           Unsettled_Journeys& unsettled) {
  try {
    Create_Settlement_State();
    HistoryData_Reader_Interface("");
    Separate_Transfers(history, unsettled);
    Normal_Bus_Process(&Total_bus_fee);
    Normal_Metro_Process(&Total_metro_fee);
    Ignoring_Journeys ignoring;
    Transfer_Process(history, ignoring, unsettled);
  } catch (const Settlement_Error& error) {
    return error.what();
  }
  return "";
}

// Checks the audit's way of settling against the run's outcome.
void Check_Listing(const std::string& error) {
  std::int64_t bus = Total_bus_fee, metro = Total_metro_fee;
  std::string history;
  Unsettled_Journeys unsettled;
  std::string line_error = Settle_Listing(history, unsettled);
  if (error.empty()) {
    if (!line_error.empty() || unsettled.count != 0) __builtin_trap();
    if (history != Read(HISTORY_FILE)) __builtin_trap();
    if (Total_bus_fee != bus || Total_metro_fee != metro) __builtin_trap();
  } else if (line_error.empty()) {
    if (unsettled.count == 0 || unsettled.first[0] != error) __builtin_trap();
  } else if (line_error != error) {
    __builtin_trap();
  }
}

void Check(const model::Outcome& want, const std::string& error) {
  if (!want.ok) {
    std::string where = want.error_file;
    if (want.error_line > 0) where += ":" + std::to_string(want.error_line);
    if (error.compare(0, where.size() + 2, where + ": ") != 0) __builtin_trap();
    return;
  }
  if (!error.empty()) __builtin_trap();
  if (Read(HISTORY_FILE) != want.history) __builtin_trap();
  if (Read(BUS_SUMMARY_FILE) != want.bus_summary) __builtin_trap();
  if (Read(METRO_SUMMARY_FILE) != want.metro_summary) __builtin_trap();
  if (Read(FLAG_FILE) != "0") __builtin_trap();
  if (Report_Text(Total_bus_fee, Total_metro_fee) != want.report)
    __builtin_trap();
}

}  // namespace

extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
  pattern += "/fare-fuzz.XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  g_folder = pattern;
  // The report goes to standard output; keep the fuzzer's console readable.
  int null = open("/dev/null", O_WRONLY);
  if (null < 0 || dup2(null, 1) < 0) std::abort();
  close(null);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes,
                                      std::size_t size) {
  std::array<std::string, 6> files = Split(bytes, size);
  // Work inside the scratch folder, then return, so that the fuzzer's own
  // relative paths (corpus, artifacts) keep their meaning.
  int home = open(".", O_RDONLY | O_DIRECTORY);
  if (home < 0 || chdir(g_folder.c_str()) != 0) std::abort();
  for (const char* name : {HISTORY_FILE, BUS_SUMMARY_FILE, METRO_SUMMARY_FILE})
    unlink(name);
  for (int i = 0; i < 6; ++i) Write(PAYMENT_FILES[i].name, files[i]);
  Write(FLAG_FILE, "1");
  std::string error = Settle();
  Check(model::Settle(files), error);
  Check_Listing(error);
  if (fchdir(home) != 0) std::abort();
  close(home);
  return 0;
}
