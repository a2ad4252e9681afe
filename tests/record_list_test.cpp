// The record lists and the loading of the six payment files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Calculating_System.h"
#include "Line_Reader.h"
#include "Paths.h"
#include "scratch_dir.h"

namespace {

std::vector<std::string> Terminals(History_Data* header, History_Data* tailer) {
  std::vector<std::string> seen;
  for (History_Data* node = header->next; node != tailer; node = node->next)
    seen.push_back(node->data.TerminalInfo);
  return seen;
}

History_Data* Push(History_Data* tailer, const char* terminal) {
  History_Data* node = Append(tailer->prev, tailer);
  std::snprintf(node->data.TerminalInfo, sizeof node->data.TerminalInfo, "%s",
                terminal);
  return node;
}

using Names = std::vector<std::string>;

TEST(RecordList, DelKeepsBothDirectionsLinked) {
  History_Data *header, *tailer;
  Create_List(header, tailer);
  EXPECT_EQ(header->next, tailer);
  EXPECT_TRUE(Terminals(header, tailer).empty());

  History_Data* a = Push(tailer, "A");
  History_Data* b = Push(tailer, "B");
  History_Data* c = Push(tailer, "C");
  EXPECT_EQ(Terminals(header, tailer), (Names{"A", "B", "C"}));

  EXPECT_EQ(Del(b), c);  // middle
  EXPECT_EQ(a->next, c);
  EXPECT_EQ(c->prev, a);
  EXPECT_EQ(Del(a), c);  // first: its successor becomes the first
  EXPECT_EQ(header->next, c);
  EXPECT_EQ(c->prev, header);
  EXPECT_EQ(Del(c), tailer);  // the only record: the list is empty again
  EXPECT_EQ(header->next, tailer);
  EXPECT_EQ(tailer->prev, header);
}

// The arena hands out each node number once, up to its capacity, and then
// fails instead of wrapping round to numbers already in use.
TEST(NodeArena, HandsOutEachNumberOnceThenFails) {
  Node_Arena arena(6);  // node 0 and five to hand out
  struct Step {
    std::uint32_t count, first, taken;
  };
  for (Step step : {Step{2, 1, 2}, Step{1, 3, 1}, Step{10, 4, 2}}) {
    std::uint32_t taken = 0;
    EXPECT_EQ(arena.Take(step.count, taken), step.first);
    EXPECT_EQ(taken, step.taken);
    for (std::uint32_t n = step.first; n < step.first + taken; ++n) {
      EXPECT_EQ(arena.Base()[n].data.Balance, 0);  // zeroed and writable
      arena.Base()[n].data.Balance = 1;
    }
  }
  std::uint32_t taken = 0;
  EXPECT_THROW(arena.Take(1, taken), Arena_Full);
  EXPECT_THROW(arena.Take(1, taken), Arena_Full);
  // No arena numbers more nodes than a 32-bit link can name.
  EXPECT_EQ(Node_Arena(std::uint64_t{1} << 40).Capacity(),
            Node_Arena::MAX_NODES);
}

class Loading : public ::testing::Test {
 protected:
  void SetUp() override { Create_Settlement_State(); }
  void Lay_Out(const std::vector<std::string>& files) {
    for (int i = 0; i < 6; ++i) dir_.Write(PAYMENT_FILES[i].name, files[i]);
  }
  Scratch_Dir dir_;
  Working_Dir cd_{dir_.Path()};
};

TEST_F(Loading, KeepsFileOrderAcrossLineEndingsAndBlankLines) {
  Lay_Out({"1,1,1,1050,A\r\n\n2,1,1,1050,B\n , \r\n3,1,1,1050,C", "", "", "",
           "", ""});
  HistoryData_Reader_Interface("");
  EXPECT_EQ(Terminals(B_header, B_tailer), (Names{"A\r", "B", "C"}));
  EXPECT_EQ(bus_LastTag, 3);
}

TEST_F(Loading, LastTagsComeFromLastLines) {
  struct Case {
    std::vector<std::string> files;
    int bus, metro;
  } cases[] = {
      // The bus tag is the last line's time, not the greatest.
      {{"900,1,1,1050,A\n100,1,1,1050,B\n", "500,0,1,1,M\n", "900,0,1,1,M\n",
        "700,0,1,1,M\n", "300,0,1,1,M\n", "800,0,1,1,M\n"},
       100,
       900},
      // Files without records take no part; negative times are kept.
      {{"", "", "-5,0,1,1,M\n", "\n\n", "-3,0,1,1,M", ""}, 0, -3},
      {{"", "", "", "", "", ""}, 0, 0},
  };
  for (const Case& c : cases) {
    Create_Settlement_State();
    Lay_Out(c.files);
    HistoryData_Reader_Interface("");
    EXPECT_EQ(bus_LastTag, c.bus);
    EXPECT_EQ(metro_LastTag, c.metro);
  }
}

TEST_F(Loading, ErrorsNameTheFileAndLine) {
  Lay_Out({"1,1,1,1050,A\n", "1,0,1,1050,A\n\n3,0,1\n", "", "", "", ""});
  try {
    HistoryData_Reader_Interface("");
    ADD_FAILURE() << "bad line accepted";
  } catch (const Settlement_Error& error) {
    EXPECT_STREQ(error.what(),
                 "paymentData_7001.txt:3: fewer than five fields");
  }
  dir_.Write(PAYMENT_FILES[1].name, "");
  std::remove(PAYMENT_FILES[4].name);
  Create_Settlement_State();
  try {
    HistoryData_Reader_Interface("");
    ADD_FAILURE() << "missing file accepted";
  } catch (const Settlement_Error& error) {
    EXPECT_STREQ(error.what(),
                 "paymentData_7004.txt: cannot open: No such file or "
                 "directory");
  }
}

TEST(LineReader, LinesLongerThanOneBlockStayWhole) {
  Scratch_Dir dir;
  // The longest line accepted, starting part-way into the first block.
  std::string longer(MAX_LINE_BYTES, 'x');
  dir.Write("long.txt", "a\n" + std::string(MAX_LINE_BYTES - 5, 'y') + "\n" +
                            longer + "\nb");
  Line_Reader reader(dir.File("long.txt"));
  std::string_view line;
  std::vector<std::string> lines;
  std::vector<bool> newline;
  while (reader.Next(line)) {
    lines.emplace_back(line);
    newline.push_back(reader.Ended_By_Newline());
  }
  EXPECT_EQ(lines,
            (Names{"a", std::string(MAX_LINE_BYTES - 5, 'y'), longer, "b"}));
  EXPECT_EQ(newline, (std::vector<bool>{true, true, true, false}));
  EXPECT_EQ(reader.Line_Number(), 4);
}

// One file by its identity (hard links), or by its name once links and dots
// are resolved, whether it exists yet or not.
TEST(Paths, SameFileByIdentityOrResolvedName) {
  Scratch_Dir dir;
  dir.Write("a", "x");
  std::filesystem::create_hard_link(dir.File("a"), dir.File("hard"));
  std::filesystem::create_symlink("a", dir.File("soft"));
  std::filesystem::create_symlink("new.txt", dir.File("dangling"));
  std::filesystem::create_directory(dir.File("sub"));
  const struct {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {{"a", "a", true},
               {"a", "hard", true},
               {"a", "soft", true},
               {"a", "sub/../a", true},
               {"dangling", "new.txt", true},
               {"new.txt", "sub/../new.txt", true},
               {"a", "new.txt", false},
               {"a", "sub", false}};
  for (const auto& c : cases)
    EXPECT_EQ(Same_File(dir.File(c.a), dir.File(c.b)), c.same)
        << c.a << " " << c.b;
  EXPECT_EQ(Absolute_Path(""), "");
  EXPECT_EQ(Absolute_Path(dir.File("sub/./../a"), true), dir.File("a"));
  EXPECT_EQ(Absolute_Path("/x/./y"), "/x/./y");
  std::filesystem::create_symlink("loop", dir.File("loop"));
  try {
    Same_File(dir.File("loop"), dir.File("a"));
    ADD_FAILURE() << "a link to itself resolved";
  } catch (const Settlement_Error& error) {
    EXPECT_EQ(std::string(error.what()),
              dir.File("loop") +
                  ": cannot create: Too many levels of symbolic links");
  }
}

// One byte more is refused, naming the line, whether or not a newline ends
// it, and wherever it starts in the buffer.
TEST(LineReader, LineLongerThanTheLimitIsAnError) {
  const std::string over(MAX_LINE_BYTES + 1, 'x');
  for (const std::string& text :
       {over, over + "\n", "a\n" + over, "a\n" + over + "\nb\n",
        std::string(MAX_LINE_BYTES, 'y') + "\n" + over}) {
    Scratch_Dir dir;
    dir.Write("long.txt", text);
    Line_Reader reader(dir.File("long.txt"));
    std::string_view line;
    long expected_line = text[0] == 'x' ? 1 : 2;
    try {
      while (reader.Next(line)) {
      }
      ADD_FAILURE() << "no error for a line of " << over.size() << " bytes";
    } catch (const Settlement_Error& error) {
      EXPECT_EQ(std::string(error.what()), dir.File("long.txt") + ":" +
                                               std::to_string(expected_line) +
                                               ": line longer than 1 MiB");
    }
  }
}

}  // namespace
