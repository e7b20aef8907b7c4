// Image qualities of the extraction front end: the direction-field estimate
// that gates and scores an extraction, and the separate score behind
// FP_GetQualityScore2.
#pragma once

#include <cstdint>

namespace fplib {

constexpr int kCellCols = 84, kCellRows = 119;
constexpr int kCells = kCellCols * kCellRows;

// Writes the direction field with background flags into field (84x119 cells)
// and returns g: 100 for no strong cell, 12 for few, 20/30/40/50 for a finger
// off centre (left/right/top/bottom), else the mean strength, at least 100.
// -1 when working memory is short.
int directionQuality(const uint8_t *normalised, uint8_t *field);
// Extraction quality c from g (may exceed 255).
int extractionQuality(int g);
// 0..100 (capped), or -1 when no working memory could be had.
int qualityScore2(const uint8_t *image);

}  // namespace fplib
