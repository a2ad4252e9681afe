#include "random_day.h"

#include <random>
#include <string>
#include <vector>

namespace {

class Dice {
 public:
  explicit Dice(std::uint64_t seed) : engine_(seed) {}
  // A whole number in [low, high].
  long long Between(long long low, long long high) {
    return std::uniform_int_distribution<long long>(low, high)(engine_);
  }
  // True with the given chance in percent.
  bool Chance(int percent) { return Between(1, 100) <= percent; }
  template <class T>
  const T& Pick(const std::vector<T>& items) {
    return items[static_cast<std::size_t>(
        Between(0, static_cast<long long>(items.size()) - 1))];
  }

 private:
  std::mt19937_64 engine_;
};

std::vector<std::string> Terminal_Pool(Dice& dice) {
  const std::string letters = "ABTXYZabz0129_-.#";
  std::vector<std::string> pool;
  long long count = dice.Between(1, 7);
  for (long long i = 0; i < count; ++i) {
    if (dice.Chance(8)) {
      pool.push_back(dice.Chance(50) ? "END" : "T2");
      continue;
    }
    long long length = dice.Chance(20) ? 9 : dice.Between(1, 4);
    std::string name;
    for (long long k = 0; k < length; ++k)
      name += letters[static_cast<std::size_t>(
          dice.Between(0, static_cast<long long>(letters.size()) - 1))];
    pool.push_back(name);
  }
  return pool;
}

std::string Time_Field(Dice& dice) {
  long long roll = dice.Between(1, 100);
  if (roll <= 60) return std::to_string(dice.Between(0, 12));
  if (roll <= 70) return "9";
  if (roll <= 78) return std::to_string(dice.Between(-20, -1));
  if (roll <= 82) return dice.Chance(50) ? "2147483647" : "-2147483648";
  if (roll <= 86) return "+" + std::to_string(dice.Between(0, 12));
  if (roll <= 90) return "00" + std::to_string(dice.Between(0, 12));
  if (roll <= 94) return std::to_string(dice.Between(0, 12)) + "x";
  if (roll <= 96) return "abc";
  return std::to_string(dice.Between(1000000, 99999999));
}

std::string Mode_Field(Dice& dice) {
  long long roll = dice.Between(1, 100);
  if (roll <= 45) return "1";
  if (roll <= 90) return "0";
  if (roll <= 95) return std::to_string(dice.Between(2, 9));
  return dice.Chance(50) ? "-" : "x";
}

std::string Amount_Field(Dice& dice) {
  static const std::vector<long long> COMMON = {
      0, 1049, 1050, 1051, 100, 150, 950, 900, 1250, -1, -999, 9999, 500};
  long long roll = dice.Between(1, 100);
  if (roll <= 55) return std::to_string(dice.Pick(COMMON));
  if (roll <= 80) return std::to_string(dice.Between(0, 2000));
  if (roll <= 90) return std::to_string(dice.Between(-999, 9999));
  if (roll <= 94) return "+" + std::to_string(dice.Between(0, 999));
  if (roll <= 97) return std::to_string(dice.Between(0, 999)) + "x";
  return "q";
}

// A run of separators between two fields: mostly one comma.
std::string Separator(Dice& dice) {
  if (dice.Chance(80)) return ",";
  const std::string seps = " ,\t";
  std::string run;
  long long length = dice.Between(1, 3);
  for (long long k = 0; k < length; ++k)
    run += seps[static_cast<std::size_t>(dice.Between(0, 2))];
  return run;
}

std::string Blank_Line(Dice& dice) {
  static const std::vector<std::string> BLANKS = {"",   "  ",   ",,\t",
                                                  "\r", ", \r", "\t"};
  return dice.Pick(BLANKS);
}

std::string Record_Line(Dice& dice, const std::string& terminal, bool crlf,
                        const std::string& amount) {
  std::string line;
  if (dice.Chance(5)) line += dice.Chance(50) ? " " : ", \t";
  line += Time_Field(dice) + Separator(dice) + Mode_Field(dice) +
          Separator(dice) + (dice.Chance(85) ? "1" : "0") + Separator(dice) +
          amount + Separator(dice) + terminal;
  // A carriage return joins the field it touches: after a nine-character
  // terminal it would make the field too wide, so a sixth field takes it.
  bool sixth = dice.Chance(10) || (crlf && terminal.size() == 9);
  if (sixth)
    line +=
        Separator(dice) + (dice.Chance(50) ? "extra" : "a,b c,,d_long_tail");
  else if (dice.Chance(5))
    line += Separator(dice);
  return line + (crlf ? "\r" : "");
}

// One faulty line; every one of them must stop the run.
std::string Faulty_Line(Dice& dice) {
  static const std::vector<std::string> FAULTS = {
      "1,1,1,1050",
      "1,1,1,,T1",
      "1234567890123,1,1,0,T1",
      "1,10,1,0,T1",
      "1,1,11,0,T1",
      "1,1,1,12345,T1",
      "1,1,1,0,T123456789",
      "2147483648,1,1,0,T1",
      "-2147483649,0,1,0,T1",
      "99999999999,1,1,0,T1",
      "\r\r",
      "\v",
      "x",
      std::string("1,1,1,0,T\0", 10),
      std::string("\0", 1)};
  return dice.Pick(FAULTS);
}

std::string Payment_File_Text(Dice& dice, const std::vector<std::string>& pool,
                              bool bus) {
  if (dice.Chance(10)) return "";
  bool crlf = dice.Chance(15);
  long long lines = dice.Between(0, 10);
  std::string text;
  for (long long i = 0; i < lines; ++i) {
    if (dice.Chance(8)) {
      text += Blank_Line(dice) + "\n";
      continue;
    }
    std::string amount = Amount_Field(dice);
    // The bus file carries the triggers: keep many amounts below 1050.
    if (bus && dice.Chance(30))
      amount = std::to_string(dice.Between(-50, 1049));
    text += Record_Line(dice, dice.Pick(pool), crlf, amount) + "\n";
  }
  if (!text.empty() && dice.Chance(25)) text.pop_back();
  return text;
}

// Inserts line as a new line somewhere in text.
void Insert_Line(Dice& dice, std::string& text, const std::string& line) {
  std::vector<std::size_t> starts = {0};
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n') starts.push_back(i + 1);
  std::size_t at = dice.Pick(starts);
  if (at == text.size() && !text.empty() && text.back() != '\n') {
    text += "\n" + line;
    return;
  }
  text.insert(at, line + "\n");
}

}  // namespace

Day Random_Day(std::uint64_t seed) {
  Dice dice(seed * 0x9E3779B97F4A7C15ULL + 1);
  std::vector<std::string> pool = Terminal_Pool(dice);
  Day day;
  for (int f = 0; f < 6; ++f)
    day.files[f] = Payment_File_Text(dice, pool, f == 0);
  // A journey whose amounts add up to -1050 leaves no divisor.
  if (dice.Chance(5)) {
    Insert_Line(dice, day.files[0], "5,1,1,-51,ZD");
    Insert_Line(dice, day.files[dice.Between(1, 5)], "3,0,1,-999,ZD");
  }
  if (dice.Chance(12))
    Insert_Line(dice, day.files[dice.Between(0, 5)], Faulty_Line(dice));
  return day;
}
