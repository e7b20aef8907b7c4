// Fuzz target: images handed to libquisal. Bytes 0-3 give a width and a
// height, byte 4 how many rolled frames (0-3) to merge; the rest are pixels,
// repeated to fill the image (each frame starts further into them).
#include <cstdint>
#include <cstdlib>

#include "fuzz_input.h"
#include "mosaic.h"

namespace {

void CheckScore(int score) {
  if (score < -1 || score > 100) std::abort();
}

void Roll(const std::vector<uint8_t> &pixels, unsigned w, unsigned h, int frames) {
  // The mosaic takes widths that are multiples of 16, 64..800 by 64..750.
  const int width = int(64 + (w % 737) / 16 * 16);
  const int height = int(64 + h % 687);
  std::vector<uint8_t> mosaic(size_t(width) * size_t(height));
  if (MOSAIC_Start(mosaic.data(), width, height) != 1) std::abort();
  for (int f = 0; f < frames; ++f) {
    std::vector<uint8_t> frame(mosaic.size(), 255);
    if (!pixels.empty())
      for (size_t i = 0; i < frame.size(); ++i) frame[i] = pixels[(i + size_t(f) * 97) % pixels.size()];
    const int r = MOSAIC_DoMosaic(frame.data(), width, height);
    if (r != 0 && r != 1) std::abort();
  }
  MOSAIC_Stop();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) { return MOSAIC_Init() == 1 ? 0 : 1; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // Sizes the image calls take: 64..1024 each way, or the largest, 2304
  // (large images are slow to score, and their paths are the medium ones').
  const unsigned w = fuzz::Le16(data, size, 0), h = fuzz::Le16(data, size, 2);
  const int width = w == 0xFFFF ? 2304 : int(64 + w % 961);
  const int height = h == 0xFFFF ? 2304 : int(64 + h % 961);
  std::vector<uint8_t> pixels(size > 5 ? data + 5 : data, data + size);
  std::vector<uint8_t> image = fuzz::Buffer(nullptr, 0, 0, size_t(width) * size_t(height), pixels);
  if (pixels.empty()) std::fill(image.begin(), image.end(), 255);

  CheckScore(MOSAIC_ImageQuality(image.data(), width, height));
  CheckScore(MOSAIC_FingerQuality(image.data(), width, height));
  const int finger = MOSAIC_IsFinger(image.data(), width, height);
  if (finger < -2 || finger > 1) std::abort();
  std::vector<uint8_t> enhanced(image.size());
  if (MOSAIC_ImageEnhance(image.data(), width, height, enhanced.data()) != 1) std::abort();
  if (MOSAIC_ImageEnhance(image.data(), width, height, image.data()) != 1 || image != enhanced) std::abort();
  Roll(pixels, w, h, int(fuzz::Byte(data, size, 4) % 4));
  return 0;
}
