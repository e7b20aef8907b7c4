#include "match_tables.h"

#include <array>
#include <new>
#include <vector>

namespace fplib {

namespace {

struct MatchTables {
  std::vector<int32_t> angleRamp;   // 2881
  std::vector<uint8_t> atanDeg;     // triangular, row i has i + 1 entries
  std::vector<int32_t> vectorLength;  // 180 x 180
};

constexpr std::array<uint8_t, kFloorSqrtTableSize> MakeFloorSqrtTable() {
  std::array<uint8_t, kFloorSqrtTableSize> t{};
  int r = 0;
  for (int n = 0; n < kFloorSqrtTableSize; ++n) {
    while ((r + 1) * (r + 1) <= n) ++r;
    t[size_t(n)] = uint8_t(r);
  }
  return t;
}

constexpr std::array<uint8_t, kFloorSqrtTableSize> kFloorSqrt = MakeFloorSqrtTable();

MatchTables g_tables;
bool g_matchTablesReady = false;  // set after the first attempt, even a failed one
bool g_matchTablesBuilt = false;

size_t AtanRowStart(int i) { return size_t(i) * size_t(i + 1) / 2; }

// Largest k in 0..720 whose ramp value does not exceed v: the angle in
// eighths of a degree, truncated.
int RampBisect(const std::vector<int32_t> &ramp, int64_t v) {
  int lo = 0, hi = kAngleRampQuarterSize - 1;
  if (v >= ramp[hi]) return hi;
  while (hi - lo > 1) {
    int mid = (lo + hi) / 2;
    if (ramp[mid] <= v)
      lo = mid;
    else
      hi = mid;
  }
  return lo;
}

bool InitMatchTables(MatchTables &t) {
  try {
    t.angleRamp.resize(kAngleRampSize);
    t.atanDeg.resize(AtanRowStart(kGeometrySpan));
    t.vectorLength.resize(size_t(kGeometrySpan) * kGeometrySpan);
  } catch (const std::bad_alloc &) {
    t = MatchTables();
    return false;
  }
  for (int k = 0; k < kAngleRampQuarterSize; ++k) t.angleRamp[k] = kAngleRampQuarter[k];
  for (int i = 1; i < kGeometrySpan; ++i) {
    uint8_t *row = &t.atanDeg[AtanRowStart(i)];
    row[0] = 90;
    for (int j = 1; j <= i; ++j) {
      const uint32_t sq = uint32_t(i * i + j * j);
      int64_t v;
      if (sq > 65536)
        v = (int64_t(i) << 16) / floorSqrtBits(sq);
      else
        v = (int64_t(i) << 23) / floorSqrtBits(sq << 14);
      row[j] = uint8_t(RampBisect(t.angleRamp, v) / 8);
    }
  }
  t.atanDeg[0] = 90;
  for (int a = 0; a < kGeometrySpan; ++a)
    for (int k = 0; k < kGeometrySpan; ++k)
      t.vectorLength[size_t(a) * kGeometrySpan + k] = int32_t(floorSqrtBits(uint32_t(a * a + k * k)));
  // Second quarter mirrors the first (shifted by one entry), then the
  // second half turn is the negated first.
  for (int j = 0; j < 720; ++j) t.angleRamp[721 + j] = t.angleRamp[720 - j];
  for (int k = 0; k < 1440; ++k) t.angleRamp[1441 + k] = -t.angleRamp[k];
  return true;
}

}  // namespace

uint32_t floorSqrtBits(uint32_t n) {
  uint32_t root = 0, rem = 0;
  for (int shift = 30; shift >= 0; shift -= 2) {
    rem = (rem << 2) | ((n >> shift) & 3);
    const uint32_t trial = (root << 2) | 1;
    root <<= 1;
    if (rem >= trial) {
      rem -= trial;
      root |= 1;
    }
  }
  return root;
}

bool EnsureMatchTables() {
  if (!g_matchTablesReady) {
    g_matchTablesBuilt = InitMatchTables(g_tables);
    g_matchTablesReady = true;
  }
  return g_matchTablesBuilt;
}

int FloorSqrtSmall(int n) { return kFloorSqrt[size_t(n)]; }

int AtanDeg(int i, int j) { return g_tables.atanDeg[AtanRowStart(i) + size_t(j)]; }

int VectorLength(int a, int k) { return g_tables.vectorLength[size_t(a) * kGeometrySpan + size_t(k)]; }

int32_t AngleRamp(int k) { return g_tables.angleRamp[size_t(k)]; }

int32_t SinDeg(int degrees) {
  int a = degrees % 360;
  if (a < 0) a += 360;
  // The ramp's second quarter is offset by one entry and its last quarter,
  // mirrored from the second, by two.
  const int k = a <= 90 ? 8 * a : a <= 270 ? 8 * a + 1 : 8 * a + 2;
  return g_tables.angleRamp[size_t(k)];
}

int32_t CosDeg(int degrees) { return SinDeg(degrees + 90); }

}  // namespace fplib
