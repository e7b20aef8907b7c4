// Consolidation of matcher B's best pairing under one global alignment:
// anchors, linked neighbours, chains, fixed pairs and the final claims.
#pragma once

#include "matcher_b_records.h"
#include "matcher_b_score.h"

namespace fplib {

// Scores one to three linked first-set minutiae (members[0..n-1]).
// partners[i] in: fixed second-set minutia or -1; out: the chosen ones.
// exclude[i]: a second-set minutia member i may not take, or -1.
int chainScore(const MatcherBSearch &s, const int *members, int n, int *partners, const int *exclude,
               bool withSupports);

// Rewrites the result's pairs; 0 when the result has no pair.
int consolidatePairs(MatcherBSearch &s, MatcherBResult &result);

}  // namespace fplib
