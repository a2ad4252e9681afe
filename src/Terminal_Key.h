// A record's TerminalInfo as a key: the separation indexes journeys by it,
// the audit sorts the day's taps by it.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "Calculating_System.h"

// The text's 9 bytes, zero after the text, as two numbers: character 0 is
// the top byte of first8. The text has no NUL, so equal keys mean equal
// texts, and keys order as the texts do byte by byte.
struct Terminal_Key {
  std::uint64_t first8;  // characters 0..7
  std::uint8_t last;     // character 8
};

// The key of record's TerminalInfo; bytes after its first NUL do not count.
// Inline: the separation makes one for every record it walks.
inline Terminal_Key Terminal_Key_Of(const Data& record) {
  const char* text = record.TerminalInfo;
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t word;
    std::memcpy(&word, text, 8);
    // The first NUL among characters 0..7 is the lowest byte of zero_bytes
    // (bytes above a zero byte may show up too, and do not matter).
    std::uint64_t zero_bytes =
        (word - 0x0101010101010101ULL) & ~word & 0x8080808080808080ULL;
    if (zero_bytes == 0)
      return {__builtin_bswap64(word), static_cast<std::uint8_t>(text[8])};
    int length = std::countr_zero(zero_bytes) / 8;
    word = length == 0 ? 0 : word & (~0ULL >> (64 - 8 * length));
    return {__builtin_bswap64(word), 0};
  }
  Terminal_Key key{0, 0};
  std::size_t length = strnlen(text, TERMINALINFO_WIDTH);
  for (std::size_t i = 0; i < 8; ++i)
    key.first8 = key.first8 << 8 |
                 (i < length ? static_cast<unsigned char>(text[i]) : 0u);
  if (length == TERMINALINFO_WIDTH)
    key.last = static_cast<std::uint8_t>(text[8]);
  return key;
}
