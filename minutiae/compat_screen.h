// The first, cheap test of every pair of correspondences: most pairs conflict
// already because they share a minutia or because their segments differ in
// angle or length beyond what their summed length allows. A vector path
// tests eight pairs at once; it sets the same bits as the plain one.
#pragma once
#include <cstdint>

namespace minutiae {

// What the matcher reads of the segment i -> j of one template.
struct PairCell {
  uint16_t length;  // the profile's length of the squared distance
  uint8_t rel;      // direction of i -> j relative to minutia i
  uint8_t relBack;  // direction of j -> i relative to minutia j
};
static_assert(sizeof(PairCell) == 4, "cells are read four bytes at a time");

// Tolerances by summed segment length (capped at 399): angle in the low
// byte, length in the next.
struct ScreenLimits {
  int32_t bySum[400];
};

// Correspondence indices as the screen reads them: minutia of A and of B
// per correspondence, with kScreenPad readable entries past the count.
constexpr int kScreenPad = 8;

// For j in [from, to): sets bit j of row when correspondence j conflicts
// with the one at (a1, b1) by the quick tests. rowA / rowB are the cell rows
// of a1 in A and of b1 in B. Other bits stay as they are.
void screenConflictsPlain(const PairCell *rowA, const PairCell *rowB, int a1, int b1, const int32_t *listA,
                          const int32_t *listB, int from, int to, const ScreenLimits &limits, uint64_t *row);
// The same, the vector path where the processor has it.
void screenConflicts(const PairCell *rowA, const PairCell *rowB, int a1, int b1, const int32_t *listA,
                     const int32_t *listB, int from, int to, const ScreenLimits &limits, uint64_t *row);

}  // namespace minutiae
