// Block maps: one signed byte per 16 x 16-pixel block, row-major.
#ifndef QUISAL_BLOCK_MAP_H
#define QUISAL_BLOCK_MAP_H

namespace quisal {

using BlockMap = signed char;

// Room for the largest image the library accepts (2304 x 2304).
constexpr int kMapBytes = 144 * 144;

// Block classes of the cleaned and merged maps.
constexpr signed char kBackground = 0;
constexpr signed char kFinger = 1;
constexpr signed char kEdge = 3;

// Inclusive block coordinates.
struct BlockRect {
  int x0, y0, x1, y1;
};

inline int BlockColumns(int width) { return width / 16; }
inline int BlockRows(int height) { return (height + 15) / 16; }

}  // namespace quisal

#endif
