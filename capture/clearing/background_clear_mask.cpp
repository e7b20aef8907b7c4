// Painting of the background through the refined mask, then smoothing of
// the seams between kept and painted pixels.
//
// The seam pass runs in place in raster order, so a pixel sees its left
// neighbours already smoothed. Only the rule "both left neighbours equal the
// level" depends on that; all other rules read rows above (final), rows
// below and the pixels to the right (untouched). Each row is therefore
// decided 16 pixels at a time without the left rule, and the left rule is
// then applied in order to the few pixels where it can matter: those whose
// two left neighbours may end up equal to the level.
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "background_clear.h"

namespace belnor {
namespace {

typedef uint8_t U8x16 __attribute__((vector_size(16)));
typedef uint64_t U64x2 __attribute__((vector_size(16)));

inline U8x16 Load(const uint8_t *p) {
  U8x16 v;
  std::memcpy(&v, p, 16);
  return v;
}
inline void Store(uint8_t *p, U8x16 v) { std::memcpy(p, &v, 16); }

// Lanes of (previous, current) one and two columns to the left.
#if defined(__SSE2__)
inline U8x16 Left1(U8x16 previous, U8x16 current) {
  return (U8x16)_mm_or_si128(_mm_slli_si128((__m128i)current, 1), _mm_srli_si128((__m128i)previous, 15));
}
inline U8x16 Left2(U8x16 previous, U8x16 current) {
  return (U8x16)_mm_or_si128(_mm_slli_si128((__m128i)current, 2), _mm_srli_si128((__m128i)previous, 14));
}
#else
inline U8x16 Left1(U8x16 previous, U8x16 current) {
  return __builtin_shuffle(previous, current, U8x16{15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30});
}
inline U8x16 Left2(U8x16 previous, U8x16 current) {
  return __builtin_shuffle(previous, current, U8x16{14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29});
}
#endif

// floor((a + b) / 2) without widening.
inline uint8_t Average(uint8_t a, uint8_t b) { return uint8_t((a >> 1) + (b >> 1) + (a & b & 1)); }

struct SeamRows {
  const uint8_t *row, *up, *up2, *down, *down2;
};

// Decision for one pixel without the left rule: result, whether the left
// rule applies to it, and whether it may end up equal to the level.
inline void DecideOne(const SeamRows &s, int x, uint8_t L, uint8_t *out, uint8_t *need,
                      uint8_t *cand) {
  const uint8_t p = s.row[x];
  const bool isL = p == L;
  const bool diag = (s.down[x - 1] >= L && s.up[x + 1] >= L) || (s.down[x + 1] >= L && s.up[x - 1] >= L);
  const bool other = (s.row[x + 1] == L && s.row[x + 2] == L) || (s.down[x] == L && s.down2[x] == L) ||
                     (s.up[x] == L && s.up2[x] == L);
  out[x] = isL ? p : diag ? L : other ? Average(p, L) : p;
  need[x] = !isL && !diag && !other ? 0xFF : 0;
  cand[x] = isL || diag || p == uint8_t(L + 1) ? 0xFF : 0;
}

void SmoothSeamRow(const SeamRows &s, int W, uint8_t L, uint8_t *out, uint8_t *need,
                   uint8_t *cand) {
  std::memcpy(out, s.row, size_t(W));
  // Columns 0 and 1 keep their values, which may equal the level.
  cand[0] = cand[1] = 0xFF;
  const int last = W - 3;
  int x = 2;
  const U8x16 l = U8x16{} + L, l1 = U8x16{} + uint8_t(L + 1), one = U8x16{} + 1;
  // previous holds the candidates of the 16 columns before x.
  U8x16 previous = {};
  previous[14] = cand[0];
  previous[15] = cand[1];
  const U8x16 ones = U8x16{} + 0xFF;
  for (; x + 15 <= last; x += 16) {
    const U8x16 p = Load(s.row + x);
    const U8x16 isL = (U8x16)(p == l);
    if ((((U64x2)~isL)[0] | ((U64x2)~isL)[1]) == 0) {
      // All at the level: nothing changes, all may stay at the level.
      Store(cand + x, ones);
      previous = ones;
      continue;
    }
    const U8x16 diag = (U8x16)(((Load(s.down + x - 1) >= l) & (Load(s.up + x + 1) >= l)) |
                               ((Load(s.down + x + 1) >= l) & (Load(s.up + x - 1) >= l)));
    const U8x16 other = (U8x16)(((Load(s.row + x + 1) == l) & (Load(s.row + x + 2) == l)) |
                                ((Load(s.down + x) == l) & (Load(s.down2 + x) == l)) |
                                ((Load(s.up + x) == l) & (Load(s.up2 + x) == l)));
    const U8x16 blend = (p >> 1) + (l >> 1) + (p & l & one);
    const U8x16 kept = (blend & other) | (p & ~other);
    const U8x16 res = (p & isL) | (~isL & ((l & diag) | (kept & ~diag)));
    const U8x16 needs = ~isL & ~diag & ~other;
    const U8x16 cands = isL | diag | (U8x16)(p == l1);
    Store(out + x, res);
    Store(cand + x, cands);
    // Candidates one and two to the left, across the chunk boundary (kept in
    // registers: reloading them from the bytes just stored would stall).
    const U8x16 fix = needs & Left1(previous, cands) & Left2(previous, cands);
    previous = cands;
    if ((((U64x2)fix)[0] | ((U64x2)fix)[1]) == 0) continue;
    for (int k = 0; k < 16; ++k)
      if (fix[k] && out[x + k - 1] == L && out[x + k - 2] == L) out[x + k] = Average(p[k], L);
  }
  // Scalar tail; the left rule, in order, where both left neighbours may
  // equal the level.
  for (int k = x; k <= last; ++k) DecideOne(s, k, L, out, need, cand);
  for (int k = x; k <= last; ++k)
    if (need[k] && cand[k - 1] && cand[k - 2] && out[k - 1] == L && out[k - 2] == L)
      out[k] = Average(s.row[k], L);
}

}  // namespace

void ApplyBackgroundMask(ClearContext &ctx, uint8_t *image, int W, int H, const uint8_t *mask,
                         uint8_t L) {
  if (image == nullptr || mask == nullptr || W <= 0 || H <= 0) return;
  const int w = W / 2, h = H / 2;
  const int t = SixTenths(L);
  uint8_t *buffer = ctx.rowBuffer.get(3 * size_t(W) + 2 * size_t(w));
  // Each mask cell stands for 2 x 2 pixels; an odd last column or row keeps
  // its pixels. select holds 0xFF for both pixels of a cleared cell.
  uint8_t *select = buffer + 3 * size_t(W);
  for (int i = 0; i < h; ++i) {
    const uint8_t *m = mask + size_t(i) * w;
    for (int j = 0; j < w; ++j) {
      const uint8_t c = m[j] <= t ? 0xFF : 0;
      select[2 * j] = c;
      select[2 * j + 1] = c;
    }
    for (int k = 0; k < 2; ++k) {
      uint8_t *r = image + int64_t(2 * i + k) * W;
      for (int j = 0; j < 2 * w; ++j) r[j] = uint8_t((r[j] & ~select[j]) | (L & select[j]));
    }
  }
  if (H < 5 || W < 5) return;
  uint8_t *out = buffer, *need = buffer + W, *cand = buffer + 2 * size_t(W);
  for (int y = 2; y <= H - 3; ++y) {
    uint8_t *row = image + int64_t(y) * W;
    const SeamRows s{row, row - W, row - 2 * int64_t(W), row + W, row + 2 * int64_t(W)};
    SmoothSeamRow(s, W, L, out, need, cand);
    std::memcpy(row, out, size_t(W));
  }
}

}  // namespace belnor
