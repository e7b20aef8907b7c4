// Extraction time for synthetic prints of 256 x 360, 400 x 400 and 640 x 640.
#include <benchmark/benchmark.h>

#include <vector>

#include "extract_driver.h"
#include "ftemplate.h"
#include "synthetic_print.h"

namespace {

std::vector<uint8_t> Print(int w, int h) {
  testprint::PrintSpec s = testprint::DefaultPrint(2);
  const double dx = (w - 400) / 2.0, dy = (h - 400) / 2.0;
  s.width = w;
  s.height = h;
  s.coreX += dx;
  s.coreY += dy;
  s.maskA = 0.38 * w;
  s.maskB = 0.45 * h;
  for (auto &sp : s.spirals) {
    sp.x = w / 2.0 + (sp.x - 200) * w / 400.0;
    sp.y = h / 2.0 + (sp.y - 200) * h / 400.0;
  }
  return testprint::Render(s);
}

void BM_ExtractFTemplate(benchmark::State &state) {
  const int w = int(state.range(0)), h = int(state.range(1));
  const std::vector<uint8_t> img = Print(w, h);
  uint8_t tpl[minutiae::kFTemplateMax];
  for (auto _ : state) benchmark::DoNotOptimize(minutiae::extractFTemplate(img.data(), w, h, tpl));
}
BENCHMARK(BM_ExtractFTemplate)->Args({256, 360})->Args({400, 400})->Args({640, 640})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
