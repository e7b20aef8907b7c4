#include "rolling_frames.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace mosaic_test {

namespace {

// Fixed per-pixel noise -20..20: part of the print, not of a frame.
int Noise(int x, int y) {
  uint32_t h = static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  return static_cast<int>(h % 41) - 20;
}

double Square(double v) { return v * v; }

}  // namespace

bool InPrint(int W, int H, int x, int y) {
  const double ax = 270.0 * W / 640, ay = 290.0 * H / 640;
  return Square((x - W / 2.0) / ax) + Square((y - H / 2.0) / ay) <= 1.0;
}

bool InBand(const Band &band, int H, int x, int y) {
  return Square((x - band.centreX) / static_cast<double>(band.halfWidth)) +
             Square((y - H / 2.0) / band.halfHeight) <=
         1.0;
}

Image MakePrint(int W, int H, bool fill) {
  Image print(static_cast<size_t>(W) * H, 255);
  const double period = 9.0 * std::sqrt(2.0);  // 9 pixels across the ridges
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      if (!fill && !InPrint(W, H, x, y)) continue;
      const double ridge = 128.0 + 100.0 * std::cos(2.0 * M_PI * (x + y) / period);
      print[static_cast<size_t>(y) * W + x] =
          static_cast<unsigned char>(std::clamp(static_cast<int>(ridge) + Noise(x, y), 0, 250));
    }
  }
  return print;
}

Image ContactFrame(const Image &print, int W, int H, const Band &band) {
  Image frame(print.size(), 255);
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const size_t i = static_cast<size_t>(y) * W + x;
      if (InBand(band, H, x, y)) frame[i] = print[i];
    }
  }
  return frame;
}

std::vector<Band> RollBands(int step, bool leftToRight) {
  std::vector<Band> bands;
  for (int c = 160; c <= 480; c += step) bands.push_back(Band{leftToRight ? c : 640 - c});
  return bands;
}

Image WhiteImage(int W, int H) { return Image(static_cast<size_t>(W) * H, 255); }

}  // namespace mosaic_test
