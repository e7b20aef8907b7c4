// Fuzz target: CTemplates through FP_FeatureMatch and FP_ImageMatch. An input
// of one template is matched against the one extracted from a synthetic
// print, in the order FP_ImageMatch matches; one of two templates against
// each other; a longer one goes through FP_ImageMatch with that print.
// FP_ImageMatch extracts the print every time (half a second under the
// sanitizers), so tools/fuzz.sh keeps inputs to two templates and the seeds
// take that path in the test run.
#include <cstdint>
#include <cstdlib>

#include "fplib.h"
#include "fuzz_input.h"
#include "synthetic_print.h"

namespace {

std::vector<uint8_t> &Print() {
  static std::vector<uint8_t> print = wsqtest::SyntheticPrint(FP_IMAGE_WIDTH, FP_IMAGE_HEIGHT, 5);
  return print;
}

std::vector<uint8_t> &PrintTemplate() {
  static std::vector<uint8_t> t = [] {
    std::vector<uint8_t> out(FP_TEMPLATE_SIZE);
    if (FP_FeatureExtract(0, 1, Print().data(), out.data()) != FP_OK) std::abort();
    return out;
  }();
  return t;
}

void Check(int r, float score) {
  if (r == FP_OK && !(score >= 0.0f && score <= 1.0f)) std::abort();
}

void Match(std::vector<uint8_t> &a, std::vector<uint8_t> &b) {
  float score = -1.0f;
  Check(FP_FeatureMatch(a.data(), b.data(), &score), score);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::DiscardStepLog();
  if (FP_Begin() != FP_OK) std::abort();
  PrintTemplate();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // One call per input, as matching is slow: a template against the print's,
  // a pair of templates, or a template against the print itself.
  std::vector<uint8_t> a = fuzz::Buffer(data, size, 0, FP_TEMPLATE_SIZE);
  if (size <= FP_TEMPLATE_SIZE) {
    Match(a, PrintTemplate());
  } else if (size <= 2 * FP_TEMPLATE_SIZE) {
    std::vector<uint8_t> b = fuzz::Buffer(data, size, FP_TEMPLATE_SIZE, FP_TEMPLATE_SIZE);
    Match(a, b);
  } else {
    float score = -1.0f;
    Check(FP_ImageMatch(Print().data(), a.data(), &score), score);
  }
  return 0;
}
