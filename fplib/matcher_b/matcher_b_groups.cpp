#include "match_tables.h"
#include "matcher_b_context.h"

namespace fplib {

namespace {

constexpr int kJoinReach = 40;

void AddMember(PointGroupB &g, int point) {
  if (int(g.members.size()) >= g.capacity) g.capacity += 10;
  g.members.push_back(point);
}

// Absorbs `from` into `into`: members appended, centre halved between them.
void Absorb(PointGroupB &into, PointGroupB &from) {
  const int sum = int(into.members.size() + from.members.size());
  if (sum > into.capacity) into.capacity = sum + 1;
  into.members.insert(into.members.end(), from.members.begin(), from.members.end());
  into.x = (into.x + from.x) / 2;
  into.y = (into.y + from.y) / 2;
  from.members.clear();
  from.capacity = 0;
}

}  // namespace

int groupPointsB(GroupSetB &gs, const std::vector<int> &indices, const PointSetB &points) {
  gs.groups.clear();
  gs.groups.reserve(10);
  for (int idx : indices) {
    const PointB &p = points.points[idx];
    int best = -1, bestL = 0;
    for (size_t g = 0; g < gs.groups.size(); ++g) {
      const PointGroupB &grp = gs.groups[g];
      if (grp.members.empty()) continue;
      const int dx = Abs(grp.x - p.x), dy = Abs(grp.y - p.y);
      if (dx > kJoinReach || dy > kJoinReach) continue;
      const int L = VectorLength(dx, dy);
      if (best < 0 || L < bestL) {
        best = int(g);
        bestL = L;
      }
    }
    if (best >= 0 && bestL <= kJoinReach - 1) {
      PointGroupB &grp = gs.groups[size_t(best)];
      AddMember(grp, idx);
      grp.x = (grp.x + p.x) / 2;
      grp.y = (grp.y + p.y) / 2;
    } else {
      PointGroupB grp;
      grp.x = p.x;
      grp.y = p.y;
      grp.capacity = 20;
      grp.members.push_back(idx);
      gs.groups.push_back(std::move(grp));
    }
  }
  // Merge the closest pair while one qualifies. Only groups with members
  // take part: an emptied group keeps a centre near its absorber and would
  // otherwise merge for ever.
  int t = 65;
  for (;;) {
    int nonEmpty = 0;
    for (const auto &g : gs.groups) nonEmpty += !g.members.empty();
    if (nonEmpty < 2) break;
    int bestB = -1, bestLater = -1, bestL = 0;
    for (size_t b = 0; b < gs.groups.size(); ++b) {
      const PointGroupB &gb = gs.groups[b];
      if (gb.members.empty()) continue;
      for (size_t l = b + 1; l < gs.groups.size(); ++l) {
        const PointGroupB &gl = gs.groups[l];
        if (gl.members.empty()) continue;
        const size_t mb = gb.members.size(), ml = gl.members.size();
        if (mb > 5 && ml > 5)
          t = 30;
        else if (mb < 3 || ml < 3)
          t = 75;
        const int dx = Abs(gb.x - gl.x), dy = Abs(gb.y - gl.y);
        if (dx > t || dy > t) continue;
        const int L = VectorLength(dx, dy);
        if (L >= t) continue;
        if (bestB < 0 || L < bestL) {
          bestB = int(b);
          bestLater = int(l);
          bestL = L;
        }
      }
    }
    if (bestB < 0) break;
    PointGroupB &gb = gs.groups[size_t(bestB)], &gl = gs.groups[size_t(bestLater)];
    if (gl.capacity > gb.capacity)
      Absorb(gl, gb);
    else
      Absorb(gb, gl);
  }
  gs.pointToGroup.assign(kMaxPointsB, -1);
  gs.groupMark.assign(kMaxPointsB, -1);
  for (size_t g = 0; g < gs.groups.size(); ++g)
    for (int m : gs.groups[g].members) gs.pointToGroup[size_t(m)] = int(g);
  return 1;
}

}  // namespace fplib
