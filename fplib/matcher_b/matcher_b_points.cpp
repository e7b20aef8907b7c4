#include "matcher_b_points.h"

#include "cminutiae_record.h"

namespace fplib {

int loadMinutiaeB(const uint8_t *record, MinutiaeSetB &out) {
  out = MinutiaeSetB();
  const int n = record[kRecordCount];
  if (record[0] != kRecordType || n > kMaxMinutiae) return kAlgBadSize;
  int maxY = 0;
  for (int i = 0; i < n; ++i) {
    const CMinutia m = ReadCMinutia(record, i);
    if (m.y >= 360 || m.degrees >= 360) {
      out = MinutiaeSetB();
      return kAlgBadSize;
    }
    out.entries[i] = {m.x, m.y, m.degrees};
    if (m.y > maxY) maxY = m.y;
  }
  // The matcher counts rows upwards from the set's lowest minutia.
  for (int i = 0; i < n; ++i) out.entries[i].y = maxY - out.entries[i].y;
  out.count = n;
  return 0;
}

void toPointSetB(const MinutiaeSetB &set, PointSetB &out) {
  out = PointSetB();
  out.count = set.count < kMaxPointsB ? set.count : kMaxPointsB;
  for (int i = 0; i < out.count; ++i) {
    const auto &e = set.entries[i];
    out.points[i] = {(720 - e.angle) % 360, e.x, e.y};
  }
}

}  // namespace fplib
