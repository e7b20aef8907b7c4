// Matcher A: the capture library's matcher run on minutiae records with the
// algorithm library's constants and table lookups.
#pragma once

#include <cstdint>

#include "matcher.h"
#include "matcher_a_geometry.h"
#include "minutiae_types.h"

namespace fplib {

extern const minutiae::MatchProfile kMatcherAProfile;

// Record (type 3, 7..100 minutiae inside the image) to the matcher's form:
// 0, or ALG_BAD_SIZE.
int decodeCMinutiae(const uint8_t *record, minutiae::MinutiaeRecord &out);
// Raw score >= 0; 0 when a record is refused; minutiae::kMatchNoMemory when
// memory runs out.
int matchMinutiaeA(const uint8_t *record1, const uint8_t *record2);

}  // namespace fplib
