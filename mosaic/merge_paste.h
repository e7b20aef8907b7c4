// Merging a segmented frame into the mosaic and pasting its new blocks.
#ifndef QUISAL_MERGE_PASTE_H
#define QUISAL_MERGE_PASTE_H

#include "block_map.h"

namespace quisal {

// Number of frame blocks to paste (0: nothing); fills the selection map and
// sets mergeState to 0, or 6 when the frame covers the whole mosaic. Edge
// blocks of the frame map are raised to class 3. H is the image height.
int mosaic_merge_frame(const BlockMap *mosaicMap, BlockMap *frameMap, const BlockRect &frameBox,
                       int bw, int bh, BlockMap *selectionMap, const unsigned char *mosaicImage,
                       const unsigned char *frame, int H, int *mergeState);

// Blocks > 0 in both maps; *mosaicCount and *frameCount get each map's count.
int mosaic_count_overlap(const BlockMap *mosaicMap, const BlockMap *frameMap, int bw, int bh,
                         int *mosaicCount, int *frameCount);

void mosaic_mark_edges(BlockMap *map, int bw, const BlockRect &box);

// Mean of every other pixel of a block; rows below the image repeat its
// last row.
unsigned char mosaic_block_mean(const unsigned char *image, int W, int H, int x, int y, int width,
                                int height);

// Pastes the selected cells; false, with the mosaic and its map untouched,
// when the cell map cannot be allocated.
bool mosaic_paste_frame(BlockMap *mosaicMap, const BlockMap *frameMap, const BlockMap *selectionMap,
                        int bw, int bh, unsigned char *mosaicImage, const unsigned char *frame,
                        int W, int H);

// Block classes to the 4 x 4-pixel cell grid (4 bw x 4 bh), edges smoothed.
void mosaic_expand_cells(const BlockMap *selectionMap, int bw, int bh, signed char *cells);

// Copies cells first..last of cell row cellRow and softens its seams.
void mosaic_paste_run(unsigned char *image, const unsigned char *frame, const signed char *cells,
                      int cellsPerRow, int cellRows, int first, int last, int cellRow, int W,
                      int H);

}  // namespace quisal

#endif
