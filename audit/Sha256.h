// SHA-256 digests of byte streams, using the processor's SHA instructions
// when it has them and portable code otherwise.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using Sha256_Digest = std::array<std::uint8_t, 32>;

class Sha256 {
 public:
  // Which block function to use; Automatic picks the SHA instructions when
  // the processor has them.
  enum class Engine { Automatic, Portable, Hardware };

  explicit Sha256(Engine engine = Engine::Automatic);
  void Update(const void* bytes, std::size_t size);
  void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
  // The digest of everything added so far; the object is then spent.
  Sha256_Digest Finish();

  // True when this processor has the SHA instructions.
  static bool Hardware_Available();

 private:
  void Compress(const std::uint8_t* blocks, std::size_t count);

  std::uint32_t state_[8];
  std::uint8_t pending_[64];
  std::size_t pending_size_ = 0;
  std::uint64_t length_ = 0;
  bool hardware_ = false;
};

// Lower-case hexadecimal text of a digest.
std::string Hex(const Sha256_Digest& digest);
