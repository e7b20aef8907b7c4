// The synthetic finger generator: determinism, pattern classes and ridge
// period, known minutiae on real endings and bifurcations of the rendered
// image, and impressions that agree with their recorded transforms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "finger_impression.h"
#include "finger_math.h"
#include "finger_pattern.h"

using namespace belnor::sim;

namespace {

constexpr float kPiF = 3.14159265f;

struct Binary {
  const Impression &im;
  float Grey(float x, float y) const {
    x = std::clamp(x, 0.0f, float(im.width - 2));
    y = std::clamp(y, 0.0f, float(im.height - 2));
    const int ix = int(x), iy = int(y);
    const float tx = x - ix, ty = y - iy;
    const uint8_t *p = im.pixels.data() + size_t(iy) * im.width + ix;
    const float top = p[0] + (p[1] - p[0]) * tx;
    const float bottom = p[im.width] + (p[im.width + 1] - p[im.width]) * tx;
    return top + (bottom - top) * ty;
  }
  // Ridge where the clean image is darker than half way.
  bool Ridge(float x, float y) const { return Grey(x, y) < (kPlatenGrey + kRidgeGrey) / 2.0f; }
  // Position of the valley centre within half a period of `around` on the
  // line (cx, cy) + t (ax, ay).
  float Valley(float cx, float cy, float ax, float ay, float around, float halfWindow) const {
    float best = around, bestGrey = -1;
    for (float t = around - halfWindow; t <= around + halfWindow; t += 0.25f) {
      const float g = Grey(cx + t * ax, cy + t * ay);
      if (g > bestGrey) bestGrey = g, best = t;
    }
    return best;
  }
  // Ridges crossed on the line between two positions.
  int RidgesBetween(float cx, float cy, float ax, float ay, float lo, float hi) const {
    const float mid = (kPlatenGrey + kRidgeGrey) / 2.0f, band = 25.0f;
    bool dark = false;
    int ridges = 0;
    for (float t = lo; t <= hi; t += 0.25f) {
      const float g = Grey(cx + t * ax, cy + t * ay);
      if (dark && g > mid + band) dark = false;
      else if (!dark && g < mid - band) dark = true, ++ridges;
    }
    return ridges;
  }
  // Ridges one period into the line that ends at (x, y), less those one
  // period behind it, both counted between the same two valleys: +1 at an
  // ending (the ridge goes on) and at a bifurcation (two branches where one
  // ridge came), 0 in plain flow.
  int RidgeCountChange(float x, float y, float angle, float period) const {
    const float bx = std::cos(angle), by = std::sin(angle), ax = -by, ay = bx;
    const float d = 1.2f * period, reach = 3 * period;
    const float ox = x - d * bx, oy = y - d * by, fx = x + d * bx, fy = y + d * by;
    const float lo = Valley(ox, oy, ax, ay, -reach, period / 2);
    const float hi = Valley(ox, oy, ax, ay, reach, period / 2);
    // The same two valleys where they pass the far side, followed in small
    // steps: ridges curve.
    float flo = lo, fhi = hi;
    for (float t = period / 4; t <= 2 * d; t += period / 4) {
      flo = Valley(ox + t * bx, oy + t * by, ax, ay, flo, period / 4);
      fhi = Valley(ox + t * bx, oy + t * by, ax, ay, fhi, period / 4);
    }
    return RidgesBetween(fx, fy, ax, ay, flo, fhi) - RidgesBetween(ox, oy, ax, ay, lo, hi);
  }
};

// Clean rendering: no noise, no dryness, no pores, ridges half of each period.
ImpressionParams Clean(ImpressionParams p) {
  p.dryness = 0;
  p.pores = 0;
  p.pressure = 0.5f;
  return p;
}

struct MinutiaCheck {
  int counted = 0, crowded = 0, typed = 0, total = 0;
  int alone() const { return total - crowded; }
};

// The ridge period varies over a finger: the checks use the local one.
MinutiaCheck CheckMinutiae(const Impression &im, const Finger &f) {
  const Binary bin{im};
  MinutiaCheck c;
  for (const Minutia &m : im.minutiae) {
    ++c.total;
    float fx, fy;
    ImageToFinger(im.params, m.x, m.y, &fx, &fy);
    const float period = f.flow.Period(fx, fy);
    // Along the line that ends there: ridge for an ending, valley for a
    // bifurcation; the other way on the open side.
    const float dx = std::cos(m.angle) * 0.5f * period, dy = std::sin(m.angle) * 0.5f * period;
    const bool bodyRidge = bin.Ridge(m.x + dx, m.y + dy), openRidge = bin.Ridge(m.x - dx, m.y - dy);
    const bool ending = m.type == MinutiaType::kEnding;
    c.typed += (bodyRidge == ending && openRidge != ending);
    // The count is local: another minutia within the reach of the count
    // changes it too.
    bool alone = true;
    for (const Minutia &o : im.minutiae)
      alone &= &o == &m || std::hypot(o.x - m.x, o.y - m.y) > 3.3f * period;
    if (!alone) {
      ++c.crowded;
      continue;
    }
    const int change = bin.RidgeCountChange(m.x, m.y, m.angle, period);
    c.counted += change == 1;
  }
  return c;
}

ImpressionParams Whole(float size) {
  ImpressionParams p;
  p.centreX = p.centreY = size / 2;
  p.contactHalfWidth = p.contactHalfHeight = 280;
  return p;
}

TEST(FingerGenerator, SameSeedSameFingerOtherSeedOther) {
  const Finger a = MakeFinger(42), b = MakeFinger(42), c = MakeFinger(43);
  EXPECT_EQ(a.wave, b.wave);
  ASSERT_EQ(a.minutiae.size(), b.minutiae.size());
  for (size_t i = 0; i < a.minutiae.size(); ++i) {
    EXPECT_EQ(a.minutiae[i].x, b.minutiae[i].x);
    EXPECT_EQ(a.minutiae[i].angle, b.minutiae[i].angle);
  }
  EXPECT_NE(a.wave, c.wave);
}

TEST(FingerGenerator, PatternClassesHaveTheirCoresAndDeltas) {
  struct Want {
    FingerPattern pattern;
    int cores, deltas;
  };
  const Want wants[] = {{FingerPattern::kArch, 0, 0},
                        {FingerPattern::kLeftLoop, 1, 1},
                        {FingerPattern::kRightLoop, 1, 1},
                        {FingerPattern::kWhorl, 2, 2}};
  for (const Want &w : wants) {
    for (uint32_t seed : {1u, 2u}) {
      const Finger f = MakeFinger(seed, w.pattern);
      int cores = 0, deltas = 0;
      for (const Singularity &s : f.singularities) (s.core ? cores : deltas)++;
      EXPECT_EQ(cores, w.cores) << int(w.pattern) << " seed " << seed;
      EXPECT_EQ(deltas, w.deltas) << int(w.pattern) << " seed " << seed;
      // The loop's delta lies on the side away from its opening.
      if (w.pattern == FingerPattern::kRightLoop && deltas == 1) {
        EXPECT_LT(f.singularities[1].x, f.singularities[0].x);
      }
      if (w.pattern == FingerPattern::kLeftLoop && deltas == 1) {
        EXPECT_GT(f.singularities[1].x, f.singularities[0].x);
      }
    }
  }
}

TEST(FingerGenerator, RidgePeriodAsChosen) {
  for (uint32_t seed : {3u, 4u, 5u}) {
    const Finger f = MakeFinger(seed);
    EXPECT_GE(f.period, 8.0f);
    EXPECT_LE(f.period, 11.0f);
    // Sign changes of the ridge signal across the ridges near the joint,
    // counted along the normal of the flow.
    const float nx = -std::sin(f.flow.Direction(0, 220)), ny = std::cos(f.flow.Direction(0, 220));
    int changes = 0;
    float prev = f.Wave(-40 * nx, 220 - 40 * ny);
    for (int t = -39; t <= 40; ++t) {
      const float v = f.Wave(float(t) * nx, 220 + float(t) * ny);
      changes += (v > 0) != (prev > 0);
      prev = v;
    }
    const float measured = 2.0f * 80 / float(changes), local = f.flow.Period(0, 220);
    EXPECT_NEAR(measured, local, 0.2f * local) << seed;
    EXPECT_GE(f.minutiae.size(), 20u);
  }
  // The period varies over the finger, within what live scans show.
  const Finger f = MakeFinger(6);
  float lo = 99, hi = 0;
  for (int y = -250; y <= 250; y += 10)
    for (int x = -250; x <= 250; x += 10) {
      lo = std::min(lo, f.flow.Period(float(x), float(y)));
      hi = std::max(hi, f.flow.Period(float(x), float(y)));
    }
  EXPECT_GE(lo, 8.0f);
  EXPECT_LE(hi, 11.0f);
  EXPECT_GT(hi - lo, 1.0f);
}

TEST(FingerGenerator, KnownMinutiaeAreEndingsAndBifurcationsOfTheImage) {
  for (uint32_t seed : {7u, 8u, 9u, 10u}) {
    const Finger f = MakeFinger(seed);
    const Impression im = RenderImpression(f, Clean(Whole(600)), 600, 600);
    const MinutiaCheck c = CheckMinutiae(im, f);
    ASSERT_GE(c.total, 20) << seed;
    // Grown ridges end and fork in clusters, as on a real finger; enough of
    // them stand alone to be counted, and the count across curved ridges of
    // varying period misses a few.
    EXPECT_GE(c.alone(), c.total / 10) << "seed " << seed;
    EXPECT_GE(c.counted, c.alone() * 3 / 4) << "seed " << seed;
    EXPECT_GE(c.typed, c.total * 95 / 100) << "seed " << seed;
  }
}

TEST(FingerGenerator, PlainFlowKeepsItsRidgeCount) {
  // Away from minutiae and singular points, as many ridges pass on either
  // side of a point, and they run the way the flow says.
  const Finger f = MakeFinger(11);
  const Impression im = RenderImpression(f, Clean(Whole(600)), 600, 600);
  const Binary bin{im};
  Random rng(5);
  int tried = 0, same = 0;
  for (int attempt = 0; attempt < 100000 && tried < 200; ++attempt) {
    const float x = rng.Uniform(-200, 200), y = rng.Uniform(-200, 200);
    bool clear = true;
    for (const Minutia &m : f.minutiae) clear &= std::hypot(x - m.x, y - m.y) > 3.3f * f.period;
    for (const Singularity &s : f.singularities) clear &= std::hypot(x - s.x, y - s.y) > 6 * f.period;
    if (!clear) continue;
    ++tried;
    same += bin.RidgeCountChange(x + 300, y + 300, f.flow.Direction(x, y), f.flow.Period(x, y)) == 0;
  }
  ASSERT_GE(tried, 100);
  EXPECT_GE(same, tried * 9 / 10);
}

TEST(FingerImpressions, MinutiaeFollowTheRecordedTransform) {
  const Finger f = MakeFinger(21);
  const std::vector<Impression> ims = MakeImpressions(f, 3, 99, 420, 520);
  ASSERT_EQ(ims.size(), 3u);
  int counted = 0, alone = 0;
  for (const Impression &im : ims) {
    // The transformed minutiae are endings and bifurcations of a clean
    // rendering under the same transform.
    Impression clean = RenderImpression(f, Clean(im.params), im.width, im.height);
    ASSERT_FALSE(clean.minutiae.empty());
    const MinutiaCheck c = CheckMinutiae(clean, f);
    counted += c.counted;
    alone += c.alone();
    EXPECT_GE(c.typed, c.total * 9 / 10);
    EXPECT_EQ(clean.minutiae.size(), im.minutiae.size());
  }
  // Few stand alone in one impression: counted over all three.
  EXPECT_GE(counted, alone * 3 / 4);
  // Impressions differ in placement, and partial overlap shows different
  // subsets of the finger's minutiae.
  EXPECT_NE(ims[0].params.rotation, ims[1].params.rotation);
  EXPECT_LE(ims[0].minutiae.size(), f.minutiae.size());
}

TEST(FingerImpressions, PixelsAgreeThroughTheTransforms) {
  // A pixel of one impression, carried into finger coordinates and on into
  // another impression, sees the same ridge or valley.
  const Finger f = MakeFinger(22);
  const std::vector<Impression> ims = MakeImpressions(f, 2, 7, 400, 500);
  const Impression a = RenderImpression(f, Clean(ims[0].params), 400, 500);
  const Impression b = RenderImpression(f, Clean(ims[1].params), 400, 500);
  int agree = 0, total = 0;
  for (int y = 0; y < 500; y += 3)
    for (int x = 0; x < 400; x += 3) {
      if (ContactWeight(a.params, float(x), float(y)) < 1) continue;
      float fx, fy, bx, by;
      ImageToFinger(a.params, float(x), float(y), &fx, &fy);
      FingerToImage(b.params, fx, fy, &bx, &by);
      if (bx < 1 || by < 1 || bx > 398 || by > 498 || ContactWeight(b.params, bx, by) < 1) continue;
      ++total;
      const int va = a.pixels[size_t(y) * 400 + x];
      const int vb = b.pixels[size_t(std::lround(by)) * 400 + size_t(std::lround(bx))];
      agree += std::abs(va - vb) < 70;
    }
  ASSERT_GT(total, 1000);
  EXPECT_GE(agree, total * 85 / 100);
}

TEST(FingerImpressions, RoundTripOfCoordinates) {
  ImpressionParams p;
  p.centreX = 200;
  p.centreY = 250;
  p.rotation = 0.3f;
  p.distortion = 5;
  p.distortionSeed = 3;
  for (float fx : {-100.0f, 0.0f, 77.0f})
    for (float fy : {-150.0f, 10.0f, 120.0f}) {
      float ix, iy, gx, gy;
      FingerToImage(p, fx, fy, &ix, &iy);
      ImageToFinger(p, ix, iy, &gx, &gy);
      EXPECT_NEAR(gx, fx, 1e-2);
      EXPECT_NEAR(gy, fy, 1e-2);
    }
}

}  // namespace
