// Extraction: the direction lookups, the quality estimate and its mapping,
// and the pipeline's gates and caps on synthetic and sample prints.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "alg_codes.h"
#include "atan_table.h"
#include "cminutiae_record.h"
#include "direction_field.h"
#include "direction_quality.h"
#include "extract_front.h"
#include "extract_pipeline.h"
#include "fplib.h"
#include "fplib_test_util.h"
#include "int_geometry.h"

using namespace fplib;
using fptest::FpLibTest;

namespace {

TEST(Directions, AxesAndRoundedTableValues) {
  EXPECT_EQ(direction256(0, 5), 0);
  EXPECT_EQ(direction256(5, 0), 64);
  EXPECT_EQ(direction256(0, -5), 128);
  EXPECT_EQ(direction256(-5, 0), 192);
  EXPECT_EQ(direction240(0, 5), 0);
  EXPECT_EQ(direction240(5, 0), 60);
  EXPECT_EQ(direction240(0, -5), 120);
  EXPECT_EQ(direction240(-5, 0), 180);
  // (dy, dx): rounded where the capture library truncates.
  const int cases[][4] = {{1, 2, 18, 19}, {2, 5, 15, 16}, {3, 4, 25, 26}, {1, 3, 12, 13}};
  for (const auto &c : cases) {
    EXPECT_EQ(direction240(c[0], c[1]), c[2]);
    EXPECT_EQ(direction256(c[0], c[1]), c[3]);
  }
  EXPECT_EQ(minutiae::directionFromVector(2, 1), 17);
  EXPECT_EQ(minutiae::angleFromVector(2, 1), 18);
  // Just below +x: the fourth quadrant, and a full turn folds to 0.
  EXPECT_EQ(direction256(-10, 100), 252);
  EXPECT_EQ(direction240(-10, 100), 236);
  EXPECT_EQ(direction256(-1, 100), 0);
  EXPECT_EQ(direction256(-1, 1000), 0);  // scaled to (0, 127)
  // Every direction lies in range for all small vectors.
  for (int dy = -40; dy <= 40; ++dy)
    for (int dx = -40; dx <= 40; ++dx) {
      const int a = direction256(dy, dx), b = direction240(dy, dx);
      ASSERT_TRUE(a >= 0 && a < 256 && b >= 0 && b < 240) << dy << "," << dx;
      if (dx || dy) {
        ASSERT_NEAR(a * 240.0 / 256.0, b, 1.5) << dy << "," << dx;
      }
    }
}

TEST(QualityMapping, ExtractionAndCallbackValues) {
  const int g[] = {12, 20, 30, 40, 50, 100, 150, 195, 196, 300, 1119, 1120};
  const int c[] = {3, 5, 7, 10, 12, 25, 25, 25, 25, 51, 255, 256};
  for (size_t i = 0; i < std::size(g); ++i) EXPECT_EQ(extractionQuality(g[i]), c[i]) << g[i];
  EXPECT_EQ(callbackQuality(25), 11);
  EXPECT_EQ(callbackQuality(51), 22);
  EXPECT_EQ(callbackQuality(-1), 0);
  EXPECT_EQ(callbackQuality(255), 100);
  EXPECT_EQ(qualityFromCallback(50), 117);
  EXPECT_EQ(qualityFromCallback(11), 26);
}

// A normalised-looking plane: stripes inside [x0, x1) x [y0, y1), flat grey elsewhere.
std::vector<uint8_t> Stripes(int x0, int x1, int y0, int y1) {
  std::vector<uint8_t> img(FP_IMAGE_SIZE, 128);
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      img[size_t(y) * FP_IMAGE_WIDTH + x] = uint8_t(128 + 100 * std::sin(2 * M_PI * (x + 0.5 * y) / 9.0));
  return img;
}

TEST(DirectionQuality, PlacementAndStrengthOfTheFinger) {
  std::vector<uint8_t> field(kCells);
  EXPECT_EQ(directionQuality(std::vector<uint8_t>(FP_IMAGE_SIZE, 128).data(), field.data()), 100);
  for (int v : field) ASSERT_TRUE(v & minutiae::kBackground);
  EXPECT_EQ(directionQuality(Stripes(80, 176, 100, 260).data(), field.data()), 12);  // too few cells
  EXPECT_EQ(directionQuality(Stripes(0, 150, 0, 360).data(), field.data()), 20);     // left
  EXPECT_EQ(directionQuality(Stripes(106, 256, 0, 360).data(), field.data()), 30);   // right
  EXPECT_EQ(directionQuality(Stripes(0, 256, 0, 200).data(), field.data()), 40);     // top
  EXPECT_EQ(directionQuality(Stripes(0, 256, 160, 360).data(), field.data()), 50);   // bottom
  const int full = directionQuality(Stripes(0, 256, 0, 360).data(), field.data());
  EXPECT_GE(full, 100);
  int foreground = 0;
  for (int v : field) foreground += !(v & minutiae::kBackground);
  EXPECT_GT(foreground, kCells / 2);
}

TEST(Pipeline, ProfileOfTheAlgorithmLibrary) {
  EXPECT_EQ(kFpExtract.candidateCap, 250);
  EXPECT_EQ(kFpExtract.selectCap, 100);
  EXPECT_TRUE(kFpExtract.crossLastRowFromLast);
  EXPECT_EQ(kFpExtract.dir240(2, 1), 18);  // the stages pass (dx, dy)
  EXPECT_EQ(kFpExtract.dir256(2, 1), 19);
}

TEST(Pipeline, FlatImageHasNoQualityAndNoFeatures) {
  std::vector<uint8_t> img(FP_IMAGE_SIZE, 128);
  uint8_t record[kRecordSize] = {};
  EXPECT_EQ(runMinutiaePipeline(img.data(), 40, record), minutiae::ALG_NO_FEATURE);
  EXPECT_EQ(record[0], 0);
}

TEST(FrontEnd, RefusesOtherSizesAndMissingPixels) {
  std::vector<uint8_t> img = fptest::SyntheticPrint();
  uint8_t record[kRecordSize] = {};
  RefPoints refs;
  const ImageDesc wrong{256, 400, img.data()}, none{256, 360, nullptr};
  EXPECT_EQ(featureExtract(&wrong, record, refs), minutiae::ALG_BAD_SIZE);
  EXPECT_EQ(featureExtract(&none, record, refs), minutiae::ALG_BAD_SIZE);
  EXPECT_EQ(featureExtract(nullptr, record, refs), minutiae::ALG_BAD_SIZE);
}

class SampleExtraction : public FpLibTest {};

TEST_F(SampleExtraction, RecordsStayWithinTheImageAndTheCaps) {
  if (fptest::SampleDir().empty()) GTEST_SKIP() << "no sample prints";
  int extracted = 0;
  for (int f = 101; f <= 110; ++f) {
    std::vector<uint8_t> img = fptest::LoadSample(f, 1);
    ASSERT_EQ(img.size(), size_t(FP_IMAGE_SIZE));
    const ImageDesc desc{FP_IMAGE_WIDTH, FP_IMAGE_HEIGHT, img.data()};
    uint8_t record[kRecordSize] = {};
    RefPoints refs;
    const int r = featureExtract(&desc, record, refs);
    if (r != 0) {
      EXPECT_EQ(r, minutiae::ALG_NO_FEATURE);
      continue;
    }
    ++extracted;
    const int n = record[kRecordCount];
    EXPECT_EQ(record[0], kRecordType);
    EXPECT_GE(n, 7);
    EXPECT_LE(n, kMaxMinutiae);
    for (int i = 0; i < kMaxMinutiae; ++i) {
      const CMinutia m = ReadCMinutia(record, i);
      if (i >= n) {
        EXPECT_EQ(m.x | m.y | m.degrees, 0);
        continue;
      }
      EXPECT_LT(m.y, FP_IMAGE_HEIGHT);
      EXPECT_LT(m.degrees, 360);
      EXPECT_GT(m.x, 7);  // selection keeps clear of the border
      EXPECT_LT(m.y, 352);
    }
    for (size_t i = 403; i < kRecordSize; ++i) EXPECT_EQ(record[i], 0);
    // The same image gives the same record.
    uint8_t again[kRecordSize] = {};
    RefPoints refs2;
    ASSERT_EQ(featureExtract(&desc, again, refs2), 0);
    EXPECT_EQ(0, std::memcmp(record, again, kRecordSize));
  }
  EXPECT_GE(extracted, 8);
}

}  // namespace
