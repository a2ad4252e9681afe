#include "Ledger_Schema.h"

#include <sqlite3.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "Ledger_Error.h"
#include "Ledger_Store.h"
#include "Os.h"

namespace {

// Nothing recorded is ever changed or deleted: a correction is a new row.
// Each version of a day is an entry, numbered in the order recorded; its
// nine files hang from it. entry_hash chains every entry to the one before,
// so an edit made behind the ledger's back shows in `fare-ledger check`.
constexpr const char* VERSION_TABLES = R"sql(
CREATE TABLE day_version (
  entry INTEGER PRIMARY KEY,
  day TEXT NOT NULL,
  version INTEGER NOT NULL CHECK (version >= 1),
  recorded_at TEXT NOT NULL,
  program_version TEXT NOT NULL,
  reason TEXT,
  bus_total INTEGER NOT NULL,
  metro_total INTEGER NOT NULL,
  bus_last_tag INTEGER NOT NULL,
  metro_last_tag INTEGER NOT NULL,
  taps_5001 INTEGER NOT NULL,
  taps_7001 INTEGER NOT NULL,
  taps_7002 INTEGER NOT NULL,
  taps_7003 INTEGER NOT NULL,
  taps_7004 INTEGER NOT NULL,
  taps_7005 INTEGER NOT NULL,
  journeys INTEGER NOT NULL,
  legs INTEGER NOT NULL,
  collected INTEGER NOT NULL,
  bus_credit INTEGER NOT NULL,
  metro_credit INTEGER NOT NULL,
  residue INTEGER NOT NULL,
  bus_adjustment INTEGER NOT NULL,
  metro_adjustment INTEGER NOT NULL,
  carried_to TEXT,
  entry_hash TEXT NOT NULL,
  UNIQUE (day, version)
) STRICT;
CREATE TABLE day_file (
  entry INTEGER NOT NULL REFERENCES day_version (entry),
  position INTEGER NOT NULL CHECK (position BETWEEN 1 AND 9),
  name TEXT NOT NULL,
  bytes INTEGER NOT NULL,
  sha256 TEXT NOT NULL,
  PRIMARY KEY (entry, position)
) STRICT;
CREATE INDEX day_version_carried ON day_version (carried_to)
  WHERE carried_to IS NOT NULL;
)sql";

// What a close keeps of its month, in either schema.
constexpr const char* CLOSE_FIGURES = R"sql(
  closed_at TEXT NOT NULL,
  last_entry INTEGER NOT NULL,
  missing_days INTEGER NOT NULL,
  bus_days INTEGER NOT NULL,
  metro_days INTEGER NOT NULL,
  bus_prior INTEGER NOT NULL,
  metro_prior INTEGER NOT NULL)sql";

// Schema 1 kept its closed months outside the chain.
std::string Month_Close_1() {
  return std::string("CREATE TABLE month_close (\n  month TEXT PRIMARY KEY,") +
         CLOSE_FIGURES + "\n) STRICT;\n";
}

// Schema 2: a close is an entry too, numbered and chained with the
// versions, so that no paid month can be reopened unseen; the payment
// files are found by their checksum, so that a day's files recorded as
// another day's are.
std::string Month_Close_2() {
  return std::string(
             "CREATE TABLE month_close (\n  entry INTEGER PRIMARY KEY,\n"
             "  month TEXT NOT NULL UNIQUE,") +
         CLOSE_FIGURES +
         ",\n  entry_hash TEXT NOT NULL\n) STRICT;\n"
         "CREATE INDEX day_file_sha256 ON day_file (sha256, position);\n";
}

// The append-only rule, one trigger per table and change.
std::string Append_Only_Triggers(std::initializer_list<const char*> tables) {
  std::string sql;
  for (const char* table : tables)
    for (const char* change : {"UPDATE", "DELETE"})
      sql += std::string("CREATE TRIGGER ") + table + "_no_" + change +
             " BEFORE " + change + " ON " + table +
             " BEGIN SELECT RAISE(ABORT, 'the ledger is append-only: " + table +
             " rows are never changed or deleted'); END;\n";
  return sql;
}

// The figures that tell whether a file is a ledger, read without writing.
struct Identity {
  std::int64_t application_id = 0;
  std::int64_t user_version = 0;
  std::int64_t objects = 0;  // tables, indexes, triggers and views
};

// Reads the first row of sql, count numbers, without writing.
void Read_Numbers(Database& db, const char* sql, std::int64_t* values,
                  int count) {
  sqlite3_stmt* statement = nullptr;
  int status = sqlite3_prepare_v2(db.Handle(), sql, -1, &statement, nullptr);
  if (status == SQLITE_OK) status = sqlite3_step(statement);
  for (int i = 0; i < count; ++i)
    values[i] = status == SQLITE_ROW ? sqlite3_column_int64(statement, i) : 0;
  sqlite3_finalize(statement);
  if (status != SQLITE_ROW) {
    if ((status & 0xff) == SQLITE_NOTADB)
      Fail_Ledger(db.Path() + ": not a ledger (not an SQLite database)");
    db.Fail("cannot read");
  }
}

// One statement, so that the three figures come from one snapshot: a
// ledger that another process creates meanwhile is seen whole or not yet.
Identity Identify(Database& db) {
  std::int64_t values[3];
  Read_Numbers(db,
               "SELECT (SELECT application_id FROM pragma_application_id), "
               "(SELECT user_version FROM pragma_user_version), "
               "(SELECT count(*) FROM sqlite_schema)",
               values, 3);
  Identity identity;
  identity.application_id = values[0];
  identity.user_version = values[1];
  identity.objects = values[2];
  return identity;
}

// Refuses what is not a ledger this program can read; true for a new,
// empty database that is to become one.
bool Check_Identity(const Database& db, const Identity& identity) {
  if (identity.application_id == 0 && identity.objects == 0 &&
      identity.user_version == 0)
    return true;
  if (identity.application_id != LEDGER_APPLICATION_ID)
    Fail_Ledger(db.Path() + ": not a ledger (an SQLite database of " +
                "something else)");
  if (identity.user_version > SCHEMA_VERSION)
    Fail_Ledger(db.Path() + ": ledger of schema " +
                std::to_string(identity.user_version) +
                ", written by a newer fare-ledger; this one reads schema " +
                std::to_string(SCHEMA_VERSION) + " and older");
  return false;
}

void Create_Schema_1(Database& db) {
  db.Execute(std::string(VERSION_TABLES) + Month_Close_1() +
             Append_Only_Triggers({"day_version", "day_file", "month_close"}));
}

// The closes of a schema 1 ledger, its table renamed, in the order made.
std::vector<Month_Close> Schema_1_Closes(Database& db) {
  std::vector<Month_Close> closes;
  Statement old(db,
                "SELECT month, closed_at, last_entry, missing_days, bus_days, "
                "metro_days, bus_prior, metro_prior FROM month_close_1 "
                "ORDER BY last_entry, closed_at, month");
  while (old.Step())
    closes.push_back({0, old.Text(0), old.Text(1), old.Integer(2),
                      old.Integer(3), old.Integer(4), old.Integer(5),
                      old.Integer(6), old.Integer(7), ""});
  return closes;
}

// Schema 1 to 2: the closes made so far become entries after the newest
// one, in the order they were made, chained as they stand now.
void Chain_Closes(Database& db) {
  db.Execute("ALTER TABLE month_close RENAME TO month_close_1;\n" +
             Month_Close_2());
  for (Month_Close& close : Schema_1_Closes(db)) Append_Close(db, close);
  // The old table's triggers go with it; the new table's take their names.
  db.Execute("DROP TABLE month_close_1;\n" +
             Append_Only_Triggers({"month_close"}));
}

// Brings the ledger from its schema to the current one in one transaction,
// checking again under the write lock (another process may have done it).
void Upgrade(Database& db) {
  Write_Transaction transaction(db);
  Identity identity = Identify(db);
  Check_Identity(db, identity);
  if (identity.user_version == SCHEMA_VERSION) return;
  // Each step takes the schema from version i to i + 1.
  void (*const steps[SCHEMA_VERSION])(Database&) = {Create_Schema_1,
                                                    Chain_Closes};
  for (std::int64_t v = identity.user_version; v < SCHEMA_VERSION; ++v)
    steps[v](db);
  db.Execute(
      "PRAGMA application_id = " + std::to_string(LEDGER_APPLICATION_ID) +
      ";\nPRAGMA user_version = " + std::to_string(SCHEMA_VERSION));
  transaction.Commit();
}

// Refuses, before SQLite opens it or makes a file beside it, a path that
// leads to no regular file: a directory, FIFO or device, or (to read) none.
void Require_File(const std::string& path, Access access) {
  Os_Kind kind = Os_Kind_Of(path);
  if (kind == Os_Kind::MISSING && access == Access::READ)
    Fail_Ledger(path + ": no ledger there (fare-ledger record creates one)");
  if (kind != Os_Kind::REGULAR && kind != Os_Kind::MISSING)
    Fail_Ledger(path + ": not a ledger (not a regular file)");
}

}  // namespace

// A ledger this user may only read, in a folder where the shared-memory
// file of WAL mode cannot be made while no writer has it open: read as an
// unchanging file instead.
void Read_Without_Shared_Memory(std::unique_ptr<Database>& db) {
  if (!db->Read_Only()) return;
  int status = db->Try("SELECT count(*) FROM sqlite_schema") & 0xff;
  if (status == SQLITE_READONLY || status == SQLITE_CANTOPEN)
    db = std::make_unique<Database>(db->Path(), Database::IMMUTABLE);
}

std::unique_ptr<Database> Open_Ledger(const std::string& path, Access access) {
  Require_File(path, access);
  auto db = std::make_unique<Database>(
      path, access == Access::WRITE ? Database::CREATE : Database::EXISTING);
  Read_Without_Shared_Memory(db);
  Identity identity = Identify(*db);
  bool fresh = Check_Identity(*db, identity);
  if (fresh && access == Access::READ)
    Fail_Ledger(path + ": not a ledger (an empty file)");
  bool current = identity.user_version == SCHEMA_VERSION;
  if (access == Access::WRITE && db->Read_Only())
    Fail_Ledger(path + ": cannot write the ledger (read-only)");
  if (!current && db->Read_Only())
    Fail_Ledger(path + ": ledger of schema " +
                std::to_string(identity.user_version) +
                " cannot be upgraded: the file is read-only");
  // Persistent in the file: set once, outside any transaction.
  if (fresh) db->Execute_Waiting("PRAGMA journal_mode = WAL");
  db->Execute("PRAGMA foreign_keys = ON");
  if (!db->Read_Only()) db->Execute("PRAGMA synchronous = FULL");
  if (!current) Upgrade(*db);
  return db;
}
