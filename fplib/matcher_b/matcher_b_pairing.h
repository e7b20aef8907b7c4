// Matcher B's pairing under one alignment: candidates near each mapped
// first-set minutia, refinement of the alignment, neighbour checks,
// conflict removal and the evaluation that keeps the best pairing.
#pragma once

#include "matcher_b_records.h"

namespace fplib {

void buildSearchCellIndex(MatcherBSearch &s);
// Nearest occupied cell around (x, y): the second-set minutia, class 0 for
// the exact cell, 1 for a ring; false when none within three rings.
bool findNearbyCell(const MatcherBSearch &s, int x, int y, int &minutia, int &cls);

void collectPairCandidates(MatcherBSearch &s, const AlignmentB &al);
void refineAlignment(MatcherBSearch &s, AlignmentB &al);
int selectPairCandidates(MatcherBSearch &s, const AlignmentB &al);
void resolveNeighbourConflicts(MatcherBSearch &s, int m, const AlignmentB &al);
void checkNeighbourhoods(MatcherBSearch &s, const AlignmentB &al);
void removeConflictingPairs(MatcherBSearch &s, int rotation);
void evaluatePairing(MatcherBSearch &s, const AlignmentB &al);
// Works out the best pairing's quality where the search had no need of it.
void settleBestQuality(MatcherBSearch &s);

int CountWithCandidates(const MatcherBSearch &s);

// m's support list rebuilt against n: candidate pairs naming different
// second-set minutiae whose sides n -> m agree (widened) by at least
// minScore; at most 3, best first, later entries after equal ones.
void BuildSupportList(MatcherBSearch &s, int m, int n, int rotation, int minScore);

// Removes entries of similarity 0 or less, keeping the order; the chosen
// entry follows its candidate (none when it was removed, then the first).
void CompactCandidates(PairCandidatesB &pc);

}  // namespace fplib
