// Background clearing: everything around the finger becomes one flat grey
// level, so that dust, shadows and platen texture leave the image. Plain
// functions over byte planes; working buffers live in a caller-owned
// ClearContext (grown, never shrunk, and overwritten on every call).
#pragma once

#include <cstdint>

#include "scratch_buffer.h"

namespace belnor {

struct ClearContext {
  ScratchBuffer<uint8_t> half;       // every other pixel of every other row
  ScratchBuffer<uint16_t> gradient;  // |gx| + |gy| of the half image
  ScratchBuffer<int16_t> sobelRows;  // vertical sums and differences of one row
  ScratchBuffer<uint32_t> columnSum; // box mean: column sums, then their prefix sums
  ScratchBuffer<float> reciprocal;   // box mean: 1 / window size per column
  ScratchBuffer<uint8_t> mask;       // energy mask, half-image size
  ScratchBuffer<uint8_t> blocks;     // 8 x 8 block values of the half image
  ScratchBuffer<uint8_t> enlarged;   // block values spread to the half-image size
  ScratchBuffer<uint8_t> scratch;    // unfiltered copy for the block filters
  ScratchBuffer<uint16_t> rowSums;   // 3 x 3 smoothing
  ScratchBuffer<uint8_t> rowBuffer;  // seam smoothing
};

// Returns 0 (callers ignore it). The image is left alone when a probe window
// shows a strong dark edge; below level 90 it becomes flat.
int ClearBackground(ClearContext &ctx, uint8_t *image, int W, int H, uint8_t L);

// 1 when one of the five probe windows sees a dark-under-bright edge; 0 for
// images too small for the windows (narrower than 147 or lower than 87).
int HasEdgeProbe(const uint8_t *image, int W, int H);
// Rows y .. y + height - 1 must have two rows above them.
int RowEdgeProbe(const uint8_t *image, int W, int x, int y, int width, int height);

// 1, or -1 for a null image or a size outside 256..4000 x 360..4000.
int ClearBackgroundMasked(ClearContext &ctx, uint8_t *image, int W, int H, uint8_t L);

// Box mean of the Sobel energy into mask (w x h); returns the number of mask
// values above 0.6 L. radius above 16 gives 0 and leaves mask alone.
int EdgeEnergyMap(ClearContext &ctx, const uint8_t *half, int w, int h, uint8_t *mask,
                  int radius, uint8_t L);
// false when the half image has too little contrast (mask unchanged).
bool RefineEdgeMap(ClearContext &ctx, const uint8_t *half, uint8_t *mask, int w, int h,
                   uint8_t L);
void ApplyBackgroundMask(ClearContext &ctx, uint8_t *image, int W, int H, const uint8_t *mask,
                         uint8_t L);

// Block-map filters; each reads the unfiltered values (scratch holds a copy).
void Smooth3x3(uint8_t *map, int width, int height, ScratchBuffer<uint16_t> &rowSums);
enum class CrossMode { kMinimum, kMaximum };
void CrossFilter(uint8_t *map, int width, int height, CrossMode mode,
                 ScratchBuffer<uint8_t> &scratch);

// Steps of RefineEdgeMap on the n x r block map: joining of blocks between
// two of the other kind at distance j, and corner triangles of empty blocks
// painted into the enlarged map E (w pixels wide).
void JoinBlocks(uint8_t *blocks, int n, int r, int j);
void PaintCornerTriangles(uint8_t *E, int w, const uint8_t *blocks, int n, int r);

// floor(0.6 L), exactly.
inline int SixTenths(int L) { return L * 6 / 10; }

}  // namespace belnor
