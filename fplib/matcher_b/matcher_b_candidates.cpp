#include "match_tables.h"
#include "matcher_b_pairing.h"

namespace fplib {

namespace {

constexpr int kCellProbeSide = 50;

int CellAt(const MatcherBSearch &s, int a, int b) {
  if (a < 0 || b < 0 || a >= kCellProbeSide || b >= kCellProbeSide) return -1;
  return s.cellIndex[size_t(a) * kCellIndexSide + size_t(b)];
}

void InsertByCost(PairCandidatesB &pc, int t, int cost) {
  for (int i = 0; i < pc.count; ++i)
    if (pc.list[i].second == t) return;
  int at = pc.count;
  while (at > 0 && pc.list[at - 1].cost > cost) --at;
  if (at >= 3) return;
  const int last = pc.count < 3 ? pc.count : 2;
  for (int i = last; i > at; --i) pc.list[i] = pc.list[i - 1];
  pc.list[at] = CandidateB();
  pc.list[at].second = t;
  pc.list[at].cost = cost;
  if (pc.count < 3) ++pc.count;
}

}  // namespace

int CountWithCandidates(const MatcherBSearch &s) {
  int n = 0;
  for (int m = 0; m < s.A().count; ++m) n += s.candidates[size_t(m)].count > 0;
  return n;
}

void CompactCandidates(PairCandidatesB &pc) {
  int w = 0, chosen = -1;
  for (int i = 0; i < pc.count; ++i) {
    if (pc.list[i].similarity <= 0) continue;
    if (i == pc.chosen) chosen = w;
    pc.list[w++] = pc.list[i];
  }
  for (int i = w; i < 3; ++i) pc.list[i] = CandidateB();
  pc.count = w;
  pc.chosen = chosen >= 0 ? chosen : (w > 0 && pc.chosen >= 0 ? 0 : -1);
}

void buildSearchCellIndex(MatcherBSearch &s) {
  s.cellIndex.assign(size_t(kCellIndexSide) * kCellIndexSide, -1);
  const PointSetB &B = s.B();
  for (int t = 0; t < B.count; ++t) {
    const PointB &p = B.points[t];
    // Negative positions have no cell.
    if (p.x < 0 || p.y < 0 || p.x > 1079 || p.y / 20 > 53) continue;
    const int cx = p.x / 20, cy = p.y / 20;
    int &cell = s.cellIndex[size_t(cx) * kCellIndexSide + size_t(cy)];
    if (cell >= 0) {
      const PointB &o = B.points[cell];
      const int mx = cx * 20 + 10, my = cy * 20 + 10;
      if (VectorLength(Abs(p.x - mx), Abs(p.y - my)) >= VectorLength(Abs(o.x - mx), Abs(o.y - my))) continue;
    }
    cell = t;
  }
}

bool findNearbyCell(const MatcherBSearch &s, int x, int y, int &minutia, int &cls) {
  const int a = (x * 1638 + 16384) >> 15, b = (y * 1638 + 16384) >> 15;
  int found = CellAt(s, a, b);
  if (found >= 0) {
    minutia = found;
    cls = 0;
    return true;
  }
  for (int i = 1; i <= 3; ++i)
    for (int n = i; n >= 0; --n) {
      const int probes[4][2] = {{a + n, b + (i - n)}, {a + n, b - (i - n)}, {a - n, b - (i - n)}, {a - n, b + (i - n)}};
      for (int k = 0; k < 4; ++k) {
        if ((k == 1 || k == 3) && n == i) continue;
        if (n == 0 && k >= 2) break;
        found = CellAt(s, probes[k][0], probes[k][1]);
        if (found >= 0) {
          minutia = found;
          cls = 1;
          return true;
        }
      }
    }
  return false;
}

void collectPairCandidates(MatcherBSearch &s, const AlignmentB &al) {
  const PointSetB &A = s.A(), &B = s.B();
  for (int m = 0; m < A.count; ++m) {
    PairCandidatesB &pc = s.candidates[size_t(m)];
    pc.count = 0;
    int px, py;
    MapPoint(A.points[m], al, px, py);
    int f, cls;
    if (!findNearbyCell(s, px, py, f, cls)) continue;
    const auto &list = s.second.pairLists[size_t(f)];
    if (list.empty()) continue;
    const int rowLimit = cls == 0 ? 16 : 20;
    auto consider = [&](int t) {
      const PointB &q = B.points[t];
      const int u = Abs(px - q.x), v = Abs(py - q.y), e = Fold(A.points[m].angle - al.rotation - q.angle);
      if (u > 35 || v > 35 || e > 30 || u + v > 50 || u + v + e > 80) return;
      InsertByCost(pc, t, u + v + e);
    };
    consider(f);
    // The list's last entry is never examined.
    for (size_t k = 0; k + 1 < list.size(); ++k) {
      if (list[k].row > rowLimit) break;
      consider(list[k].from);
    }
    for (int i = 0; i < pc.count; ++i)
      pc.list[i].similarity = pairSimilarity(s, m, pc.list[i].second, al, true, nullptr);
  }
}

}  // namespace fplib
