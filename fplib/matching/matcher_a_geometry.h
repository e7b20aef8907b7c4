// Matcher A's lengths and directions of pair vectors: one at a time, and a
// whole pair-table row at once (eight vectors at a time where the processor
// has AVX2; the plain loop gives the same values).
#pragma once

#include <cstdint>

namespace fplib {

// floor(sqrt(n)): table below 40000, computed above; -1 for negative n.
int floorSqrt(int n);
// Direction of (dx, dy) in 256 units from the 128x128 arctangent table.
int matcherADirection(int dx, int dy);

// For k < count: squared[k] = dx^2 + dy^2, length[k] = floorSqrt of it (as
// 16 bits), direction[k] = matcherADirection(dx[k], dy[k]).
void matcherAGeometryPlain(const int32_t *dx, const int32_t *dy, int count, int32_t *squared, uint16_t *length,
                           uint8_t *direction);
void matcherAGeometry(const int32_t *dx, const int32_t *dy, int count, int32_t *squared, uint16_t *length,
                      uint8_t *direction);

}  // namespace fplib
