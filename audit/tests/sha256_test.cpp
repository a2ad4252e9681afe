// The checksum call against the standard SHA-256 test vectors, given whole
// and split into updates at awkward points.
#include "Sha256.h"

#include <gtest/gtest.h>

#include "Audit_Text.h"

namespace {

const struct {
  std::string message;
  const char* digest;
} VECTORS[] = {
    {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmn"
     "opjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
     "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
    {std::string(1000000, 'a'),
     "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

TEST(Sha256, StandardVectors) {
  for (const auto& v : VECTORS) {
    Sha256 hash;
    hash.Update(v.message);
    EXPECT_EQ(Hex(hash.Finish()), v.digest) << v.message.size() << " bytes";
    EXPECT_EQ(hash.Failure(), "");
  }
}

// Each vector fed in pieces that end inside and on block boundaries, as the
// audit feeds a file block by block.
TEST(Sha256, PiecewiseUpdatesGiveTheSameDigest) {
  for (const auto& v : VECTORS) {
    for (std::size_t piece : {1, 3, 55, 64, 65, 4096}) {
      Sha256 hash;
      std::string_view rest = v.message;
      while (!rest.empty()) {
        std::string_view part = rest.substr(0, piece);
        hash.Update(part);
        rest.remove_prefix(part.size());
      }
      EXPECT_EQ(Hex(hash.Finish()), v.digest)
          << v.message.size() << " bytes in pieces of " << piece;
    }
  }
}

}  // namespace
