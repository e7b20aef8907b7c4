// Fuzz target: FTemplates as a host hands them to LIVESCAN_FeatureMatchMem.
// The input is the first template and, when longer, the second; a single
// template is also matched against itself.
#include <cstdint>
#include <cstdlib>

#include "device_state.h"
#include "fuzz_input.h"
#include "livescan.h"

namespace {

constexpr size_t kFTemplateBytes = 606;

void Match(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
  float score = -1.0f;
  const int r = LIVESCAN_FeatureMatchMem(a.data(), b.data(), &score);
  if (r == 1 && !(score >= 0.0f && score <= 1.0f)) std::abort();
  if (r != 1 && r != -1) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // Matching needs no scanner, only the initialised flag.
  belnor::g_bInitialized = 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::vector<uint8_t> a = fuzz::Buffer(data, size, 0, kFTemplateBytes);
  const std::vector<uint8_t> b = size > kFTemplateBytes ? fuzz::Buffer(data, size, kFTemplateBytes, kFTemplateBytes) : a;
  Match(a, b);
  if (size > kFTemplateBytes) Match(b, a);
  return 0;
}
