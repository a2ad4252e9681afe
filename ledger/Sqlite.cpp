#include "Sqlite.h"

#include <sqlite3.h>

#include <cctype>

#include "Ledger_Error.h"

namespace {

// Writers wait this long for one another: a record holds the write lock for
// milliseconds, so two at once land one after the other.
constexpr int BUSY_TIMEOUT_MS = 60000;

// path as a URI opening the file immutable: every byte but letters,
// digits and "/._-" written %XX.
std::string Immutable_Uri(const std::string& path) {
  static constexpr char HEX[] = "0123456789ABCDEF";
  std::string uri = "file:";
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '.' || c == '_' || c == '-') {
      uri += static_cast<char>(c);
    } else {
      ((uri += '%') += HEX[c >> 4]) += HEX[c & 15];
    }
  }
  return uri + "?immutable=1";
}

// path as a name SQLite takes for a file and nothing else: a relative name
// that it would read as a URI ("file:...") or as a special name
// (":memory:") is written "./NAME", which names the same file.
std::string Plain_File_Name(const std::string& path) {
  std::string start = path.substr(0, 5);
  for (char& c : start)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return path.starts_with(':') || start == "file:" ? "./" + path : path;
}

// Turns off reading names as URIs where the library was built to, before
// its first connection; the immutable connection asks for a URI itself.
// Once the library is in use this is refused, and Plain_File_Name still
// keeps every name a file's.
void Refuse_Uri_Names() {
  static const int refused = sqlite3_config(SQLITE_CONFIG_URI, 0);
  static_cast<void>(refused);
}

}  // namespace

Database::Database(const std::string& path, Mode mode) : path_(path) {
  // Read and write: a file that cannot be written is opened read-only.
  Refuse_Uri_Names();
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
  if (mode == CREATE) flags |= SQLITE_OPEN_CREATE;
  std::string name = Plain_File_Name(path);
  if (mode == IMMUTABLE) {
    flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI;
    name = Immutable_Uri(name);
  }
  int status = sqlite3_open_v2(name.c_str(), &db_, flags, nullptr);
  if (status != SQLITE_OK) {
    std::string message =
        db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(status);
    sqlite3_close(db_);
    db_ = nullptr;
    Fail_Ledger(path + ": cannot open: " + message);
  }
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, BUSY_TIMEOUT_MS);
}

Database::~Database() { sqlite3_close_v2(db_); }

void Database::Execute(const std::string& sql) {
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
    Fail("cannot run \"" + sql.substr(0, sql.find('\n')) + "\"");
}

void Database::Execute_Waiting(const std::string& sql) {
  constexpr int PAUSE_MS = 10;
  for (int waited = 0;; waited += PAUSE_MS) {
    int status = Try(sql.c_str()) & 0xff;
    if (status == SQLITE_OK) return;
    if (status != SQLITE_BUSY || waited >= BUSY_TIMEOUT_MS) break;
    sqlite3_sleep(PAUSE_MS);
  }
  Fail("cannot run \"" + sql.substr(0, sql.find('\n')) + "\"");
}

int Database::Try(const char* sql) {
  return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
}

void Database::Fail(const std::string& doing) const {
  Fail_Ledger(path_ + ": " + doing + ": " + sqlite3_errmsg(db_));
}

bool Database::Read_Only() const {
  return sqlite3_db_readonly(db_, "main") == 1;
}

Statement::Statement(Database& db, std::string_view sql) : db_(db) {
  if (sqlite3_prepare_v2(db.Handle(), sql.data(), static_cast<int>(sql.size()),
                         &statement_, nullptr) != SQLITE_OK)
    db.Fail("cannot prepare \"" + std::string(sql.substr(0, 40)) + "\"");
}

Statement::~Statement() { sqlite3_finalize(statement_); }

Statement& Statement::Bind(int index, std::int64_t value) {
  if (sqlite3_bind_int64(statement_, index, value) != SQLITE_OK)
    db_.Fail("cannot bind a value");
  return *this;
}

Statement& Statement::Bind(int index, std::string_view value) {
  if (sqlite3_bind_text(statement_, index, value.data(),
                        static_cast<int>(value.size()),
                        SQLITE_TRANSIENT) != SQLITE_OK)
    db_.Fail("cannot bind a value");
  return *this;
}

Statement& Statement::Bind(int index, const std::optional<std::string>& value) {
  if (value) return Bind(index, std::string_view(*value));
  if (sqlite3_bind_null(statement_, index) != SQLITE_OK)
    db_.Fail("cannot bind a value");
  return *this;
}

bool Statement::Step() {
  int status = sqlite3_step(statement_);
  if (status == SQLITE_ROW) return true;
  if (status == SQLITE_DONE) return false;
  db_.Fail("cannot run \"" +
           std::string(sqlite3_sql(statement_)).substr(0, 40) + "\"");
}

void Statement::Run() {
  while (Step()) {
  }
  Reset();
}

void Statement::Reset() {
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

std::int64_t Statement::Integer(int column) const {
  return sqlite3_column_int64(statement_, column);
}

std::string Statement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(statement_, column);
  if (text == nullptr) return "";
  return std::string(
      reinterpret_cast<const char*>(text),
      static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
}

bool Statement::Is_Null(int column) const {
  return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

Write_Transaction::Write_Transaction(Database& db) : db_(db) {
  db.Execute("BEGIN IMMEDIATE");
}

Write_Transaction::~Write_Transaction() {
  if (open_) sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Write_Transaction::Commit() {
  db_.Execute("COMMIT");
  open_ = false;
}

Read_Transaction::Read_Transaction(Database& db) : db_(db) {
  db.Execute("BEGIN");
}

// Nothing was written: ending a read by rolling back cannot lose anything.
Read_Transaction::~Read_Transaction() {
  sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

const char* Sqlite_Version() { return sqlite3_libversion(); }
