// A staged output file holds exactly the bytes written to it, in order,
// however they were cut into pieces, and shows under its name only once
// published.
#include "Staged_File.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scratch_dir.h"

namespace {

// Pieces of a few bytes are buffered; pieces of 64 KiB and more go to the
// file as they are, after whatever is buffered before them.
TEST(StagedFile, KeepsEveryPieceInOrder) {
  const std::size_t small = 100, large = 1 << 16, block = 1 << 20;
  const std::vector<std::vector<std::size_t>> cuts = {
      {small},
      {large},
      {small, large, small},
      {large - 1, large, large + 1},
      {block - 1, small, block, small},
      {small, small, 3 * block + 7, small},
  };
  for (const std::vector<std::size_t>& cut : cuts) {
    Scratch_Dir dir;
    dir.Write("out.txt", "old");
    const std::string path = dir.File("out.txt");
    std::string expected;
    Staged_File out(path);
    for (std::size_t piece = 0; piece < cut.size(); ++piece) {
      std::string bytes(cut[piece], static_cast<char>('a' + piece));
      bytes.front() = '<';
      bytes.back() = '>';
      out.Write(bytes);
      expected += bytes;
    }
    out.Finish(false);
    EXPECT_EQ(dir.Read("out.txt"), "old");
    out.Publish();
    EXPECT_TRUE(dir.Read("out.txt") == expected)
        << "pieces: " << ::testing::PrintToString(cut);
  }
}

}  // namespace
