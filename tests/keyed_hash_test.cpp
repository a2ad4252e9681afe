// The keyed hash: SipHash-2-4 against its published test vectors (the 1-3
// form shares every step but the round counts), and the packed TerminalInfo
// form against the hash of the same nine bytes; the TerminalInfo key's order
// and equality against the texts'.
#include "Keyed_Hash.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "Terminal_Key.h"

namespace {

// The vectors' key: the bytes 0 to 15.
constexpr Hash_Key VECTOR_KEY{0x0706050403020100ULL, 0x0f0e0d0c0b0a0908ULL};

// The bytes 0 to length - 1, the vectors' messages.
std::string Counting_Bytes(std::size_t length) {
  std::string bytes;
  for (std::size_t i = 0; i < length; ++i) bytes += static_cast<char>(i);
  return bytes;
}

TEST(KeyedHash, SipHash24GivesThePublishedVectors) {
  const struct {
    std::size_t length;
    std::uint64_t hash;
  } vectors[] = {
      {0, 0x726fdb47dd0e0e31ULL}, {1, 0x74f839c593dc67fdULL},
      {7, 0xab0200f58b01d137ULL}, {8, 0x93f5f5799a932462ULL},
      {9, 0x9e0082df0ba9e4b0ULL}, {15, 0xa129ca6149be45e5ULL},
  };
  Sip_Hash<2, 4> hash(VECTOR_KEY);
  for (const auto& vector : vectors)
    EXPECT_EQ(hash(Counting_Bytes(vector.length)), vector.hash)
        << vector.length << " bytes";
}

TEST(KeyedHash, PackedTerminalHashesAsItsNineBytes) {
  const char* texts[] = {"\x01\x02\x03\x04\x05\x06\x07\x08\x09", "ABCDEFGHI",
                         "\xE9\xFF\x80z!~\x7F\x01\xFE"};
  Keyed_Hash keyed(Hash_Key{0x0123456789abcdefULL, 0xfedcba9876543210ULL});
  for (const char* text : texts) {
    std::uint64_t low = 0;
    for (int i = 0; i < 8; ++i)
      low |= std::uint64_t{static_cast<unsigned char>(text[i])} << (8 * i);
    auto last = static_cast<std::uint8_t>(text[8]);
    EXPECT_EQ(keyed.Of_Nine(low, last), keyed(std::string_view(text, 9)))
        << text;
  }
  // The vector of the nine bytes 0 to 8.
  Sip_Hash<2, 4> vector_hash(VECTOR_KEY);
  EXPECT_EQ(vector_hash.Of_Nine(0x0706050403020100ULL, 8),
            0x9e0082df0ba9e4b0ULL);
}

// The key of a record whose TerminalInfo holds size bytes of text, as a
// pair that compares as the key's numbers do.
std::pair<std::uint64_t, std::uint8_t> Key_Of_Text(const char* text,
                                                   std::size_t size) {
  Data record{};
  std::memcpy(record.TerminalInfo, text, size);
  Terminal_Key key = Terminal_Key_Of(record);
  return {key.first8, key.last};
}

TEST(TerminalKey, OrdersAndEqualsAsTheTexts) {
  // Lengths 1 to 9, prefixes of one another, bytes above 0x7F.
  const char* texts[] = {"A",         "AB",       "ABCDEFGH", "ABCDEFGHI",
                         "ABCDEFGHJ", "ABCDEFGI", "B",        "\x7F",
                         "\x80",      "\xFF\xFE", "0000",     "000000000"};
  for (const char* a : texts) {
    for (const char* b : texts) {
      auto key_a = Key_Of_Text(a, std::strlen(a));
      auto key_b = Key_Of_Text(b, std::strlen(b));
      int texts_order = std::strcmp(a, b);  // compares bytes as unsigned
      EXPECT_EQ(key_a < key_b, texts_order < 0) << a << " " << b;
      EXPECT_EQ(key_a == key_b, texts_order == 0) << a << " " << b;
    }
  }
  // Bytes after the text's NUL are not part of it.
  EXPECT_EQ(Key_Of_Text("AB\0XYZ\0\0Q", 9), Key_Of_Text("AB", 2));
}

}  // namespace
