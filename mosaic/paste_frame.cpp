// Pasting the selected blocks cell run by cell run, with soft seams.
#include <cstdlib>
#include <cstring>
#include <new>
#include <memory>

#include "merge_paste.h"

namespace quisal {

void mosaic_expand_cells(const BlockMap *selectionMap, int bw, int bh, signed char *cells) {
  const int cw = 4 * bw;
  const int ch = 4 * bh;
  for (int by = 0; by < bh; ++by) {
    for (int bx = 0; bx < bw; ++bx) {
      const signed char a = selectionMap[by * bw + bx];
      if (a <= 0) continue;
      for (int r = 0; r < 4; ++r) std::memset(cells + (4 * by + r) * cw + 4 * bx, a, 4);
    }
  }
  for (int j = 1; j < ch - 1; ++j) {
    for (int i = 1; i < cw - 1; ++i) {
      signed char *c = cells + j * cw + i;
      if (c[-1] != kEdge && c[1] != kEdge) continue;
      const int diagonals = (c[-cw - 1] > 0) + (c[-cw + 1] > 0) + (c[cw - 1] > 0) + (c[cw + 1] > 0);
      if (diagonals >= 3) {
        *c = kEdge;
      } else if (diagonals <= 1) {
        *c = 0;
      }
    }
  }
}

namespace {

// A jump above this over four pixel pairs is softened.
constexpr int kSeamJump = 80;

// Softens the vertical seam left of column x over rows top..top + 3.
void BlendVerticalSeam(unsigned char *image, int W, int x, int top) {
  int jump = 0;
  for (int r = top; r < top + 4; ++r) {
    const unsigned char *p = image + static_cast<long>(r) * W + x;
    jump += std::abs(p[0] - p[-1]);
  }
  if (jump <= kSeamJump) return;
  for (int r = top; r < top + 4; ++r) {
    unsigned char *p = image + static_cast<long>(r) * W + x;
    const int g = (p[-1] + p[1]) >> 1;
    p[0] = static_cast<unsigned char>(g);
    p[-1] = static_cast<unsigned char>((g + p[-2]) >> 1);
    p[1] = static_cast<unsigned char>((g + p[2]) >> 1);
  }
}

// Softens the horizontal seam above row y over columns x..x + 3.
void BlendHorizontalSeam(unsigned char *image, int W, int x, int y) {
  unsigned char *p = image + static_cast<long>(y) * W + x;
  int jump = 0;
  for (int c = 0; c < 4; ++c) jump += std::abs(p[c] - p[c - W]);
  if (jump <= kSeamJump) return;
  for (int c = 0; c < 4; ++c) {
    const int m = (p[c - W] + p[c + W]) >> 1;
    p[c] = static_cast<unsigned char>(m);
    p[c - W] = static_cast<unsigned char>((m + p[c - 2 * W]) >> 1);
    p[c + W] = static_cast<unsigned char>((p[c + 2 * W] + m) >> 1);
  }
}

}  // namespace

void mosaic_paste_run(unsigned char *image, const unsigned char *frame, const signed char *cells,
                      int cw, int ch, int f, int e, int j, int W, int H) {
  const int remaining = H - 4 * j;
  // Cells of the last block row may lie wholly below the image.
  if (remaining <= 0) return;
  const signed char *row = cells + j * cw;
  const int length = e - f + 1;
  const bool seamLeft = f > 0 && row[f - 1] == 0;
  const bool seamRight = e < cw - 1 && row[e + 1] == 0;

  const int rows = remaining < 4 ? remaining : 4;
  for (int r = 0; r < rows; ++r) {
    const long offset = static_cast<long>(4 * j + r) * W + 4 * f;
    std::memcpy(image + offset, frame + offset, 4 * static_cast<size_t>(length));
  }

  // The seam rows end at the last row copied.
  const int top = 4 * j + rows - 4;
  if (seamLeft) BlendVerticalSeam(image, W, 4 * f, top);
  if (seamRight) BlendVerticalSeam(image, W, 4 * e + 4, top);

  // A horizontal seam reads two rows on each side; near the bottom of an
  // image whose height is not a multiple of 16 those rows do not exist.
  for (int i = f; i <= e; ++i) {
    const bool seamTop = j > 0 && row[i - cw] == 0;
    const bool seamBottom = j < ch - 1 && row[i + cw] == 0;
    if (seamTop && 4 * j + 2 < H) BlendHorizontalSeam(image, W, 4 * i, 4 * j);
    if (seamBottom && 4 * j + 6 < H) BlendHorizontalSeam(image, W, 4 * i, 4 * j + 4);
  }
}

bool mosaic_paste_frame(BlockMap *mosaicMap, const BlockMap *frameMap, const BlockMap *selectionMap,
                        int bw, int bh, unsigned char *mosaicImage, const unsigned char *frame,
                        int W, int H) {
  const int cw = W / 4;
  const int ch = 4 * bh;
  std::unique_ptr<signed char[]> cells(new (std::nothrow) signed char[static_cast<size_t>(cw) * ch]());
  if (!cells) return false;
  mosaic_expand_cells(selectionMap, bw, bh, cells.get());
  for (int i = 0; i < bw * bh; ++i) {
    if (selectionMap[i] > 0 && frameMap[i] > 0 && mosaicMap[i] != kFinger) mosaicMap[i] = frameMap[i];
  }
  for (int j = 0; j < ch; ++j) {
    const signed char *row = cells.get() + j * cw;
    int first = -1;
    for (int i = 0; i < cw; ++i) {
      if (row[i] > 0) {
        if (first < 0) first = i;
      } else if (first >= 0) {
        mosaic_paste_run(mosaicImage, frame, cells.get(), cw, ch, first, i - 1, j, W, H);
        first = -1;
      }
    }
    if (first >= 0) mosaic_paste_run(mosaicImage, frame, cells.get(), cw, ch, first, cw - 1, j, W, H);
  }
  return true;
}

}  // namespace quisal
