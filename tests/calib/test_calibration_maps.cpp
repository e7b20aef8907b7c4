// Remap maps: exact offsets for translation grids, the built-in grids inside
// their sensors and without jumps, lowering of even sizes, and the loader's
// process-wide maps.
#include <gtest/gtest.h>

#include <cstdlib>

#include "calib_grids.h"
#include "calib_record_writer.h"
#include "calib_test_support.h"
#include "calibration.h"
#include "calibration_maps.h"
#include "device_state.h"

using namespace belnor;
using calibtest::FlashImage;

namespace {

RemapMaps Build(const CalibGrid &g, int sw, int sh) {
  RemapMaps maps;
  EXPECT_EQ(MakeRemapMaps(g, sw, sh, &maps), MapBuild::kBuilt);
  return maps;
}

void ExpectTranslation(const RemapMaps &m, double dx, double dy) {
  for (int r = 0; r < m.height; ++r)
    for (int c = 0; c < m.width; ++c) {
      const size_t k = size_t(r) * m.width + c;
      ASSERT_EQ(m.x[k], int32_t((c + dx) * 256)) << r << "," << c;
      ASSERT_EQ(m.y[k], int32_t((r + dy) * 256)) << r << "," << c;
    }
}

TEST(RemapMaps, TranslationGridsGiveExactOffsets) {
  ExpectTranslation(Build(sim::TranslationGrid(640, 640, 392, 172), 1424, 984), 392, 172);
  // Half a pixel: the fraction of every entry is exactly 128.
  ExpectTranslation(Build(sim::TranslationGrid(640, 640, 392.5f, 172.5f), 1424, 984), 392.5,
                    172.5);
}

TEST(RemapMaps, CellAtTheRightEdgeDoesNotWrapIntoTheNextRow) {
  // Last column 640 (even) with last row 639 (odd): nothing is lowered, so the
  // last cell spans 641 columns of a 640-wide image.
  CalibGrid g = sim::TranslationGrid(640, 640, 300, 100);
  g.columns[1] = 640;
  g.points[1].x = g.points[3].x = 940;
  const RemapMaps m = Build(g, 1424, 984);
  EXPECT_EQ(m.width, 640);
  ExpectTranslation(m, 300, 100);
}

TEST(RemapMaps, EvenSizesAreLowered) {
  CalibGrid g = sim::TranslationGrid(640, 640, 300, 100);
  g.columns[1] = 640;
  g.rows[1] = 640;
  g.points = {{300, 100}, {940, 100}, {300, 740}, {940, 740}};
  LowerEvenPositions(&g);
  EXPECT_EQ(g.columns[1], 639.0f);
  EXPECT_EQ(g.rows[1], 639.0f);
  EXPECT_EQ(g.columns[0], 0.0f);
  CalibGrid odd = sim::TranslationGrid(1600, 1500, 0, 0);  // 1599 x 1499
  LowerEvenPositions(&odd);
  EXPECT_EQ(odd.columns[1], 1599.0f);
  int w, h;
  CorrectedSize(odd, &w, &h);
  EXPECT_EQ(w, 1600);
  EXPECT_EQ(h, 1500);
}

struct TypeSize {
  int type, sensorW, sensorH, width, height;
};
constexpr TypeSize kTypes[] = {
    {1, 1424, 984, 640, 640}, {2, 1280, 720, 360, 258}, {4, 4096, 3072, 2304, 2304},
    {5, 2592, 1944, 1600, 1500}};

TEST(RemapMaps, BuiltInGridsStayInsideTheSensorAndJoinSmoothly) {
  for (const TypeSize &t : kTypes) {
    SCOPED_TRACE(t.type);
    const BuiltinGrid *b = FindBuiltinGrid(t.type);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->sensorWidth, t.sensorW);
    const RemapMaps m = Build(GridFromBuiltin(*b), t.sensorW, t.sensorH);
    ASSERT_EQ(m.width, t.width);
    ASSERT_EQ(m.height, t.height);
    const int32_t lo = 2 * 256, hiX = (t.sensorW - 3) * 256, hiY = (t.sensorH - 3) * 256;
    // Neighbouring pixels are at most ~2.5 sensor pixels apart in these
    // optics; a cell written into the wrong row shows as a jump.
    const int32_t maxStep = 3 * 256;
    for (int r = 0; r < m.height; ++r) {
      for (int c = 0; c < m.width; ++c) {
        const size_t k = size_t(r) * m.width + c;
        ASSERT_TRUE(m.x[k] >= lo && m.x[k] <= hiX && m.y[k] >= lo && m.y[k] <= hiY)
            << r << "," << c;
        if (c > 0) {
          ASSERT_GT(m.x[k], m.x[k - 1]) << r << "," << c;
          ASSERT_LE(m.x[k] - m.x[k - 1], maxStep) << r << "," << c;
          ASSERT_LE(std::abs(m.y[k] - m.y[k - 1]), maxStep) << r << "," << c;
        }
        if (r > 0) {
          ASSERT_GT(m.y[k], m.y[k - m.width]) << r << "," << c;
          ASSERT_LE(std::abs(m.x[k] - m.x[k - m.width]), maxStep) << r << "," << c;
        }
      }
    }
  }
}

TEST(RemapMaps, GridNodesLandOnTheirSensorPoints) {
  const BuiltinGrid *b = FindBuiltinGrid(1);
  const RemapMaps m = Build(GridFromBuiltin(*b), 1424, 984);
  for (int i = 0; i < b->ny; ++i)
    for (int j = 0; j < b->nx; ++j) {
      // 0, 64, ... 640 become pixel 0, 63, ... 639.
      const int c = j == 0 ? 0 : int(b->columns[j]) - 1, r = i == 0 ? 0 : int(b->rows[i]) - 1;
      const size_t k = size_t(r) * m.width + c;
      const float *p = b->points + 2 * (i * b->nx + j);
      EXPECT_NEAR(m.x[k], p[0] * 256, 1.0) << i << "," << j;
      EXPECT_NEAR(m.y[k], p[1] * 256, 1.0) << i << "," << j;
    }
}

TEST(LoadGeometricCalibration, BuildsAndFreesTheProcessMaps) {
  // Without a readable flash the built-in grid of the type is used.
  g_nDevType = 1;
  g_SensorWidth = 1424;
  g_SensorHeight = 984;
  ASSERT_EQ(LoadGeometricCalibration(), 1);
  EXPECT_EQ(g_RemapWidth, 640);
  EXPECT_EQ(g_RemapHeight, 640);
  ASSERT_NE(g_RemapX, nullptr);
  ASSERT_NE(g_RemapY, nullptr);
  // The slack after the corrected pixels stays zero.
  EXPECT_EQ(g_RemapX[RemapMapEntries(640, 640) - 1], 0);
  g_nDevType = 3;
  ASSERT_EQ(LoadGeometricCalibration(), 1);
  EXPECT_EQ(g_RemapX, nullptr);
  EXPECT_EQ(g_RemapWidth, 640);
  FreeRemapMaps();
  EXPECT_EQ(g_RemapY, nullptr);
}

}  // namespace
