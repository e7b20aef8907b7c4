// The compressed-image container around the WSQ codec.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "compressed_image.h"
#include "crc8.h"
#include "fplib.h"
#include "fplib_test_util.h"

using namespace fplib;
using fptest::FpLibTest;

namespace {

class Container : public FpLibTest {
 protected:
  std::vector<uint8_t> image_ = fptest::SyntheticPrint(3), box_ = std::vector<uint8_t>(kContainerSize);
  char message_[256] = "untouched";
  int Length() const { return box_[20] * 256 + box_[21]; }
};

TEST_F(Container, RoundTripWithHeaderAndChecksum) {
  ASSERT_EQ(FP_Compress(0x112, 4, 0x305, image_.data(), 10, box_.data(), message_), FP_OK);
  EXPECT_STREQ(message_, "untouched");
  EXPECT_EQ(box_[0], 'Y');
  EXPECT_EQ(box_[1], 1);
  EXPECT_EQ(box_[2], 0x12);
  EXPECT_EQ(box_[3], 18);
  EXPECT_EQ(box_[4], 9);
  EXPECT_EQ(box_[5], 5);
  for (int i = 6; i < 20; ++i) EXPECT_EQ(box_[i], 0xFF);
  const int L = Length();
  ASSERT_GE(L, 1);
  ASSERT_LE(L, kMaxStream);
  EXPECT_EQ(box_[22], 0xFF);  // the stream's start marker
  EXPECT_EQ(box_[23], 0xA0);
  EXPECT_EQ(box_[22 + L], minutiae::crc8(box_.data(), 22 + size_t(L)));
  for (size_t i = 23 + size_t(L); i < kContainerSize; ++i) ASSERT_EQ(box_[i], 0);

  std::vector<uint8_t> back(FP_IMAGE_SIZE, 0xAB);
  ASSERT_EQ(FP_Decompress(box_.data(), back.data(), message_), FP_OK);
  EXPECT_STREQ(message_, "Success.");
  double diff = 0;
  for (size_t i = 0; i < back.size(); ++i) diff += std::abs(int(back[i]) - int(image_[i]));
  EXPECT_LT(diff / back.size(), 8.0);
}

TEST_F(Container, ArgumentChecksAndTheLowRatioWarning) {
  for (int ratio : {0, 51}) {
    EXPECT_EQ(FP_Compress(1, 1, 1, image_.data(), ratio, box_.data(), message_), FP_ERR_PARAM);
    EXPECT_STREQ(message_, "Invalid parameter.");
  }
  EXPECT_EQ(FP_Compress(1, 1, 1, image_.data(), 10, box_.data(), nullptr), FP_ERR_PARAM);
  EXPECT_EQ(FP_Decompress(box_.data(), nullptr, message_), FP_ERR_PARAM);
  EXPECT_STREQ(message_, "Invalid parameter");
  EXPECT_EQ(FP_Decompress(nullptr, image_.data(), nullptr), FP_ERR_PARAM);

  std::vector<uint8_t> plain(FP_IMAGE_SIZE, 200);
  EXPECT_EQ(FP_Compress(1, 5, 1, plain.data(), 4, box_.data(), message_), FP_OK);
  EXPECT_STREQ(message_, "Not enough memory");
  EXPECT_EQ(box_[4], 0);
  std::strcpy(message_, "untouched");
  EXPECT_EQ(FP_Compress(1, 1, 1, image_.data(), 5, box_.data(), message_), FP_OK);
  EXPECT_STREQ(message_, "untouched");
}

TEST_F(Container, DecompressRefusesDamagedContainers) {
  ASSERT_EQ(FP_Compress(1, 1, 1, image_.data(), 10, box_.data(), message_), FP_OK);
  const int L = Length();
  std::vector<uint8_t> img(FP_IMAGE_SIZE);

  // A checksum over the stream alone is accepted as well.
  std::vector<uint8_t> c = box_;
  c[22 + L] = minutiae::crc8(c.data() + 22, size_t(L));
  EXPECT_EQ(FP_Decompress(c.data(), img.data(), message_), FP_OK);

  c = box_;
  c[22 + L] ^= 1;
  EXPECT_EQ(FP_Decompress(c.data(), img.data(), message_), FP_ERR_FAIL);
  EXPECT_STREQ(message_, "CRC8 check error.");

  c = box_;
  c[0] = 'X';
  EXPECT_EQ(FP_Decompress(c.data(), img.data(), message_), FP_ERR_FAIL);
  EXPECT_STREQ(message_, "Not compressed image data");

  for (int len : {0, 20458, 0xFFFF}) {
    c = box_;
    c[20] = uint8_t(len >> 8);
    c[21] = uint8_t(len);
    EXPECT_EQ(FP_Decompress(c.data(), img.data(), message_), FP_ERR_FAIL);
    EXPECT_STREQ(message_, "compressed image data length error.");
  }
  c = box_;
  c[20] = 0x4F;
  c[21] = 0xE9;  // 20457 passes the length test, then meets the checksum
  EXPECT_EQ(FP_Decompress(c.data(), img.data(), message_), FP_ERR_FAIL);
  EXPECT_STREQ(message_, "CRC8 check error.");

  // A valid checksum around a stream the decoder cannot read.
  c = box_;
  c[22] = 0;
  c[22 + L] = minutiae::crc8(c.data(), 22 + size_t(L));
  EXPECT_EQ(FP_Decompress(c.data(), img.data(), message_), FP_ERR_MEMORY);
  EXPECT_STREQ(message_, "Not enough memory");
}

TEST_F(Container, AFailedCompressionLeavesAnEmptyButClosedContainer) {
  std::vector<uint8_t> noise(FP_IMAGE_SIZE);
  unsigned v = 1;
  for (uint8_t &p : noise) p = uint8_t((v = v * 1103515245u + 12345u) >> 24);
  EXPECT_EQ(FP_Compress(1, 1, 1, noise.data(), 1, box_.data(), message_), FP_ERR_MEMORY);
  EXPECT_STREQ(message_, "Not enough memory.");
  EXPECT_EQ(box_[0], 'Y');
  EXPECT_EQ(Length(), 0);
  EXPECT_EQ(box_[kContainerSize - 1], minutiae::crc8(box_.data(), kContainerSize - 1));
  std::vector<uint8_t> img(FP_IMAGE_SIZE);
  EXPECT_EQ(FP_Decompress(box_.data(), img.data(), message_), FP_ERR_FAIL);
  EXPECT_STREQ(message_, "compressed image data length error.");
}

TEST(ContainerKind, CodesOfTheHeader) {
  EXPECT_EQ(containerKindCode(1), 1);
  EXPECT_EQ(containerKindCode(3), 3);
  EXPECT_EQ(containerKindCode(4), 9);
  EXPECT_EQ(containerKindCode(5), 0);
  EXPECT_EQ(containerKindCode(-1), 0);
}

}  // namespace
