// The minutiae pipeline of the algorithm library: the capture library's
// stages for 256x360 images with their own caps, last row and direction
// lookups.
#pragma once

#include <cstdint>

#include "minutiae_types.h"

namespace fplib {

extern const minutiae::ExtractProfile kFpExtract;

// Fills a zeroed record with 7..100 minutiae and the given quality byte.
// 0, ALG_NO_MEMORY, ALG_BAD_SIZE or ALG_NO_FEATURE.
int runMinutiaePipeline(const uint8_t *image, uint8_t quality, uint8_t *record);

}  // namespace fplib
