// Finger analysis of grey images: background levels, the 8 x 8 block map of
// ridge-like blocks, its clean-up into one finger region, the finger's box and
// a finger score 0..100. Plain functions over byte planes; all scratch lives in
// a caller-owned AnalysisContext, so two threads with their own contexts may
// analyse images of different sizes at once and no result depends on an
// earlier image.
#pragma once

#include <cstdint>

#include "scratch_buffer.h"

namespace belnor {

// Block rectangle or pixel rectangle; right and bottom are inclusive blocks.
struct Rectangle {
  int left;
  int top;
  int right;
  int bottom;
};

// Working storage of one analysis. Buffers only grow, so a context reused for
// frames of one size allocates nothing after the first frame; every buffer is
// cleared before use.
struct AnalysisContext {
  ScratchBuffer<uint8_t> coarseMask;  // one byte per 32 x 32 cell, framed by two cells
  ScratchBuffer<int8_t> map;          // cleaned block map
  ScratchBuffer<int8_t> raw;          // voted block map
  ScratchBuffer<int8_t> copy;         // component filter's copy of its map
  ScratchBuffer<int32_t> stack;       // labelling work list, one entry per block at most
  ScratchBuffer<int32_t> firstRow;    // per column, concavity closing
  ScratchBuffer<int32_t> lastRow;
  uint8_t lastBackgroundLevel = 0;
};

// Largest number of regions one labelling names (labels 9 .. 67).
constexpr int kMaxLabels = 59;
constexpr int kFirstLabel = 9;

// ---- Background levels ----------------------------------------------------
uint8_t RegionMean(const uint8_t *image, int W, int x, int y, int width, int height);
// 0 for images smaller than 200 x 200.
uint8_t EstimateBackgroundLevel(const uint8_t *image, int W, int H);
uint8_t BlockMean8(const uint8_t *image, int W, int x, int y);
// 0 for images smaller than 40 x 40 (its probes would leave the image).
uint8_t BackgroundLevel(const uint8_t *image, int W, int H);

// ---- Block map ------------------------------------------------------------
// 0 (no direction) or 1 + the voted direction index: 1 horizontal ridges,
// 5 vertical, in steps of 22.5 degrees from +x towards +y. 0 for images
// smaller than 21 x 21. sensitivity is limited to 0..21.
int BlockDirectionVote(const uint8_t *image, int W, int H, int x, int y, int sensitivity);
// raw: (W / 8) x (H / 8) bytes. Returns (kept components << 16) | finger
// block count, or 0. Images of 48 or fewer rows or columns give 0.
int BuildBlockMap(AnalysisContext &ctx, const uint8_t *image, int W, int H, int8_t *raw,
                  int level);

int LabelComponents(AnalysisContext &ctx, int8_t *map, int bw, int bh);
int FilterComponents(AnalysisContext &ctx, int8_t *map, int bw, int bh, int minimum);
int MapBoundingBox(const int8_t *map, int bw, int bh, Rectangle *rect);

// ---- Finger region and score ----------------------------------------------
// map and raw: (W / 8) x (H / 8) blocks each; they may be the same buffer.
int AnalyseFinger(AnalysisContext &ctx, const uint8_t *image, int W, int H, int8_t *map,
                  int8_t *raw);
// > 0 with rect in pixels when a finger lies on the image, else 0.
int FindFingerRegion(AnalysisContext &ctx, const uint8_t *image, int W, int H, Rectangle *rect);
// 0..100, or -1 for a null image. rect (optional) receives the finger box in pixels.
int FingerScore(AnalysisContext &ctx, const uint8_t *image, int W, int H, Rectangle *rect);
int FingerScore(const uint8_t *image, int W, int H, Rectangle *rect);

}  // namespace belnor
