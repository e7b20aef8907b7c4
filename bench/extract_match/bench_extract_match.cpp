// Per-call times of both libraries' extraction and matching on the 80 shared
// prints: an extraction iteration takes the next print, so a figure is the
// mean over the set, and repetitions go on along the set; a match iteration
// is a sweep over all 3,160 pairs (its calls counter says how many).
// libbelnor's extraction runs on the print centred on a white canvas of each
// accepted size, libminutia's on the 256 x 360 window at the centre. The step log is written as in use (standard
// output is discarded, the log file goes to a scratch directory); the results
// go to standard error.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "extract_driver.h"
#include "fplib.h"
#include "step_log_main.h"
#include "ftemplate.h"
#include "golden_outputs.h"
#include "matcher.h"

namespace {

using Plane = std::vector<uint8_t>;

const std::vector<Plane> &Prints(int w, int h) {
  static std::vector<std::pair<long, std::vector<Plane>>> cache;
  const long key = long(w) << 16 | h;
  for (const auto &c : cache)
    if (c.first == key) return c.second;
  std::vector<Plane> prints;
  for (int k = 0; k < golden::kPrints; ++k) {
    Plane p = golden::PrintOnCanvas(k, w, h);
    if (p.empty()) return cache.emplace_back(key, std::vector<Plane>()).second;
    prints.push_back(std::move(p));
  }
  return cache.emplace_back(key, std::move(prints)).second;
}

// The match benchmarks time whole sweeps over every pair, so that builds of
// different speed are timed on the same pairs; compare.py divides a sweep's
// time by its calls.
void PerCall(benchmark::State &state, size_t calls) { state.counters["calls"] = double(calls); }

std::vector<std::pair<int, int>> Pairs(int n) {
  std::vector<std::pair<int, int>> p;
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j) p.emplace_back(i, j);
  return p;
}

void BM_BelnorExtract(benchmark::State &state) {
  const int w = int(state.range(0)), h = int(state.range(1));
  const std::vector<Plane> &prints = Prints(w, h);
  if (prints.empty()) return state.SkipWithError("no shared prints");
  uint8_t tpl[minutiae::kFTemplateMax];
  static size_t k = 0;  // runs go on where the last one stopped
  for (auto _ : state) {
    benchmark::DoNotOptimize(minutiae::extractFTemplate(prints[k].data(), w, h, tpl));
    k = (k + 1) % prints.size();
  }
}
BENCHMARK(BM_BelnorExtract)->Args({256, 360})->Args({400, 400})->Args({640, 640})->Unit(benchmark::kMillisecond);

void BM_BelnorMatch(benchmark::State &state) {
  const std::vector<Plane> &prints = Prints(400, 400);
  if (prints.empty()) return state.SkipWithError("no shared prints");
  std::vector<Plane> t;
  for (const Plane &p : prints) {
    t.emplace_back(minutiae::kFTemplateMax, 0);
    minutiae::extractFTemplate(p.data(), 400, 400, t.back().data());
  }
  const auto pairs = Pairs(int(t.size()));
  float score = 0;
  for (auto _ : state)
    for (const auto &pair : pairs) {
      minutiae::matchFTemplates(t[size_t(pair.first)].data(), t[size_t(pair.second)].data(), &score);
      benchmark::DoNotOptimize(score);
    }
  PerCall(state, pairs.size());
}
BENCHMARK(BM_BelnorMatch)->Unit(benchmark::kMillisecond);

void BM_FplibExtract(benchmark::State &state) {
  std::vector<Plane> prints = Prints(FP_IMAGE_WIDTH, FP_IMAGE_HEIGHT);
  if (prints.empty()) return state.SkipWithError("no shared prints");
  Plane tpl(FP_TEMPLATE_SIZE);
  static size_t k = 0;  // runs go on where the last one stopped
  for (auto _ : state) {
    benchmark::DoNotOptimize(FP_FeatureExtract(1, 1, prints[k].data(), tpl.data()));
    k = (k + 1) % prints.size();
  }
}
BENCHMARK(BM_FplibExtract)->Unit(benchmark::kMillisecond);

void BM_FplibMatch(benchmark::State &state) {
  std::vector<Plane> prints = Prints(FP_IMAGE_WIDTH, FP_IMAGE_HEIGHT);
  if (prints.empty()) return state.SkipWithError("no shared prints");
  std::vector<Plane> t;
  for (Plane &p : prints) {
    t.emplace_back(FP_TEMPLATE_SIZE, 0);
    FP_FeatureExtract(1, 1, p.data(), t.back().data());
  }
  const auto pairs = Pairs(int(t.size()));
  float score = 0;
  for (auto _ : state)
    for (const auto &pair : pairs) {
      FP_FeatureMatch(t[size_t(pair.first)].data(), t[size_t(pair.second)].data(), &score);
      benchmark::DoNotOptimize(score);
    }
  PerCall(state, pairs.size());
}
BENCHMARK(BM_FplibMatch)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) { return belnor_bench::RunWithStepLogInScratch(argc, argv, "bench_extract_match"); }
