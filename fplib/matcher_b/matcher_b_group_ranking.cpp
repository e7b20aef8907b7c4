#include <algorithm>
#include <cstdint>

#include "match_tables.h"
#include "matcher_b_alignment.h"

namespace fplib {

namespace {

constexpr int kPruneRuns = 118;

void MakeSides(const PointSetB &ps, int p1, int p2, int p3, TriangleSideGeometryB &out) {
  const int from[3] = {p2, p3, p3}, to[3] = {p1, p1, p2};
  for (int k = 0; k < 3; ++k) {
    out.g[k] = SideGeometryB{};
    out.ok[k] = pairGeometryB(ps.points[from[k]], ps.points[to[k]], kGeoDirection | kGeoLength, out.g[k]) != 0;
  }
}

// Agreement of the triangle's sides with the candidate's under rotation r,
// summed; an undefined side on either agrees with nothing.
int TriangleScore(const MatcherBSearch &s, SideCacheB &cache, int ti, int ci, int r) {
  const TriangleB &t = s.first.triangles[size_t(ti)];
  TriangleSideGeometryB &a = cache.triangle[ti];
  if (!cache.triangleKnown[ti]) {
    MakeSides(s.A(), t.p1, t.p2, t.p3, a);
    cache.triangleKnown[ti] = true;
  }
  TriangleSideGeometryB &b = cache.candidate[ti][ci];
  if (!cache.known[ti][ci]) {
    const TriangleCandidate &c = t.candidates[size_t(ci)];
    MakeSides(s.B(), c.c0, c.c1, c.c2, b);
    cache.known[ti][ci] = 1;
  }
  int sum = 0;
  for (int k = 0; k < 3; ++k)
    if (a.ok[k] && b.ok[k])
      sum += sideConsistency(a.g[k].length, a.g[k].direction, b.g[k].length, b.g[k].direction, r, false);
  return sum;
}

void pruneGroupRecords(const MatcherBSearch &s, TranslationGroupB &grp, SideCacheB &cache) {
  auto &recs = grp.records;
  size_t i = 0;
  int runs = 0;
  while (i < recs.size()) {
    size_t end = i;
    while (end < recs.size() && recs[end].triangle == recs[i].triangle) ++end;
    if (++runs == kPruneRuns) end = recs.size();  // the rest forms one run, unscored
    for (size_t k = i; k < end; ++k) {
      if (runs == kPruneRuns) {
        recs[k].score = 0;
        continue;
      }
      recs[k].score = TriangleScore(s, cache, recs[k].triangle, recs[k].candidate, grp.rotation);
    }
    if (end - i > 2) {
      size_t best = end, second = end;
      for (size_t k = i; k < end; ++k)
        if (recs[k].score > 0 && (best == end || recs[k].score > recs[best].score)) best = k;
      for (size_t k = i; k < end; ++k)
        if (k != best && recs[k].score > 0 && (second == end || recs[k].score > recs[second].score)) second = k;
      for (size_t k = i; k < end; ++k)
        if (k != best && k != second) recs[k].score = -1;
    }
    i = end;
  }
  recs.erase(std::remove_if(recs.begin(), recs.end(), [](const GroupRecordB &r) { return r.score <= 0; }),
             recs.end());
}

int AnchorGroup(const MatcherBSearch &s, const TranslationGroupB &grp) {
  const GroupSetB &gs = s.first.groups;
  // One group per point at most.
  int votes[kMaxPointsB];
  std::fill_n(votes, gs.groups.size(), 0);
  for (const GroupRecordB &r : grp.records) {
    const TriangleB &t = s.first.triangles[size_t(r.triangle)];
    const int g1 = gs.pointToGroup[size_t(t.p1)], g2 = gs.pointToGroup[size_t(t.p2)],
              g3 = gs.pointToGroup[size_t(t.p3)];
    if (g1 >= 0) ++votes[size_t(g1)];
    if (g2 >= 0 && g2 != g1) ++votes[size_t(g2)];
    if (g3 >= 0 && g3 != g1 && g3 != g2) ++votes[size_t(g3)];
  }
  int best = -1;
  for (size_t g = 0; g < gs.groups.size(); ++g) {
    if (votes[g] == 0) continue;
    if (best < 0 || votes[g] > votes[size_t(best)] ||
        (votes[g] == votes[size_t(best)] && gs.groups[g].members.size() > gs.groups[size_t(best)].members.size()))
      best = int(g);
  }
  return best;
}

}  // namespace

void rankGroups(MatcherBSearch &s, RotationTableB &table) {
  table.bestMean = table.bestSpread = 10000;
  table.bestRank = 0;
  if (table.bestRow < 0 || table.bestGroup < 0) return;
  const TranslationGroupB &best = table.rows[size_t(table.bestRow)].groups[size_t(table.bestGroup)];
  const long N = long(best.records.size()) * 5;
  if (N < 1 || N > 30000) return;
  const int M = best.minutiae;
  SideCacheB &cache = s.grouping.sides;
  const size_t triangles = s.first.triangles.size();
  std::fill_n(cache.triangleKnown, triangles, false);
  for (size_t ti = 0; ti < triangles; ++ti) std::fill_n(cache.known[ti], kMaxTriangleCandidates, 0);
  std::vector<int> &costs = s.grouping.costs;
  for (size_t r = 0; r < table.rows.size(); ++r)
    for (size_t gi = 0; gi < table.rows[r].groups.size(); ++gi) {
      TranslationGroupB &grp = table.rows[r].groups[gi];
      if (grp.minutiae + 2 < M || grp.records.empty()) continue;
      pruneGroupRecords(s, grp, cache);
      costs.clear();
      const AlignmentB al{grp.rotation, grp.dx, grp.dy};
      for (const GroupRecordB &rec : grp.records) {
        const TriangleB &t = s.first.triangles[size_t(rec.triangle)];
        const TriangleCandidate &c = t.candidates[size_t(rec.candidate)];
        const int pairs[3][2] = {{t.p1, c.c0}, {t.p2, c.c1}, {t.p3, c.c2}};
        for (const auto &p : pairs) {
          if (long(costs.size()) >= N) break;
          int cost = 0;
          pairSimilarity(s, p[0], p[1], al, false, &cost);
          costs.push_back(cost);
        }
      }
      // A group pruned to nothing has no costs to rank.
      if (costs.empty()) continue;
      const long n = long(costs.size());
      long sum = 0;
      for (int c : costs) sum += c;
      const long g = sum / n;
      uint64_t sq = 0;
      for (int c : costs) sq += uint64_t((c - g) * (c - g));
      const long l = long(floorSqrtBits(uint32_t(std::min<uint64_t>(sq, UINT32_MAX))));
      const long rank = grp.strength + 10000 - 50 * g - 70 * l / n;
      if (rank > table.bestRank) {
        table.bestRow = int(r);
        table.bestGroup = int(gi);
        table.bestMean = int(g);
        table.bestSpread = int(l / n);
        table.bestRank = int(rank);
        s.first.groups.current = AnchorGroup(s, grp);
      }
    }
  std::fill(s.first.groups.groupMark.begin(), s.first.groups.groupMark.end(), -1);
}

}  // namespace fplib
