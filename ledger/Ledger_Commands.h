// The commands of fare-ledger; each prints its answer on standard output
// and throws a Ledger_Error to refuse or fail.
#pragma once

#include <memory>
#include <string>

#include "Ledger_Options.h"
#include "Sqlite.h"

void Record_Day(const Ledger_Options& options);
void Print_Statement(const Ledger_Options& options);
void Verify_Day(const Ledger_Options& options);
void Close_Month(const Ledger_Options& options);
void List_Days(const Ledger_Options& options);
void Check_Ledger(const Ledger_Options& options);

// Writes text on standard output; throws when it cannot.
void Print(const std::string& text);

// Opens the ledger to write (Open_Ledger); one that is missing is created,
// the folder of the user's own ledger with it, and standard error says so.
std::unique_ptr<Database> Open_Ledger_To_Write(const Ledger_Options& options);
