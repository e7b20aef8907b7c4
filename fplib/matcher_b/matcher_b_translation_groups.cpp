#include <algorithm>
#include <cstdint>

#include "match_tables.h"
#include "matcher_b_alignment.h"

namespace fplib {

namespace {

using ShiftRecord = ShiftRecordB;

int Direction(const PointB &from, const PointB &to, bool &ok) {
  SideGeometryB g{};
  ok = pairGeometryB(from, to, kGeoDirection, g) != 0;
  return g.direction;
}

// Distinct triangles among the members: stamp[t] holds the last count
// that saw triangle t, so no search through the ones seen.
int DistinctTriangles(const std::vector<ShiftRecord> &recs, const int *members, int n, std::vector<int> &stamp,
                      int &round) {
  ++round;
  int distinct = 0;
  for (int i = 0; i < n; ++i) {
    const int t = recs[size_t(members[i])].triangle;
    distinct += stamp[size_t(t)] != round;
    stamp[size_t(t)] = round;
  }
  return distinct;
}

// Records whose shift lies within reach of (dx, dy) on both axes, in order,
// with their summed shifts: the test and the sums in one pass that
// vectorises, then the listing, without branches on the data.
int Gather(ShiftLanesB &l, int dx, int dy, int reach, int *members, long &sx, long &sy, bool cover) {
  const int count = l.count;
  long x = 0, y = 0;
  for (int j = 0; j < count; ++j) {
    const int in = int(Abs(l.x[j] - dx) <= reach) & int(Abs(l.y[j] - dy) <= reach);
    l.in[j] = in;
    x += long(l.x[j] & -in);
    y += long(l.y[j] & -in);
  }
  if (cover)
    for (int j = 0; j < count; ++j) l.covered[j] |= l.in[j];
  int n = 0;
  for (int j = 0; j < count; ++j) {
    members[n] = j;
    n += l.in[j];
  }
  sx = x;
  sy = y;
  return n;
}

void BuildRowGroups(const MatcherBSearch &s, RotationTableB &table, int rowIndex, DirectionCacheB &dirs) {
  RotationRowB &row = table.rows[size_t(rowIndex)];
  const int D = row.rotation;
  const PointB *B = s.B().points;
  const auto &tris = s.first.triangles;
  GroupingScratchB &scratch = s.grouping;
  std::vector<ShiftRecord> &recs = scratch.recs;
  recs.clear();
  // Side directions lie in 0..359, so with |D| <= 360 the differences stay
  // within the table's span.
  const bool nearD = D >= -360 && D <= 360;
  ShiftLanesB &lanes = dirs.lanes;
  lanes.count = 0;
  int picked = 0;
  for (int k = 0; k < dirs.entryCount; ++k) {
    dirs.inWindow[picked] = dirs.entry[k];
    picked += int(unsigned(dirs.rotation[k] - D + 20) <= 40u);
  }
  for (int k = 0; k < picked; ++k) {
    const int ti = dirs.inWindow[k] / kMaxTriangleCandidates, ci = dirs.inWindow[k] % kMaxTriangleCandidates;
    const TriangleB &t = tris[size_t(ti)];
    const TriangleSidesB &ta = s.triangleSides[size_t(ti)];
    const TriangleCandidate &c = t.candidates[size_t(ci)];
    SideTolerancesB &tol = dirs.tolerance[ti];
    if (!dirs.toleranceKnown[ti]) {
      tol.a = TolDir(t.lenAB);
      tol.b = TolDir(t.lenAC);
      tol.c = TolDir(t.lenCB);
      tol.limit = tol.c + tol.a / 2 + tol.b / 2 + 10;
      dirs.toleranceKnown[ti] = true;
    }
    const int tA = tol.a, tB = tol.b, tC = tol.c, limit = tol.limit;
    SideDirectionsB &cb = dirs.candidate[ti][ci];
    if (!dirs.known[ti][ci]) {
      bool ok1, ok2, ok3;
      cb.a = Direction(B[c.c1], B[c.c0], ok1);
      cb.b = Direction(B[c.c2], B[c.c0], ok2);
      cb.c = Direction(B[c.c2], B[c.c1], ok3);
      cb.ok = ok1 && ok2 && ok3;
      dirs.known[ti][ci] = 1;
    }
    if (!cb.ok) continue;
    const int vA = ta.a - D - cb.a, vB = ta.b - D - cb.b, vC = ta.c - D - cb.c;
    const int eA = nearD ? FoldNear(vA) : Fold(vA), eB = nearD ? FoldNear(vB) : Fold(vB),
              eC = nearD ? FoldNear(vC) : Fold(vC);
    if (eA > tA || eB > tB || eC > tC || eA + eB + eC > limit) continue;
    int dx, dy;
    TriangleShift(s, t, c, D, dx, dy);
    recs.push_back({ti, ci, dx, dy});
    lanes.x[lanes.count] = dx;
    lanes.y[lanes.count++] = dy;
  }
  // Coarse sets seed the groups.
  std::vector<ShiftSeedB> &seeds = scratch.seeds;
  std::vector<int> &members = scratch.members;
  std::vector<int> &stamp = scratch.seen;
  seeds.clear();
  std::fill_n(lanes.covered, lanes.count, 0);
  members.resize(recs.size() + 1);
  stamp.assign(size_t(kMaxTriangles), 0);
  int round = 0;
  for (size_t i = 0; i < recs.size(); ++i) {
    if (lanes.covered[i]) continue;
    long sx, sy;
    const int n = Gather(lanes, recs[i].dx, recs[i].dy, 50, members.data(), sx, sy, true);
    seeds.push_back({DistinctTriangles(recs, members.data(), n, stamp, round), int(sx / n), int(sy / n), false});
  }
  for (;;) {
    if (row.groups.size() >= 4) break;
    int pick = -1;
    for (size_t i = 0; i < seeds.size(); ++i)
      if (!seeds[i].spent && seeds[i].triangles > 1 && (pick < 0 || seeds[i].triangles > seeds[size_t(pick)].triangles))
        pick = int(i);
    if (pick < 0) break;
    ShiftSeedB &seed = seeds[size_t(pick)];
    seed.spent = true;
    long sx, sy;
    const int memberCount = Gather(lanes, seed.dx, seed.dy, 38, members.data(), sx, sy, false);
    const int triCount = DistinctTriangles(recs, members.data(), memberCount, stamp, round);
    if (triCount < 2) continue;
    std::vector<uint8_t> &minutia = scratch.minutia;
    minutia.assign(size_t(s.A().count), 0);
    int minutiae = 0;
    for (int mi = 0; mi < memberCount; ++mi) {
      const TriangleB &t = tris[size_t(recs[size_t(members[size_t(mi)])].triangle)];
      for (int p : {t.p1, t.p2, t.p3})
        if (!minutia[size_t(p)]) {
          minutia[size_t(p)] = 1;
          ++minutiae;
        }
    }
    const long n = long(memberCount);
    const int dx = int(sx / n), dy = int(sy / n);
    bool duplicate = false;
    for (const auto &other : row.groups)
      if (other.triangles > 0 && other.dx == dx && other.dy == dy) duplicate = true;
    if (duplicate) {
      row.groups.add();
      continue;
    }
    const int bestStrength = table.bestRow >= 0
                                 ? table.rows[size_t(table.bestRow)].groups[size_t(table.bestGroup)].strength
                                 : 0;
    TranslationGroupB &grp = row.groups.add();
    grp.dx = dx;
    grp.dy = dy;
    grp.triangles = triCount;
    grp.minutiae = minutiae;
    grp.strength = minutiae * 250;
    for (int mi = 0; mi < memberCount; ++mi) {
      const ShiftRecord &r = recs[size_t(members[size_t(mi)])];
      grp.records.push_back({0, r.triangle, r.candidate});
    }
    if (row.groups.back().strength > bestStrength) {
      table.bestRow = rowIndex;
      table.bestGroup = int(row.groups.size()) - 1;
    }
  }
  for (auto &g : row.groups) g.rotation = D;
}

}  // namespace

void groupTranslations(const MatcherBSearch &s, RotationTableB &table) {
  if (table.rows.empty()) return;
  DirectionCacheB &dirs = s.grouping.directions;
  const auto &tris = s.first.triangles;
  // A search state made outside a match starts without the per-triangle
  // entries.
  if (s.triangleSides.size() < tris.size()) s.triangleSides.assign(size_t(kMaxTriangles), TriangleSidesB());
  dirs.entryCount = 0;
  for (size_t ti = 0; ti < tris.size(); ++ti) {
    std::fill_n(dirs.known[ti], tris[ti].candidates.size(), 0);
    dirs.toleranceKnown[ti] = false;
    const TriangleB &t = tris[ti];
    TriangleSidesB &ta = s.triangleSides[ti];
    if (ta.p1 != t.p1 || ta.p2 != t.p2 || ta.p3 != t.p3) {
      const PointB *A = s.A().points;
      bool ok1, ok2, ok3;
      ta.a = Direction(A[t.p2], A[t.p1], ok1);
      ta.b = Direction(A[t.p3], A[t.p1], ok2);
      ta.c = Direction(A[t.p3], A[t.p2], ok3);
      ta.ok = ok1 && ok2 && ok3;
      ta.p1 = t.p1;
      ta.p2 = t.p2;
      ta.p3 = t.p3;
    }
    if (!ta.ok) continue;
    for (size_t ci = 0; ci < t.candidates.size(); ++ci) {
      dirs.rotation[dirs.entryCount] = t.candidates[ci].rotation;
      dirs.entry[dirs.entryCount++] = uint16_t(ti * kMaxTriangleCandidates + ci);
    }
  }
  for (size_t r = 0; r < table.rows.size(); ++r) BuildRowGroups(s, table, int(r), dirs);
}

}  // namespace fplib
