// Block direction vote: stripe directions, flat images, and identity with the
// plain reference on random and synthetic images.
#include <gtest/gtest.h>

#include "image_analysis.h"
#include "reference.h"
#include "test_images.h"

namespace {

using belnor::BlockDirectionVote;

TEST(DirectionVote, StripesAtEachDirectionGiveTheirVote) {
  for (int r = 1; r <= 8; ++r) {
    const double angle = (r - 1) * 22.5;
    for (double period : {7.0, 9.0, 11.0}) {
      const auto img = testimg::Grating(128, 128, angle, period, 60, 200);
      int agree = 0, total = 0;
      for (int y = 24; y <= 96; y += 8)
        for (int x = 24; x <= 96; x += 8) {
          agree += BlockDirectionVote(img.data(), 128, 128, x, y, 12) == r;
          ++total;
        }
      EXPECT_GE(agree * 10, total * 9) << "direction " << r << " period " << period;
    }
  }
}

TEST(DirectionVote, FlatAndFaintImagesGiveNoVote) {
  const auto flat = testimg::Flat(96, 96, 240, 0, 1);
  const auto noisy = testimg::Flat(96, 96, 240, 3, 2);
  for (int y = 0; y < 96; y += 8)
    for (int x = 0; x < 96; x += 8) {
      EXPECT_EQ(BlockDirectionVote(flat.data(), 96, 96, x, y, 12), 0);
      EXPECT_EQ(BlockDirectionVote(noisy.data(), 96, 96, x, y, 12), 0);
    }
}

TEST(DirectionVote, TooSmallImageGivesNoVote) {
  const auto img = testimg::Grating(20, 20, 0, 8, 0, 255);
  EXPECT_EQ(BlockDirectionVote(img.data(), 20, 20, 6, 6, 12), 0);
  EXPECT_EQ(BlockDirectionVote(nullptr, 64, 64, 6, 6, 12), 0);
}

// Every origin, clamped ones included, every sensitivity in use, odd sizes.
TEST(DirectionVote, MatchesReferenceOnRandomImages) {
  const int sizes[][2] = {{21, 21}, {64, 48}, {97, 83}, {256, 360}};
  uint32_t seed = 10;
  for (const auto &size : sizes) {
    const int W = size[0], H = size[1];
    const auto img = testimg::Random(W, H, seed++);
    for (int s = 0; s <= 21; ++s)
      for (int y = -8; y < H + 8; y += 3)
        for (int x = -8; x < W + 8; x += 5)
          ASSERT_EQ(BlockDirectionVote(img.data(), W, H, x, y, s),
                    ref::BlockDirectionVote(img.data(), W, H, x, y, s))
              << W << "x" << H << " at " << x << "," << y << " s " << s;
  }
}

TEST(DirectionVote, MatchesReferenceOnFingersAndExtremes) {
  testimg::FingerShape shape;
  shape.cx = 160, shape.cy = 180, shape.ax = 110, shape.ay = 150;
  std::vector<testimg::Image> images = {testimg::Finger(320, 360, shape),
                                        testimg::Flat(320, 360, 0, 0, 1),
                                        testimg::Flat(320, 360, 255, 0, 1),
                                        testimg::Grating(320, 360, 33, 4, 0, 255)};
  // Saturated black/white checkerboard: largest sums and exact ties.
  testimg::Image board = testimg::Flat(320, 360, 0, 0, 1);
  for (int y = 0; y < 360; ++y)
    for (int x = 0; x < 320; ++x) board.at(x, y) = ((x / 3 + y / 2) & 1) ? 255 : 0;
  images.push_back(board);
  for (const auto &img : images)
    for (int s : {2, 5, 7, 12, 18})
      for (int y = 0; y < 360; y += 8)
        for (int x = 0; x < 320; x += 8)
          ASSERT_EQ(BlockDirectionVote(img.data(), 320, 360, x, y, s),
                    ref::BlockDirectionVote(img.data(), 320, 360, x, y, s));
}

}  // namespace
