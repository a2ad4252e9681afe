#include "ledger_run.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

const char* Ledger_Exe() {
  const char* path = std::getenv("FARE_TEST_LEDGER");
  return path != nullptr ? path : FARE_LEDGER_EXE;
}

Settled_Day Day_With(int extra_bus, int extra_metro) {
  Settled_Day settled = WORKED_RUN;
  for (int i = 0; i < extra_bus; ++i)
    settled.day.files[0] +=
        std::to_string(400 + i) + ",1,1,1050,B" + std::to_string(i) + "\n";
  for (int i = 0; i < extra_metro; ++i)
    settled.day.files[1] +=
        std::to_string(290 + i) + ",0,1,1050,M" + std::to_string(i) + "\n";
  int bus_tag = extra_bus > 0 ? 400 + extra_bus - 1 : 300;
  int metro_tag = extra_metro > 0 ? 290 + extra_metro - 1 : 280;
  settled.bus_summary =
      std::to_string(bus_tag) + ",1," + std::to_string(2648 + 1050 * extra_bus);
  settled.metro_summary = std::to_string(metro_tag) + ",0," +
                          std::to_string(5349 + 1050 * extra_metro);
  return settled;
}

namespace {

// The ordinary metro tap of paymentData_7005.txt under a terminal of its
// own per folder, so that two folders are two deliveries: the ledger
// refuses one day's payment files recorded as another's. The totals stay.
std::string Delivery_Of(const std::string& folder, std::string file) {
  std::uint32_t hash = 2166136261u;  // FNV-1a
  for (unsigned char c : folder) hash = (hash ^ c) * 16777619u;
  char terminal[10];
  std::snprintf(terminal, sizeof terminal, "T%08x", hash);
  std::size_t at = file.find(",T7");
  if (at != std::string::npos) file.replace(at + 1, 2, terminal);
  return file;
}

}  // namespace

void Ledger_Dir::Settle(const std::string& name,
                        const Settled_Day& settled) const {
  std::string dir = File(name);
  ::mkdir(dir.c_str(), 0755);
  for (std::size_t i = 0; i < settled.day.files.size(); ++i)
    Write_File(dir + "/" + PAYMENT_FILES[i].name,
               i == 5 ? Delivery_Of(name, settled.day.files[i])
                      : settled.day.files[i]);
  Write_File(dir + "/enable.txt", "0");
  Write_File(dir + "/trans_history.txt", settled.history);
  Write_File(dir + "/Total_Bus_Data.txt", settled.bus_summary);
  Write_File(dir + "/Total_Metro_Data.txt", settled.metro_summary);
}

Run_Result Ledger_Dir::Run(const std::vector<std::string>& args,
                           Run_Options options) const {
  options.program = Ledger_Exe();
  if (options.time_limit_seconds == 0) options.time_limit_seconds = 120;
  options.environment.push_back("FARE_LEDGER_NOW=" + now);
  options.args = {"--db", "ledger.db"};
  options.args.insert(options.args.end(), args.begin(), args.end());
  return Finish_Run(Start_Run(Path(), options));
}

Run_Result Ledger_Dir::Run_Bare(const std::vector<std::string>& args,
                                const std::string& in) const {
  Run_Options options;
  options.program = Ledger_Exe();
  options.time_limit_seconds = 120;
  options.args = args;
  return Finish_Run(Start_Run(in.empty() ? Path() : File(in), options));
}

namespace {

// The first column of every row sql gives, read from the ledger as text.
std::vector<std::string> Texts(const std::string& ledger, const char* sql) {
  sqlite3* db = nullptr;
  std::vector<std::string> texts;
  EXPECT_EQ(sqlite3_open_v2(ledger.c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
            SQLITE_OK);
  sqlite3_stmt* s = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, sql, -1, &s, nullptr), SQLITE_OK);
  while (sqlite3_step(s) == SQLITE_ROW)
    texts.emplace_back(
        reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
  sqlite3_finalize(s);
  sqlite3_close(db);
  return texts;
}

}  // namespace

std::vector<std::string> Recorded_Times(const std::string& ledger) {
  return Texts(ledger, "SELECT recorded_at FROM day_version ORDER BY entry");
}

std::string Ledger_Head(const std::string& ledger) {
  std::vector<std::string> head = Texts(
      ledger,
      "SELECT entry_hash FROM (SELECT entry, entry_hash FROM day_version "
      "UNION ALL SELECT entry, entry_hash FROM month_close) ORDER BY entry "
      "DESC LIMIT 1");
  return head.empty() ? "" : head[0];
}

std::string Run_Sql(const std::string& ledger, const std::string& sql,
                    bool tamper) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(ledger.c_str(), &db), SQLITE_OK);
  std::string all = sql;
  if (tamper) {
    std::string drops;
    for (const char* table : {"day_version", "day_file", "month_close"})
      for (const char* change : {"UPDATE", "DELETE"})
        drops += std::string("DROP TRIGGER ") + table + "_no_" + change + ";";
    all = drops + sql;
  }
  char* error = nullptr;
  std::string message;
  if (sqlite3_exec(db, all.c_str(), nullptr, nullptr, &error) != SQLITE_OK)
    message = error != nullptr ? error : "error";
  sqlite3_free(error);
  sqlite3_close(db);
  return message;
}
