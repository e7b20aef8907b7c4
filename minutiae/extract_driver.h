// The capture library's extraction: grey image -> minutiae record -> FTemplate.
#pragma once
#include <cstdint>

#include "minutiae_types.h"

namespace minutiae {

// 0 on success and also for a blank image or zero quality (quality 0, record
// untouched); ALG_NO_MEMORY, ALG_BAD_SIZE or ALG_NO_FEATURE otherwise.
int extractMinutiae(const uint8_t *pixels, int width, int height, int *quality,
                    MinutiaeRecord *record, bool copyOut);
// The driver's quality, or 0 when it failed.
int extractMinutiaeQuality(const uint8_t *pixels, int width, int height, MinutiaeRecord *record);
// -1 for bad arguments; 0 when nothing was written (failure or quality 0);
// otherwise the adjusted quality stored in byte 3. The template buffer must
// hold 606 bytes.
int extractFTemplate(const uint8_t *pixels, int width, int height, uint8_t *tpl);

}  // namespace minutiae
