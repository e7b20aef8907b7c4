// The virtual fingers through both libraries' extractors and matchers, as
// the real prints go through them in tests/accuracy: as many minutiae as a
// live scan gives, and each finger of the operator told from the others.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <vector>

#include "accuracy_support.h"
#include "device_state.h"
#include "finger_math.h"
#include "fplib.h"
#include "fplib_test_util.h"
#include "livescan.h"
#include "operator_scene.h"
#include "scanner_optics.h"

using namespace belnor::sim;

namespace {

constexpr int kViewW = 1600, kViewH = 1500, kSide = 400;

using Image = std::vector<uint8_t>;

// Fingers on the type-5 platen as the capture library delivers them.
Image Delivered(const std::vector<OperatorHands::Touch> &touches, uint32_t noiseSeed) {
  std::vector<float> dark(size_t(kViewW) * kViewH, 0.0f);
  for (const auto &t : touches) DrawFinger(*t.finger, t.params, kViewW, kViewH, dark.data());
  Image view(dark.size()), k(dark.size());
  ShadeDarkness(dark.data(), kViewW, kViewH, 1.5f, noiseSeed, view.data());
  const ScannerOptics &optics = *SharedOptics(5, {});
  Image frame(size_t(optics.sensorWidth()) * size_t(optics.sensorHeight()));
  optics.Render(view.data(), frame.data());
  optics.Correct(frame.data(), k.data());
  return k;
}

Image Cut(const Image &k, int cx, int cy, int w, int h) {
  Image out(size_t(w) * h, 255);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int X = cx - w / 2 + x, Y = cy - h / 2 + y;
      if (X >= 0 && Y >= 0 && X < kViewW && Y < kViewH) out[size_t(y) * w + x] = k[size_t(Y) * kViewW + X];
    }
  return out;
}

// Each finger of the operator, 400 x 400 around it: as it lies, and after
// it was lifted and put down again, a little moved, turned and pressed
// otherwise.
struct Frames {
  Image first, again;
};

std::vector<Frames> OperatorFingers() {
  OperatorHands hands(1, 5, kViewW, kViewH);
  std::vector<Frames> out;
  uint32_t n = 0;
  for (OperatorPose pose : {OperatorPose::kResting, OperatorPose::kLeftFour, OperatorPose::kThumbs,
                            OperatorPose::kRightFour}) {
    const std::vector<OperatorHands::Touch> lying = hands.Touching({pose, 0});
    std::vector<OperatorHands::Touch> again = lying;
    for (auto &t : again) {
      Random rng(HashCombine(77, n++));
      t.params.centreX += rng.Uniform(-15, 15);
      t.params.centreY += rng.Uniform(-15, 15);
      t.params.rotation += rng.Uniform(-0.08f, 0.08f);
      t.params.pressure += rng.Uniform(-0.08f, 0.08f);
      t.params.contactX += rng.Uniform(-10, 10);
      t.params.contactY += rng.Uniform(-10, 10);
      t.params.distortion = 2;
      t.params.distortionSeed = rng.Next();
      t.params.drynessSeed = rng.Next();
    }
    const Image k1 = Delivered(lying, 1), k2 = Delivered(again, 2);
    for (const auto &t : lying) {
      const int cx = int(t.params.centreX), cy = int(t.params.centreY);
      out.push_back({Cut(k1, cx, cy, kSide, kSide), Cut(k2, cx, cy, kSide, kSide)});
    }
  }
  return out;
}

struct Templates {
  std::vector<uint8_t> belnor = std::vector<uint8_t>(1024), minutia = std::vector<uint8_t>(FP_TEMPLATE_SIZE);
  int belnorCount = -1, minutiaCount = -1;
};

Templates Extract(const Image &image) {
  Templates t;
  std::vector<uint8_t> bmp(1078 + image.size());
  EXPECT_EQ(LIVESCAN_RawToBmp(image.data(), kSide, kSide, bmp.data(), int(bmp.size())), 1);
  if (LIVESCAN_FeatureExtractMem(bmp.data(), int(bmp.size()), t.belnor.data()) > 0) t.belnorCount = t.belnor[4];
  // The algorithm library's window: 256 x 360 in the middle.
  Image window(size_t(FP_IMAGE_WIDTH) * FP_IMAGE_HEIGHT);
  for (int y = 0; y < FP_IMAGE_HEIGHT; ++y)
    std::copy_n(image.begin() + (y + (kSide - FP_IMAGE_HEIGHT) / 2) * kSide + (kSide - FP_IMAGE_WIDTH) / 2,
                FP_IMAGE_WIDTH, window.begin() + y * FP_IMAGE_WIDTH);
  // Kind 1: a template with features; its minutiae count is byte 19.
  if (FP_FeatureExtract(1, 2, window.data(), t.minutia.data()) == FP_OK && t.minutia[4] == 1)
    t.minutiaCount = t.minutia[19];
  return t;
}

float MatchBelnor(const Templates &a, const Templates &b) {
  float score = -1;
  EXPECT_EQ(LIVESCAN_FeatureMatchMem(a.belnor.data(), b.belnor.data(), &score), 1);
  return score;
}

float MatchMinutia(Templates a, Templates b) {
  float score = -1;
  EXPECT_EQ(FP_FeatureMatch(a.minutia.data(), b.minutia.data(), &score), FP_OK);
  return score;
}

// The feature calls of the capture library work only on an initialised
// library; no scanner is needed for them.
class FingerMatching : public fptest::FpLibTest {
 protected:
  void SetUp() override {
    FpLibTest::SetUp();
    belnor::g_bInitialized = 1;
  }
  void TearDown() override {
    belnor::g_bInitialized = 0;
    FpLibTest::TearDown();
  }
};

TEST_F(FingerMatching, BothLibrariesFindLiveScanMinutiaeAndTellTheOperatorsFingersApart) {
  const std::vector<Frames> fingers = OperatorFingers();
  ASSERT_EQ(fingers.size(), 11u);
  std::vector<Templates> first, again;
  for (const Frames &f : fingers) {
    first.push_back(Extract(f.first));
    again.push_back(Extract(f.again));
  }
  // The real prints give 12..68 minutiae to the capture library and 10..53
  // to the algorithm library in its smaller window (36 and 32 on average);
  // a whole, clean virtual finger gives more, within half as much again.
  double belnorCount = 0, minutiaCount = 0;
  for (size_t i = 0; i < first.size(); ++i) {
    belnorCount += first[i].belnorCount;
    minutiaCount += first[i].minutiaCount;
    for (const Templates *t : {&first[i], &again[i]}) {
      EXPECT_GE(t->belnorCount, 8) << i;
      EXPECT_LE(t->belnorCount, 100) << i;
      EXPECT_GE(t->minutiaCount, 7) << i;
      EXPECT_LE(t->minutiaCount, 80) << i;
    }
  }
  std::cout << "minutiae: resting finger " << first[0].belnorCount << " and " << first[0].minutiaCount
            << ", all fingers on average " << belnorCount / double(first.size()) << " and "
            << minutiaCount / double(first.size()) << "\n";
  // Each finger is itself again after the lift, and no other finger is,
  // at the threshold that accepts one real impostor pair in a thousand.
  float belnorGenuine = 1, minutiaGenuine = 1, belnorImpostor = 0, minutiaImpostor = 0;
  for (size_t i = 0; i < first.size(); ++i) {
    belnorGenuine = std::min(belnorGenuine, MatchBelnor(first[i], again[i]));
    minutiaGenuine = std::min(minutiaGenuine, MatchMinutia(first[i], again[i]));
    EXPECT_GE(MatchBelnor(first[i], again[i]), accuracy::kBelnorThresholdFmr1000) << i;
    EXPECT_GE(MatchMinutia(first[i], again[i]), accuracy::kMinutiaThresholdFmr1000) << i;
    for (size_t j = 0; j < first.size(); ++j) {
      if (j == i) continue;
      for (const Templates *other : {&first[j], &again[j]}) {
        const float b = MatchBelnor(first[i], *other), m = MatchMinutia(first[i], *other);
        belnorImpostor = std::max(belnorImpostor, b);
        minutiaImpostor = std::max(minutiaImpostor, m);
        EXPECT_LT(b, accuracy::kBelnorThresholdFmr1000) << i << " against " << j;
        EXPECT_LT(m, accuracy::kMinutiaThresholdFmr1000) << i << " against " << j;
      }
    }
  }
  std::cout << "lowest genuine score: capture library " << belnorGenuine << ", algorithm library " << minutiaGenuine
            << "; highest impostor score: " << belnorImpostor << ", " << minutiaImpostor << "\n";
}

}  // namespace
