// Finding fingers on a slap as dark blobs of 16 x 16 blocks.
#pragma once

#include <vector>

namespace salvune {

constexpr int kBlock = 16;

struct Blob {
  int left, top, right, bottom;  // pixels, right and bottom exclusive
  int blocks;
};

// At most maxCount of the largest blobs, sorted left to right.
std::vector<Blob> FindFingerBlobs(const unsigned char *image, int width, int height,
                                  int maxCount);

// Copies a cutW x cutH cut centred on the blob's columns, from its top row,
// padded with 255 outside the slap. Returns the cut's top-left corner.
void CutFinger(const unsigned char *image, int width, int height, const Blob &blob, int cutW,
               int cutH, unsigned char *out, int *x, int *y);

}  // namespace salvune
