// Matcher B: a triangle-voting rigid matcher over two minutiae records,
// scored 0..1 for the fusion with matcher A.
#pragma once

#include <cstdint>

#include "matcher_b_points.h"
#include "matcher_b_score.h"

namespace fplib {

// 2 for a null argument or a count outside 6..120 (result untouched), -1
// when the first set cannot be prepared or memory runs out, else 0 with the
// result filled. The search state is borrowed from a pool: made when no free
// one is left, then kept.
int matchMinutiaeB(const PointSetB *first, const PointSetB *second, MatcherBResult *result);

// Similarity 0..1 of two CMinutiaeRecords; 0 when either is refused, and 0
// with *noMemory set when memory ran out.
float ScoreMatcherB(const uint8_t *record1, const uint8_t *record2, bool *noMemory = nullptr);

}  // namespace fplib
