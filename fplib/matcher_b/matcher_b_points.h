// Matcher B's input: minutiae read from a CMinutiaeRecord, y flipped, and
// the point set the search works on.
#pragma once

#include <cstdint>

#include "matcher_b_geometry.h"

namespace fplib {

constexpr int kMaxPointsB = 120;
constexpr int kAlgBadSize = 258;

struct MinutiaeSetB {
  int count = 0;  // 0..100
  struct Entry {
    int x, y, angle;
  } entries[100] = {};
};

struct PointSetB {
  int count = 0;
  PointB points[kMaxPointsB] = {};
};

// 0, or 258 for a record of another type, a count above 100, or a y or
// angle of 360 or more.
int loadMinutiaeB(const uint8_t *record, MinutiaeSetB &out);

void toPointSetB(const MinutiaeSetB &set, PointSetB &out);

}  // namespace fplib
