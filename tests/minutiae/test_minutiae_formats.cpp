// Template format, checksum and integer geometry vectors.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "crc8.h"
#include "ftemplate.h"
#include "int_geometry.h"

using namespace minutiae;

TEST(Crc8, PublishedVectorsAndTable) {
  const char *digits = "123456789";
  EXPECT_EQ(crc8(reinterpret_cast<const uint8_t *>(digits), 9), 0xBC);
  EXPECT_EQ(crc8(reinterpret_cast<const uint8_t *>("abc"), 3), 0x5A);
  EXPECT_EQ(crc8(nullptr, 0), 0);
  const uint8_t head[8] = {0x00, 0xD5, 0x7F, 0xAA, 0xFE, 0x2B, 0x81, 0x54};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(g_crc8Table[i], head[i]);
}

TEST(Crc8, AppendedChecksumLeavesZeroResidue) {
  std::mt19937 rng(11);
  for (int k = 0; k < 200; ++k) {
    std::vector<uint8_t> d(1 + rng() % 64);
    for (uint8_t &b : d) b = uint8_t(rng());
    d.push_back(crc8(d.data(), d.size()));
    EXPECT_EQ(crc8(d.data(), d.size()), 0);
  }
}

TEST(FTemplate, PacksTheMaximumCoordinatesAndAngle) {
  MinutiaeRecord rec{};
  rec.count = 1;
  rec.minutiae[0] = {639, 359, 1, 255};
  uint8_t t[16];
  std::memset(t, 0xCC, sizeof t);
  EXPECT_EQ(packFTemplate(rec, 44, t), 11u);
  const uint8_t expect[11] = {0x46, 0x10, 0x63, 0x2C, 0x01, 0x27, 0xF1, 0x67, 0x7F, 0x80, 0xE7};
  for (int i = 0; i < 11; ++i) EXPECT_EQ(t[i], expect[i]) << i;
  EXPECT_EQ(t[11], 0xCC);
}

TEST(FTemplate, RoundTripThroughTheReader) {
  std::mt19937 rng(5);
  for (int n : {0, 7, 33, 120}) {
    MinutiaeRecord rec{};
    rec.count = uint16_t(n);
    for (int i = 0; i < n; ++i)
      rec.minutiae[i] = {uint16_t(rng() % 4096), uint16_t(rng() % 4096), uint8_t(1 + rng() % 2), uint8_t(rng())};
    uint8_t t[kFTemplateMax];
    ASSERT_EQ(packFTemplate(rec, 50, t), FTemplateSize(n));
    EXPECT_EQ(t[5 + 5 * n], crc8(t, size_t(5 + 5 * n)));
    MinutiaeRecord back{};
    ASSERT_TRUE(unpackFTemplate(t, back));
    EXPECT_EQ(back.kind, 3);
    ASSERT_EQ(back.count, n);
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(back.minutiae[i].x, rec.minutiae[i].x);
      EXPECT_EQ(back.minutiae[i].y, rec.minutiae[i].y);
      EXPECT_EQ(back.minutiae[i].angle, rec.minutiae[i].angle);
      EXPECT_EQ(back.minutiae[i].type, 1);
      EXPECT_EQ(t[9 + 5 * i] & 0x7F, 0);
    }
  }
  uint8_t notF[8] = {0x47, 0x10, 0x63, 0, 0, 0, 0, 0};
  MinutiaeRecord r{};
  EXPECT_FALSE(unpackFTemplate(notF, r));
  // Counts above 120 are capped by the reader.
  std::vector<uint8_t> big(5 + 5 * 255 + 1, 0);
  big[0] = 0x46;
  big[4] = 200;
  ASSERT_TRUE(unpackFTemplate(big.data(), r));
  EXPECT_EQ(r.count, 120);
}

TEST(FTemplate, QualityAdjustmentByCount) {
  struct Case {
    int q, n, w, h, want;
  };
  const Case cases[] = {{55, 12, 256, 360, 44}, {5, 90, 256, 360, 0},   {5, 90, 640, 640, 5},
                        {50, 7, 400, 400, 35},  {50, 9, 400, 400, 35},  {50, 10, 400, 400, 40},
                        {50, 19, 400, 400, 45}, {50, 20, 400, 400, 50}, {50, 60, 400, 400, 50},
                        {50, 61, 400, 400, 44}, {50, 61, 640, 400, 50}, {100, 30, 400, 400, 100}};
  for (const Case &c : cases)
    EXPECT_EQ(adjustTemplateQuality(c.q, c.n, c.w, c.h), c.want) << c.q << " " << c.n << " " << c.w << "x" << c.h;
}

TEST(IntSqrt, VectorsAndCloseness) {
  EXPECT_EQ(intSqrt(-1), -1);
  EXPECT_EQ(intSqrt(0), 0);
  EXPECT_EQ(intSqrt(3), 2);
  EXPECT_EQ(intSqrt(255), 16);
  EXPECT_EQ(intSqrt(272), 17);
  EXPECT_EQ(intSqrt(16895), 129);
  EXPECT_EQ(g_sqrtTable[255], 255);
  EXPECT_EQ(g_sqrtTable[68], 131);
  std::mt19937 rng(3);
  for (int k = 0; k < 200000; ++k) {
    const int n = k < 70000 ? k : int(rng() & 0x7FFFFFFF);
    ASSERT_LT(std::fabs(intSqrt(n) - std::sqrt(double(n))), 1.0) << n;
  }
}

TEST(Directions, AxesDiagonalsAndWrap) {
  EXPECT_EQ(directionFromVector(5, 0), 0);
  EXPECT_EQ(directionFromVector(0, 5), 60);
  EXPECT_EQ(directionFromVector(-5, 0), 120);
  EXPECT_EQ(directionFromVector(0, -5), 180);
  EXPECT_EQ(directionFromVector(5, 5), 29);
  EXPECT_EQ(angleFromVector(5, 5), 31);
  EXPECT_EQ(angleFromVector(0, 5), 64);
  EXPECT_EQ(angleFromVector(5, 0), 0);
  EXPECT_EQ(angleFromVector(-5, 0), 128);
  EXPECT_EQ(directionQuadrant(-1, -1, 10), 138);
  EXPECT_EQ(directionQuadrant(-1, 1, 10), 118);
  EXPECT_EQ(directionQuadrant(1, -1, 10), 246);
  EXPECT_EQ(directionQuadrant(1, 1, 10), 10);
  int d2 = 0, len = 0;
  EXPECT_EQ(segmentLengthAngle(10, 10, 10, 30, &d2, &len), 64);
  EXPECT_EQ(d2, 400);
  EXPECT_EQ(len, 20);
  EXPECT_EQ(segmentLengthAngle(10, 10, 10, -10, nullptr, nullptr), 192);
  // Every direction stays in range and near the true angle around the circle.
  for (int k = 0; k < 360; ++k) {
    const int dx = int(std::lround(20 * std::cos(k * M_PI / 180)));
    const int dy = int(std::lround(20 * std::sin(k * M_PI / 180)));
    const int d = directionFromVector(dx, dy), a = angleFromVector(dx, dy);
    ASSERT_GE(d, 0);
    ASSERT_LT(d, 240);
    ASSERT_GE(a, 0);
    ASSERT_LT(a, 256);
    ASSERT_LE(std::abs(std::remainder(d * 1.5 - k, 360.0)), 4.0) << k;
    ASSERT_LE(std::abs(std::remainder(a * 360.0 / 256 - k, 360.0)), 4.0) << k;
  }
}

TEST(LineSpan, StepsAlongTheLongerAxis) {
  std::vector<Pixel> s;
  lineSpan({3, 3}, {3, 3}, s);
  EXPECT_TRUE(s.empty());
  lineSpan({0, 0}, {5, 0}, s);
  ASSERT_EQ(s.size(), 5u);
  EXPECT_EQ(s[4].x, 4);
  EXPECT_EQ(s[4].y, 0);
  lineSpan({0, 0}, {-4, -4}, s);
  ASSERT_EQ(s.size(), 4u);
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(s[size_t(k)].x, -k);
    EXPECT_EQ(s[size_t(k)].y, -k);
  }
  lineSpan({0, 0}, {2, 10}, s);
  ASSERT_EQ(s.size(), 10u);
  for (size_t k = 1; k < s.size(); ++k) {
    EXPECT_EQ(s[k].y, int(k));
    EXPECT_LE(std::abs(s[k].x - s[k - 1].x), 1);
  }
  EXPECT_EQ(s.back().x, 2);
}
