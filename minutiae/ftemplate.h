// FTemplate: the capture library's minutiae template. Byte layout is fixed
// because callers store and exchange it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "minutiae_types.h"

namespace minutiae {

constexpr size_t kFTemplateMax = 606;  // 5 * 120 + 6
inline size_t FTemplateSize(int count) { return size_t(5 * count + 6); }

// Quality after the adjustment by the minutiae count, clamped to 0..100.
int adjustTemplateQuality(int quality, int count, int width, int height);
// Writes 5N+6 bytes (N = record.count, at most 120); returns the length.
size_t packFTemplate(const MinutiaeRecord &record, int quality, uint8_t *out);
// Reads a template as the matcher does: only byte 0 is checked, N is capped at
// 120, every minutia gets type 1 and the record kind 3. The buffer must hold
// 5 + 5 * min(N, 120) bytes. False when byte 0 is not 'F'.
bool unpackFTemplate(const uint8_t *in, MinutiaeRecord &record);

}  // namespace minutiae
