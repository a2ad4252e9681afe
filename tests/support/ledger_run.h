// Runs the built fare-ledger on a ledger in a scratch folder, with settled
// days laid out beside it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audit_run.h"

// The fare-ledger under test: FARE_TEST_LEDGER when set (the black-box
// suite run against another build), else this build's.
const char* Ledger_Exe();

// The worked run with extra ordinary taps: each adds 1,050 won to its
// company's total (and moves its last tag), so days of different totals
// are consistent settled days.
Settled_Day Day_With(int extra_bus, int extra_metro);

// A scratch folder holding the ledger "ledger.db" and the days laid out in
// it as sub-folders.
class Ledger_Dir : public Scratch_Dir {
 public:
  using Scratch_Dir::Scratch_Dir;
  // The time fare-ledger takes as now (FARE_LEDGER_NOW): after every month
  // the tests record, so that no day is to come, unless a test moves it.
  std::string now = "2027-06-01T09:00:00Z";
  std::string Ledger() const { return File("ledger.db"); }
  // Lays out settled in the folder name, replacing what was there; the
  // payment files differ from folder to folder, the figures do not.
  void Settle(const std::string& name, const Settled_Day& settled) const;
  // Runs fare-ledger --db ledger.db with args in this folder.
  Run_Result Run(const std::vector<std::string>& args,
                 Run_Options options = {}) const;
  // Runs fare-ledger with args alone in the folder in (this one if "").
  Run_Result Run_Bare(const std::vector<std::string>& args,
                      const std::string& in = "") const;
};

// The recording times of the ledger's entries, in entry order.
std::vector<std::string> Recorded_Times(const std::string& ledger);
// The hash of the ledger's newest entry, read straight from its tables.
std::string Ledger_Head(const std::string& ledger);
// Runs sql on the ledger directly, with the append-only triggers dropped
// first when tamper is set; returns SQLite's error message, or "".
std::string Run_Sql(const std::string& ledger, const std::string& sql,
                    bool tamper = false);
