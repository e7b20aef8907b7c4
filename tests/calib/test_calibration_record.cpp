// Stored calibration records: CRC, accepted records, and every kind of bad
// record falling back to the built-in grid.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>

#include "calib_record_writer.h"
#include "calib_test_support.h"
#include "calibration_record.h"

using namespace belnor;
using calibtest::FlashImage;
using calibtest::kType1;
using calibtest::kType5;

namespace {

uint16_t Crc(const std::string &s) {
  return CalibCrc16(reinterpret_cast<const uint8_t *>(s.data()), s.size());
}

TEST(CalibCrc16, KnownValues) {
  EXPECT_EQ(Crc(""), 0xC010);
  EXPECT_EQ(Crc("123456789"), 0xF749);
  EXPECT_EQ(Crc("abc"), 0x751D);
  EXPECT_EQ(Crc(std::string(1, '\0')), 0x0080);
}

TEST(CalibRecord, TranslationRecordBytes) {
  // The 2 x 2 grid that makes the type-1 corrected image the sensor crop at
  // (392, 172), as the factory stores it.
  const std::vector<uint8_t> want = {
      0x41, 0x42, 0x10, 0x01, 0x18, 0x00, 0x02, 0x00, 0x02, 0x00, 0x90, 0x05, 0xd8, 0x03,
      0xd2, 0xcb, 0x50, 0x0f, 0xb8, 0x06, 0x46, 0x28, 0xb8, 0x06, 0x50, 0x0f, 0xae, 0x1f,
      0x46, 0x28, 0xae, 0x1f, 0x00, 0x00, 0xf6, 0x18, 0x00, 0x00, 0xf6, 0x18};
  EXPECT_EQ(sim::EncodeCalibRecord(sim::TranslationGrid(640, 640, 392, 172), 1424, 984), want);
  CalibGrid g;
  ASSERT_TRUE(ParseCalibData(ParseCalibHeader(want.data()), want.data() + kCalibHeaderSize,
                             want.size() - kCalibHeaderSize, 1424, 984, &g));
  EXPECT_EQ(g.nx, 2);
  EXPECT_FLOAT_EQ(g.columns[1], 639.0f);
  EXPECT_FLOAT_EQ(g.points[3].x, 1031.0f);
  EXPECT_FLOAT_EQ(g.points[3].y, 811.0f);
}

struct Loaded {
  int result;
  CalibSource source;
  RemapMaps maps;
};

Loaded Load(const calibtest::Sensor &s, const std::vector<uint8_t> &flash) {
  LoadedCalibration cal;
  const int r = LoadCalibration(s.type, s.width, s.height, FlashImage(flash), &cal);
  return {r, cal.source, std::move(cal.maps)};
}

bool SameMaps(const RemapMaps &a, const RemapMaps &b) {
  const size_t bytes = size_t(a.width) * a.height * sizeof(int32_t);
  return a.x && b.x && a.width == b.width && a.height == b.height &&
         std::memcmp(a.x.get(), b.x.get(), bytes) == 0 &&
         std::memcmp(a.y.get(), b.y.get(), bytes) == 0;
}

void Put16(std::vector<uint8_t> *rec, size_t offset, unsigned v) {
  (*rec)[offset] = uint8_t(v);
  (*rec)[offset + 1] = uint8_t(v >> 8);
}

// Offsets in a record of a 3 x 2 grid: points from 16, then columns, rows.
constexpr size_t kPoints = 16, kColumns = 16 + 4 * 6, kRows = kColumns + 6;

CalibGrid SmallGrid() {
  CalibGrid g;
  g.nx = 3;
  g.ny = 2;
  g.columns = {0, 240, 479};
  g.rows = {0, 399};
  for (float r : g.rows)
    for (float c : g.columns) g.points.push_back({c * 1.5f + 100, r * 1.2f + 50});
  return g;
}

TEST(CalibRecord, ValidRecordsLoad) {
  const auto rec = sim::EncodeCalibRecord(SmallGrid(), 1424, 984);
  const Loaded l = Load(kType1, rec);
  EXPECT_EQ(l.result, 1);
  EXPECT_EQ(l.source, CalibSource::kStored);
  EXPECT_EQ(l.maps.width, 480);
  EXPECT_EQ(l.maps.height, 400);
  // A CRC field of 0 is not checked.
  const Loaded unchecked = Load(kType1, sim::EncodeCalibRecord(SmallGrid(), 1424, 984, false));
  EXPECT_EQ(unchecked.source, CalibSource::kStored);
  // A last column of 1599 gives 1600 columns and lowers nothing.
  const Loaded wide =
      Load(kType5, sim::EncodeCalibRecord(sim::TranslationGrid(1600, 1500, 400, 200), 2592, 1944));
  EXPECT_EQ(wide.source, CalibSource::kStored);
  EXPECT_EQ(wide.maps.width, 1600);
  EXPECT_EQ(wide.maps.height, 1500);
}

TEST(CalibRecord, BadRecordsSelectTheBuiltInGrid) {
  RemapMaps builtin;
  ASSERT_EQ(MakeRemapMaps(GridFromBuiltin(*FindBuiltinGrid(1)), 1424, 984, &builtin),
            MapBuild::kBuilt);
  const auto good = sim::EncodeCalibRecord(SmallGrid(), 1424, 984);
  const std::vector<uint8_t> unchecked = sim::EncodeCalibRecord(SmallGrid(), 1424, 984, false);
  struct Case {
    const char *what;
    std::function<void(std::vector<uint8_t> *)> spoil;
    bool fromUnchecked;  // edit a record without CRC, so only the edited field fails
  };
  const Case cases[] = {
      {"erased flash", [](auto *r) { std::fill(r->begin(), r->end(), 0xFF); }, false},
      {"wrong magic", [](auto *r) { Put16(r, 0, 0x4242); }, false},
      {"wrong version", [](auto *r) { Put16(r, 2, 0x0111); }, false},
      {"size 2000", [](auto *r) { Put16(r, 4, 2000); }, false},
      {"size not the grid's", [](auto *r) { Put16(r, 4, 46); }, false},
      {"one column", [](auto *r) { Put16(r, 6, 1); }, false},
      {"huge grid", [](auto *r) { Put16(r, 6, 65535), Put16(r, 8, 65535); }, false},
      {"crc mismatch", [](auto *r) { (*r)[kPoints] ^= 1; }, false},
      {"point x beyond the sensor", [](auto *r) { Put16(r, kPoints + 8, 14250); }, true},
      {"point y beyond the sensor", [](auto *r) { Put16(r, kPoints + 12 + 2, 9900); }, true},
      {"point inside the margin", [](auto *r) { Put16(r, kPoints, 15); }, true},
      {"last column 0", [](auto *r) { Put16(r, kColumns + 4, 0); }, true},
      {"equal columns", [](auto *r) { Put16(r, kColumns + 2, 4790); }, true},
      {"falling rows", [](auto *r) { Put16(r, kRows + 2, 0); }, true},
      {"first column not 0", [](auto *r) { Put16(r, kColumns, 10); }, true},
      {"points not rising along a row", [](auto *r) { Put16(r, kPoints + 4, 900); }, true},
      {"points not rising down a column",
       [](auto *r) { Put16(r, kPoints + 12 + 2, 400); }, true},
      {"corrected image taller than the sensor",
       [](auto *r) { Put16(r, kRows + 2, 10000); }, true},
      {"record cut short", [](auto *r) { r->resize(r->size() - 2); }, false},
      {"header only", [](auto *r) { r->resize(kCalibHeaderSize); }, false},
      {"nothing readable", [](auto *r) { r->clear(); }, false},
  };
  for (const Case &c : cases) {
    std::vector<uint8_t> rec = c.fromUnchecked ? unchecked : good;
    c.spoil(&rec);
    const Loaded l = Load(kType1, rec);
    EXPECT_EQ(l.result, 1) << c.what;
    EXPECT_EQ(l.source, CalibSource::kBuiltin) << c.what;
    EXPECT_EQ(l.maps.width, 640) << c.what;
    EXPECT_EQ(l.maps.height, 640) << c.what;
    EXPECT_TRUE(SameMaps(l.maps, builtin)) << c.what;
  }
  // Intact records of grids that pass every record check yet give no maps:
  // an image less than two pixels wide, and columns that lowering the even
  // sizes makes equal.
  CalibGrid narrow = SmallGrid(), merged = SmallGrid();
  narrow.columns = {0, 0.2f, 0.5f};
  merged.columns = {0, 1, 480};
  merged.rows.back() = 400;
  for (const CalibGrid &g : {narrow, merged}) {
    const auto rec = sim::EncodeCalibRecord(g, 1424, 984);
    CalibGrid parsed;
    ASSERT_TRUE(ParseCalibData(ParseCalibHeader(rec.data()), rec.data() + kCalibHeaderSize,
                               rec.size() - kCalibHeaderSize, 1424, 984, &parsed));
    const Loaded l = Load(kType1, rec);
    EXPECT_EQ(l.result, 1);
    EXPECT_EQ(l.source, CalibSource::kBuiltin);
    EXPECT_TRUE(SameMaps(l.maps, builtin));
  }
}

TEST(CalibRecord, TypesWithoutOpticsGetTheCentreCropSize) {
  LoadedCalibration cal;
  EXPECT_EQ(LoadCalibration(3, 1280, 720, FlashImage({}), &cal), 1);
  EXPECT_EQ(cal.maps.width, 640);
  EXPECT_EQ(cal.maps.height, 640);
  EXPECT_EQ(cal.maps.x, nullptr);
  EXPECT_EQ(cal.source, CalibSource::kNone);
}

TEST(CalibRecord, MutatedRecordsNeverBuildWildMaps) {
  // Random byte and field damage to small records: whatever parses must give
  // maps that stay inside the sensor.
  constexpr int kSensorW = 200, kSensorH = 150;
  CalibGrid g;
  g.nx = 4;
  g.ny = 3;
  g.columns = {0, 20, 40, 63};
  g.rows = {0, 25, 47};
  for (float r : g.rows)
    for (float c : g.columns) g.points.push_back({c * 1.7f + 10 + r * 0.1f, r * 1.3f + 8});
  const auto base = sim::EncodeCalibRecord(g, kSensorW, kSensorH, false);
  std::mt19937 rng(1234);
  int accepted = 0;
  for (int iter = 0; iter < 6000; ++iter) {
    std::vector<uint8_t> rec = base;
    const int edits = 1 + int(rng() % 4);
    for (int e = 0; e < edits; ++e) {
      const size_t at = rng() % rec.size();
      switch (rng() % 3) {
        case 0: rec[at] = uint8_t(rng()); break;
        case 1: rec[at] ^= uint8_t(1u << (rng() % 8)); break;
        default: if (at + 1 < rec.size()) rec[at + 1] = uint8_t(rec[at + 1] + 1); break;
      }
    }
    if (rng() % 8 == 0) rec.resize(rng() % rec.size());
    CalibGrid parsed;
    if (rec.size() < kCalibHeaderSize ||
        !ParseCalibData(ParseCalibHeader(rec.data()), rec.data() + kCalibHeaderSize,
                        rec.size() - kCalibHeaderSize, kSensorW, kSensorH, &parsed))
      continue;
    RemapMaps maps;
    if (MakeRemapMaps(parsed, kSensorW, kSensorH, &maps) != MapBuild::kBuilt) continue;
    ++accepted;
    ASSERT_TRUE(RemapMapsInside(maps.x.get(), maps.y.get(), maps.width, maps.height, kSensorW,
                                kSensorH));
  }
  EXPECT_GT(accepted, 0);
}

}  // namespace
