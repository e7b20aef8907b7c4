// Matcher B's geometry in whole degrees and pixels: angle folding, the pair
// relation of two points, rotation by the sine table, and the tolerances.
#pragma once

#include <cstdint>

#include "int_geometry.h"
#include "match_tables.h"

namespace fplib {

// A minutia as matcher B sees it: angle in degrees 0..359, position.
struct PointB {
  int angle, x, y;
};

// Which fields pairGeometryB fills.
enum : int { kGeoDirection = 1, kGeoAngleToSide = 2, kGeoAngleDiff = 4, kGeoLength = 8 };

struct SideGeometryB {
  int direction, angleToSide, angleDiff, length;
};

// v % 360 as C++ has it (the sign of v); the usual ranges without a division
// or a branch on the value.
inline int Rem360(int v) {
  if (unsigned(v) < 1080u) return v - 360 * (int(v >= 360) + int(v >= 720));
  return v % 360;
}

// v modulo 360 in 0..359.
inline int Mod360(int v) {
  if (unsigned(v) + 360u < 1440u) return v + 360 * (int(v < 0) - int(v >= 360) - int(v >= 720));
  const int r = v % 360;
  return r < 0 ? r + 360 : r;
}

// v modulo 72 in 0..71.
inline int Mod72(int v) {
  if (v >= 0 && v < 72) return v;
  if (v >= -72 && v < 0) return v + 72;
  return (v % 72 + 72) % 72;
}
inline int Wrap180(int v) {
  int r = Mod360(v);
  return r > 180 ? r - 360 : r;
}
inline int Fold(int v) { return minutiae::foldDirection(v, 0, 360); }
inline int Abs(int v) { return v < 0 ? -v : v; }

// Fold and Wrap180 by table for the sums of a few angles the searches form
// (|v| <= kNearAngleSpan): a load instead of a division and its branches.
constexpr int kNearAngleSpan = 1440;
struct NearAngleTablesB {
  uint8_t fold[2 * kNearAngleSpan + 1];
  int16_t wrap[2 * kNearAngleSpan + 1];
};
constexpr NearAngleTablesB MakeNearAngleTables() {
  NearAngleTablesB t{};
  for (int v = -kNearAngleSpan; v <= kNearAngleSpan; ++v) {
    int d = v % 360;
    if (d < 0) d += 360;
    t.fold[v + kNearAngleSpan] = uint8_t(d > 180 ? 360 - d : d);
    t.wrap[v + kNearAngleSpan] = int16_t(d > 180 ? d - 360 : d);
  }
  return t;
}
inline constexpr NearAngleTablesB kNearAngles = MakeNearAngleTables();
inline int FoldNear(int v) { return kNearAngles.fold[v + kNearAngleSpan]; }
inline int Wrap180Near(int v) { return kNearAngles.wrap[v + kNearAngleSpan]; }
// Fold by table within its span, by division beyond it.
inline int FoldAny(int v) { return v >= -kNearAngleSpan && v <= kNearAngleSpan ? FoldNear(v) : Fold(v); }
// round(v / 5) in the matcher's fixed point: distances and angles to steps.
constexpr int StepOf(int v) { return (v * 6553 + 16384) >> 15; }

// base + f, or base - f when negate, without a branch.
inline int TurnQuarter(int base, int negate, int f) { return base + ((f ^ -negate) + negate); }

// The angle of a quarter within the half turn by the signs: half adds 180,
// turning f back when dy is above 0; otherwise a dy below 0 gives 360 - f.
// Arithmetic on the tests, since their outcome follows the data.
inline int QuadrantTurn(int half, int dy, int f) {
  const int above = int(dy > 0), below = int(dy < 0);
  return TurnQuarter(180 * half + 360 * ((half ^ 1) & below), (half & above) | ((half ^ 1) & below), f);
}

// The angle of (ax, ay) within a quarter turn: one look-up, of the larger
// side over the smaller.
inline int QuarterDeg(int ax, int ay) {
  const int q = AtanDeg(ax > ay ? ax : ay, ax > ay ? ay : ax);
  return ay >= ax ? q : 90 - q;
}

// Direction of (dx, dy) from the quarter angle f by the signs.
inline int DirectionQuadrantDeg(int dx, int dy, int f) { return QuadrantTurn(int(dx <= 0), dy, f); }

// Relation p -> q. Returns 0 when an axis difference exceeds 179; then every
// requested field is -1, so no caller reads stale values.
inline int pairGeometryB(const PointB &p, const PointB &q, int flags, SideGeometryB &out) {
  const int dx = q.x - p.x, dy = q.y - p.y;
  const int ax = Abs(dx), ay = Abs(dy);
  if (ax >= kGeometrySpan || ay >= kGeometrySpan) {
    if (flags & kGeoLength) out.length = -1;
    if (flags & kGeoAngleDiff) out.angleDiff = -1;
    if (flags & kGeoDirection) out.direction = -1;
    if (flags & kGeoAngleToSide) out.angleToSide = -1;
    return 0;
  }
  if (flags & kGeoLength) out.length = VectorLength(ax, ay);
  if (flags & kGeoAngleDiff) out.angleDiff = Rem360(q.angle - p.angle + 720);
  if (flags & (kGeoDirection | kGeoAngleToSide)) {
    const int g = QuadrantTurn(int(dx > 0), dy, QuarterDeg(ax, ay));
    if (flags & kGeoDirection) out.direction = g;
    if (flags & kGeoAngleToSide) out.angleToSide = Rem360(q.angle - g + 720);
  }
  return 1;
}

// (x, y) turned by r degrees: floor((x cos - y sin) / 65536), ...
inline void RotateBy(int x, int y, int c, int s, int &xr, int &yr) {
  xr = (x * c - y * s) >> 16;
  yr = (x * s + y * c) >> 16;
}
inline void RotatePoint(int x, int y, int r, int &xr, int &yr) { RotateBy(x, y, CosDeg(r), SinDeg(r), xr, yr); }

// Tolerance by kind (0 length, 1 direction, 3, 7 side angle) for a value or
// a bin; binResult turns a length tolerance into a bin.
constexpr int ToleranceOf(int value, int binned, int binResult, int kind) {
  const int v = binned ? value : StepOf(value);
  switch (kind) {
    case 0: {
      int t = 40;
      if (v < 4)
        t = 17 + v / 2;
      else if (v < 8)
        t = 23 + (v - 4) / 2;
      else if (v < 20)
        t = 28 + ((v * 10922 - 70992) >> 15);
      else if (v < 46)
        t = 35;
      return binResult ? StepOf(t) : t;
    }
    case 1:
      if (v <= 4) return 40;
      if (v < 9) return 35;
      if (v < 13) return 30;
      if (v <= 20) return 25;
      if (v <= 30) return 20;
      if (v < 36) return 18;
      return 15;
    case 3:
      return 40;
    case 7:
      if (v < 5) return 55;
      if (v < 9) return 50;
      if (v < 13) return 45;
      if (v <= 20) return 40;
      return 35;
    default:
      return 20;
  }
}
int matchTolerance(int value, int binned, int binResult, int kind);

// The tolerances the searches ask for most, by table for lengths and bins
// up to kToleranceSpan: their branches follow the data.
constexpr int kToleranceSpan = 512;
struct ToleranceTablesB {
  uint8_t len[kToleranceSpan], dir[kToleranceSpan], lenBin[kToleranceSpan], dirBin[kToleranceSpan],
      sideBin[kToleranceSpan];
};
constexpr ToleranceTablesB MakeToleranceTables() {
  ToleranceTablesB t{};
  for (int v = 0; v < kToleranceSpan; ++v) {
    t.len[v] = uint8_t(ToleranceOf(v, 0, 0, 0));
    t.dir[v] = uint8_t(ToleranceOf(v, 0, 0, 1));
    t.lenBin[v] = uint8_t(ToleranceOf(v, 1, 1, 0));
    t.dirBin[v] = uint8_t(ToleranceOf(v, 1, 1, 1));
    t.sideBin[v] = uint8_t(ToleranceOf(v, 1, 1, 7));
  }
  return t;
}
inline constexpr ToleranceTablesB kTolerances = MakeToleranceTables();
inline bool InToleranceSpan(int v) { return unsigned(v) < unsigned(kToleranceSpan); }
inline int TolLen(int bin) { return InToleranceSpan(bin) ? kTolerances.lenBin[bin] : ToleranceOf(bin, 1, 1, 0); }
inline int TolDir(int bin) { return InToleranceSpan(bin) ? kTolerances.dirBin[bin] : ToleranceOf(bin, 1, 1, 1); }
inline int TolSide(int bin) { return InToleranceSpan(bin) ? kTolerances.sideBin[bin] : ToleranceOf(bin, 1, 1, 7); }
// Length and direction tolerances of a side of the given length in pixels.
inline int TolLenOf(int length) { return InToleranceSpan(length) ? kTolerances.len[length] : ToleranceOf(length, 0, 0, 0); }
inline int TolDirOf(int length) { return InToleranceSpan(length) ? kTolerances.dir[length] : ToleranceOf(length, 0, 0, 1); }

// How well two sides agree under a rotation, 1000 for equal sides. widened
// takes the tolerances from d1 alone and widens them by 10.
int sideConsistency(int d1, int dir1, int d2, int dir2, int rotation, bool widened);

}  // namespace fplib
