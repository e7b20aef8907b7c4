#include "test_images.h"

#include <cmath>
#include <fstream>
#include <iterator>

#include "livescan.h"

namespace testimg {
namespace {

uint32_t Next(uint32_t &state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

uint8_t Clamp(int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

}  // namespace

Image Flat(int width, int height, int level, int noise, uint32_t seed) {
  Image img{width, height, std::vector<uint8_t>(size_t(width) * height)};
  for (auto &p : img.pixels)
    p = Clamp(level + (noise > 0 ? int(Next(seed) % uint32_t(2 * noise + 1)) - noise : 0));
  return img;
}

void DrawFinger(Image &image, const FingerShape &shape) {
  const double pi = 3.14159265358979323846;
  const double coreX = shape.cx, coreY = shape.cy + shape.coreDrop * shape.ay;
  const double angle = shape.straightAngle * pi / 180;
  const double mid = (shape.ridge + shape.valley) / 2.0, amp = (shape.valley - shape.ridge) / 2.0;
  uint32_t seed = shape.seed * 2654435761u + 7;
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      const double ex = (x - shape.cx) / shape.ax, ey = (y - shape.cy) / shape.ay;
      if (ex * ex + ey * ey > 1) continue;
      double phase;
      if (shape.loops)
        phase = std::hypot(x - coreX, y - coreY);
      else
        phase = -(x - shape.cx) * std::sin(angle) + (y - shape.cy) * std::cos(angle);
      const int noise =
          shape.noise > 0 ? int(Next(seed) % uint32_t(2 * shape.noise + 1)) - shape.noise : 0;
      image.at(x, y) = Clamp(int(std::lround(mid + amp * std::cos(2 * pi * phase / shape.period))) + noise);
    }
}

Image Finger(int width, int height, const FingerShape &shape) {
  Image img = Flat(width, height, shape.background, shape.noise, shape.seed);
  DrawFinger(img, shape);
  return img;
}

Image Grating(int width, int height, double angleDegrees, double period, int low, int high) {
  const double pi = 3.14159265358979323846;
  const double a = angleDegrees * pi / 180;
  Image img{width, height, std::vector<uint8_t>(size_t(width) * height)};
  const double mid = (low + high) / 2.0, amp = (high - low) / 2.0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const double phase = -x * std::sin(a) + y * std::cos(a);
      img.at(x, y) = Clamp(int(std::lround(mid + amp * std::cos(2 * pi * phase / period))));
    }
  return img;
}

Image Random(int width, int height, uint32_t seed) {
  Image img{width, height, std::vector<uint8_t>(size_t(width) * height)};
  for (auto &p : img.pixels) p = uint8_t(Next(seed));
  return img;
}

std::string DataFolder() { return BELNOR_TEST_DATA_DIR; }

Image PaddedPrint(const std::string &name, int width, int height) {
  std::ifstream in(DataFolder() + "/" + name, std::ios::binary);
  std::vector<uint8_t> bmp((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  int w = 0, h = 0;
  if (bmp.empty() || LIVESCAN_BmpToRaw(bmp.data(), int(bmp.size()), nullptr, 0, &w, &h) != -2 ||
      w <= 0 || h <= 0 || w > width || h > height)
    return {};
  std::vector<uint8_t> raw(size_t(w) * h);
  if (LIVESCAN_BmpToRaw(bmp.data(), int(bmp.size()), raw.data(), int(raw.size()), &w, &h) != 1)
    return {};
  Image img{width, height, std::vector<uint8_t>(size_t(width) * height, 255)};
  const int x0 = (width - w) / 2, y0 = (height - h) / 2;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.at(x0 + x, y0 + y) = raw[size_t(y) * w + x];
  return img;
}

}  // namespace testimg
