// SHA-256 against the standard test vectors, with both block functions,
// and the two block functions against each other on every split of a
// message into updates.
#include "Sha256.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::vector<Sha256::Engine> Engines() {
  std::vector<Sha256::Engine> engines{Sha256::Engine::Portable};
  if (Sha256::Hardware_Available()) engines.push_back(Sha256::Engine::Hardware);
  return engines;
}

std::string Digest(Sha256::Engine engine, std::string_view bytes) {
  Sha256 hash(engine);
  hash.Update(bytes);
  return Hex(hash.Finish());
}

TEST(Sha256, StandardVectors) {
  const struct {
    std::string message;
    const char* digest;
  } vectors[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc",
       "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmn"
       "opjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (Sha256::Engine engine : Engines())
    for (const auto& v : vectors)
      EXPECT_EQ(Digest(engine, v.message), v.digest)
          << "engine " << static_cast<int>(engine) << ", " << v.message.size()
          << " bytes";
}

// Lengths around the block and padding boundaries, split into two updates
// at every point: both engines and every split agree with one update.
TEST(Sha256, SplitUpdatesAndEnginesAgree) {
  std::mt19937 random(7);
  for (std::size_t size : {0, 1, 55, 56, 63, 64, 65, 119, 120, 128, 200}) {
    std::string message(size, '\0');
    for (char& c : message) c = static_cast<char>(random());
    std::string whole = Digest(Sha256::Engine::Portable, message);
    for (Sha256::Engine engine : Engines()) {
      for (std::size_t split = 0; split <= size; ++split) {
        Sha256 hash(engine);
        hash.Update(message.substr(0, split));
        hash.Update(message.substr(split));
        ASSERT_EQ(Hex(hash.Finish()), whole) << size << " split " << split;
      }
    }
  }
}

}  // namespace
