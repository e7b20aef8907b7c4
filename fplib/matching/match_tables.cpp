#include "match_tables.h"

namespace fplib {

namespace {

constexpr std::array<uint8_t, kFloorSqrtTableSize> MakeFloorSqrtTable() {
  std::array<uint8_t, kFloorSqrtTableSize> t{};
  int r = 0;
  for (int n = 0; n < kFloorSqrtTableSize; ++n) {
    while ((r + 1) * (r + 1) <= n) ++r;
    t[size_t(n)] = uint8_t(r);
  }
  return t;
}

}  // namespace

// Made by the compiler: no set-up at run time, no first-use guard.
extern constexpr std::array<uint8_t, kFloorSqrtTableSize> kFloorSqrt = MakeFloorSqrtTable();

MatchTableData g_matchTables;

namespace {

size_t AtanRowStart(int i) { return size_t(i) * size_t(i + 1) / 2; }

// Largest k in 0..720 whose ramp value does not exceed v: the angle in
// eighths of a degree, truncated.
int RampBisect(const int32_t *ramp, int64_t v) {
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

void InitMatchTables(MatchTableData &t) {
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
  // A function-local static: the first caller builds, concurrent first
  // callers wait for it, later calls cost one load.
  static const bool built = (InitMatchTables(g_matchTables), true);
  return built;
}

}  // namespace fplib
