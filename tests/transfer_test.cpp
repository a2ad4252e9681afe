// Transfer separation (group order, what leaves the lists) and apportionment
// (the leg sort and every row of the share table).
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "Calculating_System.h"
#include "Journey_Observer.h"
#include "Leg_Table.h"
#include "Money.h"
#include "Record_Line.h"
#include "Transfer_Journeys.h"
#include "scratch_dir.h"

namespace {

// --- Apportionment ----------------------------------------------------------

struct Shares {
  std::int64_t bus, metro;
};

Shares Apportion(const Leg_Table& legs) {
  Shares shares{0, 0};
  calculate(legs, &shares.bus, &shares.metro, "T");
  return shares;
}

TEST(Calculate, EveryRowOfTheShareTable) {
  struct Case {
    Leg_Table legs;  // in time order
    Shares want;
  } cases[] = {
      {{{1, METRO, 1050}, {2, BUS, 0}}, {525, 525}},
      {{{1, METRO, 1050}, {2, BUS, 150}}, {640, 560}},
      {{{1, METRO, 1050}, {2, BUS, 100}}, {601, 548}},
      {{{1, BUS, 950}, {2, METRO, 100}}, {475, 525}},
      {{{1, BUS, 900}}, {415, 0}},
      {{{1, METRO, 1050}, {2, BUS, 100}, {3, METRO, 0}}, {601, 1149}},
      // Any Mot other than BUS counts for the metro side.
      {{{1, 7, 1050}, {2, BUS, 0}}, {525, 525}},
      // Negative shares truncate toward zero: -500 x -500 / 550 = 454.5...
      {{{1, BUS, -500}}, {454, 0}},
      // -1049 x -1049 / 1 stays exact.
      {{{1, BUS, -1049}}, {1100401, 0}},
  };
  for (const Case& c : cases) {
    Shares got = Apportion(c.legs);
    EXPECT_EQ(got.bus, c.want.bus) << c.legs.size() << " legs";
    EXPECT_EQ(got.metro, c.want.metro) << c.legs.size() << " legs";
  }
}

TEST(Calculate, ProductBeyond64BitsIsExact) {
  // total = running = T: T*T/(T+1050) = T - 1050 + 1102500/(T+1050).
  const std::int64_t T = 4'000'000'000;
  EXPECT_EQ(Leg_Share(T, T, "T"), T - 1050);
}

TEST(Calculate, ZeroDivisorNamesTheJourney) {
  try {
    calculate({{1, BUS, -1000}, {2, METRO, -50}}, nullptr, nullptr, "J7");
    ADD_FAILURE() << "zero divisor accepted";
  } catch (const Settlement_Error& error) {
    EXPECT_STREQ(error.what(),
                 "trans_history.txt: journey J7: amounts add up to -1050, "
                 "which leaves no divisor");
  }
}

TEST(SortLegs, EqualTimesAreNeverSwappedWithEachOther) {
  // Legs are told apart by their amounts.
  struct Case {
    Leg_Table legs;
    std::vector<int> want;  // amounts after the sort
  } cases[] = {
      {{{500, 0, 1}, {500, 0, 2}, {300, 0, 3}}, {3, 2, 1}},
      {{{9, 0, 1}, {5, 0, 2}, {9, 0, 3}}, {2, 1, 3}},
      {{{2, 0, 1}, {1, 0, 2}, {1, 0, 3}, {0, 0, 4}}, {4, 3, 2, 1}},
      {{{-1, 0, 1}, {7, 0, 2}}, {1, 2}},
  };
  for (Case& c : cases) {
    Sort_Legs(c.legs);
    std::vector<int> got;
    for (const Leg& leg : c.legs) got.push_back(leg.Balance);
    EXPECT_EQ(got, c.want);
  }
}

// --- Separation and the stages that read it back ----------------------------

class Stages : public ::testing::Test {
 protected:
  void SetUp() override { Create_Settlement_State(); }

  // Appends records given as record lines to the list ending at tailer.
  void Fill(History_Data* tailer, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
      History_Data* node = Append(tailer->prev, tailer);
      ASSERT_TRUE(Fill_Data(node->data, line, "test", 1));
    }
  }
  std::string Separate() {
    std::string history;
    Unsettled_Journeys unsettled;
    Separate_Transfers(history, unsettled);
    unsettled.Raise_First();
    return history;
  }
  Scratch_Dir dir_;
  Working_Dir cd_{dir_.Path()};
};

TEST_F(Stages, GroupOrderIsTriggerBusBeforeBusAfterThenMetroLists) {
  Fill(B_tailer, {"1,1,1,1050,X", "2,1,1,1050,K", "3,1,1,1049,K",
                  "4,1,1,1500,K", "5,1,1,10,K", "6,1,1,0,Y"});
  Fill(M1_tailer, {"7,0,1,1,K", "8,0,1,2,Z", "9,0,1,3,K"});
  Fill(M3_tailer, {"10,0,1,4,K", "11,0,1,5,Y"});
  Fill(M5_tailer, {"12,0,1,6,K"});
  EXPECT_EQ(Separate(),
            "3,1,1,1049,K\n2,1,1,1050,K\n4,1,1,1500,K\n5,1,1,10,K\n"
            "7,0,1,1,K\n9,0,1,3,K\n10,0,1,4 K\n12,0,1,6,K\n"
            "6,1,1,0,Y\n11,0,1,5 Y\nEND");
  // Only X and Z remain; the later bus record of K below 1050 made no group.
  Normal_Bus_Process(&Total_bus_fee);
  Normal_Metro_Process(&Total_metro_fee);
  EXPECT_EQ(Total_bus_fee, 1050);
  EXPECT_EQ(Total_metro_fee, 2);
}

TEST_F(Stages, NoTriggerLeavesListsWhole) {
  Fill(B_tailer, {"1,1,1,1050,A", "2,1,1,9999,B"});
  Fill(M2_tailer, {"3,0,1,5,A"});
  EXPECT_EQ(Separate(), "END");
  Normal_Bus_Process(&Total_bus_fee);
  Normal_Metro_Process(&Total_metro_fee);
  EXPECT_EQ(Total_bus_fee, 11049);
  EXPECT_EQ(Total_metro_fee, 5);
}

TEST_F(Stages, TransferProcessAppportionsEachJourneyOfTheFile) {
  struct Case {
    std::string history;
    Shares want;
  } cases[] = {
      {"END", {0, 0}},
      // The trigger is written first; the legs are apportioned in time order.
      {"200,1,1,0,T2\n150,0,1,1050,T2\n270,0,1,100 T2\nEND", {548, 1149}},
      // Two journeys, each with its own total.
      {"2,1,1,900,A\n2,1,1,950,B\n3,0,1,100,B\nEND", {415 + 475, 525}},
      // A leg at time 9 is a leg like any other.
      {"9,1,1,0,A\n1,0,1,1050,A\nEND", {525, 525}},
  };
  for (const Case& c : cases) {
    dir_.Write(HISTORY_FILE, c.history);
    Total_bus_fee = 0;
    Total_metro_fee = 0;
    Transfer_Process();
    EXPECT_EQ(Total_bus_fee, c.want.bus) << c.history;
    EXPECT_EQ(Total_metro_fee, c.want.metro) << c.history;
  }
}

TEST_F(Stages, JourneysOfManyLegsAreApportionedWhole) {
  // 25 metro legs of 100 won and one bus leg of 0 won, written in reverse
  // time order: total 2500, legs credited 2500*100k/3550 for k = 1..25.
  std::string history = "1000,1,1,0,M\n";
  for (int leg = 25; leg >= 1; --leg)
    history += std::to_string(leg) + ",0,1,100,M\n";
  dir_.Write(HISTORY_FILE, history + "END");
  Transfer_Process();
  std::int64_t metro = 0;
  for (int k = 1; k <= 25; ++k) metro += 2500 * 100 * k / 3550;
  EXPECT_EQ(Total_metro_fee, metro);
  EXPECT_EQ(Total_bus_fee, 2500 * 2500 / 3550);
}

// Counts the journeys it is told of.
class Journey_Count : public Journey_Observer {
 public:
  void Settled(const Settled_Journey&) override { ++count; }
  int count = 0;
};

// Every journey told, as text: its terminal, then each leg's time, side
// and share.
class Journey_Text : public Journey_Observer {
 public:
  void Settled(const Settled_Journey& journey) override {
    ++count;
    text += std::string(journey.terminal);
    for (std::size_t i = 0; i < journey.legs.size(); ++i)
      text += " " + std::to_string(journey.legs[i].LastTime) + "," +
              std::to_string(journey.legs[i].Mot) + "," +
              std::to_string(journey.shares[i]);
    text += "\n";
  }
  int count = 0;
  std::string text;
};

TEST_F(Stages, ListedJourneysThatCannotBeSettledAreLeftOutAndTheRestGoOn) {
  // W's and V's 10,001 legs are refused by the separation; K is written.
  // The list keeps only the first it is told of, but counts both.
  Fill(B_tailer, {"1,1,1,0,W", "2,1,1,0,K", "4,1,1,0,V"});
  Fill(M4_tailer, std::vector<std::string>(10000, "5,0,1,1,W"));
  Fill(M4_tailer, {"3,0,1,7,K"});
  Fill(M5_tailer, std::vector<std::string>(10000, "6,0,1,1,V"));
  std::string history;
  Unsettled_Journeys unsettled;
  unsettled.keep = 1;
  Separate_Transfers(history, unsettled);
  EXPECT_EQ(history, "2,1,1,0,K\n3,0,1,7,K\nEND");
  EXPECT_EQ(unsettled.count, 2);
  EXPECT_EQ(unsettled.first,
            std::vector<std::string>{
                "paymentData_5001.txt: journey W has 10001 legs, more than "
                "10000 (unrelated taps sharing one TerminalInfo?)"});

  // A's metro leg is credited before its bus leg overflows the bus total:
  // A must credit nothing. Z has no divisor. B still settles.
  history =
      "1,0,1,1050,A\n2,1,1,0,A\n1,1,1,-999,Z\n2,0,1,-51,Z\n7,0,1,100,B\nEND";
  const std::int64_t bus = INT64_MAX - 100;
  Total_bus_fee = bus;
  Total_metro_fee = 0;
  unsettled = Unsettled_Journeys();
  Journey_Count settled;
  Transfer_Process(history, settled, unsettled);
  EXPECT_EQ(unsettled.count, 2);
  EXPECT_EQ(unsettled.first,
            (std::vector<std::string>{
                "bus total leaves the 64-bit range",
                "trans_history.txt: journey Z: amounts add up to -1050, which "
                "leaves no divisor"}));
  EXPECT_EQ(settled.count, 1);
  EXPECT_EQ(Total_bus_fee, bus);
  EXPECT_EQ(Total_metro_fee, 100 * 100 / 1150);
}

// The apportionment of the journeys just separated, from their records,
// against reading the history they were written to: the same totals, or
// the same first error, whatever chunk of journeys a fault falls in.
TEST_F(Stages, JourneysInMemoryApportionAsTheirHistoryReadsBack) {
  const std::int64_t near_top = INT64_MAX - 1'500'000;
  // Journeys of one bus leg of 0 won: they credit nothing.
  auto fillers = [](int from, int count) {
    std::vector<std::string> lines;
    for (int i = from; i < from + count; ++i)
      lines.push_back("1,1,1,0,F" + std::to_string(i));
    return lines;
  };
  const int chunk = static_cast<int>(JOURNEY_CHUNK);
  struct Journey {
    const char* trigger;  // the bus leg below 1050, at time 1
    std::int32_t amount;  // of a second leg, at time 2
    int mot;              // of the second leg
  };
  struct Case {
    std::int64_t bus_start;
    std::vector<Journey> second_chunk;  // after a chunk of fillers
    std::string want;                   // "BUS METRO", or the error
  } cases[] = {
      // 1950 x 900 / 3000 and 1950 x 1950 / 3000.
      {0, {{"1,1,1,900,A", 1050, METRO}}, "585 1267"},
      {0,
       {{"1,1,1,900,A", 100, METRO}, {"1,1,1,-999,Z", -51, METRO}},
       "trans_history.txt: journey Z: amounts add up to -1050, which leaves "
       "no divisor"},
      // Divisors of 1 and -1: P and Q credit the bus 1049 x 999 each, N
      // 1051 x -999. P and Q leave 64 bits on the way, though the chunk's
      // sum with N would not.
      {near_top,
       {{"1,1,1,-999,P", -50, METRO},
        {"1,1,1,-999,Q", -50, METRO},
        {"1,1,1,-999,N", -52, METRO}},
       "bus total leaves the 64-bit range"},
      {near_top,
       {{"1,1,1,-999,P", -50, METRO}, {"1,1,1,-999,N", -52, METRO}},
       std::to_string(near_top + 1049 * 999 - 1051 * 999) + " " +
           std::to_string(1049 * 1049 - 1051 * 1051)},
  };
  int told_first_chunk_only = 0;
  for (const Case& c : cases) {
    auto lay_out = [&] {
      Create_Settlement_State();
      Fill(B_tailer, fillers(0, chunk));
      for (const Journey& j : c.second_chunk) {
        Fill(B_tailer, {j.trigger});
        History_Data* leg = Append(B_tailer->prev, B_tailer);
        ASSERT_TRUE(Fill_Data(leg->data, j.trigger, "test", 1));
        leg->data.LastTime = 2;
        leg->data.Mot = static_cast<signed char>(j.mot);
        leg->data.Balance = j.amount;  // a later record of j's journey
      }
      Fill(B_tailer, fillers(chunk, chunk));
    };
    lay_out();
    std::string history;
    Unsettled_Journeys unsettled;
    Separate_Transfers(history, unsettled);
    ASSERT_EQ(unsettled.count, 0) << c.want;
    dir_.Write(HISTORY_FILE, history);
    std::string outcome[2];
    for (int from_memory = 0; from_memory < 2; ++from_memory) {
      Total_bus_fee = c.bus_start;
      Total_metro_fee = 0;
      try {
        if (from_memory)
          Transfer_Process(Transfer_Journeys);
        else
          Transfer_Process();
        outcome[from_memory] = std::to_string(Total_bus_fee) + " " +
                               std::to_string(Total_metro_fee);
      } catch (const Settlement_Error& error) {
        outcome[from_memory] = error.what();
      }
    }
    EXPECT_EQ(outcome[0], c.want) << "read back";
    EXPECT_EQ(outcome[1], c.want) << "from memory";
    // Observed, as the audit settles: the same journeys told with the same
    // shares, the same left out, the same totals; from memory after the
    // separation, and told by the separation itself as it writes them,
    // under bounds on the ordinary totals that tell every chunk, stop at the
    // second, or tell none.
    const std::int64_t start_size =
        c.bus_start < 0 ? -c.bus_start : c.bus_start;
    const std::int64_t bounds[] = {start_size, INT64_MAX - 1000, INT64_MAX};
    std::string observed[2 + std::size(bounds)];
    for (std::size_t way = 0; way < std::size(observed); ++way) {
      Journey_Text told;
      Unsettled_Journeys left_out;
      std::optional<Told_Early> early;
      if (way >= 2) {
        lay_out();
        early.emplace(told, std::max(start_size, bounds[way - 2]), SIZE_MAX);
        std::string again;
        Separate_Transfers([&](std::string_view b) { again.append(b); },
                           left_out, &*early);
        EXPECT_EQ(again, history);
      }
      Total_bus_fee = c.bus_start;
      Total_metro_fee = 0;
      if (way == 0)
        Transfer_Process(history, told, left_out);
      else
        Transfer_Process(Transfer_Journeys, told, left_out,
                         early ? &*early : nullptr);
      EXPECT_EQ(told.count + left_out.count,
                2 * chunk + static_cast<int>(c.second_chunk.size()));
      observed[way] = told.text + std::to_string(left_out.count);
      for (const std::string& problem : left_out.first)
        observed[way] += "\n" + problem;
      observed[way] += "\n" + std::to_string(Total_bus_fee) + " " +
                       std::to_string(Total_metro_fee);
      if (way > 0) {
        EXPECT_EQ(observed[way], observed[0]) << c.want << way;
      }
      if (way == 2) {
        EXPECT_GE(early->chunks, 1u) << c.want;
      }
      if (way == 4) {
        EXPECT_EQ(early->chunks, 0u) << c.want;
      }
      if (early && early->chunks == 1) ++told_first_chunk_only;
    }
  }
  // The telling stopped after the first chunk in some cases: those that
  // credit the told chunk, then settle the rest.
  EXPECT_GE(told_first_chunk_only, 2);
}

TEST_F(Stages, HistoryWithoutEndMarkIsAnError) {
  for (const char* history : {"", "1,1,1,0,A\n", "END\n", "1,1,1,0,A\nEN"}) {
    dir_.Write(HISTORY_FILE, history);
    EXPECT_THROW(Transfer_Process(), Settlement_Error) << history;
  }
}

}  // namespace
