// Synthetic minutia sets for matcher B's tests: finger-like point clouds,
// rigid transforms with the matcher's own rotation, and records built
// directly in the CMinutiaeRecord layout.
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "cminutiae_record.h"
#include "matcher_b_points.h"

namespace fplibtest {

using Record = std::array<uint8_t, fplib::kRecordSize>;

inline Record MakeRecord(const std::vector<fplib::CMinutia> &ms, int type = fplib::kRecordType) {
  Record r{};
  r[0] = uint8_t(type);
  r[fplib::kRecordCount] = uint8_t(ms.size());
  for (size_t i = 0; i < ms.size() && i < 100; ++i) {
    uint8_t *s = r.data() + fplib::kRecordSlots + 4 * i;
    s[0] = uint8_t(ms[i].x);
    s[1] = uint8_t(ms[i].y & 0xFF);
    s[2] = uint8_t(ms[i].degrees & 0xFF);
    s[3] = uint8_t(0xFC | ((ms[i].degrees >> 8) & 1) << 1 | ((ms[i].y >> 8) & 1));
  }
  return r;
}

// n minutiae inside a disc around (cx, cy), at least `spacing` apart.
inline std::vector<fplib::CMinutia> FingerSet(unsigned seed, int n, int cx = 128, int cy = 180, int radius = 100,
                                              int spacing = 9) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> dx(-radius, radius), deg(0, 359);
  std::vector<fplib::CMinutia> out;
  for (int tries = 0; int(out.size()) < n && tries < 100000; ++tries) {
    const int x = cx + dx(rng), y = cy + dx(rng);
    if ((x - cx) * (x - cx) + (y - cy) * (y - cy) > radius * radius) continue;
    if (x < 0 || x > 255 || y < 0 || y > 359) continue;
    bool close = false;
    for (const auto &m : out) close = close || (m.x - x) * (m.x - x) + (m.y - y) * (m.y - y) < spacing * spacing;
    if (!close) out.push_back({x, y, deg(rng)});
  }
  return out;
}

inline fplib::PointSetB ToPointSet(const std::vector<fplib::CMinutia> &ms) {
  fplib::PointSetB ps;
  ps.count = int(ms.size());
  for (size_t i = 0; i < ms.size(); ++i) ps.points[i] = {ms[i].degrees, ms[i].x, ms[i].y};
  return ps;
}

// The second set the alignment (r, dx, dy) maps the first one onto.
inline fplib::PointSetB Transform(const fplib::PointSetB &a, int r, int dx, int dy) {
  fplib::PointSetB b = a;
  for (int i = 0; i < a.count; ++i) {
    int x, y;
    fplib::RotatePoint(a.points[i].x, a.points[i].y, r, x, y);
    b.points[i] = {fplib::Mod360(a.points[i].angle - r), x - dx, y - dy};
  }
  return b;
}

}  // namespace fplibtest
