// The fast stages against the literal ones: the indexed transfer separation
// against the walk per trigger, the leg sort against the exchange sort, the
// simple-line reader against the general one, block reads across buffer
// boundaries, and error order with files read in parallel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "Calculating_System.h"
#include "Journey_Observer.h"
#include "Leg_Table.h"
#include "Line_Reader.h"
#include "Record_Line.h"
#include "Transfer_Journeys.h"
#include "reference.h"
#include "scratch_dir.h"
#include "settlement_run.h"

namespace {

// --- Transfer separation ----------------------------------------------------

struct Day_Shape {
  const char* name;
  int records;
  int ids;          // distinct TerminalInfo texts drawn from
  int trigger_pct;  // share of bus records below 1050
};

// Fills the six lists with a random day; ids are few, so that journeys share
// records across lists, have several bus records, and repeat triggers.
void Fill_Random_Day(const Day_Shape& shape, std::mt19937& random) {
  Create_Settlement_State();
  for (int r = 0; r < shape.records; ++r) {
    int list = static_cast<int>(random() % 6);
    Data record{};
    record.LastTime = static_cast<std::int32_t>(random() % 50);
    record.Mot = list == 0 ? 1 : 0;
    record.InOut = static_cast<signed char>(random() % 2);
    bool trigger = static_cast<int>(random() % 100) < shape.trigger_pct;
    record.Balance = trigger ? static_cast<std::int32_t>(random() % 1050)
                             : 1050 + static_cast<std::int32_t>(random() % 3);
    // Texts of 1 to 9 characters, some prefixes of others, some with bytes
    // above 127, and leftovers of longer texts after the NUL.
    std::string id = "T" + std::to_string(random() % shape.ids);
    id += std::string(random() % 3, random() % 2 ? 'x' : '\xE9');
    id = id.substr(0, TERMINALINFO_WIDTH);
    std::memset(record.TerminalInfo, random() % 2 ? 'Z' : 0,
                sizeof record.TerminalInfo);
    std::memcpy(record.TerminalInfo, id.c_str(), id.size() + 1);
    Record_List into = PAYMENT_FILES[list].List();
    Append(into.tailer->prev, into.tailer)->data = record;
  }
}

std::string Lists_As_Text() {
  std::string out;
  for (const Payment_File& file : PAYMENT_FILES) {
    Record_List list = file.List();
    for (History_Data* n = list.header->next; n != list.tailer; n = n->next) {
      EXPECT_EQ(n->next->prev, n);
      Append_Record_Line(out, n->data, ',');
    }
    out += "|\n";
  }
  return out;
}

// The two ways of finding the triggers: one walk in list order (small
// indexes) and batches on two threads (large ones).
struct Trigger_Walk_Way {
  const char* name;
  std::size_t batched_from;
};
const Trigger_Walk_Way TRIGGER_WALK_WAYS[] = {{"in order", SIZE_MAX},
                                              {"batched", 0}};

// Sets how the triggers are found while it lives.
class Trigger_Walk_Set {
 public:
  explicit Trigger_Walk_Set(const Trigger_Walk_Way& way) {
    Batched_Trigger_Walk_From = way.batched_from;
  }
  ~Trigger_Walk_Set() { Batched_Trigger_Walk_From = kept_; }
  Trigger_Walk_Set(const Trigger_Walk_Set&) = delete;
  Trigger_Walk_Set& operator=(const Trigger_Walk_Set&) = delete;

 private:
  std::size_t kept_ = Batched_Trigger_Walk_From;
};

TEST(IndexedSeparation, MatchesTheLiteralWalkOnRandomDays) {
  const Day_Shape shapes[] = {
      {"empty", 0, 1, 50},
      {"no triggers", 60, 10, 0},
      {"one id", 40, 1, 30},
      {"few ids", 200, 8, 20},
      {"many triggers", 300, 40, 90},
      {"mostly distinct", 400, 300, 30},

  };
  std::mt19937 random(4);
  for (const Trigger_Walk_Way& way : TRIGGER_WALK_WAYS)
    for (const Day_Shape& shape : shapes) {
      Trigger_Walk_Set set(way);
      for (int round = 0; round < 30; ++round) {
        std::mt19937 replay = random;
        Fill_Random_Day(shape, random);
        std::string literal;
        Literal_Separate_Transfers(literal);
        std::string literal_left = Lists_As_Text();

        Fill_Random_Day(shape, replay);
        std::string indexed;
        Unsettled_Journeys unsettled;
        Separate_Transfers(indexed, unsettled);
        ASSERT_EQ(unsettled.count, 0);
        ASSERT_EQ(indexed, literal)
            << way.name << ", " << shape.name << " round " << round;
        ASSERT_EQ(Lists_As_Text(), literal_left) << shape.name;
      }
    }
}

// A day of many journeys: records alternate between the bus file and a
// metro file; bus_below_pct of the bus records are below 1050; ids are
// drawn from a pool of that many.
struct Many_Journeys {
  const char* name;
  int records;
  int ids;
  int bus_below_pct;
};

void Write_Many_Journeys(const Scratch_Dir& dir,
                         const Many_Journeys& day = {"", 120000, 40000, 50}) {
  std::mt19937 random(11);
  std::string files[6];
  for (int r = 0; r < day.records; ++r) {
    int list = r % 2 == 0 ? 0 : 1 + static_cast<int>(random() % 5);
    bool below =
        list == 0 && static_cast<int>(random() % 100) < day.bus_below_pct;
    files[list] += std::to_string(r) + "," + (list == 0 ? "1" : "0") + ",1," +
                   (below ? "500" : "1050") + ",J" +
                   std::to_string(random() % day.ids) + "\n";
  }
  for (int i = 0; i < 6; ++i) dir.Write(PAYMENT_FILES[i].name, files[i]);
}

// Against the sort-based reference (the literal walk would take too long
// here): more journeys than the history writer formats in one chunk, and
// more bus records below 1050 than the separation looks up in one batch,
// with texts that come back batches later.
TEST(IndexedSeparation, MatchesTheReferenceOnDaysOfManyJourneys) {
  const Many_Journeys days[] = {
      {"chunks", 120000, 40000, 50},
      {"batches", 400000, 60000, 100},
  };
  for (const Trigger_Walk_Way& way : TRIGGER_WALK_WAYS)
    for (const Many_Journeys& day : days) {
      Trigger_Walk_Set set(way);
      Scratch_Dir dir;
      Write_Many_Journeys(dir, day);
      Working_Dir here(dir.Path());
      Create_Settlement_State();
      HistoryData_Reader_Interface("");
      std::string history;
      Unsettled_Journeys unsettled;
      Separate_Transfers(history, unsettled);
      EXPECT_EQ(unsettled.count, 0);
      EXPECT_GT(std::count(history.begin(), history.end(), '\n'),
                day.records / 3)
          << day.name;
      EXPECT_EQ(history, Reference_Settle(".").history)
          << way.name << ", " << day.name;
    }
}

// Each process hashes the index under a key of its own, so the journeys land
// on other slots in every run: the history must not change with them.
TEST(IndexedSeparation, EachProcessHasItsOwnKeyAndTheSameHistory) {
  Scratch_Dir dir;
  Write_Many_Journeys(dir);
  const std::string expected = Reference_Settle(dir.Path()).history;
  Run_Options probe;
  probe.program = HASH_KEY_PROBE_EXE;
  std::string keys[2];
  for (std::string& key : keys) {
    Run_Result run = Run_Settlement(dir, probe);
    ASSERT_EQ(run.status, 0) << run.err;
    std::size_t end_of_key = run.out.find('\n');
    key = run.out.substr(0, end_of_key);
    EXPECT_EQ(key.size(), 32u);
    EXPECT_TRUE(run.out.substr(end_of_key + 1) == expected);
  }
  EXPECT_NE(keys[0], keys[1]);
}

// Members ordered for one separation are never taken for the next one's,
// however a gathering is reused.
TEST(IndexedSeparation, AGatheringReusedAfterANewSeparationReadsItsMembers) {
  std::mt19937 random(5);
  Gathered_Journeys gathered;
  for (int day = 0; day < 2; ++day) {
    Fill_Random_Day({"small", 400, 40, 30}, random);
    std::string history;
    Unsettled_Journeys unsettled;
    Separate_Transfers(history, unsettled);
    const std::size_t count = Transfer_Journeys.Size();
    ASSERT_LE(count, JOURNEY_CHUNK);
    Gather_Journeys(Transfer_Journeys, 0, count, count, gathered, nullptr);
    std::string lines;
    for (const Line_Record& r : gathered.records)
      Append_Record_Line(lines, r.record, r.separator);
    EXPECT_EQ(lines + "END", history) << "day " << day;
  }
}

// A member keeps every value its line can carry, whatever the journey's
// place in its chunk and the line's separator.
TEST(IndexedSeparation, MembersKeepTheirRecordsWholeInTwelveBytes) {
  struct Case {
    std::int32_t time, balance;
    int mot, in_out;
    std::size_t journey;
    bool space;
  } cases[] = {
      {0, 0, 0, 0, 0, false},
      {INT32_MAX, INT32_MIN, 1, 1, JOURNEY_CHUNK - 1, true},
      {INT32_MIN, -1, -1, -128, 1, false},
      {123456, 1049, 127, 9, 4095, true},
  };
  static_assert(sizeof(Member) == 12);
  const char text[TERMINALINFO_WIDTH + 1] = "T12345678";
  for (const Case& c : cases) {
    Data record{};
    record.LastTime = c.time;
    record.Balance = c.balance;
    record.Mot = static_cast<signed char>(c.mot);
    record.InOut = static_cast<signed char>(c.in_out);
    std::memcpy(record.TerminalInfo, text, sizeof text);
    Member member = Member::Of(record, c.journey, c.space);
    EXPECT_EQ(member.Journey(), c.journey);
    EXPECT_EQ(member.Separator(), c.space ? ' ' : ',');
    Data back = member.Record(text);
    EXPECT_EQ(std::memcmp(&back, &record, sizeof record), 0) << c.time;
  }
}

// --- Leg sort ---------------------------------------------------------------

TEST(LegSort, GivesTheExchangeSortsOrderForAnySize) {
  std::mt19937 random(9);
  // (legs, distinct times): few times force ties, many times none.
  const int shapes[][2] = {
      {2, 1},     {5, 2},         {19, 3},  {33, 1000000}, {40, 4},
      {100, 100}, {300, 1000000}, {500, 7}, {64, 64},      {1000, 1000000}};
  for (const auto& shape : shapes) {
    for (int round = 0; round < 20; ++round) {
      Leg_Table table;
      for (int i = 0; i < shape[0]; ++i)
        table.push_back(
            {static_cast<std::int32_t>(random() % shape[1]) - shape[1] / 2, i,
             static_cast<std::int32_t>(random() % 1000)});
      Leg_Table expected = table;
      Literal_Sort_Legs(expected);
      Sort_Legs(table);
      for (int i = 0; i < shape[0]; ++i) {
        ASSERT_EQ(table[i].LastTime, expected[i].LastTime);
        ASSERT_EQ(table[i].Mot, expected[i].Mot)
            << shape[0] << " legs, leg " << i;
      }
    }
  }
}

// Orders worked out by hand, so that the small tables (sorted by the
// exchange sort itself) are checked against something other than a copy:
// times and, for each leg given as its original position, where it ends.
TEST(LegSort, SmallTablesKeepTheExchangeSortsOrderOfEqualTimes) {
  struct Case {
    std::vector<std::int32_t> times;
    std::vector<std::int32_t> order;  // original positions, sorted
  };
  const Case cases[] = {
      {{2, 2, 1}, {2, 1, 0}},  // not the stable order 2, 0, 1
      {{3, 1, 2, 1}, {1, 3, 2, 0}},
      {{5, 5, 5}, {0, 1, 2}},
      {{1}, {0}},
  };
  for (const Case& c : cases) {
    Leg_Table table;
    for (std::size_t i = 0; i < c.times.size(); ++i)
      table.push_back({c.times[i], static_cast<std::int32_t>(i), 0});
    Sort_Legs(table);
    for (std::size_t i = 0; i < c.order.size(); ++i)
      EXPECT_EQ(table[i].Mot, c.order[i]) << "leg " << i;
  }
}

// --- Record lines -----------------------------------------------------------

// Lines near the simple form, with the characters that make it not simple.
std::string Random_Line(std::mt19937& random) {
  static const std::string pieces[] = {
      "0",          "7",          "12",          "1050",
      "2147483647", "2147483648", "99999999999", "-3",
      "+4",         ",",          " ",           "\t",
      "\r",         "AB",         "x",           std::string(1, '\0'),
      "T123456789", "abcdefgh"};
  std::string line;
  int n = 1 + static_cast<int>(random() % 11);
  for (int i = 0; i < n; ++i) line += pieces[random() % std::size(pieces)];
  return line;
}

TEST(SimpleLineReader, AgreesWithTheGeneralReaderWheneverItAccepts) {
  std::mt19937 random(2);
  int accepted = 0;
  for (int round = 0; round < 200000; ++round) {
    std::string line = Random_Line(random);
    if (round % 3 == 0)
      line = std::to_string(random() % 3000000000u) + "," +
             std::to_string(random() % 10) + "," +
             std::to_string(random() % 10) + "," +
             std::to_string(random() % 12000) + (random() % 2 ? "," : " ") +
             std::string(random() % 11, static_cast<char>('A' + random() % 3));
    Data fast{}, general{};
    if (!Fill_Simple_Record(fast, line)) continue;
    ++accepted;
    ASSERT_TRUE(Fill_Data_General(general, line, "f", 1)) << line;
    EXPECT_EQ(fast.LastTime, general.LastTime) << line;
    EXPECT_EQ(fast.Mot, general.Mot) << line;
    EXPECT_EQ(fast.InOut, general.InOut) << line;
    EXPECT_EQ(fast.Balance, general.Balance) << line;
    EXPECT_STREQ(fast.TerminalInfo, general.TerminalInfo) << line;
  }
  EXPECT_GT(accepted, 20000);
}

// --- Block reads ------------------------------------------------------------

TEST(PaymentLoading, LinesAcrossReadBlocksLoadLikeSingleLines) {
  Scratch_Dir dir;
  std::mt19937 random(5);
  std::string bytes;
  std::vector<std::string> lines;
  // Over 3 MiB of lines of every length from 10 to 40 bytes, in the simple
  // and the general form, so that lines straddle every block boundary.
  while (bytes.size() < (3u << 20) + 17) {
    std::string line = std::to_string(random() % 100000) + ",1,0," +
                       std::to_string(random() % 2000) +
                       (random() % 5 ? "," : ", \t") +
                       std::string(1 + random() % 8, 'A');
    if (random() % 7 == 0) line += "\r";
    lines.push_back(line);
    bytes += line + "\n";
  }
  bytes += "1,1,1,1,LAST";  // no newline at the end
  lines.push_back("1,1,1,1,LAST");
  dir.Write("pay.txt", bytes);

  Create_Settlement_State();
  Load_Payment_File(dir.Path(), "pay.txt", B_header, B_tailer);
  History_Data* node = B_header->next;
  for (std::size_t i = 0; i < lines.size(); ++i, node = node->next) {
    ASSERT_NE(node, B_tailer) << "missing line " << i + 1;
    Data expected{};
    Fill_Data_General(expected, lines[i], "f", 1);
    ASSERT_EQ(node->data.LastTime, expected.LastTime) << i + 1;
    ASSERT_EQ(node->data.Balance, expected.Balance) << i + 1;
    ASSERT_STREQ(node->data.TerminalInfo, expected.TerminalInfo) << i + 1;
  }
  EXPECT_EQ(node, B_tailer);
}

// A day whose files are read in halves (over 1 MiB each), in every line
// form, each metro file ending in a tap of no journey (the latest in metro
// 5) and the bus file in a line without its newline: the lists, the metro taps
// kept out of them and the totals and tags settle as the reference does.
TEST(PaymentLoading, FilesReadInHalvesSettleAsTheReference) {
  Scratch_Dir dir;
  std::mt19937 random(9);
  const char* separators[] = {",", ", ", "\t", " ,"};
  std::string files[6];
  std::int64_t lines[6] = {};
  for (int i = 0; i < 6; ++i) {
    // Metro 5, the smallest, is the metro file read in halves.
    const std::size_t size = i == 0 ? 2u << 20 : (1u << 20) + (5 - i) * 40000;
    while (files[i].size() < size) {
      int balance = i == 0 && random() % 3 == 0
                        ? static_cast<int>(random() % 1050)
                        : 1050 + static_cast<int>(random() % 500);
      files[i] += std::to_string(random() % 90000) + "," +
                  (i == 0 ? "1" : "0") + ",1" + separators[random() % 4] +
                  std::to_string(balance) + "," + "T" +
                  std::to_string(random() % 60000) +
                  (random() % 9 == 0 ? "\r" : "") + "\n";
      ++lines[i];
    }
    files[i] += std::to_string(99990 + i) +
                (i == 0 ? ",1,1,1200,NONE" : ",0,1,1300,NONE\n");
    ++lines[i];
    dir.Write(PAYMENT_FILES[i].name, files[i]);
  }
  Working_Dir here(dir.Path());
  Create_Settlement_State();
  HistoryData_Reader_Interface("");
  const std::int32_t bus_tag = bus_LastTag, metro_tag = metro_LastTag;
  for (int i = 0; i < 6; ++i) {
    std::int64_t listed = 0;
    Record_List list = PAYMENT_FILES[i].List();
    for (History_Data* n = list.header->next; n != list.tailer; n = n->next)
      ++listed;
    EXPECT_EQ(listed + Unlisted[i].count, lines[i]) << PAYMENT_FILES[i].name;
    if (i > 0) {
      EXPECT_GT(Unlisted[i].count, 0) << PAYMENT_FILES[i].name;
    }
  }
  std::string history;
  Unsettled_Journeys unsettled;
  Separate_Transfers(history, unsettled);
  Normal_Bus_Process(&Total_bus_fee);
  Normal_Metro_Process(&Total_metro_fee);
  Transfer_Process(Transfer_Journeys);
  Reference_Result reference = Reference_Settle(".");
  EXPECT_TRUE(history == reference.history);
  EXPECT_EQ(Total_bus_fee, reference.bus_fee);
  EXPECT_EQ(Total_metro_fee, reference.metro_fee);
  EXPECT_EQ(bus_tag, reference.bus_tag);
  EXPECT_EQ(metro_tag, reference.metro_tag);
}

// The two halves of a file read at once meet where both readers find the
// same line: the first line starting at or after the middle, with as many
// lines before it for either. Any other answer fails an unchanged file as
// changed, or loses or repeats lines.
TEST(PaymentLoading, HalvesMeetAtTheSameLineWhereverTheMiddleFalls) {
  Scratch_Dir dir;
  const std::string files[] = {"a\nbb\nccc\n", "a\nbb\nccc", "\n\n\n", "abc",
                               "x\r\ny\r\n\nzz"};
  for (const std::string& bytes : files) {
    dir.Write("f.txt", bytes);
    for (std::uint64_t middle = 0; middle <= bytes.size() + 1; ++middle) {
      Line_Reader first(dir.File("f.txt"));
      std::string_view line;
      while (first.Next_Offset() < middle && first.Next(line)) {
      }
      Line_Reader second(dir.File("f.txt"));
      std::uint64_t meet = second.Skip_Lines_Before(middle);
      std::string where =
          ::testing::PrintToString(bytes) + " middle " + std::to_string(middle);
      EXPECT_EQ(meet, first.Next_Offset()) << where;
      EXPECT_EQ(second.Line_Number(), first.Line_Number()) << where;
    }
  }
}

// --- Error order ------------------------------------------------------------

std::string Load_Error(const std::vector<std::string>& files) {
  Scratch_Dir dir;
  for (int i = 0; i < 6; ++i)
    if (files[i] != "<missing>") dir.Write(PAYMENT_FILES[i].name, files[i]);
  Working_Dir here(dir.Path());
  Create_Settlement_State();
  try {
    HistoryData_Reader_Interface("");
  } catch (const Settlement_Error& error) {
    return error.what();
  }
  return "no error";
}

TEST(PaymentLoading, ReportsTheFirstBadFileInReadingOrder) {
  const std::string good = "1,1,1,1050,A\n";
  const std::string big_good = [] {
    std::string s;
    for (int i = 0; i < 200000; ++i) s += "5,0,1,1050,B\n";
    return s;
  }();
  const std::string late_bad = big_good + "5,0,1\n";
  // Files over 1 MiB are read in two halves that meet at 53% of the file,
  // near line 106,000 of big_good: bad lines on either side of it, and in
  // the smallest metro file, which is the one read in halves.
  auto bad_at = [&](int line) {
    std::string s = big_good;
    s.insert(static_cast<std::size_t>(line - 1) * 13, "5,0,1\n");
    return s;
  };
  const std::string smaller = big_good.substr(13);
  const struct {
    std::vector<std::string> files;
    std::string error;
  } cases[] = {
      {{good, good, "1,0\n", late_bad, good, good},
       "paymentData_7002.txt:1: fewer than five fields"},
      {{late_bad, good, "1,0\n", good, good, "<missing>"},
       "paymentData_5001.txt:200001: fewer than five fields"},
      {{big_good, good, good, "<missing>", "x,0,1,12345,A\n", good},
       "paymentData_7003.txt: cannot open: No such file or directory"},
      {{big_good, good, good, good, good, late_bad},
       "paymentData_7005.txt:200001: fewer than five fields"},
      {{bad_at(105000), good, good, good, good, good},
       "paymentData_5001.txt:105000: fewer than five fields"},
      {{bad_at(107000), good, good, good, good, good},
       "paymentData_5001.txt:107000: fewer than five fields"},
      {{bad_at(10) + "5,0,1\n", good, good, good, good, good},
       "paymentData_5001.txt:10: fewer than five fields"},
      {{big_good, big_good, big_good, smaller + "5,0,1\n", big_good, big_good},
       "paymentData_7003.txt:200000: fewer than five fields"},
      {{big_good, big_good, late_bad, smaller + "5,0,1\n", big_good, big_good},
       "paymentData_7002.txt:200001: fewer than five fields"},
  };
  for (const auto& c : cases) EXPECT_EQ(Load_Error(c.files), c.error);
}

TEST(TransferApportionment, ABadLineIsReportedBeforeAnEarlierZeroDivisor) {
  Scratch_Dir dir;
  Working_Dir here(dir.Path());
  Create_Settlement_State();
  // The first journey's amounts add up to -1050; line 4 is malformed.
  dir.Write(HISTORY_FILE, "1,1,1,-999,J1\n2,0,1,-51,J1\n3,0,1,5,J2\n4,0\nEND");
  try {
    Transfer_Process();
    FAIL() << "no error";
  } catch (const Settlement_Error& error) {
    EXPECT_STREQ(error.what(), "trans_history.txt:4: fewer than five fields");
  }
  dir.Write(HISTORY_FILE, "1,1,1,-999,J1\n2,0,1,-51,J1\n3,0,1,5,J2\nEND");
  try {
    Transfer_Process();
    FAIL() << "no error";
  } catch (const Settlement_Error& error) {
    EXPECT_NE(std::string(error.what()).find("journey J1"), std::string::npos)
        << error.what();
  }
}

// A history of 600,000 lines, journeys of 1 to 4 legs with many equal
// times, and lines to spoil at given positions.
struct Big_History {
  std::vector<std::string> lines;
  std::int64_t bus = 0;
  std::int64_t metro = 0;
};

Big_History Make_Big_History() {
  __extension__ typedef __int128 Wide;
  Big_History h;
  std::mt19937 random(3);
  for (int j = 0; h.lines.size() < 600000; ++j) {
    Leg_Table legs;
    int count = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < count; ++i) {
      Leg leg{static_cast<std::int32_t>(random() % 5),  // ties are common
              static_cast<std::int32_t>(random() % 2),
              static_cast<std::int32_t>(random() % 1100)};
      legs.push_back(leg);
      h.lines.push_back(std::to_string(leg.LastTime) + "," +
                        std::to_string(leg.Mot) + ",1," +
                        std::to_string(leg.Balance) + (i % 2 ? " J" : ",J") +
                        std::to_string(j));
    }
    Literal_Sort_Legs(legs);
    Wide total = 0, running = 0;
    for (const Leg& leg : legs) total += leg.Balance;
    for (const Leg& leg : legs) {
      running += leg.Balance;
      (leg.Mot == BUS ? h.bus : h.metro) +=
          static_cast<std::int64_t>(total * running / (total + 1050));
    }
  }
  return h;
}

std::string Joined(const std::vector<std::string>& lines, bool end_mark) {
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  if (end_mark) out += "END";
  return out;
}

// Runs Transfer_Process on history; returns its error, or "" and the totals.
std::string Apportion(const std::string& history, std::int64_t& bus,
                      std::int64_t& metro) {
  Scratch_Dir dir;
  Working_Dir here(dir.Path());
  dir.Write(HISTORY_FILE, history);
  Create_Settlement_State();
  try {
    Transfer_Process();
  } catch (const Settlement_Error& error) {
    return error.what();
  }
  bus = Total_bus_fee;
  metro = Total_metro_fee;
  return "";
}

TEST(TransferApportionment, ALargeHistorySettlesWithErrorsInFileOrder) {
  const Big_History h = Make_Big_History();
  ASSERT_GT(Joined(h.lines, true).size(), 9u << 20);
  std::int64_t bus = 0, metro = 0;
  EXPECT_EQ(Apportion(Joined(h.lines, true), bus, metro), "");
  EXPECT_EQ(bus, h.bus);
  EXPECT_EQ(metro, h.metro);

  const std::size_t n = h.lines.size();
  const std::string at_end = ":" + std::to_string(n - 10) + ": ";
  const struct {
    std::size_t bad_line;  // 1-based; 0 for none
    bool zero_divisor_first;
    bool end_mark;
    std::string error;
  } cases[] = {
      {n - 10, false, true,
       "trans_history.txt" + at_end + "fewer than five fields"},
      {n - 10, true, true,
       "trans_history.txt" + at_end + "fewer than five fields"},
      {10, false, true, "trans_history.txt:10: fewer than five fields"},
      {0, false, false, "trans_history.txt: ends without its END mark"},
      {0, true, true,
       "trans_history.txt: journey Z: amounts add up to -1050, "
       "which leaves no divisor"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> lines = h.lines;
    if (c.bad_line != 0) lines[c.bad_line - 1] = "1,2";
    if (c.zero_divisor_first) {
      lines.insert(lines.begin(), {"1,1,1,-999,Z", "2,0,1,-51,Z"});
      if (c.bad_line != 0)
        std::swap(lines[c.bad_line - 1], lines[c.bad_line + 1]);
    }
    EXPECT_EQ(Apportion(Joined(lines, c.end_mark), bus, metro), c.error)
        << c.error;
  }
}

}  // namespace
