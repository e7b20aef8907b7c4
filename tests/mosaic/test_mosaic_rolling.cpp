// Rolling a synthetic finger across the platen: the stitched mosaic holds
// the print, frames that add nothing change nothing, and odd sizes stay
// inside the caller's buffers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "mosaic.h"
#include "mosaic_state.h"
#include "rolling_frames.h"

namespace {

using namespace mosaic_test;

constexpr int kSize = 640;

class MosaicRolling : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(MOSAIC_Init(), 1); }
  void TearDown() override { MOSAIC_Close(); }
};

// Inside the print and some band, at least margin pixels from their borders.
bool Covered(const std::vector<Band> &bands, int x, int y, int margin) {
  if (!InPrint(kSize, kSize, x, y)) return false;
  for (int dy : {-margin, 0, margin}) {
    for (int dx : {-margin, 0, margin}) {
      if (!InPrint(kSize, kSize, x + dx, y + dy)) return false;
    }
  }
  for (const Band &b : bands) {
    Band inner = b;
    inner.halfWidth -= margin;
    inner.halfHeight -= margin;
    if (InBand(inner, kSize, x, y)) return true;
  }
  return false;
}

bool NearContact(const std::vector<Band> &bands, int x, int y, int margin) {
  for (const Band &b : bands) {
    Band outer = b;
    outer.halfWidth += margin;
    outer.halfHeight += margin;
    if (InBand(outer, kSize, x, y)) return true;
  }
  return false;
}

TEST_F(MosaicRolling, MosaicHoldsThePrint) {
  const Image print = MakePrint(kSize, kSize);
  for (int step : {8, 16, 40}) {
    for (bool leftToRight : {true, false}) {
      SCOPED_TRACE(::testing::Message() << "step " << step << (leftToRight ? " right" : " left"));
      const std::vector<Band> bands = RollBands(step, leftToRight);
      Image mosaic(kSize * kSize);
      ASSERT_EQ(MOSAIC_Start(mosaic.data(), kSize, kSize), 1);
      for (const Band &band : bands) {
        Image frame = ContactFrame(print, kSize, kSize, band);
        ASSERT_EQ(MOSAIC_DoMosaic(frame.data(), kSize, kSize), 1) << band.centreX;
      }
      Image white = WhiteImage(kSize, kSize);
      const Image before = mosaic;
      EXPECT_EQ(MOSAIC_DoMosaic(white.data(), kSize, kSize), 0);
      EXPECT_EQ(quisal::g_MosaicState.mergeState, 0);
      EXPECT_EQ(mosaic, before);

      long exact = 0, holes = 0, strays = 0, lattice = 0, interior = 0, error = 0;
      for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
          const int i = y * kSize + x;
          // Seams blend only the columns and rows 3, 0 and 1 modulo 4.
          if (x % 4 == 2 && y % 4 == 2 && mosaic[i] != 255) {
            ++lattice;
            exact += mosaic[i] == print[i];
          }
          if (Covered(bands, x, y, 16)) {
            ++interior;
            holes += mosaic[i] == 255;
            error += std::abs(mosaic[i] - print[i]);
          }
          if (mosaic[i] != 255 && !NearContact(bands, x, y, 16)) ++strays;
        }
      }
      EXPECT_GT(lattice, 5000);
      EXPECT_EQ(exact, lattice);
      EXPECT_EQ(holes, 0);
      EXPECT_EQ(strays, 0);
      ASSERT_GT(interior, 100000);
      EXPECT_LE(static_cast<double>(error) / interior, 3.0);
    }
  }
}

TEST_F(MosaicRolling, FramesThatAddNothingChangeNothing) {
  const Image print = MakePrint(kSize, kSize);
  Image mosaic(kSize * kSize);
  ASSERT_EQ(MOSAIC_Start(mosaic.data(), kSize, kSize), 1);
  Image first = ContactFrame(print, kSize, kSize, Band{200});
  ASSERT_EQ(MOSAIC_DoMosaic(first.data(), kSize, kSize), 1);
  EXPECT_EQ(quisal::g_MosaicState.mergeState, quisal::kMergeWhole);
  const Image afterFirst = mosaic;
  // The same frame again: it covers the mosaic, but brings no new block.
  ASSERT_EQ(MOSAIC_DoMosaic(first.data(), kSize, kSize), 1);
  EXPECT_EQ(quisal::g_MosaicState.mergeState, quisal::kMergeWhole);
  EXPECT_EQ(mosaic, afterFirst);
  // A finger wholly apart from the mosaic: ignored, and still 1.
  Band apart{520};
  apart.halfWidth = 64;
  Image far = ContactFrame(print, kSize, kSize, apart);
  ASSERT_EQ(MOSAIC_DoMosaic(far.data(), kSize, kSize), 1);
  EXPECT_EQ(quisal::g_MosaicState.mergeState, 0);
  EXPECT_EQ(mosaic, afterFirst);
  // Starting again clears the mosaic.
  ASSERT_EQ(MOSAIC_Start(mosaic.data(), kSize, kSize), 1);
  EXPECT_EQ(mosaic, WhiteImage(kSize, kSize));
  ASSERT_EQ(MOSAIC_DoMosaic(far.data(), kSize, kSize), 1);
  EXPECT_NE(mosaic, WhiteImage(kSize, kSize));
}

TEST_F(MosaicRolling, AWiderFrameOverTheWholeMosaicReplacesIt) {
  const Image print = MakePrint(kSize, kSize);
  Image mosaic(kSize * kSize);
  ASSERT_EQ(MOSAIC_Start(mosaic.data(), kSize, kSize), 1);
  Band narrow{320};
  narrow.halfWidth = 60;
  Image first = ContactFrame(print, kSize, kSize, narrow);
  ASSERT_EQ(MOSAIC_DoMosaic(first.data(), kSize, kSize), 1);
  Band wide{320};
  wide.halfWidth = 140;
  Image second = ContactFrame(print, kSize, kSize, wide);
  // Darker, so that even blocks left as they were would show a change.
  for (unsigned char &v : second) {
    if (v != 255) v = static_cast<unsigned char>(v / 2);
  }
  ASSERT_EQ(MOSAIC_DoMosaic(second.data(), kSize, kSize), 1);
  EXPECT_EQ(quisal::g_MosaicState.mergeState, quisal::kMergeWhole);
  // The whole selection is the frame: the middle of the print is the new
  // frame's, also where the first frame had pasted.
  long fromSecond = 0, lattice = 0;
  for (int y = 2; y < kSize; y += 4) {
    for (int x = 2; x < kSize; x += 4) {
      const int i = y * kSize + x;
      if (std::abs(x - 320) > 40 || mosaic[i] == 255) continue;
      ++lattice;
      fromSecond += mosaic[i] == second[i];
    }
  }
  EXPECT_GT(lattice, 1000);
  EXPECT_EQ(fromSecond, lattice);
}

TEST_F(MosaicRolling, HeightsOffTheBlockGridStayInsideTheBuffers) {
  // A textured band over the full height reaches the last, partial block
  // row; bytes after the mosaic and the frame must stay untouched.
  constexpr size_t kGuard = 64 * 640;
  for (int H : {642, 648, 652, 700, 744, 750}) {
    SCOPED_TRACE(H);
    const Image print = MakePrint(kSize, H, true);
    Image mosaic(kSize * H + kGuard, 77);
    ASSERT_EQ(MOSAIC_Start(mosaic.data(), kSize, H), 1);
    for (int centre : {200, 232, 264, 296}) {
      Band band{centre};
      band.halfHeight = 4 * H;  // straight edges over the whole height
      Image frame = ContactFrame(print, kSize, H, band);
      frame.resize(frame.size() + kGuard, 33);
      // Each frame a little darker, so that its edge blocks replace the
      // mosaic's (the block means are sampled down to the last row).
      for (size_t i = 0; i < kSize * static_cast<size_t>(H); ++i) {
        if (frame[i] != 255 && frame[i] >= 12) frame[i] -= static_cast<unsigned char>((centre - 200) / 8);
      }
      ASSERT_EQ(MOSAIC_DoMosaic(frame.data(), kSize, H), 1) << centre;
    }
    for (size_t i = kSize * static_cast<size_t>(H); i < mosaic.size(); ++i) {
      ASSERT_EQ(mosaic[i], 77) << i;
    }
    // The pasted print reaches the partial block row when that row is
    // tested in full (more than 7 of its 16 rows exist).
    const int row = H % 16 > 7 ? H - 1 : H - 24;
    int pasted = 0;
    for (int x = 0; x < kSize; ++x) pasted += mosaic[row * kSize + x] != 255;
    EXPECT_GT(pasted, 100);
  }
}

}  // namespace
