// Image quality, finger quality and grey-level enhancement.
#ifndef QUISAL_QUALITY_H
#define QUISAL_QUALITY_H

namespace quisal {

// Threshold of one region of the image.
int mosaic_region_threshold(const unsigned char *image, int W, int x, int y, int width, int height);
// Threshold of the image from nine probe squares; 0 below 200 x 200.
int mosaic_grey_threshold(const unsigned char *image, int W, int H);

int mosaic_image_quality(const unsigned char *image, int W, int H);
// 0..100, -1 for a null image.
int mosaic_score_finger(const unsigned char *image, int W, int H);

// Stretches the grey levels in place; the table of the first call serves
// every later call.
void mosaic_stretch_grey(unsigned char *image, int W, int H, int lo, int hi);

}  // namespace quisal

#endif
