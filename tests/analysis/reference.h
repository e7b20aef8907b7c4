// Plain, literal versions of the hot analysis and clearing routines. The
// library's optimised routines must give identical output.
#pragma once

#include <cstdint>
#include <vector>

namespace ref {

int BlockDirectionVote(const uint8_t *image, int W, int H, int x, int y, int s);
// Sweep labelling exactly as historically done.
int LabelComponents(int8_t *map, int bw, int bh);
int FilterComponents(int8_t *map, int bw, int bh, int minimum);
// Coarse pass, fine pass, filter and border rule with the routines above.
int BuildBlockMap(const uint8_t *image, int W, int H, int8_t *raw, int level);

// The score from the library's finger analysis, summed literally.
int FingerScore(const uint8_t *image, int W, int H);

int EdgeEnergyMap(const uint8_t *half, int w, int h, uint8_t *mask, int radius, uint8_t L);
void Smooth3x3(uint8_t *map, int width, int height);
void ApplyBackgroundMask(uint8_t *image, int W, int H, const uint8_t *mask, uint8_t L);

}  // namespace ref
