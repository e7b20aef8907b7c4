// One ScoreMatcherB call on records of n minutiae: a shifted, jittered
// impression of the same finger (genuine) and an unrelated finger.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "match_tables.h"
#include "matcher_b.h"
#include "matcher_b_test_sets.h"

namespace {

void BM_ScoreMatcherB(benchmark::State &state) {
  const int n = int(state.range(0));
  const bool genuine = state.range(1) != 0;
  fplib::EnsureMatchTables();
  const auto ms = fplibtest::FingerSet(17, n, 128, 180, 125, 5);
  auto other = fplibtest::FingerSet(genuine ? 17 : 99, n, 128, 180, 125, 5);
  for (auto &m : other) {
    if (!genuine) break;
    m.x = std::min(255, m.x + 9 + (m.degrees % 3));
    m.degrees = (m.degrees + 4) % 360;
  }
  const auto a = fplibtest::MakeRecord(ms), b = fplibtest::MakeRecord(other);
  float score = 0;
  for (auto _ : state) {
    score = fplib::ScoreMatcherB(a.data(), b.data());
    benchmark::DoNotOptimize(score);
  }
  state.counters["score"] = score;
}
BENCHMARK(BM_ScoreMatcherB)
    ->Args({30, 1})
    ->Args({30, 0})
    ->Args({60, 1})
    ->Args({60, 0})
    ->Args({100, 1})
    ->Args({100, 0})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
