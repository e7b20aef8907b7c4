// Agreement of two minutiae's octant neighbourhoods: the alignment vote's
// inner step, run for every voted cell. A vector path compares all eight
// octants of both sides at once; it gives the same result as the plain one.
#pragma once
#include <cstdint>

namespace minutiae {

// The nearest neighbour of each octant, lane k for octant k; length 0 marks
// an empty octant.
struct alignas(16) OctantLanes {
  int16_t angleNear[8];
  int16_t angleFar[8];
  int16_t length[8];
};

struct OctantAgreement {
  uint32_t sum;  // scores of the octant pairs that are each other's best
  int total;     // octants of either side with a neighbour close in angle
};

// Octant k of b against octants k - 1, k and k + 1 of a.
OctantAgreement octantAgreementPlain(const OctantLanes &b, const OctantLanes &a, int lengthDiff);

// b against a[cols[i]] for i < count, into out[i]; the vector path where the
// processor has it.
void octantAgreements(const OctantLanes &b, const OctantLanes *a, const uint8_t *cols, int count, int lengthDiff,
                      OctantAgreement *out);

}  // namespace minutiae
