#include "matcher_b.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

#include "match_tables.h"
#include "matcher_b_alignment.h"
#include "matcher_b_consolidation.h"
#include "matcher_b_pairing.h"
#include "match_workspace_pool.h"

namespace fplib {

namespace {

// Neighbour checks, conflict removal and evaluation of the selected
// candidates; returns how many first-set minutiae held a candidate before
// the conflicts were removed.
int CheckAndEvaluate(MatcherBSearch &s, const AlignmentB &al) {
  for (int m = 0; m < s.A().count; ++m) resolveNeighbourConflicts(s, m, al);
  checkNeighbourhoods(s, al);
  const int kept = CountWithCandidates(s);
  removeConflictingPairs(s, al.rotation);
  evaluatePairing(s, al);
  return kept;
}

void Finish(MatcherBSearch &s, FinalScoreScratchB &scratch, MatcherBResult &result) {
  settleBestQuality(s);
  copyBestEvaluation(result, s.eval);
  consolidatePairs(s, result);
  AlignmentB al;
  if (!estimateFinalAlignment(s.A(), s.B(), result, al)) {
    result.score = 0;
    return;
  }
  ScoreStatisticsB st;
  buildScoreStatistics(s.first, result, s.B(), st, al);
  computeFinalScore(st, s.A(), s.B(), result, al, scratch);
  if (result.score > 1000) result.score = 1000;
}

// The second set's pair grid, kept when the second set is the one it was
// last built for (the search only reads it).
int SecondGrid(MatcherBSearch &s) {
  const PointSetB &second = s.B();
  const size_t used = sizeof(PointB) * size_t(second.count);
  if (s.gridValid && s.gridSecond.count == second.count && std::memcmp(s.gridSecond.points, second.points, used) == 0)
    return 1;
  s.gridValid = false;
  s.hulls.readyB = false;
  clearPairGrid(s.second.grid, s.second.pairLists);
  if (!buildPairGridB(second, s.second.grid, s.second.pairLists)) return 0;
  s.gridSecond.count = second.count;
  std::memcpy(s.gridSecond.points, second.points, used);
  s.gridValid = true;
  return 1;
}

void searchAlignmentB(MatcherBSearch &s, RotationTableB &table, FinalScoreScratchB &scratch,
                      MatcherBResult &result) {
  if (!SecondGrid(s)) return;
  s.first.candidateTotal = 0;
  if (!matchTrianglesB(s)) return;
  // Made in place: a cleared copy would take 4 KB of the caller's stack.
  static_assert(std::is_trivially_destructible_v<EvaluationRecordB>);
  new (&s.eval) EvaluationRecordB();
  table.reset();
  findRotationPeaks(s, table);
  groupTranslations(s, table);
  rankGroups(s, table);
  buildSearchCellIndex(s);
  bool done = false;
  if (table.bestRank >= 1) {
    const TranslationGroupB &best = table.rows[size_t(table.bestRow)].groups[size_t(table.bestGroup)];
    if (best.minutiae >= 6) {
      AlignmentB al{best.rotation, best.dx, best.dy};
      ResetPairCandidates(s);
      collectPairCandidates(s, al);
      refineAlignment(s, al);
      if (!selectPairCandidates(s, al)) return;
      const int m = CheckAndEvaluate(s, al);
      const EvaluationB &ev = s.eval.best;
      const int n = ev.pairs;
      done = n > 0 && (n > 25 || (ev.similaritySum / n > 1649 && best.minutiae > 10 && best.minutiae - m <= 4));
    }
  }
  if (!done) {
    HypothesisListB hyps;
    selectHypotheses(s, hyps);
    if (hyps.empty()) return;
    for (const HypothesisB &h : hyps) {
      AlignmentB al = h.align;
      ResetPairCandidates(s);
      collectPairCandidates(s, al);
      if (CountWithCandidates(s) + 2 < s.eval.bestStrong) continue;
      refineAlignment(s, al);
      ResetPairCandidates(s);
      collectPairCandidates(s, al);
      if (!selectPairCandidates(s, al)) return;
      const int v = CountWithCandidates(s);
      if (v + 2 < s.eval.bestStrong) continue;
      CheckAndEvaluate(s, al);
      if (v > 25) break;
    }
  }
  Finish(s, scratch, result);
}

// A search state, its rotation table and final-score lists, kept between
// matches; and the sets and result of ScoreMatcherB, off the caller's stack.
struct MatcherBWork {
  MatcherBSearch search;
  RotationTableB table;
  FinalScoreScratchB finalScore;
  MinutiaeSetB loaded[2];
  PointSetB sets[2];
  MatcherBResult result;
};
minutiae::WorkspacePool<MatcherBWork> g_searches;

// Prepares the first context, or, when the first set is the one it was
// last prepared for (one template against many), resets what a search
// changes in it: the groups' local alignments, their tolerance marks and
// the anchor group. Triangle candidates are rebuilt by every search.
int PrepareFirst(MatcherBSearch &s, const PointSetB &first) {
  GroupSetB &gs = s.first.groups;
  const size_t used = sizeof(PointB) * size_t(first.count);
  if (s.preparedValid && s.preparedFirst.count == first.count &&
      std::memcmp(s.preparedFirst.points, first.points, used) == 0) {
    for (PointGroupB &g : gs.groups) g.valid = g.rotation = g.dx = g.dy = 0;
    std::fill(gs.groupMark.begin(), gs.groupMark.end(), -1);
    gs.current = -1;
    return s.preparedResult;
  }
  s.preparedValid = false;
  s.hulls.readyA = false;
  s.triangleSides.assign(size_t(kMaxTriangles), TriangleSidesB());
  gs.current = -1;
  s.preparedResult = prepareMatcherBContext(s.first);
  s.preparedFirst.count = first.count;
  std::memcpy(s.preparedFirst.points, first.points, used);
  s.preparedValid = true;
  return s.preparedResult;
}

// matchMinutiaeB in a borrowed workspace (null when none could be made),
// telling an allocation failure from the other failures.
int RunMatcherB(MatcherBWork *work, const PointSetB *first, const PointSetB *second, MatcherBResult *result,
                bool &noMemory) {
  noMemory = false;
  if (!first || !second || !result) return 2;
  if (first->count < 6 || first->count > kMaxPointsB || second->count < 6 || second->count > kMaxPointsB) return 2;
  MatcherBSearch *search = work ? &work->search : nullptr;
  if (!search || !createMatcherBContext(search->first, true) || !createMatcherBContext(search->second, false)) {
    noMemory = true;
    return -1;
  }
  MatcherBSearch &s = *search;
  try {
    s.candidates.reserve(kMaxPointsB);
    s.first.points = first;
    s.second.points = second;
    s.candidates.assign(kMaxPointsB, PairCandidatesB());
    if (!PrepareFirst(s, *first)) return -1;
    searchAlignmentB(s, work->table, work->finalScore, *result);
  } catch (const std::bad_alloc &) {
    // Whatever had to grow keeps a valid state for the next match.
    noMemory = true;
    return -1;
  }
  return 0;
}

}  // namespace

int matchMinutiaeB(const PointSetB *first, const PointSetB *second, MatcherBResult *result) {
  bool noMemory;
  const auto lease = g_searches.Acquire();
  return RunMatcherB(lease.get(), first, second, result, noMemory);
}

float ScoreMatcherB(const uint8_t *record1, const uint8_t *record2, bool *noMemory) {
  if (noMemory) *noMemory = false;
  if (!record1 || !record2 || !EnsureMatchTables()) return 0.0f;
  const auto lease = g_searches.Acquire();
  MatcherBWork *work = lease.get();
  if (!work) {
    if (noMemory) *noMemory = true;
    return 0.0f;
  }
  MinutiaeSetB *loaded = work->loaded;
  if (loadMinutiaeB(record1, loaded[0]) != 0 || loadMinutiaeB(record2, loaded[1]) != 0) return 0.0f;
  toPointSetB(loaded[0], work->sets[0]);
  toPointSetB(loaded[1], work->sets[1]);
  MatcherBResult &result = work->result;
  result.clear();
  bool failed = false;
  RunMatcherB(work, &work->sets[0], &work->sets[1], &result, failed);
  if (failed) {
    if (noMemory) *noMemory = true;
    return 0.0f;
  }
  const float b = float(result.score) * 0.001f;
  return b < 0.0f ? 0.0f : b > 1.0f ? 1.0f : b;
}

}  // namespace fplib
