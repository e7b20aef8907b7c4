// Arctangent lookups of the algorithm library: 256 rows of 128 bytes. Rows
// 0..127 give 64 units per quarter turn, rows 128..255 give 60 (a row is |dy|,
// a column |dx|; entries rounded half up).
#pragma once

#include <cstdint>

namespace fplib {

const uint8_t *atanTable();
// Both components scaled to at most 127 when the larger exceeds 127.
inline void scaleToTable(int &a, int &b) {
  const int larger = a > b ? a : b;
  if (larger <= 127) return;
  a = (larger / 2 + a * 127) / larger;
  b = (larger / 2 + b * 127) / larger;
}
// Direction of (dx, dy) from +x towards +y: 256 and 240 units per turn.
int direction256(int dy, int dx);
int direction240(int dy, int dx);

}  // namespace fplib
