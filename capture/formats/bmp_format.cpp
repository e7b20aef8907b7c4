#include "bmp_format.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace belnor {

namespace {

void PutLe16(uint8_t *p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

void PutLe32(uint8_t *p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

struct FileCloser {
  void operator()(FILE *f) const { std::fclose(f); }
};

}  // namespace

void WriteBmpHeaders(uint8_t *out, int32_t width, int32_t height, int bitsPerPixel,
                     int32_t pixelsPerMetre) {
  const uint32_t offset = bitsPerPixel == 8 ? kBmpHeaderSize8 : kBmpHeaderSize24;
  const uint32_t imageSize = uint32_t(BmpPaddedRowLength(width, bitsPerPixel) * height);
  std::memset(out, 0, kBmpHeaderSize24);
  out[0] = 'B';
  out[1] = 'M';
  PutLe32(out + 2, offset + imageSize);
  out[6] = 'q';
  out[7] = 'x';
  PutLe32(out + 10, offset);
  PutLe32(out + 14, kBmpInfoHeaderSize);
  PutLe32(out + 18, uint32_t(width));
  PutLe32(out + 22, uint32_t(height));
  PutLe16(out + 26, 1);
  PutLe16(out + 28, uint32_t(bitsPerPixel));
  PutLe32(out + 34, imageSize);
  PutLe32(out + 38, uint32_t(pixelsPerMetre));
  PutLe32(out + 42, uint32_t(pixelsPerMetre));
  if (bitsPerPixel == 8) {
    uint8_t *palette = out + kBmpHeaderSize24;
    for (int i = 0; i < 256; ++i) {
      palette[4 * i + 0] = uint8_t(i);
      palette[4 * i + 1] = uint8_t(i);
      palette[4 * i + 2] = uint8_t(i);
      palette[4 * i + 3] = 0;
    }
  }
}

int FillBmpHeader(unsigned char *bmp, int size, int width, int height, int bitsPerPixel) {
  if (bitsPerPixel != 8 && bitsPerPixel != 24) return 0;
  if (bitsPerPixel == 8 && size <= kBmpHeaderSize8 - 1) return 0;
  if (bitsPerPixel == 24 && size <= kBmpHeaderSize24 - 1) return 0;
  // The 456 x 468 image carries no resolution; every other size is 500 dpi.
  const int32_t ppm = (width == 456 && height == 468) ? 0 : kPpmRawToBmp;
  WriteBmpHeaders(bmp, width, height, bitsPerPixel, ppm);
  return 1;
}

int WriteBmpFile(const unsigned char *pixels, unsigned short width, unsigned short height,
                 const char *path, int bitsPerPixel) {
  if (bitsPerPixel != 8 && bitsPerPixel != 24) return 0;
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path, "wb"));
  if (!file) return 0;

  uint8_t header[kBmpHeaderSize8];
  WriteBmpHeaders(header, width, height, bitsPerPixel, kPpmFileWriter);
  const size_t headerSize = bitsPerPixel == 8 ? kBmpHeaderSize8 : kBmpHeaderSize24;
  bool ok = std::fwrite(header, 1, headerSize, file.get()) == headerSize;

  const size_t stride = size_t(BmpPaddedRowLength(width, bitsPerPixel));
  // Never empty: a width of 0 still hands memcpy and fwrite a real buffer.
  std::vector<uint8_t> row(std::max<size_t>(stride, 1), 0);
  for (int y = int(height) - 1; ok && y >= 0; --y) {
    const unsigned char *src = pixels + size_t(y) * width;
    if (bitsPerPixel == 8) {
      std::memcpy(row.data(), src, width);
    } else {
      for (size_t x = 0; x < width; ++x) {
        row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = src[x];
      }
    }
    ok = std::fwrite(row.data(), 1, stride, file.get()) == stride;
  }
  // A full disk often shows only when the buffer is flushed.
  FILE *raw = file.release();
  if (std::fclose(raw) != 0) ok = false;
  return ok ? 1 : 0;
}

}  // namespace belnor
