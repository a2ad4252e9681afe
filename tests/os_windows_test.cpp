// The Windows platform layer's own promises, built with mingw-w64 and run
// under wine: file identity, replacement (and its refusal while another
// handle holds the target), bytes kept as written, both path separators,
// the directory lock, reserved memory and SHA-256 from CNG.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "Day_Lock.h"
#include "Line_Reader.h"
#include "Os.h"
#include "Paths.h"
#include "Settlement_Error.h"
#include "Sha256.h"
#include "Staged_File.h"

namespace {

// A fresh folder of its own for each test, made the working directory.
class Windows_Layer : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("fare-os-" + std::to_string(::GetCurrentProcessId()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(dir_.parent_path());
    std::filesystem::remove_all(dir_);
  }
  static void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
  }
  static std::string Read(const std::string& name) {
    return Read_File_Start(name.c_str(), 1 << 16);
  }
  std::filesystem::path dir_;
};

// Holds name open as an editor would (sharing reading and writing only).
HANDLE Hold_Open(const char* name) {
  return ::CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST_F(Windows_Layer, IdentityTellsFilesApartAndFindsHardLinks) {
  Write("a.txt", "a");
  Write("b.txt", "b");
  ASSERT_TRUE(::CreateHardLinkA("a-link.txt", "a.txt", nullptr));
  const struct {
    const char* first;
    const char* second;
    bool same;
  } cases[] = {{"a.txt", "a-link.txt", true},
               {"a.txt", "b.txt", false},
               {"a.txt", ".\\a.txt", true},
               {"missing.txt", ".\\missing.txt", true},
               {"missing.txt", "other.txt", false},
               {"정산.txt", ".\\정산.txt", true},
               {"정산.txt", "정산2.txt", false}};
  for (const auto& c : cases)
    EXPECT_EQ(Same_File(c.first, c.second), c.same)
        << c.first << " " << c.second;
  // Names stay UTF-8 whatever the ANSI code page.
  EXPECT_EQ(Base_Name(Absolute_Path("day\\..\\정산.txt", true)), "정산.txt");
  EXPECT_NE(Os_Identity("a.txt"), std::nullopt);
  EXPECT_EQ(Os_Identity("missing.txt"), std::nullopt);
}

TEST_F(Windows_Layer, BothSeparatorsSplitPaths) {
  const struct {
    const char* path;
    const char* prefix;
    const char* base;
  } cases[] = {{"Z:\\day\\x.txt", "Z:\\day\\", "x.txt"},
               {"day/x.txt", "day/", "x.txt"},
               {"a\\b/c", "a\\b/", "c"},
               {"x.txt", "", "x.txt"}};
  for (const auto& c : cases) {
    EXPECT_EQ(Directory_Prefix(c.path), c.prefix) << c.path;
    EXPECT_EQ(Base_Name(c.path), c.base) << c.path;
  }
}

TEST_F(Windows_Layer, StagedOutputKeepsEveryByteAndReplacesItsTarget) {
  const std::string bytes = "1,1,1,1050,T1\r\n2,0,0,0,T2\nEND\x1a";
  Write("out.txt", "old");
  Staged_File out("out.txt");
  out.Write(bytes);
  out.Finish(true);
  out.Publish();
  EXPECT_EQ(Read("out.txt"), bytes);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."),
                          std::filesystem::directory_iterator()),
            1);
}

TEST_F(Windows_Layer, AnOutputHeldOpenFailsThePublicationAndKeepsEveryOld) {
  Write("first.txt", "old first");
  Write("second.txt", "old second");
  HANDLE held = Hold_Open("second.txt");
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  {
    Staged_File first("first.txt");
    Staged_File second("second.txt");
    for (Staged_File* file : {&first, &second}) {
      file->Write("new");
      file->Finish(false);
    }
    Staged_File* both[] = {&first, &second};
    try {
      Publish_All(both, 2);
      ADD_FAILURE() << "published over a file held open";
    } catch (const Settlement_Error& error) {
      EXPECT_STREQ(error.what(),
                   "second.txt: cannot replace: the file is open in another "
                   "program");
    }
  }
  ::CloseHandle(held);
  EXPECT_EQ(Read("first.txt"), "old first");
  EXPECT_EQ(Read("second.txt"), "old second");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."),
                          std::filesystem::directory_iterator()),
            2);
}

TEST_F(Windows_Layer, KindsOfFiles) {
  Write("file.txt", "x");
  std::filesystem::create_directory("folder");
  const struct {
    const char* path;
    Os_Kind kind;
  } cases[] = {{"file.txt", Os_Kind::REGULAR},
               {"folder", Os_Kind::DIRECTORY},
               {"NUL", Os_Kind::OTHER},
               {"missing.txt", Os_Kind::MISSING}};
  for (const auto& c : cases) EXPECT_EQ(Os_Kind_Of(c.path), c.kind) << c.path;
  EXPECT_THROW(Input_File("folder"), Settlement_Error);
}

// Each lock is taken on a thread of its own, as each run is its own
// process: the system's mutexes belong to the thread that takes them.
TEST_F(Windows_Layer, OneSettlementPerDirectoryAndAuditsKeptAway) {
  auto refused = [](Day_Lock::Kind kind) {
    bool failed = false;
    std::thread([&] {
      try {
        Day_Lock lock(".", kind);
      } catch (const Settlement_Error&) {
        failed = true;
      }
    }).join();
    return failed;
  };
  {
    Day_Lock settlement(".", Day_Lock::SETTLEMENT);
    EXPECT_TRUE(refused(Day_Lock::SETTLEMENT));
    EXPECT_TRUE(refused(Day_Lock::AUDIT));
  }
  EXPECT_FALSE(refused(Day_Lock::SETTLEMENT));
  EXPECT_FALSE(refused(Day_Lock::AUDIT));
}

TEST_F(Windows_Layer, ReservedMemoryIsCommittedInParts) {
  const std::size_t reserved = std::size_t{64} << 30;
  char* base = static_cast<char*>(Os_Reserve_Memory(reserved));
  ASSERT_NE(base, nullptr);
  ASSERT_TRUE(Os_Commit_Memory(base + (std::size_t{1} << 30), 1 << 21));
  base[(std::size_t{1} << 30) + 5] = 7;
  EXPECT_EQ(base[(std::size_t{1} << 30) + 5], 7);
  EXPECT_EQ(base[(std::size_t{1} << 30) + 6], 0);
  Os_Release_Memory(base, reserved);
}

// The digest in lower-case hex, as the published vectors are written.
std::string Hex_Of(const Sha256_Digest& digest) {
  std::string hex;
  char pair[3];
  for (unsigned char byte : digest) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    hex += pair;
  }
  return hex;
}

TEST(Windows_Sha256, KnownDigests) {
  const struct {
    std::string message;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc",
       "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"}};
  for (const auto& c : cases) {
    Sha256 hash;
    hash.Update(c.message);
    EXPECT_EQ(Hex_Of(hash.Finish()), c.digest) << c.message;
  }
}

}  // namespace
