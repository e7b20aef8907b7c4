// Synthetic rolled print: a noisy 45-degree ridge pattern inside an ellipse,
// shown frame by frame through a contact band that moves across it.
#ifndef QUISAL_TESTS_ROLLING_FRAMES_H
#define QUISAL_TESTS_ROLLING_FRAMES_H

#include <vector>

namespace mosaic_test {

using Image = std::vector<unsigned char>;

struct Band {
  int centreX;
  int halfWidth = 88;
  int halfHeight = 280;
};

// The whole print on white; with fill set, the ridges cover the image.
Image MakePrint(int W, int H, bool fill = false);

bool InPrint(int W, int H, int x, int y);
bool InBand(const Band &band, int H, int x, int y);

// What the scanner shows while the band touches the platen; white elsewhere.
Image ContactFrame(const Image &print, int W, int H, const Band &band);

// Band centres from 160 to 480 in steps of step pixels (or back).
std::vector<Band> RollBands(int step, bool leftToRight = true);

Image WhiteImage(int W, int H);

}  // namespace mosaic_test

#endif
