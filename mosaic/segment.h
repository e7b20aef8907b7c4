// Frame segmentation into 16 x 16 finger blocks.
#ifndef QUISAL_SEGMENT_H
#define QUISAL_SEGMENT_H

#include "block_map.h"

namespace quisal {

// Block tests of the segmentation.
constexpr int kTextureTest = 2;
constexpr int kDirectionTest = 8;

// Finger blocks needed for a finger.
constexpr int kMinFingerBlocks = 40;

// Finger block count (at least 40) or 0; raw gets the block-test results,
// map the cleaned 0/1 classes. map and raw may be one buffer.
int mosaic_segment_finger(const unsigned char *frame, int W, int H, BlockMap *map, BlockMap *raw,
                          int mode);
// The same for the exports, which let no exception out: -2 when the
// segmentation's scratch memory cannot be allocated.
int mosaic_segment_finger_or_no_memory(const unsigned char *frame, int W, int H, BlockMap *map,
                                       BlockMap *raw, int mode);

int mosaic_classify_blocks(const unsigned char *frame, int W, int H, BlockMap *raw, int mode);

// Test of the block with top-left pixel (x, y): texture for mode 2, else
// direction. H bounds the direction test's reads.
signed char mosaic_block_test(const unsigned char *frame, int W, int H, int x, int y, int mode);
signed char mosaic_block_texture(const unsigned char *frame, int W, int x, int y);
// 0 (no clear direction) or 1..8; samples outside the image are clamped to it.
signed char mosaic_block_direction(const unsigned char *frame, int W, int H, int x, int y);

void mosaic_erode_map(BlockMap *map, int bw, int bh);
void mosaic_dilate_map(BlockMap *map, int bw, int bh);
// Limits rect to the inner area first; the limited box is left in rect.
void mosaic_fill_gaps(BlockMap *map, int bw, int bh, BlockRect *rect);
void mosaic_keep_main_region(BlockMap *map, int bw, int bh);
void mosaic_remove_stripes(BlockMap *map, int bw, const BlockRect &rect);
void mosaic_smooth_edges(BlockMap *map, int bw, int bh, const BlockRect &rect);

// Bounding box of the blocks >= 1; (0, 0, 0, 0) unless it spans at least two
// columns and two rows.
void mosaic_map_bbox(const BlockMap *map, int bw, int bh, BlockRect *rect);

}  // namespace quisal

#endif
