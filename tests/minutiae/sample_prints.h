// The shared sample prints as the minutiae tests read them.
#pragma once

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "livescan.h"

namespace sample {

// Empty when the build found no prints.
inline std::filesystem::path SampleDir() { return std::filesystem::path(BELNOR_PRINTS_DIR); }

// The sample prints are 388 x 374: pad them with white to 400 x 400.
inline std::vector<uint8_t> LoadPadded(const std::filesystem::path &file) {
  std::ifstream in(file, std::ios::binary);
  const std::vector<uint8_t> bmp((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  int w = 0, h = 0;
  std::vector<uint8_t> raw(400 * 400);
  if (LIVESCAN_BmpToRaw(bmp.data(), int(bmp.size()), raw.data(), int(raw.size()), &w, &h) != 1) return {};
  std::vector<uint8_t> padded(400 * 400, 255);
  const int ox = (400 - w) / 2, oy = (400 - h) / 2;
  for (int y = 0; y < h; ++y) std::memcpy(&padded[size_t(y + oy) * 400 + ox], &raw[size_t(y) * w], size_t(w));
  return padded;
}

}  // namespace sample
