// LIVESCAN_GetFPRawData over the virtual scanner with the pass-through
// pipeline: frames per second and CPU per delivered frame, per sensor size
// and stream format, at a camera rate the library keeps up with (60) and at
// one it cannot (1000: the delivered rate is then the library's ceiling).
// "lib_cpu_ms" is the process's CPU time minus the time the virtual scanner
// spent producing frames, per delivered frame.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "livescan.h"
#include "vscanner_control.h"
#include "vscanner_main.h"

namespace {

using belnor_bench::ProcessCpuSeconds;

struct Model {
  const char* id;
  int windowWidth, windowHeight;
};

const Model kModels[] = {{"8899:1001", 640, 640}, {"8899:1002", 256, 360}, {"8899:1003", 1600, 1500}};
const char* const kFormats[] = {"yuyv", "mjpeg"};

void BM_GetFPRawData(benchmark::State& state) {
  const Model& model = kModels[state.range(0)];
  const char* format = kFormats[state.range(1)];
  auto reset = VSCANNER_LOOKUP(vscanner_reset);
  auto streamCpu = VSCANNER_LOOKUP(vscanner_stream_cpu_ns);
  auto framesSent = VSCANNER_LOOKUP(vscanner_frames_sent);
  const int fps = static_cast<int>(state.range(2));
  const std::string devices =
      std::string(model.id) + "/format=" + format + "/fps=" + std::to_string(fps);
  if (reset(devices.c_str()) != 1 || LIVESCAN_Init() != 1) {
    state.SkipWithError("init failed");
    return;
  }
  std::vector<unsigned char> frame(static_cast<size_t>(model.windowWidth) * model.windowHeight);
  for (int i = 0; i < 3; ++i) LIVESCAN_GetFPRawData(0, frame.data());

  int64_t frames = 0;
  const double cpu0 = ProcessCpuSeconds();
  const int64_t sim0 = streamCpu(0);
  const int64_t sent0 = framesSent(0);
  timespec w0{};
  clock_gettime(CLOCK_MONOTONIC, &w0);
  for (auto _ : state) {
    if (LIVESCAN_GetFPRawData(0, frame.data()) != 1) {
      state.SkipWithError("fetch failed");
      break;
    }
    ++frames;
  }
  timespec w1{};
  clock_gettime(CLOCK_MONOTONIC, &w1);
  const double wall = static_cast<double>(w1.tv_sec - w0.tv_sec) +
                      static_cast<double>(w1.tv_nsec - w0.tv_nsec) * 1e-9;
  const double simCpu = static_cast<double>(streamCpu(0) - sim0) * 1e-9;
  const double libCpu = ProcessCpuSeconds() - cpu0 - simCpu;
  const double sent = static_cast<double>(framesSent(0) - sent0);
  LIVESCAN_Close();
  if (frames > 0) {
    state.counters["fps"] = static_cast<double>(frames) / wall;
    state.counters["lib_cpu_ms"] = 1000.0 * libCpu / static_cast<double>(frames);
    state.counters["sim_cpu_ms"] = 1000.0 * simCpu / static_cast<double>(frames);
    // Frames the camera sent but the worker skipped still cost a conversion.
    if (sent > 0) state.counters["lib_cpu_ms_per_sent"] = 1000.0 * libCpu / sent;
  }
  state.SetLabel(std::string(model.id) + " " + format);
}
BENCHMARK(BM_GetFPRawData)
    ->ArgsProduct({{0, 1, 2}, {0, 1}, {60, 1000}})
    ->Iterations(120)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  return belnor_bench::RunOnVirtualScanner(argc, argv, BELNOR_VSCANNER_DIR);
}
