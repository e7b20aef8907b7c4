// Integer geometry shared by the extractor and the matcher: table-seeded square
// root, a float arctangent and the direction conversions built on it.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace minutiae {

constexpr std::array<uint8_t, 256> MakeSqrtTable() {
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) {
    int v = 0;
    while ((v + 1) * (v + 1) <= 256 * i) ++v;
    t[size_t(i)] = uint8_t(v);
  }
  return t;
}

// floor(16 * sqrt(i)): the seeds of intSqrt.
inline constexpr std::array<uint8_t, 256> g_sqrtTable = MakeSqrtTable();

// Close to the rounded root (272 -> 17); -1 for negative n.
int intSqrt(int n);
// Radians in [0, pi/2] for y, x >= 0; single precision by design.
float fastAtan(float y, float x);
// Ridge-following directions, 240 units per turn.
int directionFromVector(int dx, int dy);
// 256 units per turn.
int angleFromVector(int dx, int dy);
// A quarter-turn value g (256 units per turn) put in the quadrant of (dx, dy).
inline int directionQuadrant(int dx, int dy, int g) {
  if (dx <= 0) return dy <= 0 ? g + 128 : 128 - g;
  return dy < 0 ? 256 - g : g;
}
// Direction of (dx, dy) in 256 units, as segmentLengthAngle gives it.
int segmentDirection(int dx, int dy);
// Direction of (x1,y1)->(x2,y2) in 256 units; squared length and intSqrt length
// go to the outputs that are given.
int segmentLengthAngle(int x1, int y1, int x2, int y2, int *squared, int *length);
int pointDistance(int x1, int y1, int x2, int y2);

// Circular difference of two directions with turn units per turn, 0..turn / 2.
inline int foldDirection(int a, int b, int turn) {
  int d = (a - b) % turn;
  if (d < 0) d += turn;
  return d > turn / 2 ? turn - d : d;
}
// A difference of 256-unit angles as -128..127.
inline int Signed8(int v) { return int(int8_t(uint8_t(v & 255))); }

struct Pixel {
  int x;
  int y;
};
// Longest segment the minutiae stages draw (their pairs lie within 20 pixels).
constexpr size_t kMaxSpan = 32;
// Pixels of the segment from -> to, `to` excluded, one per step along the longer axis.
void lineSpan(Pixel from, Pixel to, std::vector<Pixel> &out);

}  // namespace minutiae
