// The stand-in split library as scanbench calls it: records, counts, cuts
// and the BMP it writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "salvune.h"

namespace {

constexpr int kW = 1600, kH = 1500, kF = 400;

// A bright platen with `n` dark fingertips 208 wide and 368 high, their
// left edges at 160 + 352 * i, tops at 304.
std::vector<unsigned char> Slap(int n) {
  std::vector<unsigned char> img(size_t(kW) * kH, 230);
  for (int i = 0; i < n; ++i)
    for (int y = 304; y < 672; ++y)
      for (int x = 160 + 352 * i; x < 368 + 352 * i; ++x)
        img[size_t(y) * kW + x] = static_cast<unsigned char>(60 + (x + y) % 7);
  return img;
}

struct Records {
  std::vector<std::vector<unsigned char>> images{10, std::vector<unsigned char>(kF * kF, 7)};
  SplitFingerInfo rec[10]{};
  Records() {
    for (int i = 0; i < 10; ++i) rec[i].image = images[i].data();
  }
};

class SalvuneTest : public testing::Test {
 protected:
  void TearDown() override { SALVUNE_Uninit(); }
};

TEST_F(SalvuneTest, FourFingersAreCutLeftToRightFromTheirTips) {
  const auto slap = Slap(4);
  Records r;
  int count = 0;
  ASSERT_EQ(SALVUNE_Init(kW, kH, 1), 1);
  ASSERT_EQ(SALVUNE_DoSplit(slap.data(), kW, kH, 1, kF, kF, &count, r.rec), 1);
  ASSERT_EQ(count, 4);
  for (int i = 0; i < 4; ++i) {
    // Centred on the finger's columns, from its top row.
    EXPECT_EQ(r.rec[i].x, 264 + 352 * i - kF / 2) << i;
    EXPECT_EQ(r.rec[i].y, 304) << i;
    const unsigned char *cut = r.images[i].data();
    // Finger in the middle of the cut, platen at its sides.
    EXPECT_LT(cut[size_t(100) * kF + kF / 2], 100) << i;
    EXPECT_EQ(cut[size_t(100) * kF + 10], 230) << i;
  }
  // Records beyond the count are left alone.
  EXPECT_EQ(r.images[4][0], 7);
}

TEST_F(SalvuneTest, CutsLeavingTheSlapArePaddedWhite) {
  std::vector<unsigned char> slap(size_t(kW) * kH, 230);
  for (int y = 1328; y < 1488; ++y)
    for (int x = 0; x < 160; ++x) slap[size_t(y) * kW + x] = 50;
  Records r;
  int count = 0;
  ASSERT_EQ(SALVUNE_Init(kW, kH, 1), 1);
  ASSERT_EQ(SALVUNE_DoSplit(slap.data(), kW, kH, 1, kF, kF, &count, r.rec), 1);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(r.images[0][0], 255);                      // left of the slap
  EXPECT_EQ(r.images[0][size_t(kF) * kF - 1], 255);    // below the slap
  EXPECT_EQ(r.images[0][size_t(10) * kF + kF / 2], 50);  // the finger
}

TEST_F(SalvuneTest, NeverReportsMoreFingersThanTheRecordsHold) {
  // Twenty small separate blobs.
  std::vector<unsigned char> slap(size_t(kW) * kH, 230);
  for (int i = 0; i < 20; ++i)
    for (int y = 64; y < 128; ++y)
      for (int x = 80 + 64 * i; x < 128 + 64 * i; ++x) slap[size_t(y) * kW + x] = 40;
  Records r;
  int count = -1, judged = -1;
  ASSERT_EQ(SALVUNE_JudegeFingers(slap.data(), kW, kH, &judged), 1);
  ASSERT_EQ(SALVUNE_Init(kW, kH, 1), 1);
  ASSERT_EQ(SALVUNE_DoSplit(slap.data(), kW, kH, 1, kF, kF, &count, r.rec), 1);
  EXPECT_EQ(count, SALVUNE_MAX_FINGERS);
  EXPECT_EQ(judged, SALVUNE_MAX_FINGERS);
}

TEST_F(SalvuneTest, RefusesCallsItCannotServe) {
  const auto slap = Slap(1);
  Records r;
  int count = 0;
  EXPECT_EQ(SALVUNE_DoSplit(slap.data(), kW, kH, 1, kF, kF, &count, r.rec), -2);  // before Init
  EXPECT_EQ(SALVUNE_Init(0, kH, 1), -1);
  ASSERT_EQ(SALVUNE_Init(kW, kH, 1), 1);
  EXPECT_EQ(SALVUNE_DoSplit(slap.data(), 640, 640, 1, kF, kF, &count, r.rec), -1);
  EXPECT_EQ(SALVUNE_DoSplit(nullptr, kW, kH, 1, kF, kF, &count, r.rec), -1);
  EXPECT_EQ(SALVUNE_DoSplit(slap.data(), kW, kH, 1, kF, kF, nullptr, r.rec), -1);
  r.rec[9].image = nullptr;
  EXPECT_EQ(SALVUNE_DoSplit(slap.data(), kW, kH, 1, kF, kF, &count, r.rec), -1);
  EXPECT_EQ(SALVUNE_Uninit(), 1);
  r.rec[9].image = r.images[9].data();
  EXPECT_EQ(SALVUNE_DoSplit(slap.data(), kW, kH, 1, kF, kF, &count, r.rec), -2);
}

TEST_F(SalvuneTest, SavesAGreyBmp) {
  std::vector<unsigned char> img(size_t(kF) * kF);
  for (size_t i = 0; i < img.size(); ++i) img[i] = static_cast<unsigned char>(i / kF);
  const std::string path = testing::TempDir() + "salvune_cut.bmp";
  ASSERT_EQ(SALVUNE_SaveToBmp(img.data(), kF, kF, path.c_str()), 1);
  std::ifstream in(path, std::ios::binary);
  const std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)), {});
  ASSERT_EQ(file.size(), 1078u + size_t(kF) * kF);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(file[28], 8);  // bits per pixel
  EXPECT_EQ(file[1078], 399 % 256);  // bottom row first
  EXPECT_EQ(file[1078 + size_t(kF) * (kF - 1)], 0);
  EXPECT_EQ(SALVUNE_SaveToBmp(img.data(), kF, kF, "/nonexistent-dir/x.bmp"), -1);
  std::remove(path.c_str());
}

}  // namespace
