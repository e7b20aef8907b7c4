// The image data goes into stored deflate blocks: no compressor needed.
#include "grey_png.h"

#include <algorithm>
#include <cstdint>
#include <fstream>

namespace mosaic_test {
namespace {

uint32_t Crc32(const std::vector<unsigned char> &bytes, size_t from) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = from; i < bytes.size(); ++i) {
    crc ^= bytes[i];
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  return ~crc;
}

void Put32(std::vector<unsigned char> *out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<unsigned char>(v >> shift));
}

void Chunk(std::vector<unsigned char> *png, const char *type, const std::vector<unsigned char> &data) {
  Put32(png, static_cast<uint32_t>(data.size()));
  const size_t start = png->size();
  png->insert(png->end(), type, type + 4);
  png->insert(png->end(), data.begin(), data.end());
  Put32(png, Crc32(*png, start));
}

}  // namespace

bool WriteGreyPng(const std::string &path, const std::vector<unsigned char> &pixels, int width, int height) {
  // Rows, each after its filter byte (none).
  std::vector<unsigned char> raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), pixels.begin() + static_cast<long>(y) * width,
               pixels.begin() + static_cast<long>(y + 1) * width);
  }
  std::vector<unsigned char> z = {0x78, 0x01};
  uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  for (size_t at = 0; at < raw.size(); at += 65535) {
    const size_t n = std::min<size_t>(65535, raw.size() - at);
    z.push_back(at + n >= raw.size() ? 1 : 0);
    z.push_back(static_cast<unsigned char>(n));
    z.push_back(static_cast<unsigned char>(n >> 8));
    z.push_back(static_cast<unsigned char>(~n));
    z.push_back(static_cast<unsigned char>(~n >> 8));
    z.insert(z.end(), raw.begin() + static_cast<long>(at), raw.begin() + static_cast<long>(at + n));
  }
  Put32(&z, (b << 16) | a);
  std::vector<unsigned char> header;
  Put32(&header, static_cast<uint32_t>(width));
  Put32(&header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, 0, 0, 0, 0});  // 8-bit grey, no interlace
  std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Chunk(&png, "IHDR", header);
  Chunk(&png, "IDAT", z);
  Chunk(&png, "IEND", {});
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char *>(png.data()), static_cast<std::streamsize>(png.size()));
  return static_cast<bool>(f);
}

}  // namespace mosaic_test
