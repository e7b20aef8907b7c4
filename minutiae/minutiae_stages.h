// Minutiae detection on the skeleton, joining of broken ridges and the final
// selection into the record.
#pragma once
#include <cstddef>
#include <cstdint>

#include "int_geometry.h"
#include "minutiae_types.h"

namespace minutiae {

// S: skeleton, B: binary ridge image before thinning, D: direction field.
void detectMinutiae(uint8_t *S, uint8_t *B, int width, int height, const uint8_t *D,
                    CandidateList &candidates, const ExtractProfile &profile);
void removeFalseMinutiae(uint8_t *S, int width, int height, CandidateList &candidates,
                         const ExtractProfile &profile);
void selectMinutiae(uint8_t *S, int width, int height, const uint8_t *D, CandidateList &candidates,
                    MinutiaeRecord &record, const ExtractProfile &profile);

// Circular difference of two directions in 240 units, folded to 0..120.
inline int foldDirection(int a, int b) { return foldDirection(a, b, 240); }

}  // namespace minutiae
