// Small deterministic helpers of the finger generator: seeded random numbers,
// smooth noise and a fast arctangent.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace belnor::sim {

constexpr float kPi = 3.14159265358979f;

inline uint32_t Hash32(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352du;
  x ^= x >> 15;
  x *= 0x846ca68bu;
  x ^= x >> 16;
  return x;
}

inline uint32_t HashCombine(uint32_t a, uint32_t b) { return Hash32(a ^ (Hash32(b) + 0x9e3779b9u)); }

// A small generator whose sequence depends on the seed only.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(uint64_t(seed) * 0x9E3779B97F4A7C15ull + 1) {}
  uint32_t Next() {
    state_ += 0x9E3779B97F4A7C15ull;
    uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return uint32_t((z ^ (z >> 31)) >> 32);
  }
  // Uniform in [lo, hi).
  float Uniform(float lo, float hi) { return lo + (hi - lo) * float(Next() >> 8) * (1.0f / 16777216.0f); }
  int Below(int n) { return int(Next() % uint32_t(n)); }

 private:
  uint64_t state_;
};

// atan2 within about 1e-6 rad, the same on every build; written without
// branches so that loops over many points vectorise.
inline float FastAtan2(float y, float x) {
  const float ax = std::fabs(x), ay = std::fabs(y);
  const float mx = std::max(std::max(ax, ay), 1e-30f), mn = std::min(ax, ay);
  const float a = mn / mx, s = a * a;
  float r = ((((-0.0040540580f * s + 0.0218612288f) * s - 0.0559098861f) * s + 0.0964200441f) * s -
             0.1390853351f) * s + 0.1994653599f;
  r = ((r * s - 0.3332985605f) * s) * a + a;
  // Octant and quadrant by arithmetic rather than branches.
  r += float(ay > ax) * (1.57079637f - 2 * r);
  r += float(x < 0) * (3.14159274f - 2 * r);
  return r * (1.0f - 2.0f * float(y < 0));
}

// Wraps an angle into (-pi, pi].
inline float WrapAngle(float a) {
  a = std::fmod(a + kPi, 2 * kPi);
  if (a < 0) a += 2 * kPi;
  return a - kPi;
}

// Smooth value noise in [0, 1) with features of about `scale` pixels.
inline float ValueNoise(uint32_t seed, float x, float y, float scale) {
  const float fx = x / scale, fy = y / scale;
  const float x0 = std::floor(fx), y0 = std::floor(fy);
  const int ix = int(x0), iy = int(y0);
  float tx = fx - x0, ty = fy - y0;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  auto at = [seed](int i, int j) {
    return float(HashCombine(seed, uint32_t(i) * 73856093u ^ uint32_t(j) * 19349663u) >> 8) *
           (1.0f / 16777216.0f);
  };
  const float a = at(ix, iy), b = at(ix + 1, iy), c = at(ix, iy + 1), d = at(ix + 1, iy + 1);
  return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

}  // namespace belnor::sim
