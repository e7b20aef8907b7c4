// End to end: synthetic prints, the real sample prints and the export's checks.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "bmp_format.h"
#include "crc8.h"
#include "device_state.h"
#include "extract_driver.h"
#include "ftemplate.h"
#include "matcher.h"
#include "livescan.h"
#include "sample_prints.h"
#include "synthetic_print.h"

using namespace minutiae;

namespace {

using sample::LoadPadded;
using sample::SampleDir;

void ExpectValidTemplate(const uint8_t *t, int quality) {
  EXPECT_EQ(t[0], 0x46);
  EXPECT_EQ(t[1], 0x10);
  EXPECT_EQ(t[2], 0x63);
  EXPECT_EQ(t[3], quality);
  const int n = t[4];
  EXPECT_GE(n, 7);
  EXPECT_LE(n, 120);
  EXPECT_EQ(t[5 + 5 * n], crc8(t, size_t(5 + 5 * n)));
  for (int i = 0; i < n; ++i) EXPECT_EQ(t[9 + 5 * i] & 0x7F, 0);
}

std::vector<uint8_t> MakeBmp(const std::vector<uint8_t> &pixels, int w, int h) {
  std::vector<uint8_t> bmp(size_t(1078) + pixels.size());
  EXPECT_EQ(LIVESCAN_RawToBmp(pixels.data(), w, h, bmp.data(), int(bmp.size())), 1);
  return bmp;
}

}  // namespace

TEST(ExtractSynthetic, CleanPrintGivesValidTemplateWithMinutiaeInside) {
  const testprint::PrintSpec spec = testprint::DefaultPrint(3);
  const std::vector<uint8_t> img = testprint::Render(spec);
  MinutiaeRecord rec{};
  int quality = -1;
  ASSERT_EQ(extractMinutiae(img.data(), 400, 400, &quality, &rec, true), 0);
  EXPECT_GT(quality, 0);
  EXPECT_LE(quality, 100);
  ASSERT_GE(rec.count, 7);
  ASSERT_LE(rec.count, 120);
  for (int i = 0; i < rec.count; ++i) {
    EXPECT_GE(rec.minutiae[i].x, 8);
    EXPECT_LE(rec.minutiae[i].x, 400 - 9);
    EXPECT_GE(rec.minutiae[i].y, 8);
    EXPECT_LE(rec.minutiae[i].y, 400 - 9);
  }
  // Most planted minutiae are found within 8 pixels.
  int found = 0;
  for (const testprint::Spiral &s : spec.spirals)
    for (int i = 0; i < rec.count; ++i)
      if (std::hypot(rec.minutiae[i].x - s.x, rec.minutiae[i].y - s.y) <= 8) {
        ++found;
        break;
      }
  EXPECT_GE(found, int(spec.spirals.size()) * 2 / 3) << "found " << found << " of " << spec.spirals.size()
                                                      << ", record holds " << rec.count;
  uint8_t tpl[kFTemplateMax + 8];
  std::memset(tpl, 0xEE, sizeof tpl);
  const int q = extractFTemplate(img.data(), 400, 400, tpl);
  ExpectValidTemplate(tpl, q);
  EXPECT_EQ(tpl[FTemplateSize(tpl[4])], 0xEE);  // nothing after the CRC
}

TEST(ExtractSynthetic, BlankAndUniformImagesWriteNothing) {
  uint8_t tpl[kFTemplateMax];
  for (uint8_t v : {uint8_t(255), uint8_t(200), uint8_t(10)}) {
    std::vector<uint8_t> img(256 * 360, v);
    std::memset(tpl, 0xAB, sizeof tpl);
    EXPECT_EQ(extractFTemplate(img.data(), 256, 360, tpl), 0);
    for (uint8_t b : tpl) ASSERT_EQ(b, 0xAB);
  }
}

TEST(ExtractSynthetic, SizeChecks) {
  std::vector<uint8_t> img(640 * 640, 128);
  uint8_t tpl[kFTemplateMax];
  EXPECT_EQ(extractFTemplate(nullptr, 256, 360, tpl), -1);
  EXPECT_EQ(extractFTemplate(img.data(), 256, 360, nullptr), -1);
  EXPECT_EQ(extractFTemplate(img.data(), 255, 360, tpl), -1);
  EXPECT_EQ(extractFTemplate(img.data(), 256, 641, tpl), -1);
  // Inside the entry's range but not a driver size.
  EXPECT_EQ(extractFTemplate(img.data(), 300, 360, tpl), 0);
  int q = 0;
  MinutiaeRecord rec{};
  EXPECT_EQ(extractMinutiae(img.data(), 300, 360, &q, &rec, true), 258);
}

TEST(FeatureExtractMem, ArgumentAndStateChecks) {
  const std::vector<uint8_t> img = testprint::Render(testprint::DefaultPrint(5));
  std::vector<uint8_t> bmp = MakeBmp(img, 400, 400);
  uint8_t tpl[kFTemplateMax];
  belnor::g_bInitialized = 0;
  EXPECT_EQ(LIVESCAN_FeatureExtractMem(nullptr, int(bmp.size()), tpl), -1);
  EXPECT_EQ(LIVESCAN_FeatureExtractMem(bmp.data(), int(bmp.size()), nullptr), -1);
  EXPECT_EQ(LIVESCAN_FeatureExtractMem(bmp.data(), 66613, tpl), -1);
  EXPECT_EQ(LIVESCAN_FeatureExtractMem(bmp.data(), 410679, tpl), -1);
  // The header claims more pixels than the buffer holds.
  EXPECT_EQ(LIVESCAN_FeatureExtractMem(bmp.data(), int(bmp.size()) - 1, tpl), -1);
  std::vector<uint8_t> bad = bmp;
  bad[0] = 'X';
  EXPECT_EQ(LIVESCAN_FeatureExtractMem(bad.data(), int(bad.size()), tpl), -1);
  bad = bmp;
  bad[28] = 24;
  EXPECT_EQ(LIVESCAN_FeatureExtractMem(bad.data(), int(bad.size()), tpl), -1);
  EXPECT_EQ(LIVESCAN_FeatureExtractMem(bmp.data(), int(bmp.size()), tpl), -5);
  belnor::g_bInitialized = 1;
  const int q = LIVESCAN_FeatureExtractMem(bmp.data(), int(bmp.size()), tpl);
  belnor::g_bInitialized = 0;
  EXPECT_GE(q, 1);
  // Same result as the entry on the top-down pixels.
  uint8_t direct[kFTemplateMax];
  EXPECT_EQ(extractFTemplate(img.data(), 400, 400, direct), q);
  EXPECT_EQ(0, std::memcmp(direct, tpl, FTemplateSize(tpl[4])));
}

struct SampleTemplates {
  int total = 0;  // prints read
  std::vector<std::vector<uint8_t>> templates;
  std::vector<int> finger;
};

// Three impressions of each of the ten fingers, extracted once for all tests.
const SampleTemplates &Samples() {
  static const SampleTemplates s = [] {
    SampleTemplates out;
    const std::filesystem::path dir = SampleDir();
    if (dir.empty()) return out;
    for (int f = 101; f <= 110; ++f)
      for (int imp : {1, 2, 3}) {
        const auto file = dir / (std::to_string(f) + "_" + std::to_string(imp) + ".bmp");
        if (!std::filesystem::exists(file)) continue;
        const std::vector<uint8_t> img = LoadPadded(file);
        if (img.empty()) continue;
        ++out.total;
        std::vector<uint8_t> t(kFTemplateMax, 0xEE);
        const int q = extractFTemplate(img.data(), 400, 400, t.data());
        EXPECT_GE(q, 0);
        EXPECT_LE(q, 100);
        if (q <= 0) continue;
        ExpectValidTemplate(t.data(), q);
        out.templates.push_back(t);
        out.finger.push_back(f);
      }
    return out;
  }();
  return s;
}

TEST(ExtractSamples, TemplatesOfRealPrintsAreValid) {
  const SampleTemplates &s = Samples();
  if (s.total == 0) GTEST_SKIP() << "sample prints not present";
  EXPECT_GE(int(s.templates.size()) * 10, s.total * 8) << s.templates.size() << " of " << s.total;
}

TEST(ExtractSamples, GenuinePairsOutscoreImpostors) {
  const SampleTemplates &s = Samples();
  if (s.templates.size() < 4) GTEST_SKIP() << "too few sample prints";
  const auto &tpl = s.templates;
  const auto &finger = s.finger;
  double genuine = 0, impostor = 0;
  int ng = 0, ni = 0;
  for (size_t a = 0; a < tpl.size(); ++a)
    for (size_t b = 0; b < tpl.size(); ++b) {
      if (a == b) continue;
      float sc = -1;
      ASSERT_EQ(matchFTemplates(tpl[a].data(), tpl[b].data(), &sc), 1);
      ASSERT_GE(sc, 0.0f);
      ASSERT_LE(sc, 1.0f);
      if (finger[a] == finger[b]) {
        genuine += sc;
        ++ng;
      } else {
        impostor += sc;
        ++ni;
      }
    }
  ASSERT_GT(ng, 0);
  ASSERT_GT(ni, 0);
  EXPECT_GT(genuine / ng, 0.5);
  EXPECT_LT(impostor / ni, 0.1);
  EXPECT_GT(genuine / ng, impostor / ni + 0.4);
}

TEST(ExtractSynthetic, EveryDriverSizeAndNoiseStaysInBounds) {
  std::mt19937 rng(17);
  for (int w : {256, 400, 640})
    for (int h : {360, 400, 640}) {
      testprint::PrintSpec s = testprint::DefaultPrint(w + h);
      s.width = w;
      s.height = h;
      s.maskA = 0.4 * w;
      s.maskB = 0.45 * h;
      s.coreX = w / 2.0;
      for (auto &sp : s.spirals) {
        sp.x = w / 2.0 + (sp.x - 200) * w / 500.0;
        sp.y = h / 2.0 + (sp.y - 200) * h / 500.0;
      }
      const std::vector<uint8_t> img = testprint::Render(s);
      uint8_t tpl[kFTemplateMax];
      const int q = extractFTemplate(img.data(), w, h, tpl);
      ASSERT_GE(q, 0) << w << "x" << h;
      ASSERT_LE(q, 100);
      if (q > 0) ExpectValidTemplate(tpl, q);
      EXPECT_GT(q, 0) << w << "x" << h;
      std::vector<uint8_t> noise(size_t(w) * h);
      for (uint8_t &b : noise) b = uint8_t(rng());
      const int qn = extractFTemplate(noise.data(), w, h, tpl);
      EXPECT_GE(qn, 0);
      EXPECT_LE(qn, 100);
    }
}
