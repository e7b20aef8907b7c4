// Template matching: both matchers on the unpacked records, fused into one
// similarity 0..1.
#pragma once

#include <cstdint>

namespace fplib {

// The fusion rule: B^0.6 * A / 614.4, clamped to 0..1.
float fuseScores(int scoreA, float scoreB);
// 0 when a record is null or memory runs out.
float fuseMatchScores(const uint8_t *record1, const uint8_t *record2);
// 1 with *score set; -1 when a template cannot be unpacked; FP_ERR_MEMORY
// (score 0) when a matcher ran out of memory.
int featureMatch(const uint8_t *tmpl1, const uint8_t *tmpl2, float *score);

}  // namespace fplib
