// Left/right balance of the upper ridge flow of a finger, over a map of block
// directions (1..8, 1 across and 5 along the finger). The capture and the
// mosaic libraries score it alike; each keeps its own limits and weight.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ridgeflow {

// Directed blocks left of the centre column and the rising ones ("/") among
// them; from the centre column on, the directed blocks and the falling ones
// ("\").
struct SideCounts {
  int left = 0, rising = 0;
  int right = 0, falling = 0;
};

// Counts the finger blocks of rows [y0, y1) whose direction is neither 1 nor
// 5. inFinger(i) tells whether block i belongs to the finger.
template <class InFinger>
SideCounts CountSides(const int8_t *directions, int bw, int y0, int y1, int centre,
                      InFinger inFinger) {
  SideCounts c;
  for (int y = y0; y < y1; ++y) {
    for (int x = 0; x < bw; ++x) {
      const size_t i = size_t(y) * size_t(bw) + size_t(x);
      const int d = directions[i];
      if (!inFinger(i) || d == 1 || d == 5) continue;
      if (x < centre) {
        ++c.left;
        c.rising += d > 5;
      } else {
        ++c.right;
        c.falling += d < 5;
      }
    }
  }
  return c;
}

// weight * (1 - share) truncated, at most weight, where share is how far the
// rising and falling counts differ over their sum (a difference above 10 is
// lessened by 10). Single precision, as both libraries have always scored it.
int BalanceTerm(const SideCounts &c, int weight);

}  // namespace ridgeflow
