// Extraction time for synthetic prints of 256 x 360, 400 x 400 and 640 x 640,
// and match time for genuine and impostor template pairs.
#include <benchmark/benchmark.h>

#include <vector>

#include "extract_driver.h"
#include "ftemplate.h"
#include "matcher.h"
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

// Two impressions of one synthetic finger (shifted core and minutiae) and a
// print of another finger.
void BM_MatchFTemplates(benchmark::State &state) {
  const bool genuine = state.range(0) != 0;
  testprint::PrintSpec a = testprint::DefaultPrint(2);
  testprint::PrintSpec b = genuine ? a : testprint::DefaultPrint(9);
  if (genuine) {
    b.seed = 77;
    b.coreX += 6;
    for (auto &sp : b.spirals) sp.x += 6;
  }
  uint8_t ta[minutiae::kFTemplateMax], tb[minutiae::kFTemplateMax];
  minutiae::extractFTemplate(testprint::Render(a).data(), 400, 400, ta);
  minutiae::extractFTemplate(testprint::Render(b).data(), 400, 400, tb);
  float score = 0;
  for (auto _ : state) {
    minutiae::matchFTemplates(ta, tb, &score);
    benchmark::DoNotOptimize(score);
  }
  state.counters["score"] = score;
}
BENCHMARK(BM_MatchFTemplates)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
