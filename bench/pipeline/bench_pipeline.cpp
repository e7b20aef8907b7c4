// FramePipeline::Process per frame on a realistic sensor frame (a finger
// rendered through the type's built-in optics, inverted and flipped as the
// worker does), with the maps of that grid; then its stages one by one on
// the corrected finger image, so the per-frame cost splits. Remapping alone
// is in bench/calib (RemapBilinear).
//
// No scanner is open here, so the brightness loop's setter calls return at
// once; its measurement and decision still run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "background_clear.h"
#include "bright_level.h"
#include "finger_frame.h"
#include "finger_window.h"
#include "frame_convert.h"
#include "frame_pipeline.h"
#include "image_analysis.h"
#include "window_copy.h"

namespace {

using belnor_bench::FingerFrame;

// The worker's frame for a type: the camera's frame after its inversion and
// flip; built once per type.
struct TypeFrame {
  FingerFrame finger;
  std::vector<uint8_t> worker;
  explicit TypeFrame(int type) : finger(type), worker(finger.camera) {
    belnor::InvertAndFlip(worker.data(), finger.optics.sensorWidth(), finger.optics.sensorHeight(),
                          type == 2 || type == 5, type == 5);
  }
  int sensorWidth() const { return finger.optics.sensorWidth(); }
  int sensorHeight() const { return finger.optics.sensorHeight(); }
  int width() const { return finger.optics.correctedWidth(); }
  int height() const { return finger.optics.correctedHeight(); }
};

const TypeFrame &FrameOf(int type) {
  static std::unique_ptr<TypeFrame> frames[6];
  if (!frames[type]) frames[type] = std::make_unique<TypeFrame>(type);
  return *frames[type];
}

enum Switch { kAutoAdjust = 1, kClear = 2, kTrack = 4 };

struct Case {
  int type;
  int windowWidth, windowHeight;
  unsigned switches;
};

const Case kCases[] = {
    {1, 640, 640, kAutoAdjust | kClear},
    {1, 400, 400, kAutoAdjust | kClear | kTrack},
    {5, 1600, 1500, kAutoAdjust | kClear},
    {5, 1600, 1500, 0},
    {2, 256, 360, kClear},
};

std::string Switches(unsigned s) {
  if (!s) return "remap+copy";
  std::string t;
  if (s & kAutoAdjust) t += "+auto";
  if (s & kClear) t += "+clear";
  if (s & kTrack) t += "+track";
  return t.substr(1);
}

void BM_PipelineProcess(benchmark::State &state) {
  const Case &c = kCases[state.range(0)];
  const TypeFrame &f = FrameOf(c.type);
  belnor::FrameSettings s{};
  s.devType = c.type;
  // Centred, as an application places a smaller window.
  s.window = {(f.width() - c.windowWidth) / 2, (f.height() - c.windowHeight) / 2, c.windowWidth,
              c.windowHeight};
  if (c.type == 2) s.window = {0, 0, c.windowWidth, c.windowHeight};
  s.remapWidth = f.width();
  s.remapHeight = f.height();
  s.mapX = f.finger.optics.calibration().maps.x.get();
  s.mapY = f.finger.optics.calibration().maps.y.get();
  s.autoAdjust = c.switches & kAutoAdjust;
  s.clearBackground = c.switches & kClear;
  s.autoPosition = c.switches & kTrack;
  belnor::FramePipeline pipeline;
  std::vector<uint8_t> out(size_t(f.sensorWidth()) * f.sensorHeight());
  int w = 0, h = 0, result = 0;
  for (auto _ : state) {
    result =
        pipeline.Process(s, f.worker.data(), f.sensorWidth(), f.sensorHeight(), out.data(), &w, &h);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  // result 3: the tracker found the finger, so the placement ran in full.
  state.counters["result"] = result;
  state.SetLabel("type " + std::to_string(c.type) + " " + std::to_string(f.sensorWidth()) + "x" +
                 std::to_string(f.sensorHeight()) + "->" + std::to_string(w) + "x" +
                 std::to_string(h) + " " + Switches(c.switches));
}
BENCHMARK(BM_PipelineProcess)
    ->Name("PipelineProcess")
    ->DenseRange(0, int(std::size(kCases)) - 1)
    ->Unit(benchmark::kMillisecond);

// ---- Stages on the corrected finger image (type 5: 1600x1500, type 1:
// 640x640), as Process runs them.

std::string SizeLabel(const TypeFrame &f) {
  return std::to_string(f.width()) + "x" + std::to_string(f.height());
}

void BM_MeasureBrightLevel(benchmark::State &state) {
  const TypeFrame &f = FrameOf(int(state.range(0)));
  int level = 0;
  for (auto _ : state) {
    uint32_t histogram[256] = {};
    level = belnor::MeasureBrightLevel(f.finger.corrected.data(), f.width(), f.height(), histogram);
    benchmark::DoNotOptimize(histogram);
  }
  state.counters["level"] = level;
  state.SetLabel(SizeLabel(f));
}
BENCHMARK(BM_MeasureBrightLevel)
    ->Name("Stage/MeasureBrightLevel")
    ->Arg(5)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

// Only used when brightness is not automatic: the clearing's level then.
void BM_EstimateBackgroundLevel(benchmark::State &state) {
  const TypeFrame &f = FrameOf(int(state.range(0)));
  for (auto _ : state)
    benchmark::DoNotOptimize(
        belnor::EstimateBackgroundLevel(f.finger.corrected.data(), f.width(), f.height()));
  state.SetLabel(SizeLabel(f));
}
BENCHMARK(BM_EstimateBackgroundLevel)
    ->Name("Stage/EstimateBackgroundLevel")
    ->Arg(5)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

// Clearing works in place: each iteration starts from a fresh copy of the
// finger image (the copy is outside the timing).
void BM_ClearBackground(benchmark::State &state) {
  const TypeFrame &f = FrameOf(int(state.range(0)));
  const std::vector<uint8_t> &k = f.finger.corrected;
  const uint8_t level =
      uint8_t(belnor::MeasureBrightLevel(k.data(), f.width(), f.height(), nullptr));
  belnor::ClearContext ctx;
  std::vector<uint8_t> image(k.size());
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(image.data(), k.data(), k.size());
    state.ResumeTiming();
    belnor::ClearBackground(ctx, image.data(), f.width(), f.height(), level);
    benchmark::DoNotOptimize(image.data());
    benchmark::ClobberMemory();
  }
  // Share of pixels the clearing changed: shows it did its full work.
  size_t changed = 0;
  for (size_t i = 0; i < k.size(); ++i) changed += image[i] != k[i];
  state.counters["level"] = level;
  state.counters["changed"] = double(changed) / double(k.size());
  state.SetLabel(SizeLabel(f));
}
BENCHMARK(BM_ClearBackground)
    ->Name("Stage/ClearBackground")
    ->Arg(5)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

void BM_CopyWindowInside(benchmark::State &state) {
  const TypeFrame &f = FrameOf(int(state.range(0)));
  std::vector<uint8_t> out(f.finger.corrected.size());
  for (auto _ : state) {
    belnor::CopyWindowInside(out.data(), f.width(), f.height(), f.finger.corrected.data(),
                             f.width(), f.height(), 0, 0);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetLabel(SizeLabel(f));
}
BENCHMARK(BM_CopyWindowInside)
    ->Name("Stage/CopyWindowInside")
    ->Arg(5)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

// Type 1's finger tracking: finding the 400x400 window around the finger.
void BM_TrackFinger(benchmark::State &state) {
  const TypeFrame &f = FrameOf(1);
  belnor::AnalysisContext ctx;
  belnor::WindowTracker tracker;
  int x = 0, y = 0, result = 0;
  for (auto _ : state) {
    result = tracker.Place(ctx, f.finger.corrected.data(), f.width(), f.height(), 400, 400,
                           (f.height() - 400) / 2, &x, &y);
    benchmark::DoNotOptimize(x);
  }
  state.counters["result"] = result;
  state.SetLabel(SizeLabel(f) + " window 400x400");
}
BENCHMARK(BM_TrackFinger)->Name("Stage/TrackFinger")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
