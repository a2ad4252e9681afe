// Runs the built program on whole days and checks every output byte.
#include <gtest/gtest.h>

#include "settlement_run.h"

namespace {

const Day WORKED_DAY = {{
    "100,1,1,1050,T1\n200,1,1,0,T2\n300,1,1,1050,T3\n",
    "150,0,1,1050,T2\n250,0,0,1050,T4\n",
    "260,0,1,1050,T5\n",
    "270,0,1,100,T2\n",
    "280,0,1,1050,T6\n",
    "240,0,1,1050,T7\n",
}};

struct Expected {
  std::string history;
  std::string bus;
  std::string metro;
  std::string out;
};

std::string Report(long long bus, long long metro) {
  return "wait\nResult\nBus: " + std::to_string(bus) +
         " won\nMetro: " + std::to_string(metro) + " won\n";
}

// Runs day and checks a complete run: every output file, the report, the
// lowered flag, an empty standard error and untouched payment files.
void Expect_Settles(const Day& day, const Expected& expected) {
  Scratch_Dir dir;
  Lay_Out_Day(dir, day);
  Run_Result run = Run_Settlement(dir);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, expected.out);
  EXPECT_EQ(dir.Read("trans_history.txt"), expected.history);
  EXPECT_EQ(dir.Read("Total_Bus_Data.txt"), expected.bus);
  EXPECT_EQ(dir.Read("Total_Metro_Data.txt"), expected.metro);
  EXPECT_EQ(dir.Read("enable.txt"), "0");
  for (std::size_t i = 0; i < PAYMENT_FILES.size(); ++i)
    EXPECT_EQ(dir.Read(PAYMENT_FILES[i]), day.files[i]) << PAYMENT_FILES[i];
}

TEST(Settlement, WorkedRun) {
  Expect_Settles(WORKED_DAY,
                 {"200,1,1,0,T2\n150,0,1,1050,T2\n270,0,1,100 T2\nEND",
                  "300,1,2648", "280,0,5349", Report(2648, 5349)});
}

}  // namespace
