// The capture library's extraction: grey image -> minutiae record -> FTemplate.
#pragma once
#include <cstdint>

#include "minutiae_types.h"

namespace minutiae {

// 0 on success and also for a blank image or zero quality (quality 0, record
// untouched); ALG_NO_MEMORY, ALG_BAD_SIZE or ALG_NO_FEATURE otherwise.
int extractMinutiae(const uint8_t *pixels, int width, int height, int *quality,
                    MinutiaeRecord *record, bool copyOut);
// The stages from the enhancement along the direction field to the selection,
// shared with the algorithm library's pipeline. A: smoothed image, B: its
// normalised copy, D: the direction field; A and B are overwritten. Throws
// std::bad_alloc.
void traceMinutiae(uint8_t *A, uint8_t *B, const uint8_t *D, int width, int height,
                   const ExtractProfile &profile, MinutiaeRecord &out);
// The driver's quality, or 0 when it failed.
int extractMinutiaeQuality(const uint8_t *pixels, int width, int height, MinutiaeRecord *record);
// -1 for bad arguments; kTemplateNoMemory when memory ran out; 0 when nothing
// was written (no finger, too few minutiae or quality 0); otherwise the
// adjusted quality stored in byte 3. The template buffer must hold 606 bytes.
constexpr int kTemplateNoMemory = -2;
int extractFTemplate(const uint8_t *pixels, int width, int height, uint8_t *tpl);

}  // namespace minutiae
