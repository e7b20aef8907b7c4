// Lookup tables shared by the matchers: built once per process, read-only
// afterwards.
#pragma once

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

// Builds the tables on the first call; false when they could not be
// allocated (then, and on every later call, nothing may read them).
bool EnsureMatchTables();

// floor(sqrt(n)) for 0 <= n < 40000, from a table fixed at compile time.
int FloorSqrtSmall(int n);

// Accessors; valid only after EnsureMatchTables() returned true.
// Whole degrees of atan(i / j) for 0 <= j <= i <= 179 (90 when j = 0).
int AtanDeg(int i, int j);
// floor(sqrt(a*a + k*k)) for a, k in 0..179.
int VectorLength(int a, int k);
// Ramp entry k in 0..2880: sin of k/8 degrees up to 720, of (k-1)/8 up to
// 2161, of (k-2)/8 above.
int32_t AngleRamp(int k);
// round(65536 sin a) and round(65536 cos a) for whole degrees (any sign).
int32_t SinDeg(int degrees);
int32_t CosDeg(int degrees);

}  // namespace fplib
