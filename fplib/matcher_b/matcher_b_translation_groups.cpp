#include <algorithm>

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

int DistinctTriangles(const std::vector<ShiftRecord> &recs, const std::vector<int> &members, std::vector<int> &seen) {
  seen.clear();
  for (int r : members)
    if (std::find(seen.begin(), seen.end(), recs[size_t(r)].triangle) == seen.end())
      seen.push_back(recs[size_t(r)].triangle);
  return int(seen.size());
}

void BuildRowGroups(const MatcherBSearch &s, RotationTableB &table, int rowIndex) {
  RotationRowB &row = table.rows[size_t(rowIndex)];
  const int D = row.rotation;
  const PointB *A = s.A().points, *B = s.B().points;
  const auto &tris = s.first.triangles;
  GroupingScratchB &scratch = s.grouping;
  std::vector<ShiftRecord> &recs = scratch.recs;
  recs.clear();
  for (size_t ti = 0; ti < tris.size(); ++ti) {
    const TriangleB &t = tris[ti];
    bool ok1, ok2, ok3;
    const int dirAB = Direction(A[t.p2], A[t.p1], ok1), dirAC = Direction(A[t.p3], A[t.p1], ok2),
              dirCB = Direction(A[t.p3], A[t.p2], ok3);
    if (!ok1 || !ok2 || !ok3) continue;
    const int tA = TolDir(t.lenAB), tB = TolDir(t.lenAC), tC = TolDir(t.lenCB);
    const int limit = tC + tA / 2 + tB / 2 + 10;
    for (size_t ci = 0; ci < t.candidates.size(); ++ci) {
      const TriangleCandidate &c = t.candidates[ci];
      if (c.rotation < D - 20 || c.rotation > D + 20) continue;
      const int d10 = Direction(B[c.c1], B[c.c0], ok1), d20 = Direction(B[c.c2], B[c.c0], ok2),
                d21 = Direction(B[c.c2], B[c.c1], ok3);
      if (!ok1 || !ok2 || !ok3) continue;
      const int eA = Fold(dirAB - D - d10), eB = Fold(dirAC - D - d20), eC = Fold(dirCB - D - d21);
      if (eA > tA || eB > tB || eC > tC || eA + eB + eC > limit) continue;
      int dx, dy;
      TriangleShift(s, t, c, D, dx, dy);
      recs.push_back({int(ti), int(ci), dx, dy});
    }
  }
  // Coarse sets seed the groups.
  std::vector<ShiftSeedB> &seeds = scratch.seeds;
  std::vector<uint8_t> &covered = scratch.covered;
  std::vector<int> &members = scratch.members;
  seeds.clear();
  covered.assign(recs.size(), 0);
  for (size_t i = 0; i < recs.size(); ++i) {
    if (covered[i]) continue;
    members.clear();
    long sx = 0, sy = 0;
    for (size_t j = 0; j < recs.size(); ++j)
      if (Abs(recs[j].dx - recs[i].dx) <= 50 && Abs(recs[j].dy - recs[i].dy) <= 50) {
        covered[j] = 1;
        members.push_back(int(j));
        sx += recs[j].dx;
        sy += recs[j].dy;
      }
    const long n = long(members.size());
    seeds.push_back({DistinctTriangles(recs, members, scratch.seen), int(sx / n), int(sy / n), false});
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
    members.clear();
    long sx = 0, sy = 0;
    for (size_t j = 0; j < recs.size(); ++j)
      if (Abs(recs[j].dx - seed.dx) <= 38 && Abs(recs[j].dy - seed.dy) <= 38) {
        members.push_back(int(j));
        sx += recs[j].dx;
        sy += recs[j].dy;
      }
    const int triCount = DistinctTriangles(recs, members, scratch.seen);
    if (triCount < 2) continue;
    std::vector<uint8_t> &minutia = scratch.minutia;
    minutia.assign(size_t(s.A().count), 0);
    int minutiae = 0;
    for (int r : members) {
      const TriangleB &t = tris[size_t(recs[size_t(r)].triangle)];
      for (int p : {t.p1, t.p2, t.p3})
        if (!minutia[size_t(p)]) {
          minutia[size_t(p)] = 1;
          ++minutiae;
        }
    }
    TranslationGroupB grp;
    const long n = long(members.size());
    grp.dx = int(sx / n);
    grp.dy = int(sy / n);
    bool duplicate = false;
    for (const auto &other : row.groups)
      if (other.triangles > 0 && other.dx == grp.dx && other.dy == grp.dy) duplicate = true;
    if (duplicate) {
      row.groups.push_back(TranslationGroupB());
      continue;
    }
    grp.triangles = triCount;
    grp.minutiae = minutiae;
    grp.strength = minutiae * 250;
    grp.records.reserve(members.size());
    for (int r : members) grp.records.push_back({0, recs[size_t(r)].triangle, recs[size_t(r)].candidate});
    const int bestStrength = table.bestRow >= 0
                                 ? table.rows[size_t(table.bestRow)].groups[size_t(table.bestGroup)].strength
                                 : 0;
    row.groups.push_back(std::move(grp));
    if (row.groups.back().strength > bestStrength) {
      table.bestRow = rowIndex;
      table.bestGroup = int(row.groups.size()) - 1;
    }
  }
  for (auto &g : row.groups) g.rotation = D;
}

}  // namespace

void groupTranslations(const MatcherBSearch &s, RotationTableB &table) {
  for (size_t r = 0; r < table.rows.size(); ++r) BuildRowGroups(s, table, int(r));
}

}  // namespace fplib
