// Ridge direction per 3x3-pixel cell: bits 0..6 a direction 0..119 (1.5 degree
// steps), bit 7 background.
#pragma once
#include <cstddef>
#include <cstdint>

namespace minutiae {

constexpr uint8_t kBackground = 0x80;
inline int cellCols(int width) { return width / 3 - 1; }
inline int cellRows(int height) { return height / 3 - 1; }

struct SlitComponents {
  int c[4];
  int activity;
};
// Slit measure of the cell centred on (cx, cy); reads the 5x5 pixels around it.
SlitComponents cellSlitComponents(const uint8_t *image, int width, int cx, int cy);
// Sector choice over summed components; direction 0..119.
int sectorDirection(const int64_t s[4]);

struct ForegroundStats {
  int64_t strength = 0;  // sum of |S0|+..+|S3| / 256 over the cells that passed
  int64_t cells = 0;     // cells that passed the limits, before the majority
};
// Directions over 11x11 cell windows, background by activity and strength
// limits and a 61-of-121 majority. fixedLimits: the limits of a full window
// even where the window is clipped. stats may be null.
int estimateDirectionField(const uint8_t *normalised, int width, int height, uint8_t *field,
                           bool fixedLimits, ForegroundStats *stats);

void computeBlockDirection(const uint8_t *image, int width, int height, uint8_t *field);
int computeDirectionField(uint8_t *smoothed, const uint8_t *normalised, int width, int height,
                          uint8_t *field);
void mergeDirectionFields(const uint8_t *first, uint8_t *second, int cw, int ch);
// Throws std::bad_alloc.
int computeQualityScore(const uint8_t *normalised, const uint8_t *smoothed, int width, int height,
                        const uint8_t *field);

}  // namespace minutiae
