// Matcher B's alignment search: triangles of the first set looked up in the
// second set's pair grid, rotation votes, shift groups and their ranking,
// and single-triangle hypotheses when no group convinces.
#pragma once

#include <algorithm>
#include <array>
#include <vector>

#include "matcher_b_records.h"

namespace fplib {

struct GroupRecordB {
  int score, triangle, candidate;
};

// Up to N entries in fixed slots. Clearing keeps the slots as they are, so
// that what an entry holds on the heap is reused by the next one made there.
template <class T, size_t N>
class SlotListB {
 public:
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  void clear() { count_ = 0; }
  // A reset entry at the end; callers keep to N entries.
  T &add() {
    T &t = items_[count_++];
    t.reset();
    return t;
  }
  // A reset entry at position at; the last one drops out when all N are in use.
  T &insert(size_t at) {
    if (count_ == N) --count_;
    add();
    std::rotate(items_.begin() + long(at), items_.begin() + long(count_ - 1), items_.begin() + long(count_));
    return items_[at];
  }
  T &operator[](size_t i) { return items_[i]; }
  const T &operator[](size_t i) const { return items_[i]; }
  T &back() { return items_[count_ - 1]; }
  T &slot(size_t i) { return items_[i]; }  // any of the N, in use or not
  T *begin() { return items_.data(); }
  T *end() { return items_.data() + count_; }
  const T *begin() const { return items_.data(); }
  const T *end() const { return items_.data() + count_; }

 private:
  std::array<T, N> items_{};
  size_t count_ = 0;
};

struct TranslationGroupB {
  int dx = 0, rotation = 0, dy = 0;
  int triangles = 0, minutiae = 0, strength = 0;
  std::vector<GroupRecordB> records;
  static constexpr size_t kMaxRecords = size_t(kMaxTriangles) * kMaxTriangleCandidates;
  void reset() {
    dx = rotation = dy = triangles = minutiae = strength = 0;
    records.clear();
  }
};

struct RotationRowB {
  int rotation = 0, triangles = 0, candidates = 0;
  SlotListB<TranslationGroupB, 4> groups;  // blanked ones included
  void reset() {
    rotation = triangles = candidates = 0;
    groups.clear();
  }
};

struct RotationTableB {
  SlotListB<RotationRowB, 4> rows;
  int bestRow = -1, bestGroup = -1;
  int bestMean = 10000, bestSpread = 10000, bestRank = 0;
  // As new, keeping the records' storage. Every group slot gets room for
  // every triangle candidate at once: slots trade places as rows are ranked
  // in, so any slot may come to hold any group, and a repeat of the same
  // matches must not need to grow one.
  void reset() {
    for (size_t r = 0; r < 4; ++r)
      for (size_t g = 0; g < 4; ++g) rows.slot(r).groups.slot(g).records.reserve(TranslationGroupB::kMaxRecords);
    rows.clear();
    bestRow = bestGroup = -1;
    bestMean = bestSpread = 10000;
    bestRank = 0;
  }
};

struct HypothesisB {
  AlignmentB align;
  int triangle = -1, candidate = -1, cost = 10000;
};

// Triangle candidates into first.triangles; 0 when there is nothing to match.
int matchTrianglesB(MatcherBSearch &s);
void findRotationPeaks(const MatcherBSearch &s, RotationTableB &table);
void groupTranslations(const MatcherBSearch &s, RotationTableB &table);
void rankGroups(MatcherBSearch &s, RotationTableB &table);
constexpr size_t kMaxHypothesesB = 8;
using HypothesisListB = FixedListB<HypothesisB, kMaxHypothesesB>;

// Up to 8 alignments by rising cost; empty when there is no candidate.
void selectHypotheses(MatcherBSearch &s, HypothesisListB &out);

// Centroid shift of a triangle onto its candidate under rotation r.
void TriangleShift(const MatcherBSearch &s, const TriangleB &t, const TriangleCandidate &c, int r, int &dx,
                   int &dy);

}  // namespace fplib
