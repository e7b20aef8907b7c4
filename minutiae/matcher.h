// The capture library's minutiae matcher: local pair descriptors vote for
// correspondences, which grow into geometrically consistent sets.
#pragma once
#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <vector>

#include "compat_screen.h"
#include "minutiae_types.h"
#include "octant_vote.h"

namespace minutiae {

// Knobs that differ between the capture library's matcher and the algorithm
// library's matcher A.
struct MatchProfile {
  int (*length)(int squared);        // length of a vector from its squared length
  int (*direction)(int dx, int dy);  // 256 units per turn
  int pairMinD2, pairMaxD2;          // sector neighbours
  int octantMinD2, octantMaxD2;      // octant neighbours
  int acceptScore;                   // a pair candidate needs a score above this
  int octantLengthDiff;              // at most this in the alignment vote
  bool setShortReturn;               // weak best set: scaled score, no sets kept
  bool refineAnyScore;               // refine when M < refineHigh whatever t
  int refineLow, refineHigh;         // refinement window on M (exclusive)
  bool penalties;                    // size penalties 92/100 and 95/100
  int rescoreLow, rescoreHigh;       // re-score when rescoreLow <= S < rescoreHigh
  bool rescoreBestSet;               // re-score the best set instead of the whole list
  bool doubleScale;                  // S scaled in double instead of single precision
  // Optional: squared length, length and direction of count vectors at
  // once, as length and direction give them one by one.
  void (*geometry)(const int32_t *dx, const int32_t *dy, int count, int32_t *squared, uint16_t *length,
                   uint8_t *direction) = nullptr;
};

extern const MatchProfile kCaptureMatch;

struct PairDescriptor {
  int16_t nearIdx;
  int16_t farIdx;
  int16_t length;
  uint8_t angleNear;
  uint8_t angleFar;
};

// A descriptor of A as the candidate search reads it.
struct BucketEntry {
  int16_t length;
  uint8_t angleNear;
  uint8_t angleFar;
  int16_t desc;     // index into pairs
  uint8_t farType;  // type of the far minutia
};

struct MatchCandidate {
  int aDesc;  // index into A's descriptors
  int bDesc;  // index into B's descriptors
  int32_t score;
  int32_t turnScore;
};

struct Correspondence {
  int16_t b;
  int16_t a;
  int32_t weight;
};

// One side of a match. A (indexed) stores both directions of each pair and a
// bucket index; B (probe) stores one direction. The tables keep their size
// between matches; only the entries of the current minutiae are written and
// read.
struct SetContext {
  const MatchProfile *profile = &kCaptureMatch;
  const MinutiaeRecord *record = nullptr;
  int count = 0;
  std::vector<int32_t> distance2;  // [120][120]
  std::vector<PairCell> cells;     // [120][120]
  std::vector<PairDescriptor> pairs;
  std::vector<OctantLanes> octants;  // one per minutia
  std::vector<BucketEntry> buckets[64];  // per bucket, by length, then by descriptor
  // Filled by buildPairTable, read by buildNeighbourPairs: per sector or
  // octant, squared distance << 8 | neighbour of the nearest one.
  std::vector<uint64_t> sectorSlots, octantSlots;
  int D2(int i, int j) const { return distance2[size_t(i) * 120 + j]; }
  const PairCell &Cell(int i, int j) const { return cells[size_t(i) * 120 + j]; }
  uint8_t Rel(int i, int j) const { return Cell(i, j).rel; }
  int Len(int i, int j) const { return Cell(i, j).length; }
};

constexpr int kMaxPairs = 700;
constexpr int kMaxMatchCandidates = 5600;
constexpr int kMaxCorrespondences = 800;
// The cap plus one bucket's worth, which a descriptor may add before the cap applies.
constexpr int kMaxFoundCandidates = kMaxMatchCandidates + 2 * kMaxPairs;

void buildPairTable(SetContext &ctx);
int buildNeighbourPairs(SetContext &ctx, bool indexed);
void fillBucketIndex(SetContext &a);
int buildTemplateContext(SetContext &ctx, const MinutiaeRecord &rec, bool indexed);

// A cell of the vote tables.
struct VotedCell {
  uint8_t b, a;
};

// Vote tables [b][a] with row length 120; the cells of the current minutiae
// (b < B.count, a < A.count) are the ones in use.
struct VoteState {
  std::vector<int32_t> votes, weightedVotes;  // [b][a], 120 x 120
  std::vector<float> support[2];
  std::vector<MatchCandidate> candidates;
  std::vector<MatchCandidate> found;  // scratch of matchPairDescriptors, kMaxFoundCandidates
  // The cells the first vote reached, row by row: no later vote reaches others.
  std::vector<VotedCell> voted;
  // Scratch of collectCorrespondences (at most two per row and two per
  // column), here rather than on the caller's stack.
  Correspondence raw[4 * kMaxMinutiae];
  int32_t &Vote(int b, int a) { return votes[size_t(b) * 120 + a]; }
  int32_t &Weighted(int b, int a) { return weightedVotes[size_t(b) * 120 + a]; }
  float Support(int plane, int b, int a) const { return support[plane][size_t(b) * 120 + a]; }
};

int matchPairDescriptors(const SetContext &a, const SetContext &b, VoteState &v);
int64_t voteAlignments(const SetContext &b, const SetContext &a, VoteState &v);
int collectCorrespondences(const SetContext &a, const SetContext &b, VoteState &v,
                           std::vector<Correspondence> &list);

// Relative-angle closeness to the pair axis (0/128) and the quarter axis (64/192), 0..16.
int foldAngleDistance(int a, int b);
int foldAngleDistanceQuarter(int a, int b);

// Sizes a vote table to 120 x 120 once, then zeroes the cells of rows x columns.
template <class T>
void clearVoteCells(std::vector<T> &table, int rows, int columns) {
  if (table.size() != 120 * 120) table.assign(120 * 120, T());
  for (int r = 0; r < rows; ++r) std::fill_n(table.begin() + r * 120, columns, T());
}

constexpr int kMatchNoMemory = -2;

// Raw score >= 0, or kMatchNoMemory when working memory cannot be had (it is
// made when no free one is left, then kept for later calls).
int matchMinutiaeSets(const MinutiaeRecord &a, const MinutiaeRecord &b,
                      const MatchProfile &profile = kCaptureMatch);
// 0..1; 0 also when working memory cannot be had.
float scoreMinutiaeSets(const MinutiaeRecord *a, const MinutiaeRecord *b);
// -1 for a null argument or a template not starting with 'F'; kMatchNoMemory
// (score 0) when working memory cannot be had; else 1. Each template buffer
// must hold 606 bytes (the reader takes no length).
int matchFTemplates(const uint8_t *t1, const uint8_t *t2, float *score);

}  // namespace minutiae
