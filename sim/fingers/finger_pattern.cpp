// Ridge flow of the four pattern classes, and a finger made of it.
#include "finger_pattern.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "finger_math.h"
#include "minutiae_trace.h"
#include "ridge_growth.h"

namespace belnor::sim {
namespace {

float Logistic(float t) { return 1.0f / (1.0f + std::exp(-t)); }


}  // namespace

float RidgeFlow::Direction(float x, float y) const {
  float a = 0;
  for (const Singularity &s : singularities) a += (s.core ? 0.5f : -0.5f) * FastAtan2(y - s.y, x - s.x);
  // Over the tip the ridges follow its round outline, turning down at the
  // sides; nearer the joint they run across.
  a += tipBend * Logistic((tipY - y) / 45.0f) * FastAtan2(x, 110.0f);
  // No two fingers flow quite alike: a slow, smooth swerve of the ridges.
  a += swerve * ((ValueNoise(periodSeed + 1, x + 400, y + 400, 190) - 0.5f) +
                 0.35f * (ValueNoise(periodSeed + 2, x + 400, y + 400, 95) - 0.5f) +
                 0.4f * (ValueNoise(periodSeed + 3, x + 400, y + 400, 60) - 0.5f));
  if (pattern == FingerPattern::kArch) {
    // A hump rising in the middle, highest at archY: the slope of the ridge
    // through (x, y).
    const float e = std::exp(-x * x / (2 * archWidth * archWidth));
    const float h = archHeight * std::exp(-(y - archY) * (y - archY) / (2 * 150.0f * 150.0f));
    a += std::atan(h * x / (archWidth * archWidth) * e);
  }
  return a;
}

float RidgeFlow::Period(float x, float y) const {
  const float wander = 2.0f * (ValueNoise(periodSeed, x + 400, y + 400, 140) - 0.5f);
  return std::clamp(period + periodSlope * y / 250.0f + 0.9f * wander, 8.0f, 11.0f);
}

float Finger::Wave(float x, float y) const {
  const float gx = x + kExtent, gy = y + kExtent;
  if (!(gx >= 0 && gy >= 0 && gx < kSide - 1 && gy < kSide - 1)) return -1.0f;
  const int ix = int(gx), iy = int(gy);
  const float tx = gx - ix, ty = gy - iy;
  const float *p = wave.data() + size_t(iy) * kSide + ix;
  const float top = p[0] + (p[1] - p[0]) * tx, bottom = p[kSide] + (p[kSide + 1] - p[kSide]) * tx;
  return top + (bottom - top) * ty;
}

namespace {

RidgeFlow MakeFlow(FingerPattern pattern, Random &rng) {
  RidgeFlow f;
  f.pattern = pattern;
  f.period = rng.Uniform(8.6f, 10.2f);
  f.periodSlope = rng.Uniform(0.2f, 0.7f);
  f.periodSeed = rng.Next();
  f.tipBend = rng.Uniform(0.55f, 0.8f);
  f.swerve = rng.Uniform(1.0f, 1.8f);
  const float cx = rng.Uniform(-45, 45), cy = rng.Uniform(-60, 25);
  f.tipY = cy - rng.Uniform(50, 80);
  switch (pattern) {
    case FingerPattern::kArch:
      f.archHeight = rng.Uniform(35, 60);
      f.archWidth = rng.Uniform(70, 100);
      f.archY = cy + rng.Uniform(0, 40);
      f.tipY = cy - 30;
      break;
    case FingerPattern::kRightLoop:
    case FingerPattern::kLeftLoop: {
      // The loop opens away from its delta, to the side it is named after.
      const float side = pattern == FingerPattern::kRightLoop ? -1.0f : 1.0f;
      f.singularities.push_back({cx, cy, true});
      const float reach = rng.Uniform(80, 200), slant = rng.Uniform(0.15f, 0.6f);
      f.singularities.push_back({cx + side * reach * std::cos(slant), cy + reach * std::sin(slant), false});
      break;
    }
    case FingerPattern::kWhorl: {
      const float a = kPi / 2 + rng.Uniform(-0.6f, 0.6f), e = rng.Uniform(9, 18);
      f.singularities.push_back({cx - e * std::cos(a), cy - e * std::sin(a), true});
      f.singularities.push_back({cx + e * std::cos(a), cy + e * std::sin(a), true});
      f.singularities.push_back({cx - rng.Uniform(85, 170), cy + rng.Uniform(60, 140), false});
      f.singularities.push_back({cx + rng.Uniform(85, 170), cy + rng.Uniform(60, 140), false});
      break;
    }
  }
  return f;
}

}  // namespace

Finger MakeFinger(uint32_t seed) {
  Random rng(HashCombine(seed, 0x5eed));
  static constexpr FingerPattern kPatterns[] = {FingerPattern::kArch, FingerPattern::kLeftLoop,
                                                FingerPattern::kRightLoop, FingerPattern::kWhorl};
  // Loops are the most common pattern, arches the rarest.
  const int r = rng.Below(10);
  return MakeFinger(seed, kPatterns[r < 1 ? 0 : r < 4 ? 1 : r < 7 ? 2 : 3]);
}

Finger MakeFinger(uint32_t seed, FingerPattern pattern) {
  Random rng(HashCombine(seed, uint32_t(pattern) + 17));
  Finger f;
  f.pattern = pattern;
  f.halfWidth = rng.Uniform(112, 148);
  f.halfHeight = rng.Uniform(155, 200);
  f.flow = MakeFlow(pattern, rng);
  f.period = f.flow.period;
  f.singularities = f.flow.singularities;
  f.wave = GrowRidges(f.flow, Finger::kExtent, rng.Next(), 1800 + rng.Below(400));
  f.skin = rng.Next();
  f.minutiae = TraceMinutiae(f);
  return f;
}

namespace {

struct Made {
  uint32_t seed;
  std::shared_ptr<const Finger> finger;
};
// Made when the library loads, before any thread that asks for fingers
// starts, and never destroyed: a scanner's helper thread may draw while the
// process exits.
std::mutex &g_madeLock = *new std::mutex;
std::vector<Made> &g_made = *new std::vector<Made>;

}  // namespace

std::shared_ptr<const Finger> SharedFinger(uint32_t seed) {
  std::mutex &lock = g_madeLock;
  std::vector<Made> &made = g_made;
  {
    std::lock_guard<std::mutex> hold(lock);
    for (const Made &m : made)
      if (m.seed == seed) return m.finger;
  }
  // Made outside the lock: other fingers need not wait for this one.
  auto finger = std::make_shared<const Finger>(MakeFinger(seed));
  std::lock_guard<std::mutex> hold(lock);
  for (const Made &m : made)
    if (m.seed == seed) return m.finger;
  made.push_back({seed, finger});
  return finger;
}

}  // namespace belnor::sim
