// The extraction front end: size and blank checks, the quality estimate, the
// reference point, the host's quality callback, then the minutiae pipeline.
#pragma once

#include <cstdint>

#include "ctemplate.h"

namespace fplib {

struct ImageDesc {
  int width;
  int height;
  uint8_t *pixels;  // handed to the host's callback
};

// Callback value 0..100 for an extraction quality c (0 when c is -1).
int callbackQuality(int c);
// c back from a callback value.
int qualityFromCallback(int v);

// 0 with 7..100 minutiae and the quality in record, or an algorithm code.
int featureExtract(const ImageDesc *image, uint8_t *record, RefPoints &refs);
// Writes a kind-1 template, or the kind-2 no-feature template when
// extraction fails; -1 for a null pointer, else 1.
int extractTemplate(int scannerCode, int fingerCode, uint8_t *image, uint8_t *tmpl);

}  // namespace fplib
