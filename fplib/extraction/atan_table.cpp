#include "atan_table.h"

#include <array>
#include <cmath>
#include <cstdlib>

namespace fplib {

namespace {

std::array<uint8_t, 256 * 128> BuildAtanTable() {
  std::array<uint8_t, 256 * 128> t{};
  for (int r = 0; r < 256; ++r) {
    const int units = r < 128 ? 64 : 60, f = r < 128 ? r : r - 128;
    for (int c = 0; c < 128; ++c) {
      const double v = c == 0 ? units : std::floor(units * std::atan(double(f) / c) / (M_PI / 2) + 0.5);
      t[size_t(r) * 128 + c] = uint8_t(v);
    }
  }
  return t;
}

// Quarter-turn value of (|dy|, |dx|) from the given half of the table.
int Quarter(int dy, int dx, int rowBase) {
  int f = std::abs(dy), e = std::abs(dx);
  scaleToTable(f, e);
  return atanTable()[size_t(f + rowBase) * 128 + e];
}

int FromQuarter(int dy, int dx, int e, int half) {
  int r;
  if (dx > 0) r = dy >= 0 ? e : 2 * half - e;
  else r = dy > 0 ? half - e : half + e;
  return r == 2 * half ? 0 : r;
}

}  // namespace

const uint8_t *atanTable() {
  static const std::array<uint8_t, 256 * 128> table = BuildAtanTable();
  return table.data();
}

int direction256(int dy, int dx) { return FromQuarter(dy, dx, Quarter(dy, dx, 0), 128); }
int direction240(int dy, int dx) { return FromQuarter(dy, dx, Quarter(dy, dx, 128), 120); }

}  // namespace fplib
