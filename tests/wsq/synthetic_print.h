// A deterministic fingerprint-like test image: an elliptical finger of
// concentric, slowly curving ridges (period about 9 px) with mild noise on
// a light background. Shared by the WSQ tests and benchmarks.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace wsqtest {

inline std::vector<uint8_t> SyntheticPrint(int width, int height, uint32_t seed = 1, double noise = 4.0) {
  std::vector<uint8_t> px(size_t(width) * size_t(height));
  const double cx = width * 0.5, cy = height * 0.55;
  const double ax = width * 0.42, ay = height * 0.46;
  uint32_t state = seed * 2654435761u + 12345u;
  auto uniform = [&state]() {
    state = state * 1664525u + 1013904223u;
    return double(state >> 8) / double(1u << 24);
  };
  const double kPi = 3.14159265358979323846;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double dx = x - cx, dy = y - cy;
      const double e = (dx * dx) / (ax * ax) + (dy * dy) / (ay * ay);
      double v = 235.0;
      if (e < 1.0) {
        // Ridge phase: distance from a core, bent by a slow orientation swirl.
        const double r = std::sqrt(dx * dx + 1.6 * dy * dy);
        const double bend = 6.0 * std::sin(0.013 * x + 0.004 * y) + 0.02 * dx;
        const double ridge = std::cos(2.0 * kPi * (r + bend) / 9.0);
        const double fade = e > 0.85 ? (1.0 - e) / 0.15 : 1.0;
        v = 235.0 - fade * (95.0 + 70.0 * ridge);
      }
      const double n = (uniform() + uniform() + uniform() - 1.5) * 2.0 * noise;
      v += n;
      px[size_t(y) * size_t(width) + size_t(x)] = uint8_t(v < 0 ? 0 : (v > 255 ? 255 : std::lround(v)));
    }
  }
  return px;
}

inline double Psnr(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
  double se = 0.0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double d = double(a[i]) - double(b[i]);
    se += d * d;
  }
  if (se == 0.0) return 99.0;
  return 10.0 * std::log10(255.0 * 255.0 * double(a.size()) / se);
}

}  // namespace wsqtest
