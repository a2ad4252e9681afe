// Runs the built fare-settlement executable in a scratch directory holding a
// day's six payment files, with the flag already raised.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "Calculating_System.h"  // PAYMENT_FILES
#include "scratch_dir.h"

// The six payment files' contents: bus, then metro 1 to 5.
struct Day {
  std::array<std::string, 6> files;
};

// The bundled sample day: one transfer journey (T2) and six ordinary taps.
const Day& Worked_Day();

struct Run_Result {
  int status = -1;  // exit status, or 128 + signal
  std::string out;  // standard output
  std::string err;  // standard error
};

// The programs under test: the paths in FARE_TEST_SETTLEMENT and
// FARE_TEST_AUDIT when set (the black-box suite run against another build),
// else this build's.
const char* Settlement_Exe();
const char* Audit_Exe();
// The program that starts them, given the program's path and arguments
// (FARE_TEST_RUNNER, as wine for the Windows build); nullptr when they
// start by themselves.
const char* Runner();
// An absolute path as the program under test shows it in its messages:
// under a runner (wine) "/tmp/x" is the drive path "Z:\tmp\x".
std::string Shown_Path(const std::string& path);

// ASCII text as a program saving UTF-16 writes it: each character as two
// bytes, one of them NUL, after the byte-order mark mark (may be empty).
std::string Utf16(const std::string& text, bool big_endian,
                  const std::string& mark);

// Writes the day's files and a raised flag into dir.
void Lay_Out_Day(const Scratch_Dir& dir, const Day& day);
// Runs the executable with dir as its working directory.
Run_Result Run_Settlement(const Scratch_Dir& dir,
                          const std::vector<std::string>& args = {});

// Faults put on a run from outside.
struct Run_Options {
  // RLIMIT_FSIZE in bytes, or -1 for none. SIGXFSZ keeps its default action
  // here: the program must ignore it itself to report the failed write.
  long long file_size_limit = -1;
  // Run as the unprivileged user nobody when the tests run as root, so that
  // file permissions apply; the folder must then belong to nobody
  // (Give_To_Unprivileged_User).
  bool unprivileged = false;
  // Sends SIGKILL this many seconds after the start, or never when < 0.
  double kill_after_seconds = -1;
  // RLIMIT_AS in bytes, or -1 for none.
  long long memory_limit = -1;
  // A run still going after this many seconds ends by SIGALRM (0: never).
  unsigned time_limit_seconds = 0;
  // Standard output: the pipe (nullptr), "closed", "no reader" (a pipe
  // whose read end is closed), or a file to open.
  const char* standard_output = nullptr;
  // Descriptors closed when the program starts (0, 1, 2 among them).
  std::vector<int> closed_descriptors;
  // Command-line arguments after the program name.
  std::vector<std::string> args;
  // NAME=VALUE settings added to the program's environment.
  std::vector<std::string> environment;
  // The executable to run instead of fare-settlement, or nullptr.
  const char* program = nullptr;
  // When set, standard output and error go to the files OUTPUT.out and
  // OUTPUT.err instead of pipes, and the caller reaps the run itself.
  std::string output_files;
};
Run_Result Run_Settlement(const Scratch_Dir& dir, const Run_Options& options);
// Starts a run and returns at once; Finish_Run waits for it.
struct Started_Run {
  int pid = -1;
  int out_fd = -1;  // read ends of the pipes on its standard output and error
  int err_fd = -1;
};
Started_Run Start_Run(const std::string& dir, const Run_Options& options);
Run_Result Finish_Run(const Started_Run& run);

// Waits until process pid has blocked SIGTERM, which the programs do first
// thing to handle it themselves (a signal before that finds nothing to
// clean up), or has ended.
void Wait_Until_Signals_Handled(int pid);

// Hands dir and everything in it to the unprivileged user (when root).
void Give_To_Unprivileged_User(const std::string& dir);
// True when runs with `unprivileged` really are refused what root may do.
bool Permissions_Apply();

// A seed for a randomised test: FARE_TEST_SEED when set, else a fresh one;
// printed either way so that a failure can be replayed.
unsigned Test_Seed();
