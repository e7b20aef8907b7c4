// Rolling a synthetic finger across the platen: the stitched mosaic holds
// the print, frames that add nothing change nothing, and odd sizes stay
// inside the caller's buffers; the virtual scanner's operator, resting and
// rolling as the desktop program's rolled mode stitches them.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <vector>

#include "grey_png.h"
#include "mosaic.h"
#include "mosaic_state.h"
#include "operator_scene_source.h"
#include "rolling_frames.h"
#include "scanner_optics.h"

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

// The operator scene of a type-5 scanner, each state as the capture library
// corrects its frame, cut to a capture window where the library places it.
class OperatorWindows {
 public:
  // w x h at the bottom centre of the 1600 x 1500 image.
  Image Window(const belnor::sim::OperatorState &s, int w, int h) {
    EXPECT_TRUE(source_.WaitDrawn(s, std::chrono::minutes(5)));
    std::vector<uint8_t> frame(size_t(source_.sensorWidth()) * size_t(source_.sensorHeight()));
    EXPECT_TRUE(source_.Compose(s, frame.data()));
    std::vector<uint8_t> k(size_t(kWidth) * kHeight);
    optics_.Correct(frame.data(), k.data());
    Image out(size_t(w) * h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) out[size_t(y) * w + x] = k[size_t(Top(h) + y) * kWidth + size_t(Left(w) + x)];
    return out;
  }
  // Where the hands rest in a state, in the w x h window's pixels.
  std::vector<belnor::sim::ImpressionParams> Contacts(const belnor::sim::OperatorState &s, int w, int h) {
    std::vector<belnor::sim::ImpressionParams> out;
    for (const auto &t : hands_.Touching(s)) {
      belnor::sim::ImpressionParams p = t.params;
      p.centreX -= float(Left(w));
      p.centreY -= float(Top(h));
      p.bandLeft -= float(Left(w));
      p.bandRight -= float(Left(w));
      out.push_back(p);
    }
    return out;
  }

 private:
  static constexpr int kWidth = 1600, kHeight = 1500;
  static int Left(int w) { return (kWidth - w) / 2; }
  static int Top(int h) { return 1436 - h; }
  belnor::sim::OperatorSceneSource source_{1, 5, {}, 10, nullptr};
  belnor::sim::ScannerOptics optics_{5, {}};
  belnor::sim::OperatorHands hands_{1, 5, kWidth, kHeight};
};

// Share of the frame's dark pixels (< 128) that the mosaic keeps dark.
double KeptDark(const Image &frame, const Image &mosaic) {
  long dark = 0, kept = 0;
  for (size_t i = 0; i < frame.size(); ++i) {
    if (frame[i] >= 128) continue;
    ++dark;
    kept += mosaic[i] < 128;
  }
  return dark ? double(kept) / double(dark) : 0;
}

TEST_F(MosaicRolling, TheRestingVirtualFingerKeepsItsRidgesAsARollsFirstFrame) {
  // The 400 x 400 window centred on a white 640 x 640 frame: every ridge
  // block of a live-scan print is a finger block, whichever way its
  // ridges run.
  OperatorWindows scene;
  const Image window = scene.Window({belnor::sim::OperatorPose::kResting, 0}, 400, 400);
  Image frame = WhiteImage(kSize, kSize);
  for (int y = 0; y < 400; ++y)
    std::copy_n(window.begin() + y * 400, 400, frame.begin() + (y + 120) * kSize + 120);
  Image mosaic(kSize * kSize);
  ASSERT_EQ(MOSAIC_Start(mosaic.data(), kSize, kSize), 1);
  ASSERT_EQ(MOSAIC_DoMosaic(frame.data(), kSize, kSize), 1);
  ASSERT_EQ(MOSAIC_Stop(), 1);
  const double kept = KeptDark(frame, mosaic);
  RecordProperty("kept_dark_permille", int(kept * 1000 + 0.5));
  std::cout << "resting finger: " << kept * 100 << "% of the dark pixels kept\n";
  EXPECT_GE(kept, 0.95);
}

TEST_F(MosaicRolling, TheOperatorsRollStitchesWholeAsTheRolledModeShowsIt) {
  // The rolled mode's loop over the operator's cycle: a finger frame starts
  // a mosaic, the next ones are merged until one shows no finger.
  using belnor::sim::OperatorPose;
  using belnor::sim::OperatorState;
  OperatorWindows scene;
  std::vector<OperatorState> cycle = {{OperatorPose::kResting, 0}, {OperatorPose::kResting, 0},
                                      {OperatorPose::kAway, 0}};
  for (int k = 0; k < belnor::sim::kRollPhases; ++k) cycle.push_back({OperatorPose::kRolling, k});
  cycle.push_back({OperatorPose::kAway, 0});
  Image screen = WhiteImage(kSize, kSize);
  bool mosaicking = false;
  int merged = 0, stops = 0;
  for (const OperatorState &s : cycle) {
    Image frame = scene.Window(s, kSize, kSize);
    if (mosaicking) {
      const int m = MOSAIC_DoMosaic(frame.data(), kSize, kSize);
      ASSERT_GE(m, 0);
      merged += m == 1 && s.pose == OperatorPose::kRolling;
      if (m == 0) {
        ASSERT_EQ(MOSAIC_Stop(), 1);
        mosaicking = false;
        ++stops;
      }
      ASSERT_EQ(m == 1, s.pose != OperatorPose::kAway) << int(s.pose) << " " << s.phase;
    } else if (MOSAIC_IsFinger(frame.data(), kSize, kSize) == 1) {
      ASSERT_EQ(MOSAIC_Start(screen.data(), kSize, kSize), 1);
      mosaicking = true;
    }
  }
  ASSERT_EQ(stops, 2);
  EXPECT_EQ(merged, belnor::sim::kRollPhases - 1);

  // Kept for a person to look at.
  const std::filesystem::path dir(QUISAL_SCREENSHOTS);
  std::filesystem::create_directories(dir);
  EXPECT_TRUE(WriteGreyPng((dir / "rolled-print.png").string(), screen, kSize, kSize));

  // No white hole inside the print: every white pixel reaches the frame's
  // border through white pixels.
  std::vector<char> outside(screen.size(), 0);
  std::vector<int> todo;
  for (int i = 0; i < kSize; ++i)
    for (int at : {i, (kSize - 1) * kSize + i, i * kSize, i * kSize + kSize - 1}) todo.push_back(at);
  while (!todo.empty()) {
    const int at = todo.back();
    todo.pop_back();
    if (outside[size_t(at)] || screen[size_t(at)] != 255) continue;
    outside[size_t(at)] = 1;
    const int x = at % kSize, y = at / kSize;
    if (x > 0) todo.push_back(at - 1);
    if (x + 1 < kSize) todo.push_back(at + 1);
    if (y > 0) todo.push_back(at - kSize);
    if (y + 1 < kSize) todo.push_back(at + kSize);
  }
  long holes = 0;
  for (size_t i = 0; i < screen.size(); ++i) holes += screen[i] == 255 && !outside[i];
  // Every pixel any phase of the roll touched: the print covers them.
  long touched = 0, covered = 0;
  std::vector<std::vector<belnor::sim::ImpressionParams>> contacts;
  for (int k = 0; k < belnor::sim::kRollPhases; ++k) contacts.push_back(scene.Contacts({OperatorPose::kRolling, k}, kSize, kSize));
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      bool touch = false;
      for (const auto &phase : contacts)
        for (const auto &p : phase) touch = touch || belnor::sim::ContactWeight(p, float(x), float(y)) > 0;
      touched += touch;
      covered += touch && screen[size_t(y) * kSize + x] != 255;
    }
  RecordProperty("enclosed_white_pixels", int(holes));
  RecordProperty("covered_permille", int(1000 * covered / std::max(touched, 1L)));
  std::cout << "rolled print: " << holes << " enclosed white pixels, covers " << 100.0 * double(covered) / double(touched)
            << "% of the " << touched << " pixels the roll touched\n";
  EXPECT_EQ(holes, 0);
  ASSERT_GT(touched, 100000);
  EXPECT_GE(covered, touched * 9 / 10);
}

}  // namespace
