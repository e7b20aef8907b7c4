// Fuzz target: BMP input of libbelnor. The input as it stands goes to
// LIVESCAN_BmpToRaw and LIVESCAN_SaveToFile; for LIVESCAN_FeatureExtractMem
// it is lengthened with white to the size its header names (an input is
// rarely as long as an image; white keeps each run short).
#include <cstdint>
#include <cstdlib>

#include "device_state.h"
#include "fuzz_input.h"
#include "livescan.h"

namespace {

constexpr int kHeader = 1078;
constexpr int kMinExtractBmp = kHeader + 256 * 256;
constexpr int kMaxExtractBmp = kHeader + 640 * 640;

void BmpToRaw(const uint8_t *data, size_t size) {
  int w = -1, h = -1;
  const int r = LIVESCAN_BmpToRaw(data, int(size), nullptr, 0, &w, &h);
  if (r == -2) {
    // The size query: the image it reports fits the input and converts.
    if (w <= 0 || h <= 0 || int64_t(w) * h + kHeader > int64_t(size)) std::abort();
    std::vector<uint8_t> raw(size_t(w) * size_t(h));
    if (LIVESCAN_BmpToRaw(data, int(size), raw.data(), int(raw.size()), &w, &h) != 1) std::abort();
  }
}

void SaveToFile(const uint8_t *data, size_t size) {
  // The call takes the buffer as raw pixels of the given size, or as a BMP
  // when it starts like one of that size: a raw image that does so is read
  // as a BMP (the interface carries no length), so the buffer holds either.
  const int w = int(fuzz::Le16(data, size, 18)), h = int(fuzz::Le16(data, size, 22));
  if (int64_t(w) * h > 4 << 20) return;
  const size_t bmpBytes = size_t(kHeader) + size_t((w + 3) / 4 * 4) * size_t(h);
  const std::vector<uint8_t> image = fuzz::Buffer(data, size, 0, std::max(size_t(w) * size_t(h), bmpBytes));
  LIVESCAN_SaveToFile(image.data(), w, h, "/dev/null", 0);
}

void FeatureExtract(const uint8_t *data, size_t size) {
  const int64_t claimed = kHeader + int64_t(fuzz::Le16(data, size, 18)) * fuzz::Le16(data, size, 22);
  const int64_t n = std::clamp<int64_t>(std::max<int64_t>(claimed, int64_t(size)), kMinExtractBmp, kMaxExtractBmp);
  const std::vector<uint8_t> bmp = fuzz::Buffer(data, size, 0, size_t(n), {255});
  std::vector<uint8_t> feature(606);
  const int q = LIVESCAN_FeatureExtractMem(bmp.data(), int(bmp.size()), feature.data());
  if (q > 100 || (q < 0 && q != -1 && q != -2)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  belnor::g_bInitialized = 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  BmpToRaw(data, size);
  SaveToFile(data, size);
  FeatureExtract(data, size);
  return 0;
}
