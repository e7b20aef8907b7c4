#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "match_tables.h"

using namespace fplib;

namespace {

class MatchTables : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(EnsureMatchTables()); }
};

TEST(FloorSqrtBits, AgreesWithStdSqrtAcrossTheRange) {
  EXPECT_EQ(floorSqrtBits(0), 0u);
  EXPECT_EQ(floorSqrtBits(0xFFFFFFFFu), 65535u);
  for (uint32_t r : {1u, 2u, 199u, 200u, 4095u, 65535u}) {
    EXPECT_EQ(floorSqrtBits(r * r), r);
    EXPECT_EQ(floorSqrtBits(r * r - 1), r - 1);
    if (r < 65535) {
      EXPECT_EQ(floorSqrtBits((r + 1) * (r + 1) - 1), r);
    }
  }
  std::mt19937 rng(7);
  for (int i = 0; i < 100000; ++i) {
    const uint32_t n = rng();
    const uint32_t ref = uint32_t(std::floor(std::sqrt(double(n))));
    ASSERT_EQ(floorSqrtBits(n), ref) << n;
  }
}

TEST_F(MatchTables, BuildsOnceAndKeepsTheirValues) {
  const int before = VectorLength(3, 4);
  EXPECT_TRUE(EnsureMatchTables());
  EXPECT_EQ(VectorLength(3, 4), before);
}

TEST_F(MatchTables, FloorSqrtAndVectorLengthTables) {
  for (int n = 0; n < kFloorSqrtTableSize; ++n) ASSERT_EQ(FloorSqrtSmall(n), int(std::sqrt(double(n)))) << n;
  EXPECT_EQ(FloorSqrtSmall(39999), 199);
  EXPECT_EQ(VectorLength(0, 0), 0);
  EXPECT_EQ(VectorLength(3, 4), 5);
  EXPECT_EQ(VectorLength(179, 179), 253);
  for (int a = 0; a < kGeometrySpan; ++a)
    for (int k = 0; k < kGeometrySpan; ++k) ASSERT_EQ(VectorLength(a, k), VectorLength(k, a));
}

TEST_F(MatchTables, AngleRampIsASineWithItsShiftedExtension) {
  EXPECT_EQ(AngleRamp(0), 0);
  EXPECT_EQ(AngleRamp(240), 32768);  // sin 30
  EXPECT_EQ(AngleRamp(720), 65536);
  for (int k = 0; k <= 720; ++k)
    ASSERT_EQ(AngleRamp(k), std::lround(65536.0 * std::sin(k / 8.0 * M_PI / 180.0))) << k;
  // Above 720 an entry holds the sine of (k - 1) / 8 degrees, and past the
  // mirrored second quarter that of (k - 2) / 8.
  for (int k = 721; k < kAngleRampSize; ++k) {
    const int shift = k <= 2161 ? 1 : 2;
    ASSERT_NEAR(AngleRamp(k), 65536.0 * std::sin((k - shift) / 8.0 * M_PI / 180.0), 0.5001) << k;
  }
  for (int j = 0; j < 720; ++j) ASSERT_EQ(AngleRamp(721 + j), AngleRamp(720 - j));
  for (int k = 0; k < 1440; ++k) ASSERT_EQ(AngleRamp(1441 + k), -AngleRamp(k));
}

TEST_F(MatchTables, WholeDegreeSineAndCosine) {
  for (int a = -720; a <= 720; ++a) {
    ASSERT_EQ(SinDeg(a), std::lround(65536.0 * std::sin(a * M_PI / 180.0))) << a;
    ASSERT_EQ(CosDeg(a), std::lround(65536.0 * std::cos(a * M_PI / 180.0))) << a;
  }
}

TEST_F(MatchTables, AtanTableTruncatesToWholeDegrees) {
  EXPECT_EQ(AtanDeg(0, 0), 90);
  EXPECT_EQ(AtanDeg(5, 0), 90);
  for (int i = 1; i < kGeometrySpan; ++i)
    for (int j = 1; j <= i; ++j) {
      const double deg = std::atan2(double(i), double(j)) * 180.0 / M_PI;
      // The integer root and the truncation cost at most one degree.
      ASSERT_LE(std::fabs(AtanDeg(i, j) - deg), 1.0 + 1e-9) << i << "," << j;
    }
}

}  // namespace
