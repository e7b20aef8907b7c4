// The finger cut out of one fetched frame into a BmpImage.
#pragma once

namespace belnor {

// cropWidth x cropHeight (256 up to the window's size) around the finger,
// as an 8-bit BMP of 1078 + padded row length x cropHeight bytes, padding
// zeroed. 1 when the crop is not smaller than the window in both
// dimensions, else 3 (finger found) or 2 (none); -5, -1 or the fetch's
// error.
int GetFingerCropBmp(int channel, unsigned char *bmp, int cropWidth, int cropHeight);

}  // namespace belnor
