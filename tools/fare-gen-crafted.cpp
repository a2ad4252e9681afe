// fare-gen-crafted: writes a day of two-leg transfer journeys whose
// TerminalInfo texts are crafted to collide, or random texts of the same
// shape, into DIR.
//
//   fare-gen-crafted PAIRS SEED DIR [--random]
//
// Each journey is a metro tap of 1050 won (metro files 1 to 5 in turn) and,
// 600 s later, a bus tap below 1050 won, both carrying the journey's text of
// 9 bytes (any byte but NUL, a separator, a newline or a carriage return).
// The crafted texts all give a small number under the fixed, invertible mix
// that the transfer index used before its hash was keyed, so they all start
// their look-up in the first slot of an index of any size. With
// --random the texts are drawn at random from the same bytes. The same
// arguments always give the same bytes.
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t TEXT_BYTES = 9;
constexpr int DAY_SECONDS = 86400;
constexpr int TRANSFER_GAP = 600;
constexpr std::uint64_t GOLDEN = 0x9E3779B97F4A7C15ULL;
constexpr std::uint64_t MIX_1 = 0xBF58476D1CE4E5B9ULL;
constexpr std::uint64_t MIX_2 = 0x94D049BB133111EBULL;
constexpr const char* FILE_NAMES[6] = {
    "paymentData_5001.txt", "paymentData_7001.txt", "paymentData_7002.txt",
    "paymentData_7003.txt", "paymentData_7004.txt", "paymentData_7005.txt"};

using Text = std::string;

// splitmix64: the source of the amounts, and of the texts in --random days.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += GOLDEN);
    z = (z ^ (z >> 30)) * MIX_1;
    z = (z ^ (z >> 27)) * MIX_2;
    return z ^ (z >> 31);
  }

 private:
  std::uint64_t state_;
};

bool Allowed(unsigned char c) {
  return c != 0 && c != ' ' && c != ',' && c != '\t' && c != '\n' && c != '\r';
}

// The inverse of odd modulo 2^64 (Newton's iteration doubles the correct
// bits each step, from 3 correct bits at the start).
constexpr std::uint64_t Inverse(std::uint64_t odd) {
  std::uint64_t x = odd;
  for (int i = 0; i < 5; ++i) x *= 2 - odd * x;
  return x;
}

// The inverse of y = x ^ (x >> shift).
std::uint64_t Unshift(std::uint64_t y, int shift) {
  std::uint64_t x = y;
  for (int done = shift; done < 64; done += shift) x = y ^ (x >> shift);
  return x;
}

// The word whose fixed mix is hash: the mix's steps undone in reverse.
std::uint64_t Unmix(std::uint64_t hash) {
  std::uint64_t h = Unshift(hash, 31);
  h = Unshift(h * Inverse(MIX_2), 27);
  return Unshift(h * Inverse(MIX_1), 30);
}

// count texts of 9 allowed bytes whose fixed mix is a small number (each
// number serves up to 249 texts, one per ninth byte): the first eight bytes,
// read as a little-endian word, are the mix's input xor the ninth byte times
// GOLDEN, as the old index combined the two.
std::vector<Text> Crafted_Texts(std::size_t count) {
  std::vector<Text> texts;
  for (std::uint64_t hash = 0; texts.size() < count; ++hash) {
    std::uint64_t word = Unmix(hash);
    for (unsigned last = 1; last < 256 && texts.size() < count; ++last) {
      if (!Allowed(static_cast<unsigned char>(last))) continue;
      std::uint64_t low = word ^ last * GOLDEN;
      Text text(TEXT_BYTES, '\0');
      for (std::size_t i = 0; i < 8; ++i)
        text[i] = static_cast<char>(low >> (8 * i) & 0xFF);
      text[8] = static_cast<char>(last);
      bool allowed = true;
      for (char c : text) allowed = allowed && Allowed(c);
      if (allowed) texts.push_back(text);
    }
  }
  return texts;
}

std::vector<Text> Random_Texts(std::size_t count, Random& random) {
  std::vector<Text> texts;
  while (texts.size() < count) {
    Text text;
    while (text.size() < TEXT_BYTES) {
      unsigned char c = static_cast<unsigned char>(random.Next());
      if (Allowed(c)) text += static_cast<char>(c);
    }
    texts.push_back(text);
  }
  return texts;
}

[[noreturn]] void Usage(const char* problem) {
  std::fprintf(stderr,
               "fare-gen-crafted: %s\nusage: fare-gen-crafted PAIRS SEED DIR "
               "[--random]\n",
               problem);
  std::exit(2);
}

std::uint64_t Parse_Number(const char* text, const char* what) {
  std::uint64_t value = 0;
  std::string_view view(text);
  auto result = std::from_chars(view.data(), view.data() + view.size(), value);
  if (result.ec != std::errc() || result.ptr != view.data() + view.size())
    Usage(what);
  return value;
}

void Write_File(const std::string& path, const std::string& bytes) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr ||
      std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() ||
      std::fclose(out) != 0) {
    std::fprintf(stderr, "fare-gen-crafted: %s: %s\n", path.c_str(),
                 std::strerror(errno));
    std::exit(1);
  }
}

void Append_Line(std::string& file, long time, int mot, long balance,
                 const Text& text) {
  file += std::to_string(time) + "," + std::to_string(mot) + ",1," +
          std::to_string(balance) + "," + text + "\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && !(argc == 5 && std::string_view(argv[4]) == "--random"))
    Usage("wrong arguments");
  std::size_t pairs = Parse_Number(argv[1], "PAIRS must be a whole number");
  std::uint64_t seed = Parse_Number(argv[2], "SEED must be a whole number");
  std::string dir = argv[3];
  if (pairs == 0 || pairs > 10000000) Usage("PAIRS must be 1 to 10000000");
  // The amounts come from a source of their own: the same in both days.
  Random amounts(seed), text_source(~seed);
  std::vector<Text> texts =
      argc == 5 ? Random_Texts(pairs, text_source) : Crafted_Texts(pairs);
  std::string files[6];
  for (std::size_t j = 0; j < pairs; ++j) {
    long time = static_cast<long>(j * (DAY_SECONDS - TRANSFER_GAP) / pairs);
    long balance = static_cast<long>(10 * (amounts.Next() % 105));
    Append_Line(files[1 + j % 5], time, 0, 1050, texts[j]);
    Append_Line(files[0], time + TRANSFER_GAP, 1, balance, texts[j]);
  }
  for (int i = 0; i < 6; ++i) Write_File(dir + "/" + FILE_NAMES[i], files[i]);
  return 0;
}
