// Finger analysis and background clearing on a synthetic finger at 640 x 640
// and 1600 x 1500; *Reference runs the plain routine of the tests.
#include <benchmark/benchmark.h>

#include <vector>

#include "background_clear.h"
#include "image_analysis.h"
#include "reference.h"
#include "test_images.h"

namespace {

const testimg::Image &FingerImage(int W, int H) {
  static testimg::Image small, large;
  testimg::Image &img = W == 640 ? small : large;
  if (img.pixels.empty()) {
    testimg::FingerShape s;
    s.cx = W / 2.0, s.cy = H / 2.0, s.ax = W * 0.22, s.ay = H * 0.3;
    s.coreDrop = 0;
    img = testimg::Finger(W, H, s);
  }
  return img;
}

void Sizes(benchmark::internal::Benchmark *b) { b->Args({640, 640})->Args({1600, 1500}); }

void BM_FindFingerRegion(benchmark::State &state) {
  const auto &img = FingerImage(int(state.range(0)), int(state.range(1)));
  belnor::AnalysisContext ctx;
  belnor::Rectangle r;
  for (auto _ : state) benchmark::DoNotOptimize(belnor::FindFingerRegion(ctx, img.data(), img.width, img.height, &r));
}
BENCHMARK(BM_FindFingerRegion)->Apply(Sizes)->Unit(benchmark::kMicrosecond);

void BM_FingerScore(benchmark::State &state) {
  const auto &img = FingerImage(int(state.range(0)), int(state.range(1)));
  belnor::AnalysisContext ctx;
  for (auto _ : state) benchmark::DoNotOptimize(belnor::FingerScore(ctx, img.data(), img.width, img.height, nullptr));
}
BENCHMARK(BM_FingerScore)->Apply(Sizes)->Unit(benchmark::kMicrosecond);

void BM_BuildBlockMap(benchmark::State &state) {
  const auto &img = FingerImage(int(state.range(0)), int(state.range(1)));
  belnor::AnalysisContext ctx;
  std::vector<int8_t> raw(size_t(img.width / 8) * (img.height / 8));
  for (auto _ : state) benchmark::DoNotOptimize(belnor::BuildBlockMap(ctx, img.data(), img.width, img.height, raw.data(), 236));
}
BENCHMARK(BM_BuildBlockMap)->Apply(Sizes)->Unit(benchmark::kMicrosecond);

void BM_BuildBlockMapReference(benchmark::State &state) {
  const auto &img = FingerImage(int(state.range(0)), int(state.range(1)));
  std::vector<int8_t> raw(size_t(img.width / 8) * (img.height / 8));
  for (auto _ : state) benchmark::DoNotOptimize(ref::BuildBlockMap(img.data(), img.width, img.height, raw.data(), 236));
}
BENCHMARK(BM_BuildBlockMapReference)->Apply(Sizes)->Unit(benchmark::kMicrosecond);

std::vector<int8_t> FingerVotes(const testimg::Image &img) {
  belnor::AnalysisContext ctx;
  std::vector<int8_t> raw(size_t(img.width / 8) * (img.height / 8));
  belnor::BuildBlockMap(ctx, img.data(), img.width, img.height, raw.data(), 236);
  return raw;
}

void BM_FilterComponents(benchmark::State &state) {
  const auto &img = FingerImage(int(state.range(0)), int(state.range(1)));
  const auto votes = FingerVotes(img);
  belnor::AnalysisContext ctx;
  for (auto _ : state) {
    auto map = votes;
    benchmark::DoNotOptimize(belnor::FilterComponents(ctx, map.data(), img.width / 8, img.height / 8, 70));
  }
}
BENCHMARK(BM_FilterComponents)->Apply(Sizes)->Unit(benchmark::kMicrosecond);

void BM_FilterComponentsReference(benchmark::State &state) {
  const auto &img = FingerImage(int(state.range(0)), int(state.range(1)));
  const auto votes = FingerVotes(img);
  for (auto _ : state) {
    auto map = votes;
    benchmark::DoNotOptimize(ref::FilterComponents(map.data(), img.width / 8, img.height / 8, 70));
  }
}
BENCHMARK(BM_FilterComponentsReference)->Apply(Sizes)->Unit(benchmark::kMicrosecond);

// Runs clear on a fresh copy of the image in every iteration (copy untimed).
template <class Clear>
void OnFreshCopies(benchmark::State &state, const testimg::Image &img, Clear clear) {
  auto work = img.pixels;
  for (auto _ : state) {
    state.PauseTiming();
    work = img.pixels;
    state.ResumeTiming();
    clear(work.data());
    benchmark::ClobberMemory();
  }
}

void BM_ClearBackground(benchmark::State &state) {
  const auto &img = FingerImage(int(state.range(0)), int(state.range(1)));
  belnor::ClearContext ctx;
  OnFreshCopies(state, img, [&](uint8_t *p) { belnor::ClearBackground(ctx, p, img.width, img.height, 236); });
}
BENCHMARK(BM_ClearBackground)->Apply(Sizes)->Unit(benchmark::kMicrosecond);

testimg::Image Half(const testimg::Image &img) {
  testimg::Image half{img.width / 2, img.height / 2, {}};
  half.pixels.resize(size_t(half.width) * half.height);
  for (int i = 0; i < half.height; ++i)
    for (int j = 0; j < half.width; ++j) half.at(j, i) = img.pixels[size_t(2 * i) * img.width + 2 * j];
  return half;
}

void BM_EdgeEnergyMap(benchmark::State &state) {
  const auto half = Half(FingerImage(int(state.range(0)), int(state.range(1))));
  belnor::ClearContext ctx;
  std::vector<uint8_t> mask(half.pixels.size());
  for (auto _ : state) benchmark::DoNotOptimize(belnor::EdgeEnergyMap(ctx, half.data(), half.width, half.height, mask.data(), 8, 236));
}
BENCHMARK(BM_EdgeEnergyMap)->Apply(Sizes)->Unit(benchmark::kMicrosecond);

void BM_EdgeEnergyMapReference(benchmark::State &state) {
  const auto half = Half(FingerImage(int(state.range(0)), int(state.range(1))));
  std::vector<uint8_t> mask(half.pixels.size());
  for (auto _ : state) benchmark::DoNotOptimize(ref::EdgeEnergyMap(half.data(), half.width, half.height, mask.data(), 8, 236));
}
BENCHMARK(BM_EdgeEnergyMapReference)->Apply(Sizes)->Unit(benchmark::kMillisecond);

void BM_Smooth3x3(benchmark::State &state) {
  auto half = Half(FingerImage(int(state.range(0)), int(state.range(1))));
  belnor::ScratchBuffer<uint16_t> sums;
  for (auto _ : state) belnor::Smooth3x3(half.data(), half.width, half.height, sums);
}
BENCHMARK(BM_Smooth3x3)->Apply(Sizes)->Unit(benchmark::kMicrosecond);

void BM_Smooth3x3Reference(benchmark::State &state) {
  auto half = Half(FingerImage(int(state.range(0)), int(state.range(1))));
  for (auto _ : state) ref::Smooth3x3(half.data(), half.width, half.height);
}
BENCHMARK(BM_Smooth3x3Reference)->Apply(Sizes)->Unit(benchmark::kMicrosecond);

// The mask the clearing computes for the finger, applied again and again.
std::vector<uint8_t> FingerMask(const testimg::Image &img) {
  const auto half = Half(img);
  belnor::ClearContext ctx;
  std::vector<uint8_t> mask(half.pixels.size());
  belnor::EdgeEnergyMap(ctx, half.data(), half.width, half.height, mask.data(), 8, 236);
  belnor::RefineEdgeMap(ctx, half.data(), mask.data(), half.width, half.height, 236);
  return mask;
}

void BM_ApplyBackgroundMask(benchmark::State &state) {
  const auto &img = FingerImage(int(state.range(0)), int(state.range(1)));
  const auto mask = FingerMask(img);
  belnor::ClearContext ctx;
  OnFreshCopies(state, img, [&](uint8_t *p) {
    belnor::ApplyBackgroundMask(ctx, p, img.width, img.height, mask.data(), 236);
  });
}
BENCHMARK(BM_ApplyBackgroundMask)->Apply(Sizes)->Unit(benchmark::kMicrosecond);

void BM_ApplyBackgroundMaskReference(benchmark::State &state) {
  const auto &img = FingerImage(int(state.range(0)), int(state.range(1)));
  const auto mask = FingerMask(img);
  OnFreshCopies(state, img, [&](uint8_t *p) {
    ref::ApplyBackgroundMask(p, img.width, img.height, mask.data(), 236);
  });
}
BENCHMARK(BM_ApplyBackgroundMaskReference)->Apply(Sizes)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
