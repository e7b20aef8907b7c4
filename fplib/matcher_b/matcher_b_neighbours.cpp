#include "matcher_b_pairing.h"

namespace fplib {

namespace {

constexpr int kNeighbourRows = 12;

int FindCandidate(const PairCandidatesB &pc, int second) {
  for (int i = 0; i < pc.count; ++i)
    if (pc.list[i].second == second) return i;
  return -1;
}

// Agreement of t (a candidate of m) with the chosen candidates of m's
// neighbours.
int neighbourScore(MatcherBSearch &s, int m, int t, const AlignmentB &al) {
  const PointSetB &B = s.B();
  PairCandidatesB &pm = s.candidates[size_t(m)];
  const int own = FindCandidate(pm, t);
  const int simT = own >= 0 ? pm.list[own].similarity : 0;
  const NearNeighboursB &near = s.first.near[size_t(m)];
  int sum = 0;  // at most five neighbours of 64000 each: 32 bits hold it, and divide faster
  int k = 0;
  for (int q = 0; q < near.count; ++q) {
    const PairCandidatesB &pf = s.candidates[size_t(near.point[q])];
    if (pf.count == 0 || pf.chosen < 0) continue;
    int g = pf.list[pf.chosen].second, h = pf.list[pf.chosen].similarity;
    if (g == t) {
      int other = -1;
      for (int i = 0; i < pf.count; ++i)
        if (pf.list[i].second != t && (other < 0 || pf.list[i].similarity > pf.list[other].similarity)) other = i;
      // A neighbour whose only claim is t has nothing to compare.
      if (other < 0) continue;
      g = pf.list[other].second;
      h = pf.list[other].similarity;
    }
    SideGeometryB g2{};
    if (!near.valid[q] || !pairGeometryB(B.points[g], B.points[t], kGeoDirection | kGeoLength, g2)) continue;
    const SideGeometryB g1{near.direction[q], 0, 0, near.length[q]};
    const bool strong = simT > 840, closeGap = simT - h <= 80;
    const int dd = Abs(g1.length - g2.length), T = TolLenOf(g1.length);
    if (dd < T || !strong || closeGap) sum += dd < T ? dd * 16000 / (T + 10) : 32000;
    const int e = Fold(g1.direction - al.rotation - g2.direction), U = TolDirOf(g1.length);
    if (U >= e || !strong || closeGap) {
      sum += U < e ? 32000 : e * 16000 / (U + 15);
      ++k;
    }
  }
  if (k > 0) return (k * 32016 - sum) / (32 * k);
  if (own < 0) return 0;
  if (pm.list[own].similarity <= 579) pm.list[own].similarity = 0;
  return pm.list[own].similarity;
}

void DropClaim(PairCandidatesB &pc, int index) {
  if (index < 0) return;
  pc.list[index].similarity = 0;
  CompactCandidates(pc);
}

}  // namespace

void buildNearNeighbours(MatcherBContext &ctx) {
  const PointSetB &A = *ctx.points;
  ctx.near.resize(kMaxPointsB);
  for (int m = 0; m < A.count; ++m) {
    NearNeighboursB &near = ctx.near[size_t(m)];
    near = NearNeighboursB();
    for (const PairRefB &ref : ctx.pairLists[size_t(m)]) {
      if (ref.row > kNeighbourRows) break;
      const int f = ref.from;
      if (near.count < kNearNeighbours) {
        SideGeometryB g{};
        near.valid[near.count] = pairGeometryB(A.points[f], A.points[m], kGeoDirection | kGeoLength, g) != 0;
        near.length[near.count] = g.length;
        near.direction[near.count] = g.direction;
        near.point[near.count++] = f;
      }
      if (f > m && near.laterCount < kNearNeighbours) near.later[near.laterCount++] = f;
      if (near.count >= kNearNeighbours && near.laterCount >= kNearNeighbours) break;
    }
  }
}

void BuildSupportList(MatcherBSearch &s, int m, int n, int rotation, int minScore) {
  const PointSetB &A = s.A(), &B = s.B();
  PairCandidatesB &pm = s.candidates[size_t(m)];
  const PairCandidatesB &pn = s.candidates[size_t(n)];
  pm.supportCount = 0;
  SideGeometryB ga{};
  if (!pairGeometryB(A.points[n], A.points[m], kGeoDirection | kGeoLength, ga)) return;
  for (int i = 0; i < pm.count; ++i)
    for (int j = 0; j < pn.count; ++j) {
      if (pm.list[i].second == pn.list[j].second) continue;
      SideGeometryB gb{};
      if (!pairGeometryB(B.points[pn.list[j].second], B.points[pm.list[i].second], kGeoDirection | kGeoLength, gb))
        continue;
      const int sc = sideConsistency(ga.length, ga.direction, gb.length, gb.direction, rotation, true);
      if (sc < minScore) continue;
      int at = pm.supportCount;
      while (at > 0 && pm.supports[at - 1].score < sc) --at;
      if (at >= 3) continue;
      const int last = pm.supportCount < 3 ? pm.supportCount : 2;
      for (int q = last; q > at; --q) pm.supports[q] = pm.supports[q - 1];
      pm.supports[at] = {sc, i, j};
      if (pm.supportCount < 3) ++pm.supportCount;
    }
}

void checkNeighbourhoods(MatcherBSearch &s, const AlignmentB &al) {
  const int n = s.A().count;
  int furthest = 0, visits = 0;
  for (int m = 0, guard = 0; m < n && guard < 100000; ++guard) {
    if (m > furthest) {
      furthest = m;
      visits = 0;
    }
    ++visits;
    PairCandidatesB &pc = s.candidates[size_t(m)];
    if (pc.count == 0) {
      ++m;
      continue;
    }
    int noted = -1, notedSum = 0;
    bool restartAll = false;
    for (int i = 0; i < pc.count; ++i) {
      CandidateB &c = pc.list[i];
      int sc = c.similarity >= 580 ? neighbourScore(s, m, c.second, al) : -1;
      if (c.similarity < 580 || sc < 370) {
        c.similarity = 0;
        CompactCandidates(pc);
        if (pc.count == 0) {
          restartAll = true;
          break;
        }
        noted = -1;
        i = -1;
        continue;
      }
      if (sc == 1000) sc = c.similarity;
      c.support = sc;
      if (noted < 0 || c.similarity + c.support > notedSum) {
        noted = i;
        notedSum = c.similarity + c.support;
      }
    }
    if (restartAll) {
      m = 0;
      continue;
    }
    if (noted != pc.chosen && furthest <= 4 && visits < 1000) {
      pc.chosen = noted;
      m = 0;
      continue;
    }
    ++m;
  }
}

void resolveNeighbourConflicts(MatcherBSearch &s, int m, const AlignmentB &al) {
  PairCandidatesB &pm = s.candidates[size_t(m)];
  if (pm.count == 0) return;
  const PointSetB &A = s.A(), &B = s.B();
  const NearNeighboursB &near = s.first.near[size_t(m)];
  for (int q = 0; q < near.laterCount && pm.count > 0; ++q) {
    const int n = near.later[q];
    PairCandidatesB &pn = s.candidates[size_t(n)];
    // A change that removes an entry handles the same neighbour again;
    // every round removes one, so this ends.
    for (int round = 0; round < 16 && pm.count > 0; ++round) {
      int shared[2], mi[2], ni[2], ns = 0;
      for (int i = 0; i < pm.count && ns < 2; ++i) {
        const int j = FindCandidate(pn, pm.list[i].second);
        if (j < 0) continue;
        shared[ns] = pm.list[i].second;
        mi[ns] = i;
        ni[ns] = j;
        ++ns;
      }
      if (ns == 0) break;
      const int before = pm.count + pn.count;
      if (ns == 2) {
        SideGeometryB g1{}, g2{};
        if (!pairGeometryB(A.points[n], A.points[m], kGeoDirection, g1) ||
            !pairGeometryB(B.points[shared[1]], B.points[shared[0]], kGeoDirection, g2))
          break;
        const int e = Fold(g1.direction - al.rotation - g2.direction);
        if (e < 50 || e > 130) {
          // Consistent: m on s1 and n on s2 when the sides agree, crossed otherwise.
          const int mBad = e < 50 ? 1 : 0, nBad = e < 50 ? 0 : 1;
          CandidateB &mInc = pm.list[mi[mBad]], &nInc = pn.list[ni[nBad]];
          CandidateB &mCon = pm.list[mi[1 - mBad]], &nCon = pn.list[ni[1 - nBad]];
          const int nOnMBad = pn.list[ni[mBad]].similarity, mOnNBad = pm.list[mi[nBad]].similarity;
          if (mInc.similarity > 880 && nOnMBad < mInc.similarity) mCon.keep = nCon.keep = 0;
          if (nInc.similarity > 880 && mOnNBad < nInc.similarity) mCon.keep = nCon.keep = 0;
          mInc.similarity = 0;
          nInc.similarity = 0;
          CompactCandidates(pm);
          CompactCandidates(pn);
        } else {
          const int mw = pm.list[mi[1]].similarity < pm.list[mi[0]].similarity ? 1 : 0;
          const int nw = pn.list[ni[1]].similarity < pn.list[ni[0]].similarity ? 1 : 0;
          if (pn.list[ni[nw]].similarity < pm.list[mi[mw]].similarity)
            DropClaim(pn, ni[nw]);
          else
            DropClaim(pm, mi[mw]);
        }
      } else {
        const int sh = shared[0];
        BuildSupportList(s, m, n, al.rotation, 301);
        int bestEntry = -1, bestSum = 0;
        for (int k = 0; k < pm.supportCount; ++k) {
          const SupportEntryB &se = pm.supports[k];
          if (se.mine >= pm.count || se.theirs >= pn.count) continue;
          CandidateB &cm = pm.list[se.mine];
          CandidateB &cn = pn.list[se.theirs];
          if (cm.second != sh && cn.second != sh) continue;
          const int a = neighbourScore(s, m, cm.second, al);
          if (a < 300) {
            cm.similarity = 0;
            continue;
          }
          const int b = neighbourScore(s, n, cn.second, al);
          if (b < 30) {
            cn.similarity = 0;
            continue;
          }
          const int sum = a + b + se.score + cm.similarity + cn.similarity;
          if (bestEntry < 0 || sum > bestSum) {
            bestEntry = k;
            bestSum = sum;
          }
        }
        if (bestEntry >= 0 && bestSum > 600) {
          const SupportEntryB &se = pm.supports[bestEntry];
          if (pm.list[se.mine].second == sh)
            DropClaim(pn, FindCandidate(pn, sh));
          else
            DropClaim(pm, FindCandidate(pm, sh));
          break;
        }
        CompactCandidates(pn);
        CompactCandidates(pm);
        const int cmI = FindCandidate(pm, sh), cnI = FindCandidate(pn, sh);
        if (cmI < 0 || cnI < 0) {
          if (pm.count + pn.count < before) continue;
          break;
        }
        auto isTop = [](const PairCandidatesB &pc, int idx) {
          for (int i = 0; i < pc.count; ++i)
            if (pc.list[i].similarity > pc.list[idx].similarity) return false;
          return true;
        };
        const bool mTop = isTop(pm, cmI), nTop = isTop(pn, cnI);
        const int sm = pm.list[cmI].similarity, sn = pn.list[cnI].similarity;
        bool compare = false;
        if (mTop && nTop)
          compare = true;
        else if (mTop)
          sn < sm ? DropClaim(pn, cnI) : void(compare = true);
        else if (nTop)
          sm < sn ? DropClaim(pm, cmI) : void(compare = true);
        else
          sn < sm ? DropClaim(pn, cnI) : DropClaim(pm, cmI);
        if (compare) {
          const int am = neighbourScore(s, m, sh, al), an = neighbourScore(s, n, sh, al);
          const int simM = pm.list[cmI].similarity, simN = pn.list[cnI].similarity;
          int vm = am + simM, vn = an + simN;
          if (simM > simN && simM > 800) vm += (simM - simN) * 4 / 10;
          if (simN >= simM && simN > 800) vn += (simN - simM) * 4 / 10;
          if (vn < vm)
            DropClaim(pn, cnI);
          else
            DropClaim(pm, cmI);
        }
      }
      if (pm.count + pn.count >= before) break;
    }
  }
}

}  // namespace fplib
