#include "matcher_b_consolidation.h"

#include <algorithm>
#include <array>
#include <utility>

#include "matcher_b_pairing.h"

namespace fplib {

namespace {

using PerPoint = std::array<int, kMaxPointsB>;

// The consolidation's work queue: at most one entry per first-set minutia
// (each pop pushes back at most one), so a ring of that size.
class Ring {
 public:
  bool empty() const { return size_ == 0; }
  void push_back(int v) { items_[(head_ + size_++) % kMaxPointsB] = v; }
  void push_front(int v) {
    head_ = (head_ + kMaxPointsB - 1) % kMaxPointsB;
    items_[head_] = v;
    ++size_;
  }
  int front() const { return items_[head_]; }
  void pop_front() {
    head_ = (head_ + 1) % kMaxPointsB;
    --size_;
  }

 private:
  int items_[kMaxPointsB] = {};
  int head_ = 0, size_ = 0;
};

struct Consolidation {
  MatcherBSearch &s;
  AlignmentB al;
  // Per first-set (anchor, anchorPartner, inSet) or second-set (heldBy)
  // minutia; held in place, no allocation per match.
  PerPoint anchor, anchorPartner, heldBy, inSet;

  PairCandidatesB &C(int m) { return s.candidates[size_t(m)]; }
  int Count() const { return s.A().count; }

  int Side(int from, int to, const PointSetB &ps, SideGeometryB &g) const {
    return pairGeometryB(ps.points[from], ps.points[to], kGeoDirection | kGeoLength, g);
  }

  // Narrow agreement of g -> e with gPartner -> t.
  int Agreement(int g, int e, int gPartner, int t) const {
    SideGeometryB a{}, b{};
    if (!Side(g, e, s.A(), a) || !Side(gPartner, t, s.B(), b)) return 0;
    return sideConsistency(a.length, a.direction, b.length, b.direction, al.rotation, false);
  }

  void Release(int m) {
    PairCandidatesB &pc = C(m);
    if (pc.assigned >= 0 && heldBy[size_t(pc.assigned)] == m) heldBy[size_t(pc.assigned)] = -1;
    pc.assigned = -1;
    pc.chainScore = 0;
    pc.chainHead = -1;
  }

  void UndoChain(int head) {
    for (int m = 0; m < Count(); ++m)
      if (C(m).chainHead == head) Release(m);
  }

  // Whether members may take partners with this score; undoes weaker
  // chains in the way. Holders outside any chain (anchors) stand firm.
  bool ClearConflicts(const int *members, const int *partners, int n, int score, bool sameAllowed) {
    for (int guard = 0; guard < 4 * kMaxPointsB; ++guard) {
      int blocker = -1;
      for (int i = 0; i < n && blocker < 0; ++i) {
        if (partners[i] < 0) continue;
        const PairCandidatesB &pc = C(members[i]);
        if (pc.assigned >= 0 && !(sameAllowed && pc.assigned == partners[i]))
          blocker = members[i];
        else if (heldBy[size_t(partners[i])] >= 0 && heldBy[size_t(partners[i])] != members[i])
          blocker = heldBy[size_t(partners[i])];
      }
      if (blocker < 0) return true;
      const PairCandidatesB &b = C(blocker);
      if (b.chainHead < 0 || b.chainScore >= score) return false;
      UndoChain(b.chainHead);
    }
    return false;
  }

  void Assign(const int *members, const int *partners, int n, int score) {
    int head = -1;
    for (int i = 0; i < n; ++i)
      if (partners[i] >= 0 && head < 0) head = members[i];
    for (int i = 0; i < n; ++i) {
      if (partners[i] < 0) continue;
      PairCandidatesB &pc = C(members[i]);
      pc.assigned = partners[i];
      pc.chainScore = score;
      pc.chainHead = head;
      heldBy[size_t(partners[i])] = members[i];
    }
  }

  void TakeAnchors(const EvaluationRecordB &ev);
  void GatherCandidates(int m);
  void LinkSets();
  void Promote();
  void SupportFromNeighbours();
  void BuildChains();
  PerPoint FixPairs();
  void RefreshSupport(const PerPoint &fixedPartner);
  PerPoint Claim(const PerPoint &fixedPartner);
};

void Consolidation::TakeAnchors(const EvaluationRecordB &ev) {
  for (int m = 0; m < Count(); ++m) {
    const ChosenPairB &cp = ev.chosen[m];
    if (cp.second < 0 || cp.similarity + cp.support <= 1600 || cp.keep != 1) continue;
    if (cp.similarity == cp.support && cp.similarity <= 900) continue;
    PairCandidatesB &pc = C(m);
    pc.list[0] = {cp.second, cp.similarity, cp.cost, cp.support, cp.keep};
    pc.count = 1;
    anchor[size_t(m)] = 1;
    anchorPartner[size_t(m)] = cp.second;
    heldBy[size_t(cp.second)] = m;
  }
  for (int m = 0; m < Count(); ++m) {
    if (!anchor[size_t(m)]) continue;
    PairCandidatesB &pc = C(m);
    const int sim = pairSimilarity(s, m, pc.list[0].second, al, true, nullptr);
    if (sim < 810) {
      anchor[size_t(m)] = 0;
      if (heldBy[size_t(pc.list[0].second)] == m) heldBy[size_t(pc.list[0].second)] = -1;
      anchorPartner[size_t(m)] = -1;
      pc = PairCandidatesB();
    } else {
      pc.list[0].similarity = sim;
    }
  }
}

void Consolidation::GatherCandidates(int m) {
  const PointSetB &A = s.A(), &B = s.B();
  PairCandidatesB &pc = C(m);
  int x, y;
  MapPoint(A.points[m], al, x, y);
  const int a = A.points[m].angle - al.rotation;
  for (int t = 0; t < B.count; ++t) {
    const PointB &q = B.points[t];
    // Position first: most points fail it, and then the angle is not needed.
    const int ex = Abs(q.x - x), dy = q.y - y, ey = Abs(dy);
    if (ex > 35 || dy < -40 || dy > 35 || ex + ey > 50) continue;
    const int ea = FoldAny(a - q.angle);
    if (ea > 30 || ex + ey + ea > 80) continue;
    const CandidateB c{t, 30 - (10 * ex) / 35 - (10 * ey) / 35 - (10 * ea) / 30, ex + ey + ea, 0, 1};
    if (pc.count < 3) {
      pc.list[pc.count++] = c;
      continue;
    }
    int worst = 0;
    for (int i = 1; i < 3; ++i)
      if (pc.list[i].cost > pc.list[worst].cost) worst = i;
    if (c.cost < pc.list[worst].cost) pc.list[worst] = c;
  }
  for (int i = 0; i < pc.count; ++i)
    for (int k = i + 1; k < pc.count; ++k)
      if (pc.list[k].cost < pc.list[i].cost) std::swap(pc.list[i], pc.list[k]);
  for (int i = 0; i < pc.count; ++i) {
    const int t = pc.list[i].second;
    const bool anchored = heldBy[size_t(t)] >= 0 && anchor[size_t(heldBy[size_t(t)])];
    const int sim = anchored ? 0 : pairSimilarity(s, m, t, al, true, nullptr);
    pc.list[i].similarity = sim < 600 ? 0 : sim;
  }
  CompactCandidates(pc);
}

void Consolidation::LinkSets() {
  for (int m = 0; m < Count(); ++m) {
    C(m).chainScore = 0;
    C(m).assigned = -1;
    C(m).chainHead = -1;
  }
  FixedListB<int, kMaxPointsB> set;
  for (int start = 0; start < Count(); ++start) {
    if (C(start).count == 0 || inSet[size_t(start)]) continue;
    set.clear();
    set.push_back(start);
    inSet[size_t(start)] = 1;
    for (size_t q = 0; q < set.size(); ++q) {
      const int x = set[q];
      const PairCandidatesB &cx = C(x);
      for (int i = 0; i < cx.count; ++i)
        for (const PairRefB &ref : s.first.pairLists[size_t(x)]) {
          if (ref.row > 12) break;
          const int y = ref.from;
          if (y <= x || inSet[size_t(y)]) continue;
          const PairCandidatesB &cy = C(y);
          bool shares = false;
          for (int k = 0; k < cy.count; ++k) shares = shares || cy.list[k].second == cx.list[i].second;
          if (!shares) continue;
          inSet[size_t(y)] = 1;
          set.push_back(y);
        }
    }
    if (set.size() < 2) continue;
    for (size_t iu = 0; iu < set.size(); ++iu)
      for (size_t iw = iu + 1; iw < set.size(); ++iw) {
        const int u = set[iu], w = set[iw];
        BuildSupportList(s, u, w, al.rotation, 301);
        const int members[2] = {u, w};
        int partners[2] = {-1, -1};
        const int score = chainScore(s, members, 2, partners, nullptr, false);
        if (partners[0] < 0 || partners[1] < 0 || score <= 450) continue;
        if (!ClearConflicts(members, partners, 2, score, false)) continue;
        Assign(members, partners, 2, score);
        C(u).linkPartner = w;
      }
  }
}

void Consolidation::Promote() {
  for (int k = 0; k < Count(); ++k) {
    PairCandidatesB &pk = C(k);
    const int w = pk.linkPartner;
    if (!anchor[size_t(k)] && pk.count > 0 && pk.chainScore > 810 && w >= 0 && C(w).chainScore == pk.chainScore) {
      auto simOf = [&](int m) {
        const PairCandidatesB &pc = C(m);
        for (int i = 0; i < pc.count; ++i)
          if (pc.list[i].second == pc.assigned) return pc.list[i].similarity;
        return 0;
      };
      if (simOf(k) >= 751 && simOf(w) >= 751) {
        for (int m : {k, w}) {
          anchor[size_t(m)] = 1;
          anchorPartner[size_t(m)] = C(m).assigned;
          heldBy[size_t(C(m).assigned)] = m;
          C(m).count = 0;
        }
      }
      C(w).chainScore = 0;
    }
    pk.chainScore = 0;
    pk.linkPartner = -1;
    pk.supportCount = 0;
    pk.assigned = -1;
    pk.chainHead = -1;
  }
}

void Consolidation::SupportFromNeighbours() {
  for (int e = 0; e < Count(); ++e) {
    PairCandidatesB &pe = C(e);
    if (anchor[size_t(e)] || pe.count == 0) continue;
    const auto &list = s.first.pairLists[size_t(e)];
    int used = 0;
    for (size_t k = 0; k + 1 < list.size() && used < 3; ++k) {
      if (list[k].row > 24) break;
      const int g = list[k].from;
      if (anchor[size_t(g)]) {
        ++used;
        for (int i = 0; i < pe.count; ++i) {
          CandidateB &c = pe.list[i];
          const int sc = Agreement(g, e, anchorPartner[size_t(g)], c.second);
          if (sc <= 349) {
            c.similarity = 0;
            continue;
          }
          if (c.similarity >= 1) c.support += sc;
        }
      } else if (pe.linkPartner < 0 && C(g).count > 0 && !C(g).linked && C(g).linkPartner != e) {
        pe.linkPartner = g;
        C(g).linked = 1;
        BuildSupportList(s, e, g, al.rotation, 301);
      }
    }
    if (used > 0)
      for (int i = 0; i < pe.count; ++i) pe.list[i].support /= used;
  }
}

void Consolidation::BuildChains() {
  std::fill(heldBy.begin(), heldBy.end(), -1);
  for (int m = 0; m < Count(); ++m) {
    C(m).assigned = -1;
    C(m).chainScore = 0;
    C(m).chainHead = -1;
  }
  for (int k = 0; k < Count(); ++k) {
    PairCandidatesB &pk = C(k);
    if (pk.assigned >= 0) continue;
    if (anchor[size_t(k)]) {
      pk.assigned = anchorPartner[size_t(k)];
      pk.chainScore = 1000;
      continue;
    }
    if (pk.count == 0) continue;
    int members[3] = {k, -1, -1}, n = 1;
    const int p = pk.linkPartner;
    if (pk.supportCount > 0 && p >= 0) {
      members[n++] = p;
      const int q = C(p).linkPartner;
      if (C(p).supportCount > 0 && q >= 0 && q != k) members[n++] = q;
    }
    int partners[3] = {-1, -1, -1};
    const int score = chainScore(s, members, n, partners, nullptr, true);
    if (score < 751) continue;
    if (!ClearConflicts(members, partners, n, score, true)) continue;
    Assign(members, partners, n, score);
  }
  // One second-set minutia, one holder: the best chain score, then the
  // larger index.
  PerPoint keeper;
  std::fill_n(keeper.begin(), s.B().count, -1);
  for (int m = 0; m < Count(); ++m) {
    const int t = C(m).assigned;
    if (t >= 0 && (keeper[size_t(t)] < 0 || C(m).chainScore >= C(keeper[size_t(t)]).chainScore)) keeper[size_t(t)] = m;
  }
  for (int m = 0; m < Count(); ++m) {
    const int t = C(m).assigned;
    if (t >= 0 && keeper[size_t(t)] != m) {
      C(m).count = 0;
      C(m).assigned = -1;
      C(m).chainScore = 0;
      C(m).chainHead = -1;
    }
  }
}

PerPoint Consolidation::FixPairs() {
  PerPoint fixedPartner, taken;
  std::fill_n(fixedPartner.begin(), Count(), -1);
  std::fill_n(taken.begin(), s.B().count, 0);
  for (int m = 0; m < Count(); ++m)
    if (anchor[size_t(m)]) taken[size_t(anchorPartner[size_t(m)])] = 1;
  for (int m = 0; m < Count(); ++m) {
    PairCandidatesB &pc = C(m);
    int partner = -1, cost = 0;
    if (anchor[size_t(m)]) {
      partner = anchorPartner[size_t(m)];
    } else if (pc.assigned >= 0 && pc.chainScore >= 750 && !taken[size_t(pc.assigned)]) {
      bool weak = false;
      for (int i = 0; i < pc.count; ++i)
        if (pc.list[i].second == pc.assigned) {
          weak = pc.list[i].similarity + pc.list[i].support <= 999;
          cost = pc.list[i].cost;
        }
      if (!weak) partner = pc.assigned;
    }
    if (partner < 0) continue;
    taken[size_t(partner)] = 1;
    fixedPartner[size_t(m)] = partner;
    pc.fixed = 1;
    pc.list[0] = {partner, 999, cost, 999, 1};
    for (int i = 1; i < 3; ++i) pc.list[i] = CandidateB();
    pc.count = 1;
    pc.chosen = 0;
  }
  return fixedPartner;
}

void Consolidation::RefreshSupport(const PerPoint &fixedPartner) {
  for (int m = 0; m < Count(); ++m) {
    PairCandidatesB &pc = C(m);
    if (pc.fixed || pc.count == 0) continue;
    int fixedNb[3], nf = 0;
    const auto &list = s.first.pairLists[size_t(m)];
    for (size_t k = 0; k + 1 < list.size() && nf < 3; ++k) {
      if (list[k].row > 16) break;
      const int g = list[k].from;
      if (fixedPartner[size_t(g)] >= 0) fixedNb[nf++] = g;
    }
    for (int i = 0; i < pc.count; ++i) {
      if (nf == 0) {
        pc.list[i].support = pc.list[i].similarity;
        continue;
      }
      int sum = 0;
      for (int q = 0; q < nf; ++q) sum += Agreement(fixedNb[q], m, fixedPartner[size_t(fixedNb[q])], pc.list[i].second);
      pc.list[i].support = sum / nf;
    }
  }
}

PerPoint Consolidation::Claim(const PerPoint &fixedPartner) {
  PerPoint choice, reservedBy, fixedHolder;
  std::fill_n(choice.begin(), Count(), -1);
  std::fill_n(reservedBy.begin(), s.B().count, -1);
  std::fill_n(fixedHolder.begin(), s.B().count, -1);
  for (int m = 0; m < Count(); ++m)
    if (fixedPartner[size_t(m)] >= 0) {
      fixedHolder[size_t(fixedPartner[size_t(m)])] = m;
      choice[size_t(m)] = fixedPartner[size_t(m)];
    }
  auto best = [&](const PairCandidatesB &pc) {
    int b = -1, sum = 0;
    for (int i = 0; i < pc.count; ++i) {
      const CandidateB &c = pc.list[i];
      if (c.support > 350 && c.similarity > 600 && (b < 0 || c.similarity + c.support > sum)) {
        b = i;
        sum = c.similarity + c.support;
      }
    }
    return sum > 1100 ? b : -1;
  };
  Ring queue;
  for (int m = 0; m < Count(); ++m)
    if (fixedPartner[size_t(m)] < 0) queue.push_back(m);
  // Every lost contest zeroes a candidate, so this ends.
  for (int guard = 0; !queue.empty() && guard < 100000; ++guard) {
    const int m = queue.front();
    queue.pop_front();
    PairCandidatesB &pc = C(m);
    const int b = best(pc);
    if (b < 0) continue;
    CandidateB &c = pc.list[b];
    const int t = c.second;
    if (fixedHolder[size_t(t)] >= 0) {
      c.similarity = 0;
      CompactCandidates(pc);
      queue.push_front(m);
      continue;
    }
    const bool good = c.support > 599 && c.similarity > 699;
    const int x = reservedBy[size_t(t)];
    if (x < 0) {
      reservedBy[size_t(t)] = m;
      choice[size_t(m)] = good ? t : -1;
      continue;
    }
    if (x == m) continue;
    if (choice[size_t(x)] < 0) {
      reservedBy[size_t(t)] = m;
      choice[size_t(m)] = t;
      queue.push_front(x);
      continue;
    }
    PairCandidatesB &px = C(x);
    int xi = -1;
    for (int i = 0; i < px.count; ++i)
      if (px.list[i].second == t) xi = i;
    const int xSum = xi >= 0 ? px.list[xi].similarity + px.list[xi].support : 0;
    const int loser = c.similarity + c.support > xSum ? x : m;
    const int winner = loser == x ? m : x;
    reservedBy[size_t(t)] = winner;
    choice[size_t(winner)] = t;
    PairCandidatesB &pl = C(loser);
    for (int i = 0; i < pl.count; ++i)
      if (pl.list[i].second == t) pl.list[i].similarity = 0;
    CompactCandidates(pl);
    choice[size_t(loser)] = -1;
    queue.push_front(loser);
  }
  return choice;
}

}  // namespace

int consolidatePairs(MatcherBSearch &s, MatcherBResult &result) {
  if (result.pairCount <= 0) return 0;
  Consolidation c{s, {}, {}, {}, {}, {}};
  if (!estimateFinalAlignment(s.A(), s.B(), result, c.al)) return 0;
  const int n = s.A().count;
  std::fill_n(c.anchor.begin(), n, 0);
  std::fill_n(c.anchorPartner.begin(), n, -1);
  std::fill_n(c.inSet.begin(), n, 0);
  std::fill_n(c.heldBy.begin(), s.B().count, -1);
  ResetPairCandidates(s);
  c.TakeAnchors(s.eval);
  for (int m = 0; m < n; ++m)
    if (!c.anchor[size_t(m)] && s.candidates[size_t(m)].count == 0) c.GatherCandidates(m);
  c.LinkSets();
  c.Promote();
  c.SupportFromNeighbours();
  c.BuildChains();
  const PerPoint fixedPartner = c.FixPairs();
  c.RefreshSupport(fixedPartner);
  const PerPoint choice = c.Claim(fixedPartner);
  const int score = result.score;
  result.clear();
  result.score = score;
  for (int m = 0; m < n; ++m) {
    if (choice[size_t(m)] < 0) continue;
    result.first[result.pairCount] = m;
    result.second[result.pairCount] = choice[size_t(m)];
    result.firstPaired[m] = 1;
    result.secondPaired[choice[size_t(m)]] = 1;
    ++result.pairCount;
  }
  return 1;
}

}  // namespace fplib
