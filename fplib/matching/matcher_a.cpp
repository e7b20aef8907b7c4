#include "matcher_a.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "alg_codes.h"
#include "atan_table.h"
#include "cminutiae_record.h"
#include "int_geometry.h"
#include "match_tables.h"

namespace fplib {

int floorSqrt(int n) {
  if (n < 0) return -1;
  if (n < kFloorSqrtTableSize) return FloorSqrtSmall(n);
  int r = int(std::sqrt(double(n)));
  while (int64_t(r) * r > n) --r;
  while (int64_t(r + 1) * (r + 1) <= n) ++r;
  return r;
}

namespace {

int DirectionFrom(int dx, int dy, const uint8_t *atan) {
  int f = std::abs(dy), e = std::abs(dx);
  scaleToTable(f, e);
  return minutiae::directionQuadrant(dx, dy, atan[size_t(f) * 128 + e]) & 255;
}

// The pair table's inner loop: lengths and directions without a call each.
void MatcherAGeometry(const int32_t *dx, const int32_t *dy, int count, int32_t *squared, uint16_t *length,
                      uint8_t *direction) {
  const uint8_t *atan = atanTable();
  for (int k = 0; k < count; ++k) {
    const int d2 = dx[k] * dx[k] + dy[k] * dy[k];
    squared[k] = d2;
    length[k] = uint16_t(d2 < kFloorSqrtTableSize ? FloorSqrtSmall(d2) : floorSqrt(d2));
    direction[k] = uint8_t(DirectionFrom(dx[k], dy[k], atan));
  }
}

}  // namespace

int matcherADirection(int dx, int dy) { return DirectionFrom(dx, dy, atanTable()); }

// Pairs 400..32400, octants 400..17688, score > 165, octant lengths within
// 16; every set kept; refinement whenever M < 700; no size penalties;
// re-score of the best set for 100 <= S < 600, in double precision.
const minutiae::MatchProfile kMatcherAProfile{floorSqrt, matcherADirection, 400, 32400, 400, 17688, 165, 16, false,
                                              true, -1, 700, false, 100, 600, true, true, MatcherAGeometry};

int decodeCMinutiae(const uint8_t *record, minutiae::MinutiaeRecord &out) {
  const int n = record[kRecordCount];
  if (record[0] != kRecordType || n < 7 || n > kMaxMinutiae) return minutiae::ALG_BAD_SIZE;
  out = minutiae::MinutiaeRecord{};
  out.kind = kRecordType;
  out.count = uint16_t(n);
  for (int i = 0; i < n; ++i) {
    const CMinutia m = ReadCMinutia(record, i);
    if (m.y >= 360 || m.degrees >= 360) return minutiae::ALG_BAD_SIZE;
    const int angle = m.degrees == 0 ? 0 : std::min(255, ((360 - m.degrees) * 256 + 180) / 360);
    out.minutiae[i] = {uint16_t(m.x), uint16_t(m.y), 1, uint8_t(angle)};
  }
  return 0;
}

int matchMinutiaeA(const uint8_t *record1, const uint8_t *record2) {
  minutiae::MinutiaeRecord a, b;
  if (decodeCMinutiae(record1, a) != 0 || decodeCMinutiae(record2, b) != 0) return 0;
  const int r = minutiae::matchMinutiaeSets(a, b, kMatcherAProfile);
  return r == minutiae::kMatchNoMemory ? r : std::max(0, r);
}

}  // namespace fplib
