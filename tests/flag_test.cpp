// The enable-flag handshake: how the flag is read and how the wait ends.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>

#include "Calculating_System.h"
#include "Day_Lock.h"
#include "Initiation_control.h"
#include "scratch_dir.h"

namespace {

class Flag : public ::testing::Test {
 protected:
  Scratch_Dir dir_;
  Working_Dir cd_{dir_.Path()};
};

TEST_F(Flag, ReadsTheFirstDecimalIntegerOrKeepsThePreviousValue) {
  using namespace std::string_literals;
  struct Case {
    std::optional<std::string> content;  // nullopt: no flag file
    int want;
  } cases[] = {
      {"1", 1},
      {" \n1\n", 1},
      {"+1", 1},
      {"1abc", 1},
      {"0", 0},
      {"2", 2},
      {"-1", -1},
      {"abc", 42},
      {"", 42},
      {std::nullopt, 42},
      {"99999999999", 42},
      // Raised from a Windows console: cmd's "echo 1 > enable.txt" and
      // PowerShell's "Set-Content enable.txt 1".
      {"1 \r\n", 1},
      {"1\r\n", 1},
      // Look-alikes that raise nothing: cmd's "echo 1> enable.txt", and
      // Windows PowerShell 5.1's "echo 1 > enable.txt" (UTF-16 with its
      // byte-order mark).
      {"ECHO is on.\r\n", 42},
      {"\xFF\xFE"
       "1\0\r\0\n\0"s,
       42},
  };
  for (const Case& c : cases) {
    std::remove(FLAG_FILE);
    if (c.content) dir_.Write(FLAG_FILE, *c.content);
    EXPECT_EQ(Read_Flag(42), c.want) << c.content.value_or("missing");
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

// An audit that marked the directory before the settlement took it.
std::optional<Day_Lock> audit;
int release_audit_at_sleep = 0;

void Sleep_Until_Audit_Ends() {
  ++sleeps;
  if (sleeps == release_audit_at_sleep) audit.reset();
}

// The wait for audits comes after the flag is seen: it says so once, looks
// once a sleep, and gives up after its bound leaving the flag as the
// terminal wrote it.
TEST_F(Flag, AuditsUnderWayAreWaitedForUpToTheBound) {
  const std::string waiting =
      "fare-settlement: waiting for an audit of this directory to finish\n";
  struct Case {
    bool audit;
    int release_at;  // sleep that ends the audit (the first is the poll's)
    int want_sleeps;
    bool gives_up;
  } cases[] = {
      {false, 0, 1, false},  // no audit: no look, no message
      {true, 4, 4, false},   // ends at the third look
      {true, 0, 6, true},    // outlasts the five looks
  };
  for (const Case& c : cases) {
    dir_.Write(FLAG_FILE, "1\n");
    if (c.audit) audit.emplace(".", Day_Lock::AUDIT);
    Day_Lock settlement(".", Day_Lock::SETTLEMENT);
    sleeps = 0;
    release_audit_at_sleep = c.release_at;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    std::string failure;
    try {
      Wait_For_Flag(180, Sleep_Until_Audit_Ends, &settlement, 5);
    } catch (const Settlement_Error& error) {
      failure = error.what();
    }
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "wait\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.audit ? waiting : "");
    EXPECT_EQ(sleeps, c.want_sleeps);
    EXPECT_EQ(failure, c.gives_up ? "gave up after 5 seconds waiting for an "
                                    "audit of this directory to finish"
                                  : "");
    EXPECT_EQ(dir_.Read(FLAG_FILE), c.gives_up ? "1\n" : "1");
    audit.reset();
  }
}

}  // namespace
