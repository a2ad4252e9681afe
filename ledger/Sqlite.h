// A thin owner of an SQLite connection and its prepared statements: every
// failure throws a Ledger_Error naming the database file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

class Database {
 public:
  enum Mode {
    EXISTING,   // a file that cannot be written is opened read-only
    CREATE,     // as EXISTING, and a missing file is created empty
    IMMUTABLE,  // read-only, without the shared-memory file WAL mode uses
  };
  Database(const std::string& path, Mode mode);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Runs one or more statements that return no rows.
  void Execute(const std::string& sql);
  // As Execute, trying again while the file is busy where SQLite does not
  // wait by itself (a new file turned to WAL mode by two processes at
  // once), for as long as writers wait for one another.
  void Execute_Waiting(const std::string& sql);
  // Runs sql, returning SQLite's result code instead of throwing.
  int Try(const char* sql);
  // Throws a Ledger_Error for the last failed call, prefixed by what was
  // being done.
  [[noreturn]] void Fail(const std::string& doing) const;
  bool Read_Only() const;
  const std::string& Path() const { return path_; }
  sqlite3* Handle() const { return db_; }

 private:
  std::string path_;
  sqlite3* db_ = nullptr;
};

class Statement {
 public:
  Statement(Database& db, std::string_view sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Parameters are numbered from 1; an empty optional binds NULL.
  Statement& Bind(int index, std::int64_t value);
  Statement& Bind(int index, std::string_view value);
  Statement& Bind(int index, const std::string& value) {
    return Bind(index, std::string_view(value));
  }
  Statement& Bind(int index, const std::optional<std::string>& value);
  // Steps once: true when a row is there to read.
  bool Step();
  // Runs a statement that returns no rows, then resets it for reuse.
  void Run();
  void Reset();

  std::int64_t Integer(int column) const;
  std::string Text(int column) const;
  bool Is_Null(int column) const;

 private:
  Database& db_;
  sqlite3_stmt* statement_ = nullptr;
};

// Runs statements in one write transaction, taken at once (BEGIN IMMEDIATE,
// waiting out other writers); rolled back unless Commit is called.
class Write_Transaction {
 public:
  explicit Write_Transaction(Database& db);
  ~Write_Transaction();
  Write_Transaction(const Write_Transaction&) = delete;
  Write_Transaction& operator=(const Write_Transaction&) = delete;
  void Commit();

 private:
  Database& db_;
  bool open_ = true;
};

// Reads in one snapshot (BEGIN, ended as the object goes): figures read
// together agree even while another process records.
class Read_Transaction {
 public:
  explicit Read_Transaction(Database& db);
  ~Read_Transaction();
  Read_Transaction(const Read_Transaction&) = delete;
  Read_Transaction& operator=(const Read_Transaction&) = delete;

 private:
  Database& db_;
};

// The version of the SQLite library in use.
const char* Sqlite_Version();
