#include "extract_pipeline.h"

#include <cstring>
#include <new>
#include <vector>

#include "alg_codes.h"
#include "atan_table.h"
#include "cminutiae_record.h"
#include "ctemplate.h"
#include "direction_field.h"
#include "extract_driver.h"
#include "fplib.h"
#include "image_prep.h"
#include "step_log.h"
#include "thread_buffer.h"

namespace fplib {

namespace {

// The stages pass (dx, dy).
int Direction240(int dx, int dy) { return direction240(dy, dx); }
int Direction256(int dx, int dy) { return direction256(dy, dx); }

constexpr int kCandidateCap = 250;

int RunStages(const uint8_t *image, uint8_t quality, uint8_t *record, const uint8_t *smoothed,
              const uint8_t *normalised) {
  constexpr int w = FP_IMAGE_WIDTH, h = FP_IMAGE_HEIGHT;
  constexpr size_t plane = FP_IMAGE_SIZE;
  const size_t cells = size_t(minutiae::cellCols(w)) * minutiae::cellRows(h);
  std::vector<uint8_t> &block = minutiae::threadBuffer<struct PipelinePlanes, uint8_t>();
  block.resize(2 * plane + cells);
  uint8_t *A = block.data(), *B = A + plane, *D = B + plane;

  if (smoothed && normalised) {
    std::memcpy(A, smoothed, plane);
    std::memcpy(B, normalised, plane);
  } else {
    std::memcpy(A, image, plane);
    if (minutiae::smoothMean3x3(A, w, h) != minutiae::ALG_OK) return minutiae::ALG_NO_MEMORY;
    std::memcpy(B, A, plane);
    if (minutiae::normalizeLocalContrast(B, w, h) != minutiae::ALG_OK) return minutiae::ALG_NO_MEMORY;
  }
  if (minutiae::computeDirectionField(A, B, w, h, D) != minutiae::ALG_OK) return minutiae::ALG_NO_MEMORY;
  const int q = minutiae::computeQualityScore(B, A, w, h, D);
  FP_LOG("featureExtract_10037040", "quality=%d\n", q);
  if (q <= 0) return minutiae::ALG_NO_FEATURE;

  minutiae::MinutiaeRecord &selection = minutiae::threadObject<struct PipelineSelection, minutiae::MinutiaeRecord>();
  selection = minutiae::MinutiaeRecord{};
  minutiae::traceMinutiae(A, B, D, w, h, kFpExtract, selection);
  if (selection.count < 7) return minutiae::ALG_NO_FEATURE;
  selection.kind = kRecordType;
  return packSelection(record, selection, quality);
}

}  // namespace

const minutiae::ExtractProfile kFpExtract{kCandidateCap, kMaxMinutiae, true, Direction240, Direction256};

int runMinutiaePipeline(const uint8_t *image, uint8_t quality, uint8_t *record, const uint8_t *smoothed,
                        const uint8_t *normalised) {
  try {
    return RunStages(image, quality, record, smoothed, normalised);
  } catch (const std::bad_alloc &) {
    return minutiae::ALG_NO_MEMORY;
  }
}

}  // namespace fplib
