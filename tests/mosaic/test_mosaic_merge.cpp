// Block selection of a frame against the mosaic, edge marking, and the
// paste with its seams, on hand-made maps and images.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "merge_paste.h"
#include "mosaic_state.h"

namespace {

using namespace quisal;

constexpr int kW = 640, kH = 640, kBw = 40, kBh = 40;

struct Maps {
  std::vector<BlockMap> mosaic = std::vector<BlockMap>(kBw * kBh, 0);
  std::vector<BlockMap> frame = std::vector<BlockMap>(kBw * kBh, 0);
  std::vector<BlockMap> selection = std::vector<BlockMap>(kBw * kBh, 0);
  BlockMap &m(int x, int y) { return mosaic[y * kBw + x]; }
  BlockMap &f(int x, int y) { return frame[y * kBw + x]; }
  BlockMap &s(int x, int y) { return selection[y * kBw + x]; }
};

void FillFrame(Maps &maps, const BlockRect &r) {
  for (int y = r.y0; y <= r.y1; ++y) {
    for (int x = r.x0; x <= r.x1; ++x) maps.f(x, y) = kFinger;
  }
}

TEST(MosaicMerge, EdgesOfARectangularFrame) {
  Maps maps;
  const BlockRect box{10, 5, 20, 30};
  FillFrame(maps, box);
  mosaic_mark_edges(maps.frame.data(), kBw, box);
  for (int y = 5; y <= 30; ++y) {
    for (int x = 10; x <= 20; ++x) {
      const bool edge = x <= 11 || x >= 19 || y == 5 || y == 30;
      ASSERT_EQ(maps.f(x, y), edge ? kEdge : kFinger) << x << "," << y;
    }
  }
}

TEST(MosaicMerge, EmptyMosaicTakesTheWholeFrame) {
  Maps maps;
  const BlockRect box{10, 5, 20, 30};
  FillFrame(maps, box);
  std::vector<unsigned char> image(kW * kH, 255), frame(kW * kH, 100);
  int state = -1;
  const int n = mosaic_merge_frame(maps.mosaic.data(), maps.frame.data(), box, kBw, kBh,
                                   maps.selection.data(), image.data(), frame.data(), kH, &state);
  EXPECT_EQ(state, kMergeWhole);
  EXPECT_EQ(n, 11 * 26);
  EXPECT_EQ(maps.selection, maps.frame);
  EXPECT_EQ(maps.s(10, 10), kEdge);
}

TEST(MosaicMerge, DegenerateOrSeparateFramesAreIgnored) {
  Maps maps;
  maps.m(2, 2) = kFinger;
  maps.selection.assign(kBw * kBh, 7);
  FillFrame(maps, BlockRect{10, 5, 20, 30});
  std::vector<unsigned char> image(kW * kH, 255), frame(kW * kH, 100);
  int state = 6;
  // No overlap with a non-empty mosaic: nothing, the state is reset.
  EXPECT_EQ(mosaic_merge_frame(maps.mosaic.data(), maps.frame.data(), BlockRect{10, 5, 20, 30}, kBw,
                               kBh, maps.selection.data(), image.data(), frame.data(), kH, &state),
            0);
  EXPECT_EQ(state, 0);
  EXPECT_EQ(maps.s(12, 12), 7);  // the selection keeps its old content
  EXPECT_EQ(maps.f(10, 5), kFinger);
  // A box of one column leaves even the state alone.
  state = 6;
  EXPECT_EQ(mosaic_merge_frame(maps.mosaic.data(), maps.frame.data(), BlockRect{10, 5, 10, 30}, kBw,
                               kBh, maps.selection.data(), image.data(), frame.data(), kH, &state),
            0);
  EXPECT_EQ(state, 6);
}

// Mosaic: interior columns 2..9, edge columns 10 and 11 over rows 5..30.
// Frame: columns 8..20 over the same rows.
int MergeWithFrameLevel(Maps &maps, unsigned char frameLevel) {
  for (int y = 5; y <= 30; ++y) {
    for (int x = 2; x <= 11; ++x) maps.m(x, y) = x >= 10 ? kEdge : kFinger;
  }
  const BlockRect box{8, 5, 20, 30};
  FillFrame(maps, box);
  std::vector<unsigned char> image(kW * kH, 100), frame(kW * kH, frameLevel);
  int state = -1;
  const int n = mosaic_merge_frame(maps.mosaic.data(), maps.frame.data(), box, kBw, kBh,
                                   maps.selection.data(), image.data(), frame.data(), kH, &state);
  EXPECT_EQ(state, 0);
  return n;
}

TEST(MosaicMerge, InteriorStaysEdgesGiveWayToDarkerEdges) {
  for (unsigned char level : {80, 100, 120}) {
    Maps maps;
    const int n = MergeWithFrameLevel(maps, level);
    const bool darkerOrEqual = level <= 100;
    // Frame edge columns 8, 9 lie over mosaic interior: never replaced.
    EXPECT_EQ(maps.s(8, 12), 0);
    EXPECT_EQ(maps.s(9, 5), 0);
    // Frame interior over a mosaic edge block: replaced as interior.
    EXPECT_EQ(maps.s(10, 12), kFinger);
    EXPECT_EQ(maps.s(11, 29), kFinger);
    // Frame edge (top and bottom rows) over a mosaic edge: only when darker.
    EXPECT_EQ(maps.s(10, 5), darkerOrEqual ? kEdge : 0) << int(level);
    EXPECT_EQ(maps.s(11, 30), darkerOrEqual ? kEdge : 0) << int(level);
    // New blocks come with their frame class.
    EXPECT_EQ(maps.s(15, 12), kFinger);
    EXPECT_EQ(maps.s(20, 12), kEdge);
    EXPECT_EQ(maps.s(15, 5), kEdge);
    // F - ov, then one per selected block.
    EXPECT_EQ(n, (13 * 26 - 4 * 26) + 11 * 26 - (darkerOrEqual ? 0 : 4)) << int(level);
  }
}

TEST(MosaicMerge, BlockMeanSamplesEveryOtherColumnAndStaysInTheImage) {
  std::vector<unsigned char> image(64 * 72, 0);
  for (int y = 0; y < 72; ++y) {
    for (int x = 0; x < 64; x += 2) image[y * 64 + x] = 200;  // odd columns stay 0
  }
  EXPECT_EQ(mosaic_block_mean(image.data(), 64, 72, 16, 16, 16, 16), 200);
  // Last block row of a 72-row image: rows 64..79, the missing ones repeat
  // row 71.
  for (int x = 0; x < 64; ++x) image[71 * 64 + x] = 0;
  EXPECT_EQ(mosaic_block_mean(image.data(), 64, 72, 0, 64, 16, 16), 200 * 7 / 16);
}

struct PasteCase {
  std::vector<unsigned char> image = std::vector<unsigned char>(64 * 64, 100);
  std::vector<unsigned char> frame;
  std::vector<signed char> cells = std::vector<signed char>(16 * 16, 0);
  explicit PasteCase(unsigned char level) : frame(64 * 64, level) {}
  unsigned char at(int x, int y) const { return image[y * 64 + x]; }
};

TEST(MosaicPaste, SeamsAreSoftenedAboveAJumpOf80) {
  // Cells 4..7 of cell row 4: pixels 16..31 of rows 16..19.
  for (unsigned char level : {120, 121}) {
    PasteCase c(level);
    for (int i = 4; i <= 7; ++i) c.cells[4 * 16 + i] = kFinger;
    mosaic_paste_run(c.image.data(), c.frame.data(), c.cells.data(), 16, 16, 4, 7, 4, 64, 64);
    if (level == 120) {
      // Four rows of a 20-level jump: D = 80, left as copied.
      EXPECT_EQ(c.at(15, 18), 100);
      EXPECT_EQ(c.at(16, 18), 120);
      EXPECT_EQ(c.at(18, 15), 100);
      EXPECT_EQ(c.at(18, 16), 120);
    } else {
      // D = 84: g = (100 + 121) / 2 on the seam, halfway to each side.
      EXPECT_EQ(c.at(16, 18), 110);
      EXPECT_EQ(c.at(15, 18), 105);
      EXPECT_EQ(c.at(17, 18), 115);
      EXPECT_EQ(c.at(32, 18), 110);  // right seam at 4 e + 4
      // Top and bottom seams of cell 5; cell 4's top seam, already half
      // blended by the left seam, stays below the limit.
      EXPECT_EQ(c.at(22, 16), 110);
      EXPECT_EQ(c.at(22, 15), 105);
      EXPECT_EQ(c.at(22, 20), 110);
      EXPECT_EQ(c.at(22, 18), 121);  // the cell's middle is the frame's
      EXPECT_EQ(c.at(18, 16), 121);
    }
    EXPECT_EQ(c.at(40, 18), 100);  // outside the run
  }
}

TEST(MosaicPaste, OneCellRunGetsBothVerticalSeams) {
  PasteCase c(200);
  c.cells[4 * 16 + 5] = kFinger;
  mosaic_paste_run(c.image.data(), c.frame.data(), c.cells.data(), 16, 16, 5, 5, 4, 64, 64);
  EXPECT_EQ(c.at(20, 18), 150);  // left seam: (100 + 200) / 2
  EXPECT_EQ(c.at(24, 18), 150);  // right seam, after the left one
}

TEST(MosaicPaste, CellsBelowTheImageAreNeitherCopiedNorBlended) {
  // 66 rows: block row 4 covers rows 64..79, cell rows 16..19; only two
  // pixel rows exist. Guard bytes after the image catch any write past it.
  const int H = 66;
  std::vector<unsigned char> image(64 * H + 64 * 16, 100), frame(64 * H + 64 * 16, 200);
  std::vector<BlockMap> mosaic(4 * 5, 0), frameMap(4 * 5, 0), selection(4 * 5, 0);
  for (int x = 1; x <= 2; ++x) {
    for (int y = 2; y <= 4; ++y) frameMap[y * 4 + x] = selection[y * 4 + x] = kFinger;
  }
  mosaic_paste_frame(mosaic.data(), frameMap.data(), selection.data(), 4, 5, image.data(),
                     frame.data(), 64, H);
  for (size_t i = 64 * H; i < image.size(); ++i) ASSERT_EQ(image[i], 100) << i;
  EXPECT_EQ(image[65 * 64 + 20], 200);  // the rows that exist are pasted
  EXPECT_EQ(mosaic[4 * 4 + 1], kFinger);
  EXPECT_EQ(mosaic[4 * 4 + 0], 0);
}

TEST(MosaicPaste, BottomSeamTwoRowsAboveTheImageEndIsLeftAlone) {
  // 66 rows, block rows 2 and 3 pasted: softening the seam under row 63
  // would need rows 62..66, and row 66 is past the image. Whatever lies
  // there, the rows below the seam keep the mosaic's level.
  const int H = 66;
  for (unsigned char after : {0, 255}) {
    std::vector<unsigned char> image(64 * (H + 1), 100), frame(64 * H, 200);
    std::fill(image.begin() + 64 * H, image.end(), after);
    std::vector<BlockMap> mosaic(4 * 5, 0), frameMap(4 * 5, 0), selection(4 * 5, 0);
    for (int x = 1; x <= 2; ++x) {
      for (int y = 2; y <= 3; ++y) frameMap[y * 4 + x] = selection[y * 4 + x] = kFinger;
    }
    mosaic_paste_frame(mosaic.data(), frameMap.data(), selection.data(), 4, 5, image.data(),
                       frame.data(), 64, H);
    EXPECT_EQ(int(image[63 * 64 + 20]), 200) << int(after);
    EXPECT_EQ(int(image[64 * 64 + 20]), 100) << int(after);
    EXPECT_EQ(int(image[65 * 64 + 20]), 100) << int(after);
  }
}

TEST(MosaicPaste, ExpandCellsSmoothsEdgeBlocks) {
  // An edge block beside an empty one: cells of the block next to the empty
  // side keep their class only with three or four filled diagonals.
  std::vector<BlockMap> selection = {0, 0, 0, 0, 3, 1, 0, 3, 1};
  std::vector<signed char> cells(12 * 12, 0);
  mosaic_expand_cells(selection.data(), 3, 3, cells.data());
  // Cell (4, 4): the top-left cell of block (1, 1), right neighbour 3: its
  // diagonals (3, 3), (5, 3) are empty, (3, 5) empty, (5, 5) filled: 1 -> 0.
  EXPECT_EQ(cells[4 * 12 + 4], 0);
  // Cell (5, 9): inside block (1, 2), neighbours 3: diagonals all filled.
  EXPECT_EQ(cells[9 * 12 + 5], 3);
  // In place, left to right: the class spreads into the interior block's
  // cells while their diagonals are filled, up to the row's last cell.
  EXPECT_EQ(cells[9 * 12 + 9], 3);
  EXPECT_EQ(cells[9 * 12 + 11], 1);
  EXPECT_EQ(cells[1 * 12 + 1], 0);
}

}  // namespace
