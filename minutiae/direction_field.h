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

void computeBlockDirection(const uint8_t *image, int width, int height, uint8_t *field);
int computeDirectionField(uint8_t *smoothed, const uint8_t *normalised, int width, int height,
                          uint8_t *field);
void mergeDirectionFields(const uint8_t *first, uint8_t *second, int cw, int ch);
int computeQualityScore(const uint8_t *normalised, const uint8_t *smoothed, int width, int height,
                        const uint8_t *field);

}  // namespace minutiae
