// Image quality, finger quality and the grey stretch.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "grey_bmp.h"
#include "mosaic.h"
#include "quality.h"
#include "rolling_frames.h"

namespace {

using namespace quisal;
using mosaic_test::Image;

class MosaicQuality : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(MOSAIC_Init(), 1); }
  void TearDown() override { MOSAIC_Close(); }
};

int ImageQuality(Image image, int W, int H) { return MOSAIC_ImageQuality(image.data(), W, H); }
int FingerQuality(Image image, int W, int H) { return MOSAIC_FingerQuality(image.data(), W, H); }

TEST_F(MosaicQuality, ImageQualityOfPlainImages) {
  // White: only the brightness term, 10.
  EXPECT_EQ(ImageQuality(mosaic_test::WhiteImage(640, 640), 640, 640), 10);
  // Below 200 pixels the threshold is 0: no dark pixel, and the dark level
  // counts as 0, which scores the full 30.
  EXPECT_EQ(mosaic_grey_threshold(mosaic_test::WhiteImage(199, 640).data(), 199, 640), 0);
  EXPECT_EQ(mosaic_grey_threshold(mosaic_test::WhiteImage(640, 199).data(), 640, 199), 0);
  EXPECT_EQ(ImageQuality(mosaic_test::WhiteImage(64, 64), 64, 64), 40);
  EXPECT_EQ(ImageQuality(Image(640 * 640, 0), 640, 640), 30);
  // Left half at level G, right half white: the probes on the right and in
  // the middle set the threshold to 255, so the left half is dark with mean
  // G. Terms: dark level (220 - G) * 30 / 170, brightness 10, range
  // (255 - G) / 6, dark share 30. The dark level is exactly 3 at G = 203 and
  // just short of 11 at G = 158, so any other divisor moves one of them.
  for (auto [G, want] : {std::pair{203, 3 + 10 + 8 + 30}, {158, 10 + 10 + 16 + 30}}) {
    Image image = mosaic_test::WhiteImage(640, 640);
    for (int y = 0; y < 640; ++y) std::fill_n(image.begin() + y * 640, 320, G);
    EXPECT_EQ(mosaic_grey_threshold(image.data(), 640, 640), 255);
    EXPECT_EQ(ImageQuality(image, 640, 640), want) << G;
  }
}

TEST_F(MosaicQuality, RegionThreshold) {
  Image image(64 * 64, 50);
  for (int i = 0; i < 64 * 32; ++i) image[i] = 150;  // top half bright
  // Mean 100; pixels >= 100 average 150; highest level with 10 pixels 150.
  EXPECT_EQ(mosaic_region_threshold(image.data(), 64, 0, 0, 64, 64), 150);
  // Fewer than 10 pixels on every level above 0: half the upper mean.
  Image dark(8 * 8, 0);
  dark[0] = 200;
  EXPECT_EQ(mosaic_region_threshold(dark.data(), 8, 0, 0, 8, 8), 100);
}

TEST_F(MosaicQuality, PrintsScoreWithinRange) {
  const Image print = mosaic_test::MakePrint(640, 640);
  const int image = ImageQuality(print, 640, 640);
  EXPECT_GT(image, 10);
  EXPECT_LE(image, 100);
  const int finger = FingerQuality(print, 640, 640);
  EXPECT_GT(finger, 0);
  EXPECT_LE(finger, 100);
  EXPECT_EQ(FingerQuality(mosaic_test::WhiteImage(640, 640), 640, 640), 0);
  EXPECT_EQ(mosaic_score_finger(nullptr, 640, 640), -1);
}

TEST_F(MosaicQuality, BrightnessOfAPrintOnWhiteStopsAt15) {
  // The light pixels of the finger box average above 250, where the
  // brightness term (15 A - 2400) / 80 would pass its cap of 15.
  EXPECT_EQ(FingerQuality(mosaic_test::MakePrint(640, 640), 640, 640), 90);
  EXPECT_EQ(FingerQuality(mosaic_test::MakePrint(260, 360), 260, 360), 81);
}

TEST_F(MosaicQuality, OddSizesStayInsideTheImage) {
  // Widths off the block grid and blocks at the image's borders: the
  // direction test reads around each block.
  for (auto [W, H] : {std::pair{64, 64}, {100, 90}, {260, 360}, {440, 640}, {500, 648}, {640, 644}}) {
    const Image print = mosaic_test::MakePrint(W, H, true);
    const int finger = FingerQuality(print, W, H);
    EXPECT_GE(finger, 0) << W << "x" << H;
    EXPECT_LE(finger, 100) << W << "x" << H;
    const int image = ImageQuality(print, W, H);
    EXPECT_GE(image, 0) << W << "x" << H;
    EXPECT_LE(image, 100) << W << "x" << H;
    if (W >= 256 && H >= 360) {
      EXPECT_EQ(MOSAIC_IsFinger(const_cast<unsigned char *>(print.data()), W, H), 1);
    }
  }
}

TEST_F(MosaicQuality, RealPrints) {
  const std::string dir = QUISAL_TEST_DATA_DIR;
  if (dir.empty()) GTEST_SKIP() << "no sample prints";
  int read = 0;
  for (const char *name : {"101_1.bmp", "102_3.bmp", "105_2.bmp", "108_8.bmp"}) {
    belnor::sim::GreyImage bmp;
    if (!belnor::sim::ReadGreyBmp(dir + "/" + name, &bmp)) continue;
    Image image = bmp.pixels;
    const int W = bmp.width, H = bmp.height;
    ++read;
    const int finger = MOSAIC_FingerQuality(image.data(), W, H);
    const int quality = MOSAIC_ImageQuality(image.data(), W, H);
    EXPECT_GT(finger, 0) << name;
    EXPECT_LE(finger, 100) << name;
    EXPECT_GT(quality, 10) << name;
    EXPECT_LE(quality, 100) << name;
    EXPECT_EQ(MOSAIC_IsFinger(image.data(), W, H), 1) << name;
  }
  EXPECT_GT(read, 0);
}

TEST_F(MosaicQuality, EnhanceFillsEveryLevelOfARamp) {
  Image ramp(256 * 64);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<unsigned char>(i % 256);
  Image copy(ramp.size(), 0);
  EXPECT_EQ(MOSAIC_ImageEnhance(ramp.data(), 256, 64, copy.data()), 1);
  EXPECT_EQ(ramp[100], 100);  // the source stays as it was
  Image inPlace = ramp;
  EXPECT_EQ(MOSAIC_ImageEnhance(inPlace.data(), 256, 64, inPlace.data()), 1);
  EXPECT_EQ(inPlace, copy);

  std::vector<int> histogram(256, 0);
  for (unsigned char v : inPlace) ++histogram[v];
  for (int level = 0; level < 256; ++level) EXPECT_GT(histogram[level], 0) << level;
  for (int y = 0; y < 64; ++y) {
    for (int v = 0; v <= 13; ++v) ASSERT_EQ(inPlace[y * 256 + v], 0) << v;
    // 252 and above stretch to 255, a share of them dithered into 254.
    for (int v = 252; v <= 255; ++v) ASSERT_GE(inPlace[y * 256 + v], 254) << v;
  }
  // Without dithering the stretch skips every 16th level from 15, and 254;
  // only a share of their neighbours moves into them.
  for (int level = 15; level <= 239; level += 16) {
    EXPECT_LT(histogram[level], 64) << level;
  }
  EXPECT_LT(histogram[254], 64);
}

}  // namespace
