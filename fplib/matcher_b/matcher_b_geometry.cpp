#include "matcher_b_geometry.h"

#include "match_tables.h"

namespace fplib {

int matchTolerance(int value, int binned, int binResult, int kind) {
  return ToleranceOf(value, binned, binResult, kind);
}

int sideConsistency(int d1, int dir1, int d2, int dir2, int rotation, bool widened) {
  const int base = widened ? d1 : (d1 < d2 ? d1 : d2);
  int t = TolLenOf(base), u = TolDirOf(base);
  if (widened) {
    t += 10;
    u += 10;
  }
  const int dd = Abs(d1 - d2), e = Fold(dir1 - rotation - dir2);
  const int penalty = (dd < t ? dd * 16000 / t : 32000) + (e < u ? e * 16000 / u : 32000);
  return (32016 - penalty) / 32;
}

}  // namespace fplib
