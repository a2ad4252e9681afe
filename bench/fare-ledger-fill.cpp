// Fills a new ledger with years of recorded days for the statement's
// benchmark: every day of every month from 2017-01 on, a correction on
// every 20th day, each month closed once its days are in but the last two.
// The rows are written as fare-ledger writes them, so that fare-ledger
// check passes on the result.
//   fare-ledger-fill LEDGER YEARS
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "Calendar.h"
#include "Ledger_Error.h"
#include "Ledger_Schema.h"
#include "Ledger_Statement.h"
#include "Ledger_Store.h"
#include "Won.h"

namespace {

Day_Figures Random_Figures(std::mt19937_64& random) {
  Day_Figures figures;
  for (std::size_t i = 0; i < DAY_FILES; ++i)
    figures.files[i] = {"file" + std::to_string(i),
                        static_cast<std::int64_t>(random() % 500000000),
                        std::string(64, "0123456789abcdef"[random() % 16])};
  figures.bus_total = static_cast<std::int64_t>(random() % 2000000000);
  figures.metro_total = static_cast<std::int64_t>(random() % 2000000000);
  return figures;
}

// Adds one version of day after the latest entry, chained to it.
void Add_Version(Database& db, const std::string& day, std::int64_t version,
                 const Day_Figures& figures, const Day_Figures* before,
                 std::string& last_hash, std::int64_t& entry) {
  Version_Row row;
  row.entry = ++entry;
  row.day = day;
  row.version = version;
  row.recorded_at = day + "T23:00:00Z";
  row.program_version = "bench";
  if (version > 1) row.reason = "resent file";
  row.figures = figures;
  row.bus_adjustment =
      Won_Difference(figures.bus_total, before ? before->bus_total : 0);
  row.metro_adjustment =
      Won_Difference(figures.metro_total, before ? before->metro_total : 0);
  row.entry_hash = Entry_Hash(row, last_hash);
  last_hash = row.entry_hash;
  Insert_Version(db, row);
}

void Close(Database& db, const Month& month, std::int64_t entry) {
  Month_Statement s = Build_Statement(db, month);
  Insert_Close(db, {month.Text(), month.Day_Text(month.Days()) + "T23:59:00Z",
                    entry, static_cast<std::int64_t>(s.Unrecorded()),
                    s.bus_days, s.metro_days, s.bus_prior, s.metro_prior});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fare-ledger-fill LEDGER YEARS\n");
    return 2;
  }
  try {
    std::unique_ptr<Database> db = Open_Ledger(argv[1], Access::WRITE);
    Write_Transaction transaction(*db);
    std::mt19937_64 random(1);
    std::string last_hash;
    std::int64_t entry = 0;
    int months = 12 * std::atoi(argv[2]);
    Month month{2017, 1};
    for (int m = 0; m < months; ++m, month = month.Next()) {
      for (const std::string& day : month.Day_Texts()) {
        Day_Figures first = Random_Figures(random);
        Add_Version(*db, day, 1, first, nullptr, last_hash, entry);
        if (entry % 20 == 0)
          Add_Version(*db, day, 2, Random_Figures(random), &first, last_hash,
                      entry);
      }
      if (m < months - 2) Close(*db, month, entry);
    }
    transaction.Commit();
    std::printf("%s: %lld versions over %d months\n", argv[1],
                static_cast<long long>(entry), months);
  } catch (const Ledger_Error& error) {
    std::fprintf(stderr, "fare-ledger-fill: %s\n", error.what());
    return 2;
  }
  return 0;
}
