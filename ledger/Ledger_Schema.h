// The ledger's database: its schema, and opening a file as a ledger.
#pragma once

#include <memory>
#include <string>

#include "Sqlite.h"

// The schema this fare-ledger writes, kept in the file's user_version.
constexpr int SCHEMA_VERSION = 2;
// Marks the file as a fare-ledger ledger (application_id, "FRLG").
constexpr int LEDGER_APPLICATION_ID = 0x46524c47;

enum class Access {
  READ,   // an existing ledger; a read-only file will do
  WRITE,  // created when missing; must be writable
};

// Opens the ledger at path, in WAL mode with foreign keys on; a new or
// older ledger is brought to SCHEMA_VERSION in one transaction. A path that
// leads to no regular file, a file that is not a ledger, a ledger of a
// newer schema, and (for WRITE) one that cannot be written are refused with
// a Ledger_Error, the file untouched.
std::unique_ptr<Database> Open_Ledger(const std::string& path, Access access);
