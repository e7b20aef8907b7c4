// End-to-end latency through the virtual scanner: from the moment the
// scanner's frame thread has the frame's picture (its scene callback returns)
// to the return of the LIVESCAN_GetFPRawData call that delivers it, with the
// pipeline's defaults (blank flash: no automatic brightness, clearing or
// tracking). The picture is a held finger through the type's built-in optics
// with the frame number painted into a corner as 4 x 4 black/white cells, so
// each fetched window tells which frame it came from. The worker's share is
// the wall time of its processing callback, timed around the library's own.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "capture_device.h"
#include "device_state.h"
#include "finger_frame.h"
#include "frame_pipeline.h"
#include "livescan.h"
#include "vscanner_control.h"
#include "vscanner_main.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

constexpr int kBits = 16, kCell = 24, kInset = 6;

// The camera's picture with the frame number stamped in; runs on the
// scanner's frame thread.
class StampedSource {
 public:
  StampedSource(int type, int windowX, int windowY) : finger_(type) {
    const auto &o = finger_.optics;
    const int sw = o.sensorWidth(), sh = o.sensorHeight(), cw = o.correctedWidth();
    const int32_t *mx = o.calibration().maps.x.get(), *my = o.calibration().maps.y.get();
    inverted_ = type == 2 || type == 5;
    originX_ = windowX + 32;
    originY_ = windowY + 32;
    // Per bit, the camera pixels that the corrected cell is sampled from.
    for (int b = 0; b < kBits; ++b) {
      std::vector<size_t> &px = pixels_[b];
      const int cx = originX_ + (b % 4) * kCell, cy = originY_ + (b / 4) * kCell;
      for (int y = cy; y < cy + kCell; ++y)
        for (int x = cx; x < cx + kCell; ++x) {
          const size_t k = size_t(y) * cw + size_t(x);
          const int sx = mx[k] >> 8, sy = my[k] >> 8;
          for (int dy = 0; dy < 2; ++dy)
            for (int dx = 0; dx < 2; ++dx) {
              const int row = type == 5 ? sh - 1 - (sy + dy) : sy + dy;
              px.push_back(size_t(row) * sw + size_t(sx + dx));
            }
        }
      std::sort(px.begin(), px.end());
      px.erase(std::unique(px.begin(), px.end()), px.end());
    }
    for (int i = 0; i < (1 << 16); ++i) emitted_[i] = started_[i] = ended_[i] = 0;
  }

  static int Render(void *self, uint64_t frame, int width, int height, uint8_t *light) {
    auto *s = static_cast<StampedSource *>(self);
    const std::vector<uint8_t> &base = s->finger_.camera;
    if (size_t(width) * size_t(height) != base.size()) return 0;
    std::copy(base.begin(), base.end(), light);
    const unsigned n = unsigned(frame) & 0xFFFF;
    for (int b = 0; b < kBits; ++b) {
      // A set bit is a black cell in the delivered image.
      const uint8_t v = ((n >> b) & 1) != s->inverted_ ? 0 : 255;
      for (size_t i : s->pixels_[b]) light[i] = v;
    }
    s->emitted_[n].store(NowNs(), std::memory_order_release);
    return 1;
  }

  // The frame number stamped in a delivered window (its origin at the
  // window's), or -1 when a cell is not clearly black or white.
  int Read(const uint8_t *window, int windowWidth, int windowX, int windowY) const {
    int n = 0;
    for (int b = 0; b < kBits; ++b) {
      const int cx = originX_ - windowX + (b % 4) * kCell,
                cy = originY_ - windowY + (b / 4) * kCell;
      int sum = 0, count = 0;
      for (int y = cy + kInset; y < cy + kCell - kInset; ++y)
        for (int x = cx + kInset; x < cx + kCell - kInset; ++x, ++count)
          sum += window[size_t(y) * windowWidth + size_t(x)];
      const int mean = sum / count;
      if (mean > 80 && mean < 176) return -1;
      if (mean <= 80) n |= 1 << b;
    }
    return n;
  }

  int64_t EmittedNs(int n) const { return emitted_[n].load(std::memory_order_acquire); }

  // When the worker's processing of frame n began and ended.
  void Processed(int n, int64_t started, int64_t ended) {
    started_[n].store(started, std::memory_order_relaxed);
    ended_[n].store(ended, std::memory_order_relaxed);
  }
  int64_t StartedNs(int n) const { return started_[n].load(std::memory_order_relaxed); }
  int64_t EndedNs(int n) const { return ended_[n].load(std::memory_order_relaxed); }

 private:
  belnor_bench::FingerFrame finger_;
  bool inverted_ = false;
  int originX_ = 0, originY_ = 0;
  std::vector<size_t> pixels_[kBits];
  std::atomic<int64_t> emitted_[1 << 16], started_[1 << 16], ended_[1 << 16];
};

// The worker's processing, timed: the library's callback inside a wrapper
// that reads the frame number from the window it produced.
struct Timed {
  StampedSource *source;
  int x, y, width;
};
std::atomic<Timed *> g_timed{nullptr};

int TimedProcess(const uint8_t *frame, int w, int h, uint8_t *out, int *ow, int *oh) {
  const int64_t t0 = NowNs();
  const int r = belnor::ProcessFrameCallback(frame, w, h, out, ow, oh);
  const int64_t t1 = NowNs();
  const Timed *t = g_timed.load();
  if (t && *ow == t->width) {
    const int n = t->source->Read(out, t->width, t->x, t->y);
    if (n >= 0) t->source->Processed(n, t0, t1);
  }
  return r;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
  return v[i];
}

struct Model {
  const char *id;
  int type, fps;
};
const Model kModels[] = {{"8899:1001", 1, 30}, {"8899:1003", 5, 15}};

void BM_FetchLatency(benchmark::State &state) {
  const Model &m = kModels[state.range(0)];
  auto reset = VSCANNER_LOOKUP(vscanner_reset);
  auto setScene = VSCANNER_LOOKUP(vscanner_set_scene);
  auto streamCpu = VSCANNER_LOOKUP(vscanner_stream_cpu_ns);
  auto framesSent = VSCANNER_LOOKUP(vscanner_frames_sent);
  const std::string devices = std::string(m.id) + "/format=yuyv/fps=" + std::to_string(m.fps);
  if (reset(devices.c_str()) != 1 || LIVESCAN_Init() != 1) {
    state.SkipWithError("init failed");
    return;
  }
  int wx = 0, wy = 0, ww = 0, wh = 0;
  LIVESCAN_GetCaptWindow(0, &wx, &wy, &ww, &wh);
  auto source = std::make_unique<StampedSource>(m.type, wx, wy);
  setScene(0, StampedSource::Render, source.get());
  Timed timed{source.get(), wx, wy, ww};
  g_timed = &timed;
  std::vector<unsigned char> window(size_t(ww) * size_t(wh));
  // Frames already under way still show the old picture.
  for (int i = 0; i < 5; ++i) LIVESCAN_GetFPRawData(0, window.data());
  {
    belnor::DeviceAccess device;
    if (device) device->SetProcessCallback(TimedProcess);
  }

  // Whole latency, and its parts: to the worker's callback (the scanner's
  // rendering, USB, conversion, hand-over, inversion), the pipeline, and the
  // delivery to the waiting fetch.
  std::vector<double> latencyMs, toWorkerMs, workMs, deliverMs;
  int unread = 0, repeated = 0, last = -1;
  const int64_t sim0 = streamCpu(0), sent0 = framesSent(0);
  for (auto _ : state) {
    if (LIVESCAN_GetFPRawData(0, window.data()) != 1) {
      state.SkipWithError("fetch failed");
      break;
    }
    const int64_t now = NowNs();
    const int n = source->Read(window.data(), ww, wx, wy);
    const int64_t emitted = n < 0 ? 0 : source->EmittedNs(n);
    if (n < 0 || emitted == 0) {
      ++unread;
      continue;
    }
    if (n == last) ++repeated;
    last = n;
    latencyMs.push_back(double(now - emitted) * 1e-6);
    const int64_t started = source->StartedNs(n), ended = source->EndedNs(n);
    if (started >= emitted && ended >= started) {
      toWorkerMs.push_back(double(started - emitted) * 1e-6);
      workMs.push_back(double(ended - started) * 1e-6);
      deliverMs.push_back(double(now - ended) * 1e-6);
    }
  }
  const int64_t simNs = streamCpu(0) - sim0, sent = framesSent(0) - sent0;
  {
    belnor::DeviceAccess device;
    if (device) device->SetProcessCallback(belnor::ProcessFrameCallback);
  }
  LIVESCAN_Close();
  setScene(0, nullptr, nullptr);
  g_timed = nullptr;
  state.counters["p50_ms"] = Percentile(latencyMs, 0.5);
  state.counters["p99_ms"] = Percentile(latencyMs, 0.99);
  state.counters["max_ms"] = Percentile(latencyMs, 1.0);
  state.counters["to_worker_p50_ms"] = Percentile(toWorkerMs, 0.5);
  state.counters["pipeline_p50_ms"] = Percentile(workMs, 0.5);
  state.counters["pipeline_p99_ms"] = Percentile(workMs, 0.99);
  state.counters["deliver_p50_ms"] = Percentile(deliverMs, 0.5);
  if (sent > 0) state.counters["sim_cpu_ms"] = double(simNs) * 1e-6 / double(sent);
  state.counters["unread"] = unread;
  state.counters["repeated"] = repeated;
  state.SetLabel(std::string(m.id) + " type " + std::to_string(m.type) + " yuyv " +
                 std::to_string(m.fps) + " fps " + std::to_string(ww) + "x" + std::to_string(wh));
}
// About 10 and 13 seconds of frames.
BENCHMARK(BM_FetchLatency)
    ->Name("PipelineFetchLatency")
    ->Arg(0)
    ->Iterations(300)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_FetchLatency)
    ->Name("PipelineFetchLatency")
    ->Arg(1)
    ->Iterations(200)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char **argv) {
  return belnor_bench::RunOnVirtualScanner(argc, argv, BELNOR_VSCANNER_DIR);
}
