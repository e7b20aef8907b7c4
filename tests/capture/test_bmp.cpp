// BMP and RAW conversions: layout, padding, row order, refusals and file output.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bmp_format.h"
#include "livescan.h"

using belnor::FillBmpHeader;
using belnor::ReadLe16;
using belnor::ReadLe32;
using belnor::WriteBmpFile;

namespace {

std::vector<uint8_t> Pattern(int w, int h, uint32_t seed = 1) {
  std::vector<uint8_t> v(size_t(w) * h);
  for (auto &b : v) {
    seed = seed * 1103515245u + 12345u;
    b = uint8_t(seed >> 16);
  }
  return v;
}

int Stride(int w) { return (w * 8 + 24) / 32 * 4; }

std::vector<uint8_t> ToBmp(const std::vector<uint8_t> &raw, int w, int h) {
  std::vector<uint8_t> bmp(1078 + size_t(Stride(w)) * h, 0xEE);
  EXPECT_EQ(LIVESCAN_RawToBmp(raw.data(), w, h, bmp.data(), int(bmp.size())), 1);
  return bmp;
}

std::vector<uint8_t> ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string TempPath(const char *name) {
  return testing::TempDir() + "bmp_" + name + "_" + std::to_string(::getpid()) + ".bmp";
}

}  // namespace

TEST(RawToBmp, PadsEveryWidthAndKeepsRowsBottomUp) {
  for (int w = 4; w <= 13; ++w) {
    const int h = 5;
    auto raw = Pattern(w, h, uint32_t(w));
    auto bmp = ToBmp(raw, w, h);
    const int stride = Stride(w);
    ASSERT_EQ(stride % 4, 0);
    ASSERT_GE(stride, w);
    ASSERT_LT(stride, w + 4);
    EXPECT_EQ(ReadLe32(&bmp[2]), uint32_t(1078 + stride * h)) << w;
    EXPECT_EQ(ReadLe32(&bmp[34]), uint32_t(stride * h)) << w;
    for (int k = 0; k < h; ++k) {
      const uint8_t *row = &bmp[1078 + size_t(k) * stride];
      for (int x = 0; x < w; ++x) ASSERT_EQ(row[x], raw[size_t(h - 1 - k) * w + x]) << w;
      for (int x = w; x < stride; ++x) ASSERT_EQ(row[x], 0) << "padding at width " << w;
    }
    if (w % 4 == 0) {
      std::vector<uint8_t> back(raw.size());
      int bw = 0, bh = 0;
      ASSERT_EQ(LIVESCAN_BmpToRaw(bmp.data(), int(bmp.size()), back.data(), int(back.size()), &bw, &bh), 1);
      EXPECT_EQ(bw, w);
      EXPECT_EQ(bh, h);
      EXPECT_EQ(back, raw);
    }
  }
}

TEST(RawToBmp, HeaderBytesOfAHandBuiltImage) {
  // 4 x 3 would be refused (height must exceed 3), so hand-build 4 x 4 and 6 x 4.
  std::vector<uint8_t> raw = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  auto bmp = ToBmp(raw, 4, 4);
  ASSERT_EQ(bmp.size(), 1094u);
  const uint8_t expectHeader[54] = {
      'B', 'M', 0x46, 0x04, 0, 0, 'q', 'x', 0, 0, 0x36, 0x04, 0, 0,  // file header
      40, 0, 0, 0, 4, 0, 0, 0, 4, 0, 0, 0, 1, 0, 8, 0,               // size, w, h, planes, bpp
      0, 0, 0, 0, 16, 0, 0, 0,                                       // compression, image size
      0xE5, 0x4C, 0, 0, 0xE5, 0x4C, 0, 0,                            // 19685 ppm twice
      0, 0, 0, 0, 0, 0, 0, 0};
  for (int i = 0; i < 54; ++i) EXPECT_EQ(bmp[i], expectHeader[i]) << "byte " << i;
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(bmp[54 + 4 * i], i);
    EXPECT_EQ(bmp[55 + 4 * i], i);
    EXPECT_EQ(bmp[56 + 4 * i], i);
    EXPECT_EQ(bmp[57 + 4 * i], 0);
  }
  const std::vector<uint8_t> pixels(bmp.begin() + 1078, bmp.end());
  EXPECT_EQ(pixels, (std::vector<uint8_t>{13, 14, 15, 16, 9, 10, 11, 12, 5, 6, 7, 8, 1, 2, 3, 4}));

  auto wide = ToBmp(Pattern(6, 4), 6, 4);
  EXPECT_EQ(ReadLe32(&wide[34]), 32u);
  EXPECT_EQ(ReadLe32(&wide[2]), 1078u + 32u);
}

TEST(RawToBmp, RefusalsInOrderAndWithoutWriting) {
  auto raw = Pattern(8, 8);
  std::vector<uint8_t> bmp(1078 + 64, 0xEE);
  const int n = int(bmp.size());
  EXPECT_EQ(LIVESCAN_RawToBmp(raw.data(), 3, 100, bmp.data(), n), -1);
  EXPECT_EQ(LIVESCAN_RawToBmp(raw.data(), 100, 3, bmp.data(), n), -1);
  EXPECT_EQ(LIVESCAN_RawToBmp(raw.data(), -8, 8, bmp.data(), n), -1);
  EXPECT_EQ(LIVESCAN_RawToBmp(nullptr, 8, 8, bmp.data(), n), -1);
  EXPECT_EQ(LIVESCAN_RawToBmp(raw.data(), 8, 8, nullptr, n), -1);
  EXPECT_EQ(LIVESCAN_RawToBmp(raw.data(), 8, 8, bmp.data(), n - 1), -1);
  // Sizes whose product or padded size would overflow an int are refused, not wrapped.
  EXPECT_EQ(LIVESCAN_RawToBmp(raw.data(), 65536, 65536, bmp.data(), n), -1);
  EXPECT_EQ(LIVESCAN_RawToBmp(raw.data(), 2147483647, 4, bmp.data(), n), -1);
  EXPECT_EQ(LIVESCAN_RawToBmp(raw.data(), 2304, 2304, bmp.data(), n), -1);
  for (uint8_t b : bmp) ASSERT_EQ(b, 0xEE);
  EXPECT_EQ(LIVESCAN_RawToBmp(raw.data(), 8, 8, bmp.data(), n), 1);
}

TEST(RawToBmp, LargestAcceptedImage) {
  const int w = 2304, h = 2303;
  std::vector<uint8_t> raw(size_t(w) * h, 7);
  std::vector<uint8_t> bmp(1078 + size_t(w) * h);
  EXPECT_EQ(LIVESCAN_RawToBmp(raw.data(), w, h, bmp.data(), int(bmp.size())), 1);
  EXPECT_EQ(bmp.back(), 7);
}

TEST(BmpToRaw, SizeQueryAndRefusals) {
  auto raw = Pattern(8, 6);
  auto bmp = ToBmp(raw, 8, 6);
  const int n = int(bmp.size());
  std::vector<uint8_t> out(48, 0xEE);
  int w = -7, h = -7;

  EXPECT_EQ(LIVESCAN_BmpToRaw(bmp.data(), n, nullptr, 0, &w, &h), -2);
  EXPECT_EQ(w, 8);
  EXPECT_EQ(h, 6);
  EXPECT_EQ(LIVESCAN_BmpToRaw(bmp.data(), n, out.data(), 47, nullptr, nullptr), -2);
  EXPECT_EQ(LIVESCAN_BmpToRaw(bmp.data(), n, nullptr, 48, nullptr, nullptr), -1);
  EXPECT_EQ(LIVESCAN_BmpToRaw(nullptr, n, out.data(), 48, &w, &h), -1);
  EXPECT_EQ(LIVESCAN_BmpToRaw(bmp.data(), 1079, out.data(), 48, &w, &h), -1);

  auto bad = bmp;
  bad[10] = 0x37;  // pixel offset 1079
  EXPECT_EQ(LIVESCAN_BmpToRaw(bad.data(), n, out.data(), 48, &w, &h), -1);
  bad = bmp;
  bad[0] = 'X';
  EXPECT_EQ(LIVESCAN_BmpToRaw(bad.data(), n, out.data(), 48, &w, &h), -1);
  bad = bmp;
  bad[18] = 0x92;  // width 402
  bad[19] = 0x01;
  EXPECT_EQ(LIVESCAN_BmpToRaw(bad.data(), n, out.data(), 48, &w, &h), -1);
  for (uint8_t b : out) ASSERT_EQ(b, 0xEE);

  // Height 0: reported, nothing copied.
  bad = bmp;
  bad[22] = 0;
  EXPECT_EQ(LIVESCAN_BmpToRaw(bad.data(), n, out.data(), 48, &w, &h), 1);
  EXPECT_EQ(h, 0);
  for (uint8_t b : out) ASSERT_EQ(b, 0xEE);

  // The depth field is not examined.
  bad = bmp;
  bad[28] = 24;
  EXPECT_EQ(LIVESCAN_BmpToRaw(bad.data(), n, out.data(), 48, &w, &h), 1);
  EXPECT_EQ(out, raw);
}

TEST(BmpToRaw, LyingOrNegativeHeadersAreRefusedWithoutReadingPast) {
  auto bmp = ToBmp(Pattern(8, 6), 8, 6);
  std::vector<uint8_t> out(1 << 20);
  int w = 0, h = 0;
  // Truncated buffer: exactly as long as the header claims, minus one byte.
  std::vector<uint8_t> cut(bmp.begin(), bmp.end() - 1);
  EXPECT_EQ(LIVESCAN_BmpToRaw(cut.data(), int(cut.size()), out.data(), int(out.size()), &w, &h), -1);

  auto lying = bmp;
  lying[22] = 0x00;
  lying[23] = 0x10;  // height 4096 in a 1126-byte buffer
  EXPECT_EQ(LIVESCAN_BmpToRaw(lying.data(), int(lying.size()), out.data(), int(out.size()), &w, &h), -1);

  const int32_t negatives[] = {-4, -8, INT32_MIN};
  for (int32_t v : negatives) {
    for (int field : {18, 22}) {
      auto neg = bmp;
      for (int i = 0; i < 4; ++i) neg[field + i] = uint8_t(uint32_t(v) >> (8 * i));
      EXPECT_EQ(LIVESCAN_BmpToRaw(neg.data(), int(neg.size()), out.data(), int(out.size()), &w, &h), -1)
          << "field " << field << " value " << v;
    }
  }
  // A huge width with a small height: refused by the size check, not wrapped.
  auto wide = bmp;
  wide[18] = 0x00; wide[19] = 0x00; wide[20] = 0x00; wide[21] = 0x40;
  EXPECT_EQ(LIVESCAN_BmpToRaw(wide.data(), int(wide.size()), out.data(), int(out.size()), &w, &h), -1);
}

TEST(SaveToFile, RawAndBmpInputsAndTheirResolutions) {
  const int w = 10, h = 7;
  auto raw = Pattern(w, h);
  const std::string rawPath = TempPath("raw");
  ASSERT_EQ(LIVESCAN_SaveToFile(raw.data(), w, h, rawPath.c_str(), 0), 1);
  auto file = ReadFile(rawPath);
  ASSERT_EQ(file.size(), 1078u + 12u * h);
  EXPECT_EQ(ReadLe32(&file[38]), 19680u);
  EXPECT_EQ(ReadLe32(&file[42]), 19680u);
  EXPECT_EQ(file[6], 'q');
  for (int k = 0; k < h; ++k)
    for (int x = 0; x < 12; ++x)
      ASSERT_EQ(file[1078 + k * 12 + x], x < w ? raw[size_t(h - 1 - k) * w + x] : 0);

  // An 8-bit BMP of matching size is written as it stands (19685 stays).
  auto bmp = ToBmp(raw, w, h);
  const std::string bmpPath = TempPath("bmp");
  ASSERT_EQ(LIVESCAN_SaveToFile(bmp.data(), w, h, bmpPath.c_str(), 3), 1);
  EXPECT_EQ(ReadFile(bmpPath), bmp);

  // A BMP header whose size disagrees with the arguments is taken as raw pixels.
  std::vector<uint8_t> big(size_t(w) * 120);
  std::copy(bmp.begin(), bmp.begin() + std::min(big.size(), bmp.size()), big.begin());
  ASSERT_EQ(LIVESCAN_SaveToFile(big.data(), w, 120, bmpPath.c_str(), 0), 1);
  EXPECT_EQ(ReadLe32(&ReadFile(bmpPath)[38]), 19680u);

  std::remove(rawPath.c_str());
  std::remove(bmpPath.c_str());
}

TEST(SaveToFile, Refusals) {
  auto raw = Pattern(16, 16);
  const std::string path = TempPath("refuse");
  EXPECT_EQ(LIVESCAN_SaveToFile(nullptr, 16, 16, path.c_str(), 0), -1);
  EXPECT_EQ(LIVESCAN_SaveToFile(raw.data(), 10001, 16, path.c_str(), 0), -1);
  EXPECT_EQ(LIVESCAN_SaveToFile(raw.data(), 16, 10001, path.c_str(), 0), -1);
  EXPECT_EQ(LIVESCAN_SaveToFile(raw.data(), -1, 16, path.c_str(), 0), -1);
  EXPECT_EQ(LIVESCAN_SaveToFile(raw.data(), 16, 16, nullptr, 0), -1);
  EXPECT_EQ(LIVESCAN_SaveToFile(raw.data(), 16, 16, path.c_str(), -1), -1);

  const char *unwritable = "/nonexistent-dir/x.bmp";
  EXPECT_EQ(LIVESCAN_SaveToFile(raw.data(), 16, 16, unwritable, 0), -105);
  auto bmp = ToBmp(raw, 16, 16);
  EXPECT_EQ(LIVESCAN_SaveToFile(bmp.data(), 16, 16, unwritable, 0), -105);
  // A full device: the short write is reported.
  if (FILE *f = std::fopen("/dev/full", "wb")) {
    std::fclose(f);
    EXPECT_EQ(LIVESCAN_SaveToFile(raw.data(), 16, 16, "/dev/full", 0), -105);
    EXPECT_EQ(LIVESCAN_SaveToFile(bmp.data(), 16, 16, "/dev/full", 0), -105);
  }
  // Images too small to hold a header are never inspected as BMP.
  const uint8_t tiny[4] = {'B', 'M', 0, 0};
  EXPECT_EQ(LIVESCAN_SaveToFile(tiny, 2, 2, path.c_str(), 0), 1);
  EXPECT_EQ(ReadFile(path).size(), 1078u + 4u * 2);
  std::remove(path.c_str());
}

TEST(FillBmpHeader, DepthsSizesAndTheUnresolvedSize) {
  std::vector<uint8_t> buf(1078, 0xEE);
  EXPECT_EQ(FillBmpHeader(buf.data(), 1078, 400, 400, 16), 0);
  EXPECT_EQ(FillBmpHeader(buf.data(), 1077, 400, 400, 8), 0);
  EXPECT_EQ(FillBmpHeader(buf.data(), 53, 400, 400, 24), 0);
  for (uint8_t b : buf) ASSERT_EQ(b, 0xEE);

  ASSERT_EQ(FillBmpHeader(buf.data(), 1078, 400, 400, 8), 1);
  EXPECT_EQ(ReadLe32(&buf[38]), 19685u);
  EXPECT_EQ(ReadLe32(&buf[2]), 1078u + 400u * 400u);
  EXPECT_EQ(buf[1077], 0);
  EXPECT_EQ(buf[1076], 255);

  ASSERT_EQ(FillBmpHeader(buf.data(), 1078, 456, 468, 8), 1);
  EXPECT_EQ(ReadLe32(&buf[38]), 0u);
  EXPECT_EQ(ReadLe32(&buf[42]), 0u);

  std::vector<uint8_t> h24(54, 0xEE);
  ASSERT_EQ(FillBmpHeader(h24.data(), 54, 5, 2, 24), 1);
  EXPECT_EQ(ReadLe32(&h24[10]), 54u);
  EXPECT_EQ(ReadLe16(&h24[28]), 24);
  EXPECT_EQ(ReadLe32(&h24[34]), 16u * 2);  // 3 x 5 = 15 rounded up to 16
}

TEST(WriteBmpFile, TwentyFourBitRowsRepeatEachGrey) {
  const std::vector<uint8_t> raw = {10, 20, 30, 40, 50, 60};  // 3 x 2
  const std::string path = TempPath("w24");
  ASSERT_EQ(WriteBmpFile(raw.data(), 3, 2, path.c_str(), 24), 1);
  auto file = ReadFile(path);
  ASSERT_EQ(file.size(), 54u + 12u * 2);
  EXPECT_EQ(ReadLe32(&file[10]), 54u);
  EXPECT_EQ(ReadLe32(&file[38]), 19680u);
  const std::vector<uint8_t> rows(file.begin() + 54, file.end());
  EXPECT_EQ(rows, (std::vector<uint8_t>{40, 40, 40, 50, 50, 50, 60, 60, 60, 0, 0, 0,
                                        10, 10, 10, 20, 20, 20, 30, 30, 30, 0, 0, 0}));
  EXPECT_EQ(WriteBmpFile(raw.data(), 3, 2, path.c_str(), 32), 0);
  EXPECT_EQ(WriteBmpFile(raw.data(), 3, 2, "/nonexistent-dir/y.bmp", 8), 0);
  std::remove(path.c_str());
}
