// Lookup tables shared by the matchers: built once per process, read-only
// afterwards.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace fplib {

constexpr int kFloorSqrtTableSize = 40000;
constexpr int kAngleRampQuarterSize = 721;  // eighths of a degree, 0..90
constexpr int kAngleRampSize = 2881;
constexpr int kGeometrySpan = 180;          // |dx|, |dy| the tables cover

// round(65536 sin(k/8 degrees)) for k = 0..720.
extern const int32_t kAngleRampQuarter[kAngleRampQuarterSize];

// Integer floor of the square root of n, two bits at a time.
uint32_t floorSqrtBits(uint32_t n);

struct MatchTableData {
  int32_t angleRamp[kAngleRampSize];
  uint8_t atanDeg[kGeometrySpan * (kGeometrySpan + 1) / 2];  // triangular, row i has i + 1 entries
  int32_t vectorLength[kGeometrySpan * kGeometrySpan];
};

// floor(sqrt(n)) for n < kFloorSqrtTableSize, fixed at compile time.
extern const std::array<uint8_t, kFloorSqrtTableSize> kFloorSqrt;

// floor(sqrt(n)) for 0 <= n < 40000; needs no set-up.
inline int FloorSqrtSmall(int n) { return kFloorSqrt[size_t(n)]; }

// Written once, by the first EnsureMatchTables() of the process.
extern MatchTableData g_matchTables;

// Builds the tables exactly once per process (concurrent first calls wait
// for the one that builds); true once they can be read. They need no
// allocation, so this cannot fail.
bool EnsureMatchTables();

// Accessors; valid only after EnsureMatchTables() returned true.
// Whole degrees of atan(i / j) for 0 <= j <= i <= 179 (90 when j = 0).
inline int AtanDeg(int i, int j) { return g_matchTables.atanDeg[size_t(i) * size_t(i + 1) / 2 + size_t(j)]; }
// floor(sqrt(a*a + k*k)) for a, k in 0..179.
inline int VectorLength(int a, int k) { return g_matchTables.vectorLength[a * kGeometrySpan + k]; }
// Ramp entry k in 0..2880: sin of k/8 degrees up to 720, of (k-1)/8 up to
// 2161, of (k-2)/8 above.
inline int32_t AngleRamp(int k) { return g_matchTables.angleRamp[k]; }
// round(65536 sin a) and round(65536 cos a) for whole degrees (any sign).
inline int32_t SinDeg(int degrees) {
  int a = degrees % 360;
  if (a < 0) a += 360;
  // The ramp's second quarter is offset by one entry and its last quarter,
  // mirrored from the second, by two.
  const int k = a <= 90 ? 8 * a : a <= 270 ? 8 * a + 1 : 8 * a + 2;
  return g_matchTables.angleRamp[k];
}
inline int32_t CosDeg(int degrees) { return SinDeg(degrees + 90); }

}  // namespace fplib
