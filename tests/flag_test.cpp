// The enable-flag handshake: how the flag is read and how the wait ends.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "Calculating_System.h"
#include "scratch_dir.h"

namespace {

class Flag : public ::testing::Test {
 protected:
  Scratch_Dir dir_;
  Working_Dir cd_{dir_.Path()};
};

TEST_F(Flag, ReadsTheFirstDecimalIntegerOrKeepsThePreviousValue) {
  struct Case {
    const char* content;  // nullptr: no flag file
    int want;
  } cases[] = {
      {"1", 1}, {" \n1\n", 1}, {"+1", 1},           {"1abc", 1},
      {"0", 0}, {"2", 2},      {"-1", -1},          {"abc", 42},
      {"", 42}, {nullptr, 42}, {"99999999999", 42},
  };
  for (const Case& c : cases) {
    std::remove(FLAG_FILE);
    if (c.content != nullptr) dir_.Write(FLAG_FILE, c.content);
    EXPECT_EQ(Read_Flag(42), c.want) << (c.content ? c.content : "missing");
  }
  // Only the first 4 KiB are looked at.
  dir_.Write(FLAG_FILE, std::string(4095, ' ') + "1");
  EXPECT_EQ(Read_Flag(42), 1);
  dir_.Write(FLAG_FILE, std::string(4096, ' ') + "1");
  EXPECT_EQ(Read_Flag(42), 42);
}

// A flag file that is not a regular file is a poll that did not see the
// flag, found without waiting; writing the flag into a FIFO nobody reads
// fails instead of hanging.
TEST_F(Flag, NotARegularFileIsNeverWaitedOn) {
  for (const char* kind : {"fifo", "endless device", "directory"}) {
    SCOPED_TRACE(kind);
    std::filesystem::remove_all(FLAG_FILE);
    if (kind[0] == 'f') {
      ASSERT_EQ(::mkfifo(FLAG_FILE, 0644), 0);
    }
    if (kind[0] == 'e') std::filesystem::create_symlink("/dev/zero", FLAG_FILE);
    if (kind[0] == 'd') std::filesystem::create_directory(FLAG_FILE);
    EXPECT_EQ(Read_Flag(42), 42);
    if (kind[0] == 'f') {
      EXPECT_THROW(Write_Flag('1'), Settlement_Error);
    }
  }
}

int sleeps = 0;
const char* raise_at_sleep_content = nullptr;
int raise_at_sleep = 0;

// Stands in for the one-second sleep: counts, and plays the terminal.
void Fake_Sleep() {
  ++sleeps;
  if (sleeps == raise_at_sleep) Write_File(FLAG_FILE, raise_at_sleep_content);
}

TEST_F(Flag, WaitEndsAtTheFirstPollThatReadsOneOrAfterTheLastPoll) {
  struct Case {
    const char* initial;  // nullptr: no flag file
    int raise_at;         // sleep at which the terminal writes "1\n"
    int want_polls;
  } cases[] = {
      {"1", 0, 1},      // already raised: one poll
      {"0", 0, 180},    // never raised: times out
      {"2", 3, 3},      // 2 keeps waiting like 0
      {nullptr, 5, 5},  // a missing flag file is a poll that saw nothing
      {nullptr, 0, 180},
  };
  for (const Case& c : cases) {
    std::remove(FLAG_FILE);
    if (c.initial != nullptr) dir_.Write(FLAG_FILE, c.initial);
    sleeps = 0;
    raise_at_sleep = c.raise_at;
    raise_at_sleep_content = "1\n";
    ::testing::internal::CaptureStdout();
    int polls = Wait_For_Flag(180, Fake_Sleep);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "wait\n");
    EXPECT_EQ(polls, c.want_polls);
    EXPECT_EQ(sleeps, c.want_polls);
    EXPECT_EQ(dir_.Read(FLAG_FILE), "1");  // raised by the program itself
  }
}

}  // namespace
