// The minutiae pipeline of the algorithm library: the capture library's
// stages for 256x360 images with their own caps, last row and direction
// lookups.
#pragma once

#include <cstdint>

#include "minutiae_types.h"

namespace fplib {

extern const minutiae::ExtractProfile kFpExtract;

// Fills a zeroed record with 7..100 minutiae and the given quality byte.
// 0, ALG_NO_MEMORY, ALG_BAD_SIZE or ALG_NO_FEATURE. smoothed and normalised,
// when given, are the image's 3x3 mean and its normalised copy, which the
// pipeline then takes instead of computing them again.
int runMinutiaePipeline(const uint8_t *image, uint8_t quality, uint8_t *record,
                        const uint8_t *smoothed = nullptr, const uint8_t *normalised = nullptr);

}  // namespace fplib
