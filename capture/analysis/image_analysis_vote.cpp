// Directional vote of one 8 x 8 block: which of eight ridge directions its
// sixteen samples agree on.
//
// Eight samples (four columns two apart, on two sample rows) are evaluated at
// once, one pixel per 16-bit lane. Every intermediate stays below 32768
// except the two sides of the centre test (up to 36720), which are compared
// unsigned.
#include <cstdint>
#include <cstring>

#include "image_analysis.h"

namespace belnor {
namespace {

typedef uint16_t U16x8 __attribute__((vector_size(16)));
typedef int16_t I16x8 __attribute__((vector_size(16)));
typedef uint64_t U64x2 __attribute__((vector_size(16)));

struct Step {
  int dx;
  int dy;
};
// V0 horizontal .. V4 vertical .. V7, rows growing downwards.
constexpr Step kSteps[8] = {{2, 0}, {2, 1}, {2, 2}, {1, 2}, {0, 2}, {-1, 2}, {-2, 2}, {-2, 1}};

// Lanes 0..3: columns c, c+2, c+4, c+6 of row r; lanes 4..7: the same columns
// of row r + 2. Each lane holds the pixel at offset (ox, oy) from its sample.
struct SamplePairLoader {
  const uint8_t *origin;  // sample (c, r)
  int W;
  U16x8 operator()(int ox, int oy) const {
    const uint8_t *p = origin + int64_t(oy) * W + ox;
    uint64_t a, b;
    std::memcpy(&a, p, 8);
    std::memcpy(&b, p + 2 * int64_t(W), 8);
    U64x2 both = {a, b};
    // Little-endian 16-bit words: the low byte is the even pixel.
    return (U16x8)both & 0xFF;
  }
};

// Per lane: 0..7 the direction index voted for, 8 no vote.
inline U16x8 VoteLanes(const SamplePairLoader &load, int sensitivity) {
  I16x8 maxKey = {}, minKey = {};
  U16x8 total = {};
  for (int d = 0; d < 8; ++d) {
    const int dx = kSteps[d].dx, dy = kSteps[d].dy;
    const U16x8 v = load(-3 * dx, -3 * dy) + load(-2 * dx, -2 * dy) + load(-dx, -dy) +
                    load(dx, dy) + load(2 * dx, 2 * dy) + load(3 * dx, 3 * dy);
    total += v;
    // value * 8 plus a tie code: the largest key is the largest value with the
    // lowest index, the smallest key the smallest value with the lowest index.
    const I16x8 key = (I16x8)v << 3;
    const I16x8 hi = key + int16_t(7 - d);
    const I16x8 lo = key + int16_t(d);
    if (d == 0) {
      maxKey = hi;
      minKey = lo;
    } else {
      maxKey = hi > maxKey ? hi : maxKey;
      minKey = lo < minKey ? lo : minKey;
    }
  }
  const I16x8 n = maxKey >> 3;
  const I16x8 o = minKey >> 3;
  const I16x8 p = int16_t(7) - (maxKey & 7);
  const I16x8 q = minKey & 7;
  const U16x8 centre = load(0, 0);
  const I16x8 votes = (n - o) * int16_t(sensitivity) >= n;
  const U16x8 un = (U16x8)n, uo = (U16x8)o;
  const U16x8 left = uint16_t(8) * (un + uint16_t(6) * centre + uo);
  const U16x8 right = uint16_t(3) * total;
  const I16x8 useQ = (I16x8)(left < right);
  const I16x8 chosen = useQ ? q : p;
  const I16x8 result = votes ? chosen : int16_t(8);
  return (U16x8)result;
}

}  // namespace

int BlockDirectionVote(const uint8_t *image, int W, int H, int x, int y, int sensitivity) {
  if (image == nullptr || W < 21 || H < 21) return 0;
  // The block map uses 2..18; the 16-bit lanes hold products up to 21 x 1530.
  sensitivity = sensitivity < 0 ? 0 : (sensitivity > 21 ? 21 : sensitivity);
  x = x < 6 ? 6 : (x > W - 15 ? W - 15 : x);
  y = y < 6 ? 6 : (y > H - 15 ? H - 15 : y);
  int counts[9] = {};
  for (int pair = 0; pair < 2; ++pair) {
    const SamplePairLoader load{image + int64_t(y + 4 * pair) * W + x, W};
    const U16x8 lanes = VoteLanes(load, sensitivity);
    for (int k = 0; k < 8; ++k) ++counts[lanes[k]];
  }
  // More than two votes are needed; the lower index wins a tie.
  int best = -1, bestCount = 2;
  for (int d = 0; d < 8; ++d) {
    if (counts[d] > bestCount) {
      best = d;
      bestCount = counts[d];
    }
  }
  return best + 1;
}

}  // namespace belnor
