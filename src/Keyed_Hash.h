// Keyed hashing for the tables that look up texts taken from the payment
// files: SipHash under a key drawn once per process from the operating
// system. Under a fixed hash a source could choose texts that all fall on one
// slot; under a key it cannot know, chosen texts spread like random ones.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

struct Hash_Key {
  std::uint64_t k0 = 0;
  std::uint64_t k1 = 0;
};

// This process's key, drawn from the operating system on first use. Throws
// Settlement_Error when the system gives none.
const Hash_Key& Process_Hash_Key();

// SipHash with COMPRESS rounds per 8-byte block and FINISH rounds at the end.
template <int COMPRESS, int FINISH>
class Sip_Hash {
 public:
  explicit Sip_Hash(const Hash_Key& key)
      : start_{key.k0 ^ 0x736f6d6570736575ULL, key.k1 ^ 0x646f72616e646f6dULL,
               key.k0 ^ 0x6c7967656e657261ULL, key.k1 ^ 0x7465646279746573ULL} {
  }

  // The hash of bytes.
  std::uint64_t operator()(std::string_view bytes) const {
    State s = start_;
    std::size_t whole = bytes.size() / 8 * 8;
    for (std::size_t i = 0; i < whole; i += 8) s.Compress(Load(&bytes[i]));
    std::uint64_t tail = Tail(bytes, bytes.size() - whole);
    return s.Finish(tail | static_cast<std::uint64_t>(bytes.size()) << 56);
  }

  // The hash of the 9 bytes that are low's 8 in little-endian order, then
  // last: a Terminal_Key, hashed without unpacking it.
  std::uint64_t Of_Nine(std::uint64_t low, std::uint8_t last) const {
    State s = start_;
    s.Compress(low);
    return s.Finish(last | std::uint64_t{9} << 56);
  }

 private:
  struct State {
    std::uint64_t v0, v1, v2, v3;

    void Round() {
      v0 += v1;
      v1 = std::rotl(v1, 13) ^ v0;
      v0 = std::rotl(v0, 32);
      v2 += v3;
      v3 = std::rotl(v3, 16) ^ v2;
      v0 += v3;
      v3 = std::rotl(v3, 21) ^ v0;
      v2 += v1;
      v1 = std::rotl(v1, 17) ^ v2;
      v2 = std::rotl(v2, 32);
    }
    void Compress(std::uint64_t block) {
      v3 ^= block;
      for (int i = 0; i < COMPRESS; ++i) Round();
      v0 ^= block;
    }
    // Takes the last block (the length in its top byte) and gives the hash.
    std::uint64_t Finish(std::uint64_t last_block) {
      Compress(last_block);
      v2 ^= 0xFF;
      for (int i = 0; i < FINISH; ++i) Round();
      return v0 ^ v1 ^ v2 ^ v3;
    }
  };

  // The 8 bytes at p as a little-endian number.
  static std::uint64_t Load(const char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    if constexpr (std::endian::native == std::endian::big)
      word = __builtin_bswap64(word);
    return word;
  }
  // The last n (under 8) bytes of bytes as a little-endian number: the top
  // of the last 8 bytes when there are 8, else byte by byte.
  static std::uint64_t Tail(std::string_view bytes, std::size_t n) {
    if (n == 0) return 0;
    const char* end = bytes.data() + bytes.size();
    if (bytes.size() >= 8) return Load(end - 8) >> (64 - 8 * n);
    const char* start = end - n;
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < n; ++i)
      word |= std::uint64_t{static_cast<unsigned char>(start[i])} << (8 * i);
    return word;
  }

  State start_;
};

// The hash of the tables: SipHash-1-3, fast enough for a look-up per tap.
using Keyed_Hash = Sip_Hash<1, 3>;
