// YUYV and MJPEG to grey, and the worker's in-place transforms.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "frame_convert.h"
#include "jpeg_helpers.h"

using namespace belnor;
using namespace belnor_test;

namespace {

int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  int worst = 0;
  for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

std::vector<uint8_t> FlipRows(const std::vector<uint8_t>& image, int width, int height) {
  std::vector<uint8_t> out(image.size());
  for (int y = 0; y < height; ++y)
    std::copy(image.begin() + static_cast<long>(y) * width,
              image.begin() + static_cast<long>(y + 1) * width,
              out.begin() + static_cast<long>(height - 1 - y) * width);
  return out;
}

TEST(Yuyv, TakesLuminanceAndChecksSize) {
  const int w = 4, h = 2;
  std::vector<uint8_t> yuyv(w * h * 2);
  for (size_t i = 0; i < yuyv.size(); ++i) yuyv[i] = static_cast<uint8_t>(i % 2 ? 200 : i);
  std::vector<uint8_t> grey(w * h + 1, 0xEE);
  ASSERT_TRUE(YuyvToGrey(yuyv.data(), yuyv.size(), w, h, grey.data()));
  for (int i = 0; i < w * h; ++i) EXPECT_EQ(2 * i, grey[i]);
  EXPECT_EQ(0xEE, grey[w * h]);  // nothing past the image

  std::vector<uint8_t> untouched(w * h, 7);
  EXPECT_FALSE(YuyvToGrey(yuyv.data(), yuyv.size() - 1, w, h, untouched.data()));
  EXPECT_EQ(std::vector<uint8_t>(w * h, 7), untouched);
  EXPECT_FALSE(YuyvToGrey(nullptr, yuyv.size(), w, h, untouched.data()));
  EXPECT_FALSE(YuyvToGrey(yuyv.data(), yuyv.size(), 0, h, untouched.data()));
  // A longer payload is fine; only the frame's bytes are read.
  yuyv.resize(yuyv.size() + 10);
  EXPECT_TRUE(YuyvToGrey(yuyv.data(), yuyv.size(), w, h, grey.data()));
}

class Mjpeg : public testing::TestWithParam<bool> {};

TEST_P(Mjpeg, DecodesToGreyInBothRowOrders) {
  const int w = 160, h = 120;
  const std::vector<uint8_t> picture = Gradient(w, h);
  const std::vector<uint8_t> jpeg = EncodeJpeg(picture, w, h, GetParam());
  std::vector<uint8_t> grey(w * h);
  ASSERT_TRUE(MjpegToGrey(jpeg.data(), jpeg.size(), w, h, grey.data(), false));
  EXPECT_LE(MaxDifference(grey, picture), 6);
  ASSERT_TRUE(MjpegToGrey(jpeg.data(), jpeg.size(), w, h, grey.data(), true));
  EXPECT_LE(MaxDifference(grey, FlipRows(picture, w, h)), 6);
}

TEST_P(Mjpeg, FramesWithoutHuffmanTablesGetTheStandardOnes) {
  const int w = 64, h = 48;
  const std::vector<uint8_t> picture = Gradient(w, h);
  const std::vector<uint8_t> full = EncodeJpeg(picture, w, h, GetParam());
  const std::vector<uint8_t> bare = StripHuffmanTables(full);
  ASSERT_LT(bare.size(), full.size());
  std::vector<uint8_t> a(w * h), b(w * h);
  ASSERT_TRUE(MjpegToGrey(full.data(), full.size(), w, h, a.data(), false));
  ASSERT_TRUE(MjpegToGrey(bare.data(), bare.size(), w, h, b.data(), false));
  EXPECT_EQ(a, b);
}

TEST_P(Mjpeg, RefusesWrongSizeAndBrokenFrames) {
  const int w = 64, h = 48;
  const std::vector<uint8_t> jpeg = EncodeJpeg(Gradient(w, h), w, h, GetParam());
  std::vector<uint8_t> grey(w * h + 16, 0x55);
  EXPECT_FALSE(MjpegToGrey(jpeg.data(), jpeg.size(), w, h - 16, grey.data(), false));
  EXPECT_FALSE(MjpegToGrey(jpeg.data(), jpeg.size(), w + 16, h, grey.data(), false));
  EXPECT_EQ(std::vector<uint8_t>(w * h + 16, 0x55), grey);  // wrong size: nothing written

  EXPECT_FALSE(MjpegToGrey(jpeg.data(), jpeg.size() / 2, w, h, grey.data(), false));
  EXPECT_FALSE(MjpegToGrey(jpeg.data(), 3, w, h, grey.data(), false));
  EXPECT_FALSE(MjpegToGrey(nullptr, jpeg.size(), w, h, grey.data(), false));
  std::vector<uint8_t> noise(4000);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 7919 >> 3);
  EXPECT_FALSE(MjpegToGrey(noise.data(), noise.size(), w, h, grey.data(), false));
  std::vector<uint8_t> corrupt = jpeg;
  for (size_t i = corrupt.size() / 2; i < corrupt.size() - 2; ++i) corrupt[i] = 0xFF;
  EXPECT_FALSE(MjpegToGrey(corrupt.data(), corrupt.size(), w, h, grey.data(), false));
  EXPECT_EQ(0x55, grey[w * h]);  // never past the frame
}

TEST_P(Mjpeg, StrayBytesBetweenSegmentsAreHarmless) {
  const int w = 64, h = 48;
  const std::vector<uint8_t> picture = Gradient(w, h);
  std::vector<uint8_t> jpeg = EncodeJpeg(picture, w, h, GetParam());
  // Two stray bytes after the first segment behind SOI.
  const size_t first = 2 + 2 + ((static_cast<size_t>(jpeg[4]) << 8) | jpeg[5]);
  jpeg.insert(jpeg.begin() + static_cast<long>(first), {0x00, 0x00});
  std::vector<uint8_t> grey(w * h);
  ASSERT_TRUE(MjpegToGrey(jpeg.data(), jpeg.size(), w, h, grey.data(), false));
  EXPECT_LE(MaxDifference(grey, picture), 6);
}

INSTANTIATE_TEST_SUITE_P(GreyAndColour, Mjpeg, testing::Bool());

TEST(Transforms, InvertAndFlip) {
  for (int height : {1, 2, 3, 4}) {
    const int w = 3;
    std::vector<uint8_t> image(w * height);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 10);
    std::vector<uint8_t> both = image;
    InvertAndFlip(both.data(), w, height, true, true);
    std::vector<uint8_t> flipOnly = image;
    InvertAndFlip(flipOnly.data(), w, height, false, true);
    std::vector<uint8_t> invertOnly = image;
    InvertAndFlip(invertOnly.data(), w, height, true, false);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < w; ++x) {
        const uint8_t v = image[y * w + x];
        EXPECT_EQ(255 - v, both[(height - 1 - y) * w + x]);
        EXPECT_EQ(v, flipOnly[(height - 1 - y) * w + x]);
        EXPECT_EQ(255 - v, invertOnly[y * w + x]);
      }
    std::vector<uint8_t> none = image;
    InvertAndFlip(none.data(), w, height, false, false);
    EXPECT_EQ(image, none);
  }
  // Top-left 0 ends up as 255 at the bottom-left.
  std::vector<uint8_t> frame(4 * 4, 100);
  frame[0] = 0;
  InvertAndFlip(frame.data(), 4, 4, true, true);
  EXPECT_EQ(255, frame[3 * 4]);
}

TEST(Transforms, MirrorRows) {
  std::vector<uint8_t> image = {1, 2, 3, 4, 5, 6};
  MirrorRows(image.data(), 3, 2);
  EXPECT_EQ((std::vector<uint8_t>{3, 2, 1, 6, 5, 4}), image);
}

}  // namespace
