// Test images: synthetic fingers, gratings, noise, and the real prints
// padded onto a white platen.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testimg {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
  uint8_t *data() { return pixels.data(); }
  const uint8_t *data() const { return pixels.data(); }
  uint8_t &at(int x, int y) { return pixels[size_t(y) * width + x]; }
};

struct FingerShape {
  double cx = 320, cy = 320;     // ellipse centre
  double ax = 130, ay = 170;     // semi-axes
  double period = 9;             // ridge period in pixels
  bool loops = true;             // concentric ridges around a core, else straight
  double coreDrop = 0.35;        // core below the centre, in units of ay
  double straightAngle = 90;     // ridge direction of straight ridges, degrees
  int background = 240;
  int ridge = 70, valley = 200;
  int noise = 3;                 // uniform +-noise everywhere
  uint32_t seed = 1;
};

Image Flat(int width, int height, int level, int noise, uint32_t seed);
// Draws a finger over the image (pixels outside the ellipse are untouched).
void DrawFinger(Image &image, const FingerShape &shape);
Image Finger(int width, int height, const FingerShape &shape);
// Sinusoidal stripes whose ridges run at angle degrees from +x towards +y.
Image Grating(int width, int height, double angleDegrees, double period, int low, int high);
Image Random(int width, int height, uint32_t seed);
// Real print from the shared data folder, centred on a white width x height
// platen; empty image when the file cannot be read.
Image PaddedPrint(const std::string &name, int width, int height);
std::string DataFolder();

}  // namespace testimg
