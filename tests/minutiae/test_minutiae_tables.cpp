// Invariants of the typed and derived constant tables.
#include <gtest/gtest.h>

#include <cmath>

#include "ridge_filters.h"
#include "ridge_tables.h"
#include "skeleton_trace.h"

using namespace minutiae;

TEST(EnhanceTable, EveryDirectionSumsTo256AlongItsAngle) {
  const RidgeTables &t = ridgeTables();
  for (int d = 0; d < 120; ++d) {
    const EnhanceRow &r = t.enhance[d];
    ASSERT_LE(r.count, 7);
    int sum = r.centre;
    // Axial mean of the tap directions (doubled angles), weighted.
    double c2 = 0, s2 = 0;
    for (int k = 0; k < r.count; ++k) {
      sum += 2 * r.taps[k].weight;
      const double a = std::atan2(r.taps[k].dy, r.taps[k].dx);
      c2 += r.taps[k].weight * std::cos(2 * a);
      s2 += r.taps[k].weight * std::sin(2 * a);
    }
    EXPECT_EQ(sum, 256) << d;
    const double got = std::atan2(s2, c2) * 90 / M_PI;
    EXPECT_LE(std::fabs(std::remainder(got - 1.5 * d, 180.0)), 6.0) << d;
  }
  // Exchange and negation rules.
  EXPECT_EQ(t.enhance[60].taps[0].dy, 1);
  EXPECT_EQ(t.enhance[60].taps[0].dx, 0);
  EXPECT_EQ(t.enhance[119].taps[5].dy, 1);
  EXPECT_EQ(t.enhance[119].taps[5].dx, -4);
  EXPECT_EQ(t.enhance[90].centre, t.enhance[30].centre);
}

TEST(ContextKernels, SumToMinus256AndFollowTheirClass) {
  const RidgeTables &t = ridgeTables();
  for (int b = 0; b < 4; ++b)
    for (int c = 0; c < 40; ++c) {
      int sum = 0;
      for (int k = 0; k < 5; ++k) sum += 2 * t.kernels[b][c][k].weight;
      EXPECT_EQ(sum, -256) << b << " " << c;
    }
  // Class 10 maps onto itself under the exchange rule (dx, dy) -> (-dy, -dx).
  for (int b = 0; b < 4; ++b)
    for (int k = 0; k < 5; ++k) {
      const KernelTap &q = t.kernels[b][10][k];
      EXPECT_TRUE((-q.dy == q.dx && -q.dx == q.dy) || (-q.dy == -q.dx && -q.dx == -q.dy));
      // Class 20 (vertical ridges) filters along rows.
      EXPECT_EQ(t.kernels[b][20][k].dy, -t.kernels[b][0][k].dx);
      EXPECT_EQ(t.kernels[b][20][k].dx, -t.kernels[b][0][k].dy);
      EXPECT_EQ(t.kernels[b][30][k].dy, -t.kernels[b][10][k].dy);
    }
  EXPECT_EQ(kernelClass(0), 0);
  EXPECT_EQ(kernelClass(1), 0);
  EXPECT_EQ(kernelClass(2), 1);
  EXPECT_EQ(kernelClass(119), 0);
  EXPECT_EQ(kernelClass(118), 39);
}

TEST(PeriodTables, ProbeExamplesScaleAndModeOffset) {
  const RidgeTables &t = ridgeTables();
  for (int m = 1; m <= 12; ++m) {
    EXPECT_EQ(t.periodProbe[0][m].dx, 0);
    EXPECT_EQ(t.periodProbe[0][m].dy, -m);
    EXPECT_EQ(t.periodProbe[60][m].dx, m);
    EXPECT_EQ(t.periodProbe[60][m].dy, 0);
    EXPECT_EQ(t.periodProbe[30][m].dx, m);
    EXPECT_EQ(t.periodProbe[30][m].dy, -m);
  }
  for (int d = 1; d < 60; ++d) EXPECT_EQ(t.periodScale[d], t.periodScale[60 - d]) << d;
  for (int d = 0; d < 60; ++d) EXPECT_EQ(t.periodScale[d], t.periodScale[d + 60]);
  EXPECT_EQ(t.periodScale[30], 181);
  for (int e = 0; e < 32; ++e) EXPECT_EQ(t.modeOffset[0][e], 0);
  EXPECT_EQ(t.modeOffset[8][1], 1);   // 4/8 + 1/2 = 1 exactly
  EXPECT_EQ(t.modeOffset[9][1], 0);   // 0.94
  EXPECT_EQ(t.modeOffset[4][3], 2);   // capped
  EXPECT_EQ(t.modeOffset[16][6], 2);  // 1.5 + 0.5
}

TEST(SkeletonTables, CodesClassesAndSteps) {
  const uint8_t *thin = thinningTable();
  int thinCount = 0;
  for (int c = 0; c < 256; ++c) thinCount += thin[c];
  EXPECT_EQ(thinCount, 34);
  EXPECT_EQ(thin[0x01], 1);
  EXPECT_EQ(thin[0xFF], 0);
  const SkeletonTables &s = skeletonTables();
  int bridges = 0;
  for (int c = 0; c < 256; ++c) bridges += s.bridge[c] == 255;
  EXPECT_EQ(bridges, 63);
  EXPECT_EQ(s.neighbourClass[0xFF], 0);  // isolated
  EXPECT_EQ(s.neighbourClass[0xFE], 1);  // only north is ridge: an end
  EXPECT_EQ(s.neighbourClass[0xEE], 2);  // north and south: running through
  EXPECT_EQ(s.neighbourClass[0xAA], 4);  // N, E, S, W ridge
  EXPECT_EQ(s.neighbourClass[0x00], 0);
  // First ridge neighbour in the order N, E, S, W, NE, SE, SW, NW.
  EXPECT_EQ(s.stepY[0xFE], -1);
  EXPECT_EQ(s.stepX[0xFE], 0);
  EXPECT_EQ(s.stepY[0xFB], 0);  // east only
  EXPECT_EQ(s.stepX[0xFB], 1);
  EXPECT_EQ(s.stepY[0xFA], -1);  // north and east: north first
  EXPECT_EQ(s.stepY[0x7F], -1);  // north-west only
  EXPECT_EQ(s.stepX[0x7F], -1);
  EXPECT_EQ(s.stepY[0xFF], 0);
  EXPECT_EQ(s.stepX[0xFF], 0);
  EXPECT_EQ(g_joinTolerance[15], 105);
}
