// Synthetic fingerprints for the extractor tests: sinusoidal ridges around a
// virtual core with phase spirals that each plant one minutia.
#pragma once
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace testprint {

struct Spiral {
  double x, y;
  int sign;  // +1 or -1
};

struct PrintSpec {
  int width = 400, height = 400;
  double period = 9.0;
  double coreX = 200, coreY = -150;  // centre of the ring carrier
  double maskA = 150, maskB = 175;   // ellipse half-axes of the finger
  double contrast = 90;
  double noise = 6;
  unsigned seed = 1;
  std::vector<Spiral> spirals;
};

inline std::vector<uint8_t> Render(const PrintSpec &s) {
  std::vector<uint8_t> img(size_t(s.width) * s.height);
  std::mt19937 rng(s.seed);
  std::normal_distribution<double> noise(0.0, s.noise);
  const double cx = s.width / 2.0, cy = s.height / 2.0;
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x) {
      const double ex = (x - cx) / s.maskA, ey = (y - cy) / s.maskB;
      double v = 235;
      if (ex * ex + ey * ey <= 1.0) {
        double psi = 2 * M_PI * std::hypot(x - s.coreX, y - s.coreY) / s.period;
        for (const Spiral &sp : s.spirals) psi += sp.sign * std::atan2(y - sp.y, x - sp.x);
        v = 128 + s.contrast * std::cos(psi);
      }
      v += noise(rng);
      img[size_t(y) * s.width + x] = uint8_t(std::lround(std::fmin(255.0, std::fmax(0.0, v))));
    }
  return img;
}

// A plain print with a handful of minutiae well inside the mask.
inline PrintSpec DefaultPrint(unsigned seed = 1) {
  PrintSpec s;
  s.seed = seed;
  std::mt19937 rng(seed * 7919u);
  std::uniform_real_distribution<double> ux(-90, 90), uy(-110, 110);
  while (s.spirals.size() < 12) {
    const Spiral sp{200 + ux(rng), 200 + uy(rng), (rng() & 1) ? 1 : -1};
    bool farEnough = true;
    for (const Spiral &o : s.spirals) farEnough = farEnough && std::hypot(o.x - sp.x, o.y - sp.y) > 35;
    if (farEnough) s.spirals.push_back(sp);
  }
  return s;
}

}  // namespace testprint
