// BMP layout shared by the conversions, the file writer and the finger crop.
#pragma once

#include <cstddef>
#include <cstdint>

namespace belnor {

constexpr int kBmpFileHeaderSize = 14;
constexpr int kBmpInfoHeaderSize = 40;
constexpr int kBmpPaletteSize = 1024;
constexpr int kBmpHeaderSize24 = kBmpFileHeaderSize + kBmpInfoHeaderSize;  // 54
constexpr int kBmpHeaderSize8 = kBmpHeaderSize24 + kBmpPaletteSize;       // 1078

constexpr int32_t kPpmRawToBmp = 19685;  // 500 dpi
constexpr int32_t kPpmFileWriter = 19680;

// Row length in bytes, padded to a multiple of 4.
inline int64_t BmpPaddedRowLength(int64_t width, int bitsPerPixel) {
  return ((bitsPerPixel * width + 24) / 32) * 4;
}

// Writes the file and info headers (and, for 8 bits, the grey palette) for a
// bottom-up image. out must hold 1078 bytes for 8 bits, 54 for 24.
void WriteBmpHeaders(uint8_t *out, int32_t width, int32_t height, int bitsPerPixel,
                     int32_t pixelsPerMetre);

// Little-endian field readers for parsing a header in memory.
inline uint16_t ReadLe16(const uint8_t *p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t ReadLe32(const uint8_t *p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Writes headers only (no pixels) into bmp[0..size): 1 written, 0 refused.
// The caller sizes the buffer for the pixels it adds after the header;
// width and height are not checked against size.
int FillBmpHeader(unsigned char *bmp, int size, int width, int height, int bitsPerPixel);

// Writes a RawImage as an 8- or 24-bit BMP file: 1 written, 0 failed
// (bad depth, open failure, short write).
int WriteBmpFile(const unsigned char *pixels, unsigned short width, unsigned short height,
                 const char *path, int bitsPerPixel);

}  // namespace belnor
