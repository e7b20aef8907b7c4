#include "int_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace minutiae {

int intSqrt(int n) {
  const uint8_t *T = g_sqrtTable.data();
  if (n < 0) return -1;
  if (n < 256) return (T[n] + 8) >> 4;
  if (n < 65536) {
    int a;
    if (n < 1024) a = T[n >> 2] / 8 + 1;
    else if (n < 4096) a = T[n >> 4] / 4 + 1;
    else if (n < 16384) a = T[n >> 6] / 2 + 1;
    else a = T[n >> 8] + 1;
    return n < a * (a - 1) ? a - 1 : a;
  }
  int a;
  if (n < (1 << 24)) {
    if (n < (1 << 18)) a = 2 * T[n >> 10];
    else if (n < (1 << 20)) a = 4 * T[n >> 12];
    else if (n < (1 << 22)) a = 8 * T[n >> 14];
    else a = 16 * T[n >> 16];
  } else {
    int s;
    if (n < (1 << 26)) s = 32 * T[n >> 18];
    else if (n < (1 << 28)) s = 64 * T[n >> 20];
    else if (n < (1 << 30)) s = 128 * T[n >> 22];
    else s = 256 * T[n >> 24];
    a = (n / s + s + 1) >> 1;
  }
  const int b = (n / a + a + 1) >> 1;
  return int64_t(n) < int64_t(b) * (b - 1) ? b - 1 : b;
}

float fastAtan(float y, float x) {
  float c = std::min(y, x) / (std::max(y, x) + 2.220446e-16f);
  const float d = c * c;
  c = c + (d * (0.15931422f + d * -0.0464964749f) - 0.327622764f) * d * c;
  return y > x ? 1.5707964f - c : c;
}

int directionFromVector(int dx, int dy) {
  const int f = int(38.197186f * fastAtan(float(std::abs(dy)), float(std::abs(dx))));
  int r;
  if (dx > 0) r = dy >= 0 ? f : 240 - f;
  else r = dy > 0 ? 120 - f : 120 + f;
  return r == 240 ? 0 : r;
}

int angleFromVector(int dx, int dy) {
  const int f = int(40.743664f * fastAtan(float(std::abs(dy)), float(std::abs(dx))));
  int r;
  if (dx > 0) r = dy >= 0 ? f : -f;
  else r = dy > 0 ? 128 - f : 128 + f;
  return r & 255;
}

int segmentLengthAngle(int x1, int y1, int x2, int y2, int *squared, int *length) {
  const int dx = x2 - x1, dy = y2 - y1;
  const int d2 = dx * dx + dy * dy;
  if (squared) *squared = d2;
  if (length) *length = intSqrt(d2);
  return segmentDirection(dx, dy);
}

int segmentDirection(int dx, int dy) {
  const int g = dx == 0 ? 64 : int(40.743664f * fastAtan(float(std::abs(dy)), float(std::abs(dx))));
  return directionQuadrant(dx, dy, g);
}

int pointDistance(int x1, int y1, int x2, int y2) {
  const int dx = x2 - x1, dy = y2 - y1;
  return intSqrt(dx * dx + dy * dy);
}

void lineSpan(Pixel from, Pixel to, std::vector<Pixel> &out) {
  out.clear();
  const int dx = to.x - from.x, dy = to.y - from.y;
  const bool xMajor = std::abs(dx) >= std::abs(dy);
  const int major = xMajor ? dx : dy;
  const int minor = xMajor ? dy : dx;
  const int n = std::abs(major);
  if (n == 0) return;
  const int step = major > 0 ? 1 : -1;
  const int inc = 100 * minor / n;
  int a = xMajor ? from.x : from.y;
  int b = xMajor ? from.y : from.x;
  int acc = 0;
  for (int k = 0; k < n; ++k) {
    out.push_back(xMajor ? Pixel{a, b} : Pixel{b, a});
    a += step;
    acc += inc;
    if (acc >= 50) {
      ++b;
      acc -= 100;
    } else if (acc < -49) {
      --b;
      acc += 100;
    }
  }
}

}  // namespace minutiae
