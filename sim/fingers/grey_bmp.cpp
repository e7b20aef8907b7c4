#include "grey_bmp.h"

#include <fstream>
#include <iterator>

namespace belnor::sim {
namespace {

uint32_t Le32(const std::vector<uint8_t> &b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
         uint32_t(b[at + 3]) << 24;
}
uint16_t Le16(const std::vector<uint8_t> &b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

}  // namespace

bool ReadGreyBmp(const std::string &path, GreyImage *image) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return false;
  const uint32_t offset = Le32(b, 10), info = Le32(b, 14);
  const int32_t width = int32_t(Le32(b, 18)), rawHeight = int32_t(Le32(b, 22));
  const int bits = Le16(b, 28);
  if (Le32(b, 30) != 0 || (bits != 8 && bits != 24)) return false;
  if (width <= 0 || width > 16384 || rawHeight == 0 || rawHeight < -16384 || rawHeight > 16384)
    return false;
  const int height = rawHeight < 0 ? -rawHeight : rawHeight;
  const size_t stride = (size_t(bits) * width + 31) / 32 * 4;
  if (offset > b.size() || stride * height > b.size() - offset) return false;
  uint8_t palette[256];
  for (int i = 0; i < 256; ++i) palette[i] = uint8_t(i);
  if (bits == 8) {
    const size_t at = 14 + size_t(info);
    for (int i = 0; i < 256 && at + 4 * size_t(i) + 3 <= offset && at + 4 * size_t(i) + 3 < b.size(); ++i) {
      const size_t e = at + 4 * size_t(i);
      palette[i] = uint8_t((b[e] + 2 * b[e + 1] + b[e + 2] + 2) / 4);
    }
  }
  image->width = width;
  image->height = height;
  image->pixels.resize(size_t(width) * height);
  for (int r = 0; r < height; ++r) {
    const size_t src = offset + stride * size_t(rawHeight < 0 ? r : height - 1 - r);
    uint8_t *dst = image->pixels.data() + size_t(r) * width;
    for (int c = 0; c < width; ++c) {
      if (bits == 8) {
        dst[c] = palette[b[src + c]];
      } else {
        const size_t p = src + 3 * size_t(c);
        dst[c] = uint8_t((b[p] + 2 * b[p + 1] + b[p + 2] + 2) / 4);
      }
    }
  }
  return true;
}

}  // namespace belnor::sim
