#include <algorithm>
#include <vector>

#include "matcher_b_pairing.h"

namespace fplib {

namespace {

int Raised(int a) { return a <= 180 ? a + 360 : a; }

struct GroupSums {
  long rot, x, y;
  int rotPairs, shiftPairs;
};

}  // namespace

void refineAlignment(MatcherBSearch &s, AlignmentB &al) {
  GroupSetB &gs = s.first.groups;
  if (gs.groups.empty()) return;
  const PointSetB &A = s.A(), &B = s.B();
  // One group per point at most.
  GroupSums sums[kMaxPointsB];
  std::fill_n(sums, gs.groups.size(), GroupSums{0, 0, 0, 0, 0});
  auto passes = [&](const PointB &p, const PointB &q, int xr, int yr, int r) {
    return Abs(xr - q.x - al.dx) <= 20 && Abs(yr - q.y - al.dy) <= 20 && Abs(Raised(p.angle) - Raised(q.angle) - r) <= 25;
  };
  long rotSum = 0;
  int rotPairs = 0;
  for (int m = 0; m < A.count; ++m) {
    const PointB &p = A.points[m];
    int xr, yr;
    RotatePoint(p.x, p.y, al.rotation, xr, yr);
    const int g = gs.pointToGroup[size_t(m)];
    const PairCandidatesB &pc = s.candidates[size_t(m)];
    for (int i = 0; i < pc.count; ++i) {
      const PointB &q = B.points[pc.list[i].second];
      if (!passes(p, q, xr, yr, al.rotation)) continue;
      const int d = Wrap180(p.angle - q.angle);
      rotSum += d;
      ++rotPairs;
      if (g >= 0) {
        sums[size_t(g)].rot += d;
        ++sums[size_t(g)].rotPairs;
      }
    }
  }
  const int r1 = rotPairs ? int(rotSum / rotPairs) : 0;
  for (size_t g = 0; g < gs.groups.size(); ++g) {
    PointGroupB &grp = gs.groups[g];
    grp.valid = sums[g].rotPairs > 0;
    grp.rotation = grp.valid ? int(sums[g].rot / sums[g].rotPairs) : 0;
    if (grp.valid && Fold(r1 - grp.rotation) > 15) grp.valid = 0;
  }
  long sx = 0, sy = 0;
  int shiftPairs = 0;
  for (int m = 0; m < A.count; ++m) {
    const PointB &p = A.points[m];
    int xr, yr, x1, y1;
    RotatePoint(p.x, p.y, al.rotation, xr, yr);
    RotatePoint(p.x, p.y, r1, x1, y1);
    const int g = gs.pointToGroup[size_t(m)];
    const PairCandidatesB &pc = s.candidates[size_t(m)];
    bool passedOne = false;
    for (int i = 0; i < pc.count; ++i) {
      const PointB &q = B.points[pc.list[i].second];
      const bool ok = passedOne ? passes(p, q, x1, y1, r1) : passes(p, q, xr, yr, al.rotation);
      if (!ok) continue;
      passedOne = true;
      sx += x1 - q.x;
      sy += y1 - q.y;
      ++shiftPairs;
      if (g >= 0) {
        sums[size_t(g)].x += x1 - q.x;
        sums[size_t(g)].y += y1 - q.y;
        ++sums[size_t(g)].shiftPairs;
      }
    }
  }
  const int dx1 = shiftPairs ? int(sx / shiftPairs) : 0, dy1 = shiftPairs ? int(sy / shiftPairs) : 0;
  for (size_t g = 0; g < gs.groups.size(); ++g) {
    PointGroupB &grp = gs.groups[g];
    const GroupSums &gsum = sums[g];
    // Its first pair in this pass makes a group valid again.
    grp.valid = gsum.shiftPairs >= 2;
    if (gsum.shiftPairs > 0) {
      grp.dx = int(gsum.x / gsum.shiftPairs);
      grp.dy = int(gsum.y / gsum.shiftPairs);
    }
    if (grp.valid && (Abs(grp.dx - dx1) > 15 || Abs(grp.dy - dy1) > 15)) grp.valid = 0;
  }
  al = {r1, dx1, dy1};
}

int selectPairCandidates(MatcherBSearch &s, const AlignmentB &al) {
  const PointSetB &A = s.A(), &B = s.B();
  for (int m = 0; m < A.count; ++m) {
    PairCandidatesB &pc = s.candidates[size_t(m)];
    int tx, ty, ta;
    pairTolerances(s, m, tx, ty, ta);
    const int g = s.first.groups.pointToGroup[size_t(m)];
    const PointGroupB *grp = g >= 0 ? &s.first.groups.groups[size_t(g)] : nullptr;
    const bool local = grp && grp->valid;
    AlignmentB work = local ? AlignmentB{grp->rotation, grp->dx, grp->dy} : al;
    const int sumLimit = local ? 60 : 65, posLimit = local ? 45 : 50;
    if (pc.count > 3) return 0;
    if (pc.count == 0) continue;
    const PointB &p = A.points[m];
    int xr, yr;
    RotatePoint(p.x, p.y, al.rotation, xr, yr);
    CandidateB kept[3];
    int nk = 0;
    for (int i = 0; i < pc.count; ++i) {
      const PointB &q = B.points[pc.list[i].second];
      const int l = Abs(xr - q.x - work.dx), u = Abs(yr - q.y - work.dy), n = FoldAny(p.angle - work.rotation - q.angle);
      if (l > tx || l + u > posLimit || u > ty || n > ta || l + u + n > sumLimit) continue;
      CandidateB c = pc.list[i];
      c.similarity = pairSimilarity(s, m, c.second, {al.rotation, work.dx, work.dy}, true, &c.cost);
      work.rotation = al.rotation;
      if (c.similarity > 0) {
        int at = nk;
        while (at > 0 && kept[at - 1].similarity < c.similarity) {
          kept[at] = kept[at - 1];
          --at;
        }
        kept[at] = c;
        ++nk;
      }
    }
    for (int i = 0; i < 3; ++i) pc.list[i] = i < nk ? kept[i] : CandidateB();
    pc.count = nk;
    pc.chosen = nk > 0 ? 0 : -1;
  }
  return 1;
}

void removeConflictingPairs(MatcherBSearch &s, int rotation) {
  const PointSetB &A = s.A(), &B = s.B();
  // Minutiae without a chosen candidate never gain one here: only the ones
  // holding one at the start are walked (the test on each stays, as one may
  // lose its candidate on the way).
  int held[kMaxPointsB], heldCount = 0;
  for (int m = 0; m < A.count; ++m) {
    const PairCandidatesB &pc = s.candidates[size_t(m)];
    held[heldCount] = m;
    heldCount += pc.count != 0 && pc.chosen >= 0;
  }
  for (int hi = 0; hi < heldCount; ++hi) {
    const int i = held[hi];
    PairCandidatesB &pi = s.candidates[size_t(i)];
    if (pi.count == 0 || pi.chosen < 0) continue;
    // i keeps comparing with this candidate even after losing it.
    const CandidateB ci = pi.list[pi.chosen];
    for (int hk = hi + 1; hk < heldCount; ++hk) {
      const int k = held[hk];
      PairCandidatesB &pk = s.candidates[size_t(k)];
      if (pk.count == 0 || pk.chosen < 0) continue;
      const CandidateB &ck = pk.list[pk.chosen];
      SideGeometryB g1{}, g2{};
      if (!pairGeometryB(A.points[k], A.points[i], kGeoDirection | kGeoLength, g1) ||
          !pairGeometryB(B.points[ck.second], B.points[ci.second], kGeoDirection | kGeoLength, g2))
        continue;
      const int d = g1.length, e = g2.length;
      const bool conflict = Abs(d - e) > TolLenOf(d < e ? d : e) ||
                            FoldAny(g1.direction - rotation - g2.direction) >= TolDirOf(d);
      if (!conflict) continue;
      PairCandidatesB &loser = ck.similarity + ck.support > ci.similarity + ci.support ? pi : pk;
      loser.count = 0;
      loser.chosen = -1;
    }
  }
}

}  // namespace fplib
