// fare-gen-day: writes a deterministic day of tap records into DIR (created
// when missing), the six payment files of one bus and five metro sources,
// each in time order.
//
//   fare-gen-day N SEED DIR [--legs MAX] [--equal-times] [--reuse IDS]
//
// N taps in all. About a third of the journeys are transfers of 2..MAX legs
// (MAX 4 by default): a full fare first, then discounted legs, at least one
// of them a bus leg below 1050 won, each leg later than the one before. The
// others are single taps of 1050 won or more. --equal-times gives every leg of
// a journey the same time and uses only a few distinct times; --reuse draws
// journey ids from a pool of IDS ids, so that unrelated taps share ids. The
// same arguments always give the same bytes.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int DAY_SECONDS = 86400;
constexpr int MAX_LEG_GAP = 1800;  // seconds between two legs of a journey
constexpr std::uint64_t ID_SPACE = 101559956668416ULL;  // 36^9
constexpr char ID_DIGITS[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr const char* FILE_NAMES[6] = {
    "paymentData_5001.txt", "paymentData_7001.txt", "paymentData_7002.txt",
    "paymentData_7003.txt", "paymentData_7004.txt", "paymentData_7005.txt"};

struct Options {
  long long taps = 0;
  std::uint64_t seed = 0;
  std::string dir;
  int max_legs = 4;
  bool equal_times = false;
  std::uint64_t reuse = 0;  // 0: every journey has an id of its own
};

struct Tap {
  std::int32_t time;
  std::int32_t balance;
  std::uint64_t id;
  std::int8_t in_out;
};

// splitmix64: a small generator whose output is the same everywhere.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // Uniform in [low, high].
  int Between(int low, int high) {
    return low + static_cast<int>(Next() %
                                  static_cast<std::uint64_t>(high - low + 1));
  }
  bool Chance(int percent) { return Between(1, 100) <= percent; }

 private:
  std::uint64_t state_;
};

[[noreturn]] void Usage(const char* problem) {
  std::fprintf(stderr,
               "fare-gen-day: %s\nusage: fare-gen-day N SEED DIR [--legs MAX] "
               "[--equal-times] [--reuse IDS]\n",
               problem);
  std::exit(2);
}

long long Parse_Number(const char* text, const char* what) {
  long long value = 0;
  std::string_view view(text);
  auto result = std::from_chars(view.data(), view.data() + view.size(), value);
  if (result.ec != std::errc() || result.ptr != view.data() + view.size() ||
      value < 0)
    Usage(what);
  return value;
}

Options Parse_Options(int argc, char** argv) {
  if (argc < 4) Usage("missing arguments");
  Options options;
  options.taps = Parse_Number(argv[1], "N must be a whole number");
  options.seed = static_cast<std::uint64_t>(
      Parse_Number(argv[2], "SEED must be a whole number"));
  options.dir = argv[3];
  for (int i = 4; i < argc; ++i) {
    std::string_view arg(argv[i]);
    if (arg == "--equal-times") {
      options.equal_times = true;
    } else if (arg == "--legs" && i + 1 < argc) {
      options.max_legs = static_cast<int>(
          Parse_Number(argv[++i], "--legs needs a number of at least 2"));
      if (options.max_legs < 2) Usage("--legs needs a number of at least 2");
    } else if (arg == "--reuse" && i + 1 < argc) {
      options.reuse = static_cast<std::uint64_t>(
          Parse_Number(argv[++i], "--reuse needs a positive number"));
      if (options.reuse == 0) Usage("--reuse needs a positive number");
    } else {
      Usage("unknown option");
    }
  }
  return options;
}

// A 9-character id per journey number. Multiplying by a number prime to
// 36^9 = 2^9 x 3^18 (this one is neither even nor a multiple of 3) and
// adding a constant is a bijection modulo 36^9, so distinct journeys get
// distinct ids that look random, as long as the product does not wrap
// (journey numbers below 2^64 / 0x5DEECE66D, about 7 x 10^8).
std::uint64_t Journey_Id(std::uint64_t journey, const Options& options,
                         Random& random) {
  if (options.reuse != 0) return random.Next() % options.reuse;
  return (journey * 0x5DEECE66DULL + 11) % ID_SPACE;
}

int Start_Time(const Options& options, Random& random) {
  if (options.equal_times) return random.Between(0, 19) * 100;
  // Two rush hours over a flat base: half the journeys start near 8:00 or
  // 18:00.
  if (random.Chance(50)) {
    int peak = random.Chance(50) ? 8 * 3600 : 18 * 3600;
    return std::clamp(peak + random.Between(-5400, 5400), 0, DAY_SECONDS - 1);
  }
  return random.Between(0, DAY_SECONDS - 1);
}

// Source of a tap: 0 the bus, 1..5 a metro source.
int Pick_Source(Random& random) {
  return random.Chance(40) ? 0 : random.Between(1, 5);
}

void Add_Single(std::vector<Tap> (&files)[6], std::uint64_t id, int time,
                Random& random) {
  int source = Pick_Source(random);
  std::int8_t in_out =
      source == 0 ? 1 : static_cast<std::int8_t>(random.Between(0, 1));
  files[source].push_back({time, 1050 + 50 * random.Between(0, 8), id, in_out});
}

// A transfer journey of legs legs: a full fare, then discounts; one of the
// later legs is a bus leg below the transfer threshold.
void Add_Transfer(std::vector<Tap> (&files)[6], std::uint64_t id, int time,
                  int legs, const Options& options, Random& random) {
  int discounted_bus = random.Between(1, legs - 1);
  // Starts early enough for every leg to fall within the day (unless legs
  // are very many), so the legs' times are distinct: a clamp at the day's
  // end would tie them.
  if (!options.equal_times)
    time =
        std::max(0, std::min(time, DAY_SECONDS - 1 - (legs - 1) * MAX_LEG_GAP));
  for (int leg = 0; leg < legs; ++leg) {
    int source = leg == discounted_bus ? 0 : Pick_Source(random);
    int balance = leg == 0      ? 1050 + 50 * random.Between(0, 8)
                  : source == 0 ? 10 * random.Between(0, 104)
                                : 10 * random.Between(0, 30);
    std::int8_t in_out = static_cast<std::int8_t>(random.Between(0, 1));
    files[source].push_back({time, balance, id, in_out});
    if (!options.equal_times) time += random.Between(60, MAX_LEG_GAP);
  }
}

void Generate(const Options& options, std::vector<Tap> (&files)[6]) {
  Random random(options.seed);
  long long left = options.taps;
  for (std::uint64_t journey = 0; left > 0; ++journey) {
    std::uint64_t id = Journey_Id(journey, options, random);
    int time = Start_Time(options, random);
    int legs = random.Chance(33) ? random.Between(2, options.max_legs) : 1;
    if (legs > left) legs = static_cast<int>(left);
    if (legs == 1)
      Add_Single(files, id, time, random);
    else
      Add_Transfer(files, id, time, legs, options, random);
    left -= legs;
  }
  for (std::vector<Tap>& file : files)
    std::stable_sort(file.begin(), file.end(), [](const Tap& a, const Tap& b) {
      return a.time < b.time;
    });
}

char* Format_Id(char* out, std::uint64_t id) {
  for (int i = 8; i >= 0; --i) {
    out[i] = ID_DIGITS[id % 36];
    id /= 36;
  }
  return out + 9;
}

void Write_File(const std::string& path, const std::vector<Tap>& taps,
                int mot) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "fare-gen-day: %s: %s\n", path.c_str(),
                 std::strerror(errno));
    std::exit(1);
  }
  std::string buffer;
  buffer.reserve(1 << 20);
  char line[64];
  for (const Tap& tap : taps) {
    char* p = std::to_chars(line, line + 16, tap.time).ptr;
    p += std::sprintf(p, ",%d,%d,", mot, tap.in_out);
    p = std::to_chars(p, p + 8, tap.balance).ptr;
    *p++ = ',';
    p = Format_Id(p, tap.id);
    *p++ = '\n';
    buffer.append(line, p);
    if (buffer.size() > (1 << 20) - 64) {
      std::fwrite(buffer.data(), 1, buffer.size(), out);
      buffer.clear();
    }
  }
  std::fwrite(buffer.data(), 1, buffer.size(), out);
  if (std::fclose(out) != 0) {
    std::fprintf(stderr, "fare-gen-day: %s: cannot write\n", path.c_str());
    std::exit(1);
  }
}

// Creates dir and its missing parents, or stops.
void Make_Folder(const std::string& dir) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) {
    std::fprintf(stderr, "fare-gen-day: %s: %s\n", dir.c_str(),
                 error.message().c_str());
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options = Parse_Options(argc, argv);
  std::vector<Tap> files[6];
  Generate(options, files);
  Make_Folder(options.dir);
  for (int i = 0; i < 6; ++i)
    Write_File(options.dir + "/" + FILE_NAMES[i], files[i], i == 0 ? 1 : 0);
  return 0;
}
