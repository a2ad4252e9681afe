// A longer campaign of the random comparison: difftest N [BASE_SEED]
// compares N random days from BASE_SEED on, in rounds of a few hundred.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "day_comparison.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s N [BASE_SEED]\n", argv[0]);
    return 2;
  }
  long long total = std::atoll(argv[1]);
  std::uint64_t base = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1000000;
  constexpr int ROUND = 256;
  constexpr int PARALLEL_RUNS = 32;
  long long done = 0;
  long long error_days = 0;
  long long failed = 0;
  while (done < total) {
    int count = static_cast<int>(std::min<long long>(ROUND, total - done));
    Comparison_Summary summary = Compare_Days(
        FARE_SETTLEMENT_EXE, FARE_AUDIT_EXE,
        base + static_cast<std::uint64_t>(done), count, PARALLEL_RUNS);
    for (const std::string& failure : summary.failures)
      std::printf("MISMATCH %s\n", failure.c_str());
    done += summary.days;
    error_days += summary.error_days;
    failed += static_cast<long long>(summary.failures.size());
    std::printf("%lld/%lld days, %lld expected errors, %lld mismatches\n", done,
                total, error_days, failed);
    std::fflush(stdout);
  }
  return failed == 0 ? 0 : 1;
}
