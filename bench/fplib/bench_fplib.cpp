// Extraction and matching on the sample prints cut to 256 x 360. The step log
// is written as in use (standard output is discarded, the log file goes to a
// scratch directory); the results go to standard error.
#include <benchmark/benchmark.h>

#include <vector>

#include "fplib.h"
#include "fplib_test_util.h"
#include "step_log_main.h"

namespace {

std::vector<uint8_t> Template(int finger, int impression) {
  std::vector<uint8_t> img = fptest::LoadSample(finger, impression), t(FP_TEMPLATE_SIZE);
  if (!img.empty()) FP_FeatureExtract(1, 1, img.data(), t.data());
  return t;
}

void BM_FeatureExtract(benchmark::State &state) {
  std::vector<uint8_t> img = fptest::LoadSample(101 + int(state.range(0)), 1), t(FP_TEMPLATE_SIZE);
  if (img.empty()) {
    state.SkipWithError("no sample prints");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(FP_FeatureExtract(1, 1, img.data(), t.data()));
}
BENCHMARK(BM_FeatureExtract)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_FeatureMatch(benchmark::State &state) {
  const bool genuine = state.range(0) != 0;
  std::vector<uint8_t> a = Template(102, 1), b = genuine ? Template(102, 2) : Template(105, 1);
  float score = 0;
  for (auto _ : state) benchmark::DoNotOptimize(FP_FeatureMatch(a.data(), b.data(), &score));
  state.counters["score"] = score;
}
BENCHMARK(BM_FeatureMatch)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) { return belnor_bench::RunWithStepLogInScratch(argc, argv, "bench_fplib"); }
