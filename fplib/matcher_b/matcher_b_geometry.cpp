#include "matcher_b_geometry.h"

#include "match_tables.h"

namespace fplib {




int matchTolerance(int value, int binned, int binResult, int kind) {
  const int v = binned ? value : StepOf(value);
  switch (kind) {
    case 0: {
      int t;
      if (v < 4)
        t = 17 + v / 2;
      else if (v < 8)
        t = 23 + (v - 4) / 2;
      else if (v < 20)
        t = 28 + ((v * 10922 - 70992) >> 15);
      else if (v < 46)
        t = 35;
      else
        t = 40;
      return binResult ? StepOf(t) : t;
    }
    case 1:
      if (v <= 4) return 40;
      if (v < 9) return 35;
      if (v < 13) return 30;
      if (v <= 20) return 25;
      if (v <= 30) return 20;
      if (v < 36) return 18;
      return 15;
    case 3:
      return 40;
    case 7:
      if (v < 5) return 55;
      if (v < 9) return 50;
      if (v < 13) return 45;
      if (v <= 20) return 40;
      return 35;
    default:
      return 20;
  }
}

int sideConsistency(int d1, int dir1, int d2, int dir2, int rotation, bool widened) {
  const int base = widened ? d1 : (d1 < d2 ? d1 : d2);
  int t = matchTolerance(base, 0, 0, 0), u = matchTolerance(base, 0, 0, 1);
  if (widened) {
    t += 10;
    u += 10;
  }
  const int dd = Abs(d1 - d2), e = Fold(dir1 - rotation - dir2);
  const int penalty = (dd < t ? dd * 16000 / t : 32000) + (e < u ? e * 16000 / u : 32000);
  return (32016 - penalty) / 32;
}

}  // namespace fplib
