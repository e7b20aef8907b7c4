// Stage properties on synthetic stripes and hand-drawn skeletons.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <queue>
#include <vector>

#include "direction_field.h"
#include "minutiae_stages.h"
#include "ridge_filters.h"

using namespace minutiae;

namespace {

// Ridges (dark) running at angle theta degrees from +x towards +y.
std::vector<uint8_t> Stripes(int w, int h, double theta, double period) {
  std::vector<uint8_t> img(size_t(w) * h);
  const double a = theta * M_PI / 180, nx = -std::sin(a), ny = std::cos(a);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      img[size_t(y) * w + x] = uint8_t(std::lround(128 + 100 * std::cos(2 * M_PI * (x * nx + y * ny) / period)));
  return img;
}

int Components8(const std::vector<uint8_t> &img, int w, int h) {
  std::vector<uint8_t> seen(img.size(), 0);
  int n = 0;
  for (size_t s = 0; s < img.size(); ++s) {
    if (img[s] != 0 || seen[s]) continue;
    ++n;
    std::queue<int> q;
    q.push(int(s));
    seen[s] = 1;
    while (!q.empty()) {
      const int p = q.front(), x = p % w, y = p / w;
      q.pop();
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const int xx = x + dx, yy = y + dy;
          if (xx < 0 || yy < 0 || xx >= w || yy >= h) continue;
          const size_t i = size_t(yy) * w + xx;
          if (img[i] == 0 && !seen[i]) {
            seen[i] = 1;
            q.push(int(i));
          }
        }
    }
  }
  return n;
}

}  // namespace

TEST(BlockDirection, FollowsStripesAtEveryAngle) {
  const int w = 256, h = 360, cw = cellCols(w), ch = cellRows(h);
  std::vector<uint8_t> field(size_t(cw) * ch);
  for (double theta = 0; theta < 180; theta += 7.5) {
    for (double period : {6.0, 9.0}) {
      const auto img = Stripes(w, h, theta, period);
      computeBlockDirection(img.data(), w, h, field.data());
      int bad = 0;
      for (int r = 10; r < ch - 10; ++r)
        for (int c = 10; c < cw - 10; ++c) {
          const double got = field[size_t(r) * cw + c] * 1.5;
          bad += std::fabs(std::remainder(got - theta, 180.0)) > 4.5;
        }
      EXPECT_EQ(bad, 0) << "theta " << theta << " period " << period;
    }
  }
}

TEST(DirectionField, UniformImageIsBackgroundAndStripesAreForeground) {
  const int w = 256, h = 360, cw = cellCols(w), ch = cellRows(h);
  std::vector<uint8_t> field(size_t(cw) * ch);
  std::vector<uint8_t> flat(size_t(w) * h, 128), norm = flat;
  ASSERT_EQ(computeDirectionField(flat.data(), norm.data(), w, h, field.data()), 0);
  for (uint8_t f : field) ASSERT_EQ(f & kBackground, kBackground);
  auto img = Stripes(w, h, 30, 8);
  auto n2 = img;
  ASSERT_EQ(computeDirectionField(img.data(), n2.data(), w, h, field.data()), 0);
  EXPECT_EQ(field[0] & kBackground, kBackground);  // corner windows hold only 36 cells
  EXPECT_EQ(field[size_t(ch - 1) * cw + cw - 1] & kBackground, kBackground);
  const uint8_t mid = field[size_t(ch / 2) * cw + cw / 2];
  EXPECT_EQ(mid & kBackground, 0);
  EXPECT_NEAR((mid & 0x7F) * 1.5, 30, 4.5);
}

TEST(DirectionField, MergeTakesTheFirstFieldsBackground) {
  const uint8_t first[4] = {0x80 | 5, 7, 0x80, 119};
  uint8_t second[4] = {10, 20, 30, 40};
  mergeDirectionFields(first, second, 2, 2);
  EXPECT_EQ(second[0], 0x80 | 10);
  EXPECT_EQ(second[1], 20);
  EXPECT_EQ(second[2], 0x80 | 30);
  EXPECT_EQ(second[3], 40);
}

TEST(QualityScore, CleanStripesBeatNoiseAndTinyAreasScoreZero) {
  const int w = 256, h = 360, cw = cellCols(w), ch = cellRows(h);
  std::vector<uint8_t> field(size_t(cw) * ch, 0);
  auto img = Stripes(w, h, 40, 9);
  const int clean = computeQualityScore(img.data(), img.data(), w, h, field.data());
  EXPECT_GE(clean, 0);
  EXPECT_LE(clean, 100);
  // Foreground of fewer than 6400 pixels.
  std::vector<uint8_t> small(size_t(cw) * ch, kBackground);
  for (int r = 0; r < 20; ++r)
    for (int c = 0; c < 20; ++c) small[size_t(r + 30) * cw + c + 30] = 0;
  EXPECT_EQ(computeQualityScore(img.data(), img.data(), w, h, small.data()), 0);
  // A flat image has no block variance.
  std::vector<uint8_t> flat(size_t(w) * h, 90);
  EXPECT_EQ(computeQualityScore(flat.data(), flat.data(), w, h, field.data()), 0);
}

TEST(QualityScore, GradientTermSaturatesOnSharpRidges) {
  // Same smoothed plane and field; only the normalised plane's sharpness changes.
  const int w = 256, h = 360, cw = cellCols(w), ch = cellRows(h);
  std::vector<uint8_t> field(size_t(cw) * ch, 0);
  const auto smooth = Stripes(w, h, 45, 9), soft = smooth, sharp = Stripes(w, h, 45, 4);
  auto binary = sharp;
  for (uint8_t &v : binary) v = v < 128 ? 0 : 255;
  const int qSoft = computeQualityScore(soft.data(), smooth.data(), w, h, field.data());
  const int qSharp = computeQualityScore(sharp.data(), smooth.data(), w, h, field.data());
  EXPECT_GT(qSharp, qSoft);
  EXPECT_LE(qSharp, 100);
  EXPECT_EQ(computeQualityScore(binary.data(), smooth.data(), w, h, field.data()), qSharp);
}

TEST(RidgePeriod, MeasuresStripePeriods) {
  const int w = 256, h = 360, cw = cellCols(w), ch = cellRows(h);
  for (double period : {6.0, 8.0, 10.0}) {
    for (double theta : {0.0, 45.0, 100.0}) {
      const auto img = Stripes(w, h, theta, period);
      std::vector<uint8_t> field(size_t(cw) * ch), P(size_t(cw) * ch, 0);
      computeBlockDirection(img.data(), w, h, field.data());
      estimateRidgePeriod(img.data(), w, h, field.data(), P.data());
      const int v = P[size_t(ch / 2) * cw + cw / 2];
      EXPECT_NEAR(v, 16 * (period - 3), 16) << period << " " << theta;
    }
  }
}

TEST(Binarize, BinaryOutputWithWhiteBorders) {
  const int w = 256, h = 360, cw = cellCols(w), ch = cellRows(h);
  auto img = Stripes(w, h, 20, 8);
  std::vector<uint8_t> P(size_t(cw) * ch, 80);
  P[0] = 0;
  binarizeFiltered(img.data(), w, h, P.data(), h / 3 - 1);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t v = img[size_t(y) * w + x];
      if (y == h - 3 && x > 0 && x < w - 3) continue;  // keeps its filtered values
      ASSERT_TRUE(v == 0 || v == 255) << x << "," << y;
      if (y == 0 || y >= h - 2 || x == 0 || x >= w - 3) {
        ASSERT_EQ(v, 255);
      }
    }
  // Cell (0, 0) without a period is white.
  for (int y = 1; y <= 3; ++y)
    for (int x = 1; x <= 3; ++x) EXPECT_EQ(img[size_t(y) * w + x], 255);
  int dark = 0;
  for (uint8_t v : img) dark += v == 0;
  EXPECT_GT(dark, w * h / 4);
}

TEST(Islands, HolesBelowThirtyPixelsAreFilled) {
  const int w = 40, h = 20;
  for (int size : {29, 30}) {
    std::vector<uint8_t> img(size_t(w) * h, 255);
    // A ridge block with a one-row hole of `size` pixels.
    for (int y = 4; y <= 8; ++y)
      for (int x = 2; x <= 36; ++x) img[size_t(y) * w + x] = 0;
    for (int x = 4; x < 4 + size; ++x) img[size_t(6) * w + x] = 255;
    img[size_t(15) * w + 20] = 0;  // a dark speck stays
    removeSmallIslands(img.data(), w, h);
    EXPECT_EQ(img[size_t(6) * w + 10], size < 30 ? 0 : 255) << size;
    EXPECT_EQ(img[size_t(15) * w + 20], 0);
    EXPECT_EQ(img[0], 255);
  }
}

TEST(Thinning, OnePixelWideAndConnected) {
  const int w = 200, h = 200;
  auto img = Stripes(w, h, 35, 10);
  for (uint8_t &v : img) v = v < 128 ? 0 : 255;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (x < 3 || y < 3 || x >= w - 3 || y >= h - 3) img[size_t(y) * w + x] = 255;
  const int before = Components8(img, w, h);
  thinRidges(img.data(), w, h);
  EXPECT_EQ(Components8(img, w, h), before);
  for (int y = 0; y + 1 < h; ++y)
    for (int x = 0; x + 1 < w; ++x) {
      const bool block = !img[size_t(y) * w + x] && !img[size_t(y) * w + x + 1] && !img[size_t(y + 1) * w + x] &&
                         !img[size_t(y + 1) * w + x + 1];
      ASSERT_FALSE(block) << x << "," << y;
    }
  // An isolated ridge pixel stays.
  std::vector<uint8_t> dot(25, 255);
  dot[12] = 0;
  thinRidges(dot.data(), 5, 5);
  EXPECT_EQ(dot[12], 0);
}

namespace {

struct Canvas {
  int w = 80, h = 80;
  std::vector<uint8_t> S = std::vector<uint8_t>(size_t(80) * 80, 255);
  std::vector<uint8_t> D = std::vector<uint8_t>(size_t(cellCols(80)) * cellRows(80), 0);
  void Line(int x0, int y0, int x1, int y1) {
    const int n = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    for (int k = 0; k <= n; ++k)
      S[size_t(y0 + (y1 - y0) * k / std::max(n, 1)) * w + x0 + (x1 - x0) * k / std::max(n, 1)] = 0;
  }
  CandidateList Detect() {
    CandidateList list{};
    std::vector<uint8_t> B = S;
    detectMinutiae(S.data(), B.data(), w, h, D.data(), list, kCaptureExtract);
    return list;
  }
};

}  // namespace

TEST(Detection, EndingsNeedFourTraceSteps) {
  Canvas a;
  a.Line(20, 40, 23, 40);  // four pixels: three steps from either end
  EXPECT_EQ(a.Detect().count, 0);
  Canvas b;
  b.Line(20, 40, 24, 40);  // five pixels: four steps
  const CandidateList l = b.Detect();
  ASSERT_EQ(l.count, 2);
  EXPECT_EQ(l.entries[0].type, 1);
  EXPECT_EQ(l.entries[0].x, 20);
  EXPECT_EQ(l.entries[0].direction, 0);  // pointing into the ridge, +x
  EXPECT_EQ(l.entries[1].x, 24);
  EXPECT_EQ(l.entries[1].direction, 120);
  // The skeleton is left as it was.
  for (int x = 20; x <= 24; ++x) EXPECT_EQ(b.S[size_t(40) * b.w + x], 0);
}

TEST(Detection, CapStopsAtTheProfileLimit) {
  Canvas c;
  for (int y = 5; y < 75; y += 3) c.Line(5, y, 20, y);
  ExtractProfile prof = kCaptureExtract;
  prof.candidateCap = 3;
  CandidateList list{};
  std::vector<uint8_t> B = c.S;
  detectMinutiae(c.S.data(), B.data(), c.w, c.h, c.D.data(), list, prof);
  EXPECT_EQ(list.count, 3);
}

TEST(Cleaning, FacingEndingsAcrossAGapAreJoined) {
  Canvas c;
  c.Line(10, 40, 30, 40);
  c.Line(41, 40, 65, 40);
  CandidateList list = c.Detect();
  ASSERT_EQ(list.count, 4);
  removeFalseMinutiae(c.S.data(), c.w, c.h, list, kCaptureExtract);
  int removed = 0;
  for (int i = 0; i < list.count; ++i) removed += list.entries[i].direction == kRemoved;
  EXPECT_EQ(removed, 2);
  for (int x = 30; x <= 41; ++x) EXPECT_EQ(c.S[size_t(40) * c.w + x], 0) << x;
}

TEST(Selection, BorderDistanceAndCap) {
  const int w = 80, h = 80;
  std::vector<uint8_t> S(size_t(w) * h, 255);
  std::vector<uint8_t> D(size_t(cellCols(w)) * cellRows(h), 0);
  // Ridges long enough for the 20-step traces, ending at x = 7 and x = 8.
  for (int x = 7; x <= 40; ++x) S[size_t(20) * w + x] = 0;
  for (int x = 8; x <= 40; ++x) S[size_t(50) * w + x] = 0;
  CandidateList list{};
  list.count = 2;
  list.entries[0] = {7, 20, 1, 0, 0, 0};
  list.entries[1] = {8, 50, 1, 0, 0, 0};
  MinutiaeRecord rec{};
  selectMinutiae(S.data(), w, h, D.data(), list, rec, kCaptureExtract);
  ASSERT_EQ(rec.count, 1);
  EXPECT_EQ(rec.minutiae[0].x, 8);
  EXPECT_EQ(rec.minutiae[0].y, 50);
  EXPECT_EQ(rec.minutiae[0].angle, 0);
  EXPECT_EQ(rec.minutiae[0].type, 1);
}
