#include "extract_driver.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "alg_codes.h"
#include "direction_field.h"
#include "ftemplate.h"
#include "image_prep.h"
#include "int_geometry.h"
#include "minutiae_stages.h"
#include "ridge_filters.h"
#include "thread_buffer.h"

namespace minutiae {

const ExtractProfile kCaptureExtract{kMaxCandidates, kMaxMinutiae, false, directionFromVector,
                                     angleFromVector};

namespace {

bool DriverSize(int w, int h) {
  return (w == 256 || w == 400 || w == 640) && (h == 360 || h == 400 || h == 640);
}

int RunPipeline(const uint8_t *pixels, int w, int h, int *quality, MinutiaeRecord *record, bool copyOut) {
  const int cw = cellCols(w), ch = cellRows(h);
  const size_t plane = size_t(w) * h, cells = size_t(cw) * ch;
  std::vector<uint8_t> &block = threadBuffer<struct DriverPlanes, uint8_t>();
  block.resize(2 * plane + cells);
  uint8_t *A = block.data(), *B = A + plane, *D = B + plane;

  std::memcpy(A, pixels, plane);
  if (smoothMean3x3(A, w, h) != ALG_OK) return ALG_NO_MEMORY;
  if (isBlankImage(pixels, A, w, h)) {
    *quality = 0;
    return ALG_OK;
  }
  std::memcpy(B, A, plane);
  if (normalizeLocalContrast(B, w, h) != ALG_OK) return ALG_NO_MEMORY;
  if (computeDirectionField(A, B, w, h, D) != ALG_OK) return ALG_NO_MEMORY;
  const int q = computeQualityScore(B, A, w, h, D);
  *quality = std::min(q, 100);
  if (q <= 0) {
    *quality = 0;
    return ALG_OK;
  }
  MinutiaeRecord &out = threadObject<struct DriverRecord, MinutiaeRecord>();
  out = MinutiaeRecord{};
  traceMinutiae(A, B, D, w, h, kCaptureExtract, out);
  out.kind = 0;
  if (out.count <= 6) return ALG_NO_FEATURE;
  if (copyOut) *record = out;
  return ALG_OK;
}

}  // namespace

void traceMinutiae(uint8_t *A, uint8_t *B, const uint8_t *D, int w, int h, const ExtractProfile &prof,
                   MinutiaeRecord &out) {
  const int cw = cellCols(w), ch = cellRows(h);
  const size_t plane = size_t(w) * h, cells = size_t(cw) * ch;
  enhanceAlongDirection(A, w, h, D);
  smoothCross5(B, A, w, h, prof.crossLastRowFromLast);

  std::vector<uint8_t> &P = threadBuffer<struct TracePeriods, uint8_t>();
  std::vector<uint8_t> &E = threadBuffer<struct TraceDirections, uint8_t>();
  P.assign(cells, 0);
  E.assign(cells, 0);
  const int bound = h / 3 - 1;
  estimateRidgePeriod(B, w, h, D, P.data());
  filterByContext(A, w, h, D, P.data());
  binarizeFiltered(A, w, h, P.data(), bound);

  computeBlockDirection(A, w, h, E.data());
  enhanceAlongDirection(A, w, h, E.data());
  mergeDirectionFields(D, E.data(), cw, ch);

  std::fill(P.begin(), P.end(), 0);
  estimateRidgePeriod(A, w, h, E.data(), P.data());
  filterByContext(A, w, h, E.data(), P.data());
  binarizeFiltered(A, w, h, P.data(), bound);

  removeSmallIslands(A, w, h);
  std::memcpy(B, A, plane);
  thinRidges(A, w, h);

  CandidateList &candidates = threadObject<struct TraceCandidates, CandidateList>();
  candidates = CandidateList{};
  detectMinutiae(A, B, w, h, D, candidates, prof);
  removeFalseMinutiae(A, w, h, candidates, prof);
  selectMinutiae(A, w, h, D, candidates, out, prof);
}

int extractMinutiae(const uint8_t *pixels, int w, int h, int *quality, MinutiaeRecord *record, bool copyOut) {
  if (!DriverSize(w, h)) return ALG_BAD_SIZE;
  try {
    return RunPipeline(pixels, w, h, quality, record, copyOut);
  } catch (const std::bad_alloc &) {
    return ALG_NO_MEMORY;
  }
}

int extractMinutiaeQuality(const uint8_t *pixels, int w, int h, MinutiaeRecord *record) {
  int quality = 0;
  const int r = extractMinutiae(pixels, w, h, &quality, record, true);
  return r == ALG_OK ? quality : 0;
}

int extractFTemplate(const uint8_t *pixels, int w, int h, uint8_t *tpl) {
  if (!pixels || !tpl || w < 256 || w > 640 || h < 360 || h > 640) return -1;
  MinutiaeRecord *record;
  try {
    record = &threadObject<struct TemplateRecord, MinutiaeRecord>();
  } catch (const std::bad_alloc &) {
    return kTemplateNoMemory;
  }
  int quality = 0;
  const int r = extractMinutiae(pixels, w, h, &quality, record, true);
  if (r == ALG_NO_MEMORY) return kTemplateNoMemory;
  if (r != ALG_OK || quality <= 0) return 0;
  const int adjusted = adjustTemplateQuality(quality, record->count, w, h);
  packFTemplate(*record, adjusted, tpl);
  return tpl[3];
}

}  // namespace minutiae
