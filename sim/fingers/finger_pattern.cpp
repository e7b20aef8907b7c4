// Ridge flow from blended distance fields (a loop or whorl axis, the arches
// over the tip, the straight ridges near the joint) and spiral phase points
// for the minutiae.
#include "finger_pattern.h"

#include <algorithm>
#include <cmath>

#include "finger_math.h"

namespace belnor::sim {
namespace {

float SegmentDistance(float x, float y, float x0, float y0, float x1, float y1) {
  const float dx = x1 - x0, dy = y1 - y0;
  const float len2 = dx * dx + dy * dy;
  float t = len2 > 0 ? ((x - x0) * dx + (y - y0) * dy) / len2 : 0.0f;
  t = std::clamp(t, 0.0f, 1.0f);
  const float ex = x - (x0 + t * dx), ey = y - (y0 + t * dy);
  return std::sqrt(ex * ex + ey * ey);
}

struct Systems {
  float d[3];
  int count;
};

Systems Distances(const RidgeFlow &f, float x, float y) {
  Systems s{};
  const float top = f.topOffset + f.topRadius - std::hypot(x, y - f.topCentreY);
  const float bottom = f.bottomOffset + f.bottomY - y - f.bottomBend * x * x;
  if (f.pattern == FingerPattern::kArch) {
    const float bump = f.archHeight * std::exp(-x * x / (2 * f.archWidth * f.archWidth)) *
                       std::exp(-(y - f.archY) * (y - f.archY) / (2 * 250.0f * 250.0f));
    s.d[0] = bottom + bump;
    s.count = 1;
    return s;
  }
  s.d[0] = SegmentDistance(x, y, f.axisX0, f.axisY0, f.axisX1, f.axisY1);
  s.d[1] = top;
  s.d[2] = bottom;
  if (f.pattern != FingerPattern::kWhorl) {
    // Past the core, towards the loop's open side, the other two systems give
    // way so that the loop's ridges leave the finger there side by side.
    const float len = std::hypot(f.axisX1 - f.axisX0, f.axisY1 - f.axisY0);
    const float along = ((x - f.axisX0) * (f.axisX1 - f.axisX0) + (y - f.axisY0) * (f.axisY1 - f.axisY0)) / len;
    constexpr float kYield = 0.35f, kRamp = 40.0f;
    const float ramp = kYield * kRamp * std::log1p(std::exp(along / kRamp));
    s.d[1] += ramp;
    s.d[2] += ramp;
  }
  s.count = 3;
  return s;
}

}  // namespace

float RidgeFlow::Coordinate(float x, float y) const {
  const Systems s = Distances(*this, x, y);
  if (s.count == 1) return s.d[0];
  const float m = std::min({s.d[0], s.d[1], s.d[2]});
  float sum = 0;
  for (int i = 0; i < 3; ++i) sum += std::exp(-(s.d[i] - m) / softness);
  return m - softness * std::log(sum);
}

float RidgeFlow::Dominance(float x, float y) const {
  const Systems s = Distances(*this, x, y);
  if (s.count == 1) return 1.0f;
  const float m = std::min({s.d[0], s.d[1], s.d[2]});
  float sum = 0;
  for (int i = 0; i < 3; ++i) sum += std::exp(-(s.d[i] - m) / softness);
  return 1.0f / sum;
}

float Finger::Phase(float x, float y) const {
  float phase = 2 * kPi * flow.Coordinate(x, y) / period;
  for (const Spiral &s : spirals) phase += float(s.polarity) * FastAtan2(y - s.y, x - s.x);
  return phase;
}

float Finger::Wave(float x, float y) const {
  const float gx = x + kExtent, gy = y + kExtent;
  const int n = 2 * kExtent + 1;
  if (!(gx >= 0 && gy >= 0 && gx < n - 1 && gy < n - 1)) return -1.0f;
  const int ix = int(gx), iy = int(gy);
  const float tx = gx - ix, ty = gy - iy;
  const float *p = wave.data() + size_t(iy) * n + ix;
  const float top = p[0] + (p[1] - p[0]) * tx, bottom = p[n] + (p[n + 1] - p[n]) * tx;
  return top + (bottom - top) * ty;
}

namespace {

RidgeFlow MakeFlow(FingerPattern pattern, Random &rng, std::vector<Singularity> *singular) {
  RidgeFlow f{};
  f.pattern = pattern;
  f.softness = 5.0f;
  f.topCentreY = 480.0f + rng.Uniform(-40, 40);
  f.topRadius = f.topCentreY + 220.0f;
  f.bottomY = float(Finger::kExtent) + 20;
  f.bottomBend = rng.Uniform(0.0001f, 0.0005f);
  f.archHeight = rng.Uniform(40, 70);
  f.archWidth = rng.Uniform(70, 110);
  f.archY = rng.Uniform(-40, 40);
  const float cx = rng.Uniform(-25, 25), cy = rng.Uniform(-40, 10);
  float up = rng.Uniform(70, 105), down = rng.Uniform(75, 110);
  switch (pattern) {
    case FingerPattern::kArch:
      return f;
    case FingerPattern::kRightLoop:
    case FingerPattern::kLeftLoop: {
      float a = rng.Uniform(-25, -5) * kPi / 180;
      if (pattern == FingerPattern::kLeftLoop) a = kPi - a;
      f.axisX0 = cx;
      f.axisY0 = cy;
      f.axisX1 = cx + 1000 * std::cos(a);
      f.axisY1 = cy + 1000 * std::sin(a);
      singular->push_back({cx, cy, true});
      break;
    }
    case FingerPattern::kWhorl: {
      const float a = rng.Uniform(-0.6f, 0.6f), e = rng.Uniform(6, 16);
      f.axisX0 = cx - e * std::cos(a);
      f.axisY0 = cy - e * std::sin(a);
      f.axisX1 = cx + e * std::cos(a);
      f.axisY1 = cy + e * std::sin(a);
      up += 20;
      down += 20;
      singular->push_back({f.axisX0, f.axisY0, true});
      singular->push_back({f.axisX1, f.axisY1, true});
      break;
    }
  }
  // Offsets that let the axis system reach `up` above and `down` below the core.
  f.topOffset = 0;
  f.bottomOffset = 0;
  const Systems su = Distances(f, cx, cy - up), sd = Distances(f, cx, cy + down);
  f.topOffset = su.d[0] - su.d[1];
  f.bottomOffset = sd.d[0] - sd.d[2];
  return f;
}

// Deltas: the points where all three ridge systems meet, their distances
// equal.
void FindDeltas(const RidgeFlow &f, std::vector<Singularity> *singular) {
  if (f.pattern == FingerPattern::kArch) return;
  constexpr int kStep = 2, kLimit = 290;
  const int n = 2 * kLimit / kStep + 1;
  std::vector<float> spread(size_t(n) * n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const Systems s = Distances(f, float(-kLimit + i * kStep), float(-kLimit + j * kStep));
      spread[size_t(j) * n + i] = std::max({s.d[0], s.d[1], s.d[2]}) - std::min({s.d[0], s.d[1], s.d[2]});
    }
  for (int j = 2; j < n - 2; ++j)
    for (int i = 2; i < n - 2; ++i) {
      const float v = spread[size_t(j) * n + i];
      if (v > 3.0f) continue;
      bool lowest = true;
      for (int dj = -2; dj <= 2 && lowest; ++dj)
        for (int di = -2; di <= 2; ++di)
          if ((di || dj) && spread[size_t(j + dj) * n + i + di] < v) {
            lowest = false;
            break;
          }
      if (lowest) singular->push_back({float(-kLimit + i * kStep), float(-kLimit + j * kStep), false});
    }
}

// Phase at a spiral point without its own spiral.
float OwnPhase(const Finger &f, size_t n, float x, float y) {
  float phase = 2 * kPi * f.flow.Coordinate(x, y) / f.period;
  for (size_t m = 0; m < f.spirals.size(); ++m)
    if (m != n)
      phase += float(f.spirals[m].polarity) * FastAtan2(y - f.spirals[m].y, x - f.spirals[m].x);
  return phase;
}

void OwnGradient(const Finger &f, size_t n, float x, float y, float *gx, float *gy) {
  constexpr float h = 0.5f;
  *gx = WrapAngle(OwnPhase(f, n, x + h, y) - OwnPhase(f, n, x - h, y)) / (2 * h);
  *gy = WrapAngle(OwnPhase(f, n, x, y + h) - OwnPhase(f, n, x, y - h)) / (2 * h);
}

// Direction along the flow into the side that holds one more period of the
// phase: the spiral's ray of constant phase. (gx, gy) is the phase gradient
// without the spiral.
float BodyAngle(int polarity, float gx, float gy) {
  return std::atan2(-float(polarity) * gx, float(polarity) * gy);
}

// How far the phase on the spiral's body ray is from the centre line of a
// ridge (ending) or of a valley (bifurcation).
float SpiralResidual(const Finger &f, size_t n, MinutiaType type) {
  const Spiral &s = f.spirals[n];
  float gx, gy;
  OwnGradient(f, n, s.x, s.y, &gx, &gy);
  const float line = type == MinutiaType::kEnding ? 0.0f : kPi;
  const float onRay = OwnPhase(f, n, s.x, s.y) + float(s.polarity) * BodyAngle(s.polarity, gx, gy);
  return WrapAngle(line - onRay);
}

bool GoodSite(const Finger &f, float x, float y, size_t self) {
  const float spacing = 3.6f * f.period;
  if (std::fabs(x) > Finger::kExtent - 50 || std::fabs(y) > Finger::kExtent - 50) return false;
  for (const Singularity &s : f.singularities)
    if (std::hypot(x - s.x, y - s.y) < 4.5f * f.period) return false;
  for (size_t m = 0; m < f.spirals.size(); ++m)
    if (m != self && std::hypot(x - f.spirals[m].x, y - f.spirals[m].y) < spacing) return false;
  // Away from the seams between ridge systems, where ridges bend sharply.
  if (f.flow.Dominance(x, y) < 0.97f) return false;
  const float d = 2.0f;
  const float gx = f.flow.Coordinate(x + d, y) - f.flow.Coordinate(x - d, y);
  const float gy = f.flow.Coordinate(x, y + d) - f.flow.Coordinate(x, y - d);
  return std::hypot(gx, gy) / (2 * d) > 0.85f;
}

// Moves each spiral across the flow until its ray of constant phase is the
// centre line of a ridge (an ending) or of a valley (a bifurcation). Spirals
// that cannot settle are dropped.
void SettleOnce(Finger *f, const std::vector<MinutiaType> &types) {
  for (int iter = 0; iter < 12; ++iter) {
    for (size_t n = 0; n < f->spirals.size(); ++n) {
      Spiral &s = f->spirals[n];
      float gx, gy;
      OwnGradient(*f, n, s.x, s.y, &gx, &gy);
      const float g = std::hypot(gx, gy);
      if (g < 1e-3f) continue;
      const float step = SpiralResidual(*f, n, types[n]) / g;
      s.x += step * gx / g;
      s.y += step * gy / g;
    }
  }
}

void SettleSpirals(Finger *f, std::vector<MinutiaType> *types) {
  for (int round = 0; round < 8; ++round) {
    SettleOnce(f, *types);
    // Judge every spiral before removing any: a removal shifts the others.
    std::vector<bool> keep(f->spirals.size());
    for (size_t n = 0; n < f->spirals.size(); ++n) {
      const Spiral &s = f->spirals[n];
      keep[n] = std::fabs(SpiralResidual(*f, n, (*types)[n])) <= 0.02f && GoodSite(*f, s.x, s.y, n);
    }
    bool dropped = false;
    for (size_t n = f->spirals.size(); n-- > 0;) {
      if (keep[n]) continue;
      f->spirals.erase(f->spirals.begin() + long(n));
      types->erase(types->begin() + long(n));
      dropped = true;
    }
    if (!dropped) return;
  }
  SettleOnce(f, *types);
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
  f.period = rng.Uniform(8.0f, 10.0f);
  f.halfWidth = rng.Uniform(120, 140);
  f.halfHeight = rng.Uniform(165, 190);
  f.flow = MakeFlow(pattern, rng, &f.singularities);
  FindDeltas(f.flow, &f.singularities);

  // Minutiae: random sites, alternating polarity so that their far fields
  // cancel, then settled onto their ridge or valley.
  std::vector<MinutiaType> types;
  const int wanted = 30 + rng.Below(25);
  for (int attempt = 0; attempt < 4000 && int(f.spirals.size()) < wanted; ++attempt) {
    const float x = rng.Uniform(-240, 240), y = rng.Uniform(-240, 240);
    const MinutiaType type = rng.Below(3) == 0 ? MinutiaType::kBifurcation : MinutiaType::kEnding;
    if (!GoodSite(f, x, y, size_t(-1))) continue;
    f.spirals.push_back({x, y, f.spirals.size() % 2 ? -1 : 1});
    types.push_back(type);
  }
  SettleSpirals(&f, &types);
  for (size_t n = 0; n < f.spirals.size(); ++n) {
    const Spiral &s = f.spirals[n];
    float gx, gy;
    OwnGradient(f, n, s.x, s.y, &gx, &gy);
    f.minutiae.push_back({s.x, s.y, BodyAngle(s.polarity, gx, gy), types[n]});
  }

  // The same sum as Phase, a row at a time and spiral by spiral so that the
  // inner loop runs over contiguous pixels.
  const int n = 2 * Finger::kExtent + 1;
  f.wave.resize(size_t(n) * n);
  std::vector<float> xs(n), acc(n);
  for (int i = 0; i < n; ++i) xs[i] = float(i - Finger::kExtent);
  for (int j = 0; j < n; ++j) {
    const float y = float(j - Finger::kExtent);
    for (int i = 0; i < n; ++i) acc[i] = 2 * kPi * f.flow.Coordinate(xs[i], y) / f.period;
    for (const Spiral &s : f.spirals) {
      const float dy = y - s.y, sx = s.x, pol = float(s.polarity);
      for (int i = 0; i < n; ++i) acc[i] += pol * FastAtan2(dy, xs[i] - sx);
    }
    for (int i = 0; i < n; ++i) f.wave[size_t(j) * n + i] = std::cos(acc[i]);
  }
  return f;
}

}  // namespace belnor::sim
