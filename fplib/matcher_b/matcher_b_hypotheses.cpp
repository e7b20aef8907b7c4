#include <algorithm>

#include "matcher_b_alignment.h"

namespace fplib {

namespace {

constexpr int kSpentCost = 10000;

}  // namespace

void selectHypotheses(MatcherBSearch &s, HypothesisListB &slots) {
  constexpr size_t kSlots = kMaxHypothesesB;
  auto &tris = s.first.triangles;
  slots.clear();
  // A triangle's cheapest unspent candidate changes only when it is taken,
  // and the costliest slot only when the slots change: both are kept until
  // then rather than searched for again on every pass.
  constexpr int kUnknown = -2;
  int picks[kMaxTriangles];
  std::fill_n(picks, tris.size(), kUnknown);
  for (bool changed = true; changed;) {
    changed = false;
    int worst = kUnknown;
    for (size_t ti = 0; ti < tris.size(); ++ti) {
      auto &cands = tris[ti].candidates;
      int &pick = picks[ti];
      if (pick == kUnknown) {
        pick = -1;
        for (size_t ci = 0; ci < cands.size(); ++ci)
          if (cands[ci].cost < kSpentCost && (pick < 0 || cands[ci].cost < cands[size_t(pick)].cost)) pick = int(ci);
      }
      if (pick < 0) continue;
      HypothesisB h;
      h.triangle = int(ti);
      h.candidate = pick;
      h.cost = cands[size_t(pick)].cost;
      if (slots.size() < kSlots) {
        slots.push_back(h);
      } else {
        if (worst == kUnknown) {
          worst = 0;
          for (size_t k = 1; k < slots.size(); ++k)
            if (slots[k].cost > slots[size_t(worst)].cost) worst = int(k);
        }
        if (h.cost >= slots[size_t(worst)].cost) continue;
        slots[size_t(worst)] = h;
        worst = kUnknown;
      }
      cands[size_t(pick)].cost = kSpentCost;
      pick = kUnknown;
      changed = true;
    }
    if (slots.empty()) return;
    for (size_t i = 0; i < slots.size(); ++i)
      for (size_t k = i + 1; k < slots.size(); ++k)
        if (slots[k].cost < slots[i].cost) std::swap(slots[i], slots[k]);
    for (HypothesisB &h : slots) {
      const TriangleB &t = tris[size_t(h.triangle)];
      const TriangleCandidate &c = t.candidates[size_t(h.candidate)];
      h.align.rotation = c.rotation;
      TriangleShift(s, t, c, c.rotation, h.align.dx, h.align.dy);
    }
    // Near-duplicate alignments: only the cheapest of each cluster stays.
    bool empty[kSlots] = {};
    for (size_t i = 0; i < slots.size(); ++i) {
      if (empty[i]) continue;
      FixedListB<size_t, kSlots> similar;
      for (size_t k = 0; k < slots.size(); ++k) {
        if (k == i || empty[k]) continue;
        const AlignmentB &a = slots[i].align, &b = slots[k].align;
        if (Abs(a.dx - b.dx) <= 15 && Abs(a.dy - b.dy) <= 15 && Abs(a.rotation - b.rotation) <= 3)
          similar.push_back(k);
      }
      size_t cheapest = i;
      for (size_t k : similar)
        if (slots[k].cost < slots[cheapest].cost) cheapest = k;
      for (size_t k : similar)
        if (k != cheapest) empty[k] = true;
    }
    size_t kept = 0;
    for (size_t i = 0; i < slots.size(); ++i)
      if (!empty[i]) slots[kept++] = slots[i];
    slots.resize(kept);
  }
}

}  // namespace fplib
