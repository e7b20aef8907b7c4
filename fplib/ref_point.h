// The reference point of a finger, searched in the front end's direction
// field (84x119 cells, bit 7 background).
#pragma once

#include <cstdint>

namespace fplib {

// 0 with point = (x, y) in image pixels (both even), or -1 when no point was
// found; point is left untouched then.
int locateRefPoints(const uint8_t *field, uint16_t point[2]);

}  // namespace fplib
