#include "matcher_a.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "alg_codes.h"
#include "cminutiae_record.h"

namespace fplib {

// Pairs 400..32400, octants 400..17688, score > 165, octant lengths within
// 16; every set kept; refinement whenever M < 700; no size penalties;
// re-score of the best set for 100 <= S < 600, in double precision.
const minutiae::MatchProfile kMatcherAProfile{floorSqrt, matcherADirection, 400, 32400, 400, 17688, 165, 16, false,
                                              true, -1, 700, false, 100, 600, true, true, matcherAGeometry};

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
