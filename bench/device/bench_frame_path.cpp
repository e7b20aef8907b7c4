// What the library adds per frame on one core: conversion on the callback
// thread, hand-over to the worker, invert/flip, the window cut and the copy
// into the caller's buffer (no USB, no pipeline work beyond the cut).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "frame_convert.h"
#include "frame_handoff.h"
#include "frame_request_slots.h"
#include "jpeg_helpers.h"

using namespace belnor;

namespace {

struct Size {
  int sensorWidth, sensorHeight, windowWidth, windowHeight;
};

const Size kSizes[] = {{1424, 984, 640, 640}, {1280, 720, 256, 360}, {2592, 1944, 1600, 1500}};

void CutWindow(const uint8_t* frame, const Size& s, uint8_t* out) {
  const int x = (s.sensorWidth - s.windowWidth) / 2;
  const int y = (s.sensorHeight - s.windowHeight) / 2;
  for (int row = 0; row < s.windowHeight; ++row)
    std::memcpy(out + static_cast<size_t>(row) * s.windowWidth,
                frame + static_cast<size_t>(y + row) * s.sensorWidth + x, s.windowWidth);
}

std::vector<uint8_t> Yuyv(const Size& s) {
  std::vector<uint8_t> yuyv(static_cast<size_t>(s.sensorWidth) * s.sensorHeight * 2);
  for (size_t i = 0; i < yuyv.size(); ++i) yuyv[i] = static_cast<uint8_t>(i * 13 >> 4);
  return yuyv;
}

void BM_YuyvFramePath(benchmark::State& state) {
  const Size& s = kSizes[state.range(0)];
  const std::vector<uint8_t> yuyv = Yuyv(s);
  const size_t pixels = static_cast<size_t>(s.sensorWidth) * s.sensorHeight;
  FrameHandoff handoff;
  handoff.Reset(pixels);
  std::vector<uint8_t> work(pixels);
  std::vector<uint8_t> processed(static_cast<size_t>(s.windowWidth) * s.windowHeight);
  std::vector<uint8_t> caller(processed.size());
  for (auto _ : state) {
    YuyvToGrey(yuyv.data(), yuyv.size(), s.sensorWidth, s.sensorHeight, handoff.ProducerBuffer());
    handoff.Publish();
    handoff.Take(work, std::chrono::milliseconds(0));
    InvertAndFlip(work.data(), s.sensorWidth, s.sensorHeight, true, true);
    CutWindow(work.data(), s, processed.data());
    std::memcpy(caller.data(), processed.data(), processed.size());
    benchmark::DoNotOptimize(caller.data());
  }
  state.SetLabel(std::to_string(s.sensorWidth) + "x" + std::to_string(s.sensorHeight));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_YuyvFramePath)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_YuyvToGrey(benchmark::State& state) {
  const Size& s = kSizes[state.range(0)];
  const std::vector<uint8_t> yuyv = Yuyv(s);
  std::vector<uint8_t> grey(static_cast<size_t>(s.sensorWidth) * s.sensorHeight);
  for (auto _ : state) {
    YuyvToGrey(yuyv.data(), yuyv.size(), s.sensorWidth, s.sensorHeight, grey.data());
    benchmark::DoNotOptimize(grey.data());
  }
  state.SetLabel(std::to_string(s.sensorWidth) + "x" + std::to_string(s.sensorHeight));
}
BENCHMARK(BM_YuyvToGrey)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_InvertAndFlip(benchmark::State& state) {
  const Size& s = kSizes[state.range(0)];
  std::vector<uint8_t> image(static_cast<size_t>(s.sensorWidth) * s.sensorHeight, 7);
  for (auto _ : state) {
    InvertAndFlip(image.data(), s.sensorWidth, s.sensorHeight, true, true);
    benchmark::DoNotOptimize(image.data());
  }
  state.SetLabel(std::to_string(s.sensorWidth) + "x" + std::to_string(s.sensorHeight));
}
BENCHMARK(BM_InvertAndFlip)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// MJPEG decode (greyscale JPEG, as the scanners send it), rows bottom-up.
void BM_MjpegToGrey(benchmark::State& state) {
  const Size& s = kSizes[state.range(0)];
  const std::vector<uint8_t> jpeg = belnor_test::EncodeJpeg(
      belnor_test::Gradient(s.sensorWidth, s.sensorHeight), s.sensorWidth, s.sensorHeight, false, 90);
  std::vector<uint8_t> grey(static_cast<size_t>(s.sensorWidth) * s.sensorHeight);
  for (auto _ : state) {
    if (!MjpegToGrey(jpeg.data(), jpeg.size(), s.sensorWidth, s.sensorHeight, grey.data(), true))
      state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(grey.data());
  }
  state.SetLabel(std::to_string(s.sensorWidth) + "x" + std::to_string(s.sensorHeight));
}
BENCHMARK(BM_MjpegToGrey)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
