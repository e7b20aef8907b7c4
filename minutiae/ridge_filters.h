// Grey image -> one-pixel ridge skeleton (ridges 0, background 255).
#pragma once
#include <cstddef>
#include <cstdint>

namespace minutiae {

void enhanceAlongDirection(uint8_t *image, int width, int height, const uint8_t *field);
void estimateRidgePeriod(const uint8_t *image, int width, int height, const uint8_t *field,
                         uint8_t *periods);
void filterByContext(uint8_t *image, int width, int height, const uint8_t *field,
                     const uint8_t *periods);
// bound: period values above it use the 15x15 window (height / 3 - 1 here).
void binarizeFiltered(uint8_t *image, int width, int height, const uint8_t *periods, int bound);
void removeSmallIslands(uint8_t *image, int width, int height);
void thinRidges(uint8_t *image, int width, int height);
// 256 entries; 1 where a ridge pixel with that background-neighbour code may go.
const uint8_t *thinningTable();

}  // namespace minutiae
