// RemapBilinear at the two largest corrected images of the pipeline, through
// the built-in maps of their types, against the plain per-pixel reference;
// and the map building at init.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "calibration_loader.h"
#include "remap.h"
#include "remap_reference.h"

namespace {

struct Setup {
  int sensorW, sensorH;
  belnor::LoadedCalibration cal;
  std::vector<uint8_t> frame, out;
  explicit Setup(int type) {
    sensorW = type == 5 ? 2592 : 1424;
    sensorH = type == 5 ? 1944 : 984;
    belnor::LoadCalibration(type, sensorW, sensorH,
                            [](uint32_t, uint8_t *, size_t) { return false; }, &cal);
    std::mt19937 rng(1);
    frame.resize(size_t(sensorW) * sensorH);
    for (auto &b : frame) b = uint8_t(rng());
    out.resize(size_t(cal.maps.width) * cal.maps.height);
  }
};

template <bool kOptimised>
void BM_Remap(benchmark::State &state) {
  static Setup type5(5), type1(1);
  Setup &s = state.range(0) == 5 ? type5 : type1;
  const int w = s.cal.maps.width, h = s.cal.maps.height;
  for (auto _ : state) {
    if (kOptimised)
      belnor::RemapBilinear(s.out.data(), w, h, s.frame.data(), s.sensorW, s.cal.maps.x.get(),
                            s.cal.maps.y.get());
    else
      RemapBilinearReference(s.out.data(), w, h, s.frame.data(), s.sensorW, s.cal.maps.x.get(),
                             s.cal.maps.y.get());
    benchmark::DoNotOptimize(s.out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * w * h);
  state.SetLabel(std::to_string(s.sensorW) + "x" + std::to_string(s.sensorH) + "->" +
                 std::to_string(w) + "x" + std::to_string(h));
}

BENCHMARK_TEMPLATE(BM_Remap, true)->Name("RemapBilinear")->Arg(5)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Remap, false)->Name("RemapReference")->Arg(5)->Arg(1)->Unit(benchmark::kMillisecond);

// Building the type-5 maps, the largest calibration work at init.
void BM_BuildMaps(benchmark::State &state) {
  const int type = int(state.range(0));
  const int sw = type == 5 ? 2592 : 1424, sh = type == 5 ? 1944 : 984;
  for (auto _ : state) {
    belnor::LoadedCalibration cal;
    belnor::LoadCalibration(type, sw, sh, [](uint32_t, uint8_t *, size_t) { return false; }, &cal);
    benchmark::DoNotOptimize(cal.maps.x.get());
  }
}
BENCHMARK(BM_BuildMaps)->Name("BuildRemapMaps")->Arg(5)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
