// MOSAIC_DoMosaic per frame while a synthetic finger rolls across 640 x 640
// frames, and the idle costs of a frame without a finger.
#include <benchmark/benchmark.h>

#include <vector>

#include "mosaic.h"
#include "rolling_frames.h"

namespace {

using namespace mosaic_test;

constexpr int kSize = 640;

std::vector<Image> RollFrames(int step) {
  const Image print = MakePrint(kSize, kSize);
  std::vector<Image> frames;
  for (const Band &band : RollBands(step)) frames.push_back(ContactFrame(print, kSize, kSize, band));
  return frames;
}

// One roll per pass, restarted between rolls outside the timing.
void BM_DoMosaicRoll(benchmark::State &state) {
  MOSAIC_Init();
  std::vector<Image> frames = RollFrames(static_cast<int>(state.range(0)));
  Image mosaic(kSize * kSize);
  size_t next = frames.size();
  for (auto _ : state) {
    if (next == frames.size()) {
      state.PauseTiming();
      MOSAIC_Start(mosaic.data(), kSize, kSize);
      next = 0;
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(MOSAIC_DoMosaic(frames[next++].data(), kSize, kSize));
  }
  state.SetItemsProcessed(state.iterations());
  MOSAIC_Close();
}
BENCHMARK(BM_DoMosaicRoll)->Arg(8)->Arg(16)->Arg(40)->Unit(benchmark::kMicrosecond);

// The same frame over and over: segmentation and merge, nothing new pasted.
void BM_DoMosaicStill(benchmark::State &state) {
  MOSAIC_Init();
  Image mosaic(kSize * kSize);
  MOSAIC_Start(mosaic.data(), kSize, kSize);
  Image frame = ContactFrame(MakePrint(kSize, kSize), kSize, kSize, Band{320});
  for (auto _ : state) benchmark::DoNotOptimize(MOSAIC_DoMosaic(frame.data(), kSize, kSize));
  MOSAIC_Close();
}
BENCHMARK(BM_DoMosaicStill)->Unit(benchmark::kMicrosecond);

// The end of a roll: a white frame.
void BM_DoMosaicWhite(benchmark::State &state) {
  MOSAIC_Init();
  Image mosaic(kSize * kSize);
  MOSAIC_Start(mosaic.data(), kSize, kSize);
  Image white = WhiteImage(kSize, kSize);
  for (auto _ : state) benchmark::DoNotOptimize(MOSAIC_DoMosaic(white.data(), kSize, kSize));
  MOSAIC_Close();
}
BENCHMARK(BM_DoMosaicWhite)->Unit(benchmark::kMicrosecond);

// The application's test before each roll.
void BM_IsFinger(benchmark::State &state) {
  MOSAIC_Init();
  Image image = state.range(0) ? ContactFrame(MakePrint(kSize, kSize), kSize, kSize, Band{320})
                               : WhiteImage(kSize, kSize);
  for (auto _ : state) benchmark::DoNotOptimize(MOSAIC_IsFinger(image.data(), kSize, kSize));
  MOSAIC_Close();
}
BENCHMARK(BM_IsFinger)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
