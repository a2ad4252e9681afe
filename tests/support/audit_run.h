// Runs the built fare-audit and captures its outputs.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "settlement_run.h"

// Runs fare-audit with args in the working directory cwd.
Run_Result Run_Audit(const std::vector<std::string>& args,
                     const std::string& cwd);

// Lays out a day's payment files and the three outputs of its settlement.
struct Settled_Day {
  Day day;
  std::string history;
  std::string bus_summary;
  std::string metro_summary;
};
void Lay_Out_Settled_Day(const Scratch_Dir& dir, const Settled_Day& settled);

// The name the audit gives the rejects file of payment file "NAME.txt" of
// the day in dir: "DIR'S NAME.NAME.rejects.csv".
std::string Rejects_File_Of(const Scratch_Dir& dir, const std::string& name);

// The Overview's worked run and its outputs.
extern const Settled_Day WORKED_RUN;

// Ways to spoil a laid-out day: its file name removed, or replaced by a FIFO
// or a bound socket.
using Spoil = std::function<void(const Scratch_Dir&)>;
Spoil Removing(const char* name);
Spoil Fifo_For(const char* name);
Spoil Socket_For(const char* name);
