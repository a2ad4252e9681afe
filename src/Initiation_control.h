// The enable-flag handshake with the external terminal, in the parts that
// other stages, the tests and the benchmark use.
#pragma once

#include "Calculating_System.h"

// The wait of StandBy with its sleep and limits supplied: prints "wait",
// polls FLAG_FILE up to max_polls times, waits for audits (when given the
// lock; at most max_audit_looks sleeps), raises the flag. Returns polls made.
// Throws, before raising it, when the flag or an output leads to a payment
// file or to another of them (a link, a hard link), when the audits do not
// finish in time, or when the locked directory has been removed.
int Wait_For_Flag(int max_polls, void (*sleep_one_second)(),
                  const Day_Lock* lock = nullptr, int max_audit_looks = 0);
// Reads the first decimal integer of FLAG_FILE; previous when there is none
// or the file cannot be read.
int Read_Flag(int previous);
// Replaces FLAG_FILE with the single character value.
void Write_Flag(char value);
