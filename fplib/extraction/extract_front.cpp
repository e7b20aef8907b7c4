#include "extract_front.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "alg_codes.h"
#include "direction_quality.h"
#include "extract_pipeline.h"
#include "fp_state.h"
#include "fplib.h"
#include "image_prep.h"
#include "ref_point.h"
#include "step_log.h"
#include "thread_buffer.h"

namespace fplib {

namespace {

constexpr const char *kFn = "featureExtract";

void TakeRefPoint(const uint8_t *field, RefPoints &refs) {
  uint16_t point[2];
  if (locateRefPoints(field, point) == 0) {
    refs.x1 = point[0];
    refs.y1 = point[1];
  }
}

int RunFrontEnd(const ImageDesc *image, uint8_t *record, RefPoints &refs) {
  constexpr int w = FP_IMAGE_WIDTH, h = FP_IMAGE_HEIGHT;
  std::vector<uint8_t> &area = minutiae::threadBuffer<struct FrontPlanes, uint8_t>();
  area.resize(2 * size_t(FP_IMAGE_SIZE) + 3 * size_t(kCells));
  uint8_t *plane0 = area.data(), *plane1 = plane0 + FP_IMAGE_SIZE, *grid = plane1 + FP_IMAGE_SIZE;

  std::memcpy(plane0, image->pixels, FP_IMAGE_SIZE);
  int r = minutiae::smoothMean3x3(plane0, w, h);
  if (r != 0) {
    FP_LOG(kFn, "featureExtract 2 ret %d\n", r);
    return r;
  }
  if (minutiae::isBlankImage(image->pixels, plane0, w, h)) {
    FP_LOG(kFn, "no finger\n");
    return minutiae::ALG_NO_FEATURE;
  }
  std::memcpy(plane1, plane0, FP_IMAGE_SIZE);
  r = minutiae::normalizeLocalContrast(plane1, w, h);
  if (r != 0) {
    FP_LOG(kFn, "featureExtract 3 ret %d\n", r);
    return r;
  }
  const int g = directionQuality(plane1, grid);
  if (g < 0) return minutiae::ALG_NO_MEMORY;
  FP_LOG(kFn, "GetQuality_10032B80 ret %d\n", g);
  TakeRefPoint(grid, refs);

  int c = extractionQuality(g);
  if (c > 255) c = -1;
  FP_LOG(kFn, "quality %d\n", c);
  OnGetQualityScore callback = QualityCallback();
  if (callback) {
    uint8_t v = uint8_t(callbackQuality(c));
    const uint8_t offered = v;
    callback(image->pixels, &v);
    if (v != offered) c = qualityFromCallback(std::min<int>(v, 100));
    FP_LOG(kFn, "quality %d\n", c);
  }
  // The pipeline starts from the same two planes; a callback gets the image
  // unprotected, so after one they are computed again from what it left.
  if (callback) return runMinutiaePipeline(image->pixels, uint8_t(c & 0xFF), record);
  return runMinutiaePipeline(image->pixels, uint8_t(c & 0xFF), record, plane0, plane1);
}

}  // namespace

int callbackQuality(int c) { return c < 0 ? 0 : std::min(100, int(std::lround(3.0 * c / 7.0))); }

int qualityFromCallback(int v) { return int(std::lround(7.0 * v / 3.0)); }

int featureExtract(const ImageDesc *image, uint8_t *record, RefPoints &refs) {
  if (!image || image->width != FP_IMAGE_WIDTH || image->height != FP_IMAGE_HEIGHT || !image->pixels) {
    FP_LOG(kFn, "featureExtract 1 ret %d\n", int(minutiae::ALG_BAD_SIZE));
    return minutiae::ALG_BAD_SIZE;
  }
  try {
    return RunFrontEnd(image, record, refs);
  } catch (const std::bad_alloc &) {
    return minutiae::ALG_NO_MEMORY;
  }
}

int extractTemplate(int scannerCode, int fingerCode, uint8_t *image, uint8_t *tmpl) {
  if (!image || !tmpl) return -1;
  const ImageDesc desc{FP_IMAGE_WIDTH, FP_IMAGE_HEIGHT, image};
  uint8_t record[kRecordSize] = {};
  RefPoints refs;
  writeCTemplate(refs, nullptr, scannerCode, fingerCode, tmpl, 0);
  const int r = featureExtract(&desc, record, refs);
  if (r != 0) {
    FP_LOG("FP_FeatureExtract_Dasm", "featureExtract fail...\n");
    // The no-feature template stays, but the caller learns that it is not
    // the image's answer.
    if (r == minutiae::ALG_NO_MEMORY) return FP_ERR_MEMORY;
  } else {
    FP_LOG("FP_FeatureExtract_Dasm", "featureExtract ok\n");
    writeCTemplate(refs, record, scannerCode, fingerCode, tmpl, 0);
  }
  return 1;
}

}  // namespace fplib
