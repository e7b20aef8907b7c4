// Encode and decode times of the WSQ codec on synthetic prints, one core.
#include <benchmark/benchmark.h>

#include "synthetic_print.h"
#include "wsq_codec.h"

namespace {

void Encode(benchmark::State &state) {
  const int w = int(state.range(0)), h = int(state.range(1));
  const float rate = float(state.range(2)) / 100.0f;
  const std::vector<uint8_t> px = wsqtest::SyntheticPrint(w, h);
  std::vector<uint8_t> stream;
  for (auto _ : state) {
    if (wsq::wsq_encode_1(&stream, px.data(), w, h, 8, rate, 500, "Morvek")) state.SkipWithError("encode failed");
    benchmark::DoNotOptimize(stream.data());
  }
  state.counters["bpp"] = 8.0 * double(stream.size()) / (double(w) * h);
}

void Decode(benchmark::State &state) {
  const int w = int(state.range(0)), h = int(state.range(1));
  const float rate = float(state.range(2)) / 100.0f;
  const std::vector<uint8_t> px = wsqtest::SyntheticPrint(w, h);
  std::vector<uint8_t> stream, out;
  if (wsq::wsq_encode_1(&stream, px.data(), w, h, 8, rate, 500, "Morvek")) {
    state.SkipWithError("encode failed");
    return;
  }
  for (auto _ : state) {
    int W, H, d, p, l;
    if (wsq::wsq_decode_mem(&out, &W, &H, &d, &p, &l, stream.data(), stream.size()))
      state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.data());
  }
}

void Sizes(benchmark::internal::Benchmark *b) {
  for (auto [w, h] : {std::pair{256, 360}, {400, 400}, {640, 640}, {1600, 1500}})
    for (int rate : {75, 225}) b->Args({w, h, rate});
  b->ArgNames({"w", "h", "rate%"})->Unit(benchmark::kMillisecond);
}

BENCHMARK(Encode)->Apply(Sizes);
BENCHMARK(Decode)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
