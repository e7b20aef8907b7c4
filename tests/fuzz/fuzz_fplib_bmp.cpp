// Fuzz target: the image buffers of libminutia, which tell a BMP from raw
// pixels by their first bytes: FP_GetQualityScore, FP_FeatureExtract and,
// for what the extraction refuses, FP_ImageMatch. The input is the start of
// the buffer; white fills the rest (which keeps each run short).
#include <cstdint>
#include <cstdlib>

#include "fplib.h"
#include "fuzz_input.h"

namespace {

constexpr size_t kBmpHeader = 1078;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::DiscardStepLog();
  return FP_Begin() == FP_OK ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // Room for a BMP of 256 x 360; the raw form reads its first 92160 bytes.
  std::vector<uint8_t> image = fuzz::Buffer(data, size, 0, kBmpHeader + FP_IMAGE_SIZE, {255});
  unsigned char quality = 0;
  const int q = FP_GetQualityScore(image.data(), &quality);
  if (q == FP_OK && quality > 100) std::abort();
  std::vector<uint8_t> tmpl(FP_TEMPLATE_SIZE);
  // A buffer the extraction refuses, FP_ImageMatch refuses as a probe.
  float score = -1.0f;
  if (FP_FeatureExtract(0, 1, image.data(), tmpl.data()) < 0 &&
      FP_ImageMatch(image.data(), tmpl.data(), &score) != FP_ERR_FAIL)
    std::abort();
  return 0;
}
