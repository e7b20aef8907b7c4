// Random inputs where callers hand over bytes the library did not write:
// templates, containers and direction fields. Run under the sanitizers.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "compressed_image.h"
#include "crc8.h"
#include "direction_quality.h"
#include "fplib.h"
#include "fplib_test_util.h"
#include "ref_point.h"

using fptest::FpLibTest;

namespace {

class Robustness : public FpLibTest {
 protected:
  std::mt19937 rng_{12345};
  uint8_t Byte() { return uint8_t(rng_()); }
};

TEST_F(Robustness, RandomTemplatesMatchWithinRange) {
  std::vector<uint8_t> a(FP_TEMPLATE_SIZE), b(FP_TEMPLATE_SIZE);
  testing::internal::CaptureStdout();
  for (int k = 0; k < 300; ++k) {
    for (auto *t : {&a, &b})
      for (uint8_t &v : *t) v = Byte();
    a[0] = b[0] = 'C';
    a[19] = uint8_t(k % 120);  // counts around and beyond the limits
    if (k % 2)                 // every minutia inside the image: the matchers run
      for (auto *t : {&a, &b})
        for (int i = 0; i < 100; ++i) (*t)[34 + 4 * size_t(i)] = 0xFC;
    float score = -1;
    const int r = FP_FeatureMatch(a.data(), b.data(), &score);
    ASSERT_TRUE(r == 1 || r == -1) << r;
    ASSERT_GE(score, 0.0f);
    ASSERT_LE(score, 1.0f);
  }
  testing::internal::GetCapturedStdout();
}

TEST_F(Robustness, RandomContainersAreRefusedCleanly) {
  std::vector<uint8_t> box(fplib::kContainerSize), img(FP_IMAGE_SIZE);
  char message[256];
  for (int k = 0; k < 200; ++k) {
    for (uint8_t &v : box) v = Byte();
    box[0] = 'Y';
    const int length = 1 + int(rng_() % fplib::kMaxStream);
    box[20] = uint8_t(length >> 8);
    box[21] = uint8_t(length);
    if (k % 2) {  // a valid checksum lets the bytes reach the decoder
      box[22] = 0xFF;
      box[23] = 0xA0;
      box[22 + size_t(length)] = minutiae::crc8(box.data(), 22 + size_t(length));
    }
    const int r = FP_Decompress(box.data(), img.data(), message);
    ASSERT_TRUE(r == FP_OK || r == FP_ERR_MEMORY || r == FP_ERR_FAIL) << r;
  }
}

TEST_F(Robustness, RandomDirectionFieldsGiveEvenPointsOrNone) {
  std::vector<uint8_t> field(fplib::kCells);
  for (int k = 0; k < 60; ++k) {
    // Blobs of foreground with random, locally smooth directions.
    const int base = int(rng_() % 120), drift = int(rng_() % 5);
    for (int r = 0; r < fplib::kCellRows; ++r)
      for (int c = 0; c < fplib::kCellCols; ++c) {
        const int dr = r - 60, dc = c - 42;
        const bool inside = dr * dr / 3 + dc * dc < 1200 + int(rng_() % 200);
        const int dir = (base + drift * (r / 8 + c / 8) + int(rng_() % 3)) % 120;
        field[size_t(r) * fplib::kCellCols + c] = uint8_t(dir | (inside ? 0 : 0x80));
      }
    uint16_t point[2] = {1, 1};
    if (fplib::locateRefPoints(field.data(), point) == 0) {
      EXPECT_EQ(point[0] % 2, 0);
      EXPECT_EQ(point[1] % 2, 0);
      EXPECT_LE(point[0], 254);
      EXPECT_LE(point[1], 358);
    } else {
      EXPECT_EQ(point[0], 1);
    }
  }
}

}  // namespace
