// SHA-256 (FIPS 180-4). The block function comes in two forms: portable
// C++ and one built on the x86 SHA extensions, chosen at run time.
#include "Sha256.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define FARE_AUDIT_X86 1
#endif

namespace {

alignas(16) constexpr std::uint32_t K[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1,
    0x923f82a4, 0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3,
    0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786,
    0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147,
    0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13,
    0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
    0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a,
    0x5b9cca4f, 0x682e6ff3, 0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208,
    0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint32_t INITIAL_STATE[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372,
                                            0xa54ff53a, 0x510e527f, 0x9b05688c,
                                            0x1f83d9ab, 0x5be0cd19};

inline std::uint32_t Rotr(std::uint32_t x, int n) {
  return (x >> n) | (x << (32 - n));
}

inline std::uint32_t Load_Big_Endian(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 |
         std::uint32_t{p[2]} << 8 | std::uint32_t{p[3]};
}

void Compress_Portable(std::uint32_t state[8], const std::uint8_t* data,
                       std::size_t count) {
  for (; count > 0; --count, data += 64) {
    std::uint32_t w[64];
    for (int t = 0; t < 16; ++t) w[t] = Load_Big_Endian(data + 4 * t);
    for (int t = 16; t < 64; ++t) {
      std::uint32_t s0 =
          Rotr(w[t - 15], 7) ^ Rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
      std::uint32_t s1 =
          Rotr(w[t - 2], 17) ^ Rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
      w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int t = 0; t < 64; ++t) {
      std::uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) +
                         ((e & f) ^ (~e & g)) + K[t] + w[t];
      std::uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) +
                         ((a & b) ^ (a & c) ^ (b & c));
      h = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
  }
}

#ifdef FARE_AUDIT_X86

// The state is kept as two vectors, ABEF and CDGH, the order the round
// instruction works on; each step of the loop does four rounds.
__attribute__((target("sha,sse4.1,ssse3"))) void Compress_Hardware(
    std::uint32_t state[8], const std::uint8_t* data, std::size_t count) {
  const __m128i byte_swap =
      _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
  __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
  __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
  __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
  __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
  __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
  for (; count > 0; --count, data += 64) {
    const __m128i abef_saved = abef;
    const __m128i cdgh_saved = cdgh;
    __m128i w[4];
#pragma GCC unroll 16
    for (int i = 0; i < 16; ++i) {
      __m128i& current = w[i & 3];
      if (i < 4) {
        current = _mm_shuffle_epi8(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)),
            byte_swap);
      } else {
        const __m128i& previous = w[(i - 1) & 3];
        __m128i sum =
            _mm_add_epi32(_mm_sha256msg1_epu32(current, w[(i + 1) & 3]),
                          _mm_alignr_epi8(previous, w[(i - 2) & 3], 4));
        current = _mm_sha256msg2_epu32(sum, previous);
      }
      __m128i message = _mm_add_epi32(
          current, _mm_load_si128(reinterpret_cast<const __m128i*>(K + 4 * i)));
      cdgh = _mm_sha256rnds2_epu32(cdgh, abef, message);
      abef =
          _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(message, 0x0E));
    }
    abef = _mm_add_epi32(abef, abef_saved);
    cdgh = _mm_add_epi32(cdgh, cdgh_saved);
  }
  __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
  __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state),
                   _mm_blend_epi16(feba, dchg, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4),
                   _mm_alignr_epi8(dchg, feba, 8));
}

bool Detect_Hardware() {
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  bool ssse3 = c & (1u << 9), sse41 = c & (1u << 19);
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
  bool sha = b & (1u << 29);
  return ssse3 && sse41 && sha;
}

#else

void Compress_Hardware(std::uint32_t state[8], const std::uint8_t* data,
                       std::size_t count) {
  Compress_Portable(state, data, count);
}

bool Detect_Hardware() { return false; }

#endif

}  // namespace

bool Sha256::Hardware_Available() {
  static const bool available = Detect_Hardware();
  return available;
}

Sha256::Sha256(Engine engine) {
  std::memcpy(state_, INITIAL_STATE, sizeof state_);
  hardware_ = engine == Engine::Hardware ||
              (engine == Engine::Automatic && Hardware_Available());
}

void Sha256::Compress(const std::uint8_t* blocks, std::size_t count) {
  if (hardware_)
    Compress_Hardware(state_, blocks, count);
  else
    Compress_Portable(state_, blocks, count);
}

void Sha256::Update(const void* bytes, std::size_t size) {
  const auto* in = static_cast<const std::uint8_t*>(bytes);
  length_ += size;
  if (pending_size_ > 0) {
    std::size_t take = std::min(size, 64 - pending_size_);
    std::memcpy(pending_ + pending_size_, in, take);
    pending_size_ += take;
    in += take;
    size -= take;
    if (pending_size_ < 64) return;
    Compress(pending_, 1);
    pending_size_ = 0;
  }
  Compress(in, size / 64);
  in += size / 64 * 64;
  pending_size_ = size % 64;
  std::memcpy(pending_, in, pending_size_);
}

Sha256_Digest Sha256::Finish() {
  std::uint64_t bits = length_ * 8;
  std::uint8_t tail[72] = {0x80};
  std::size_t pad = (pending_size_ < 56 ? 56 : 120) - pending_size_;
  for (int i = 0; i < 8; ++i)
    tail[pad + i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
  Update(tail, pad + 8);
  Sha256_Digest digest;
  for (int i = 0; i < 8; ++i) {
    digest[4 * i] = static_cast<std::uint8_t>(state_[i] >> 24);
    digest[4 * i + 1] = static_cast<std::uint8_t>(state_[i] >> 16);
    digest[4 * i + 2] = static_cast<std::uint8_t>(state_[i] >> 8);
    digest[4 * i + 3] = static_cast<std::uint8_t>(state_[i]);
  }
  return digest;
}

std::string Hex(const Sha256_Digest& digest) {
  static constexpr char DIGITS[] = "0123456789abcdef";
  std::string text;
  text.reserve(64);
  for (std::uint8_t byte : digest) {
    text += DIGITS[byte >> 4];
    text += DIGITS[byte & 15];
  }
  return text;
}
