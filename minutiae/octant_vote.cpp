#include "octant_vote.h"

#include <cstdlib>

#include "cpu_features.h"
#include "int_geometry.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define BELNOR_OCTANT_SSSE3 1
#define BELNOR_OCTANT_TARGET __attribute__((target("ssse3,popcnt")))
#endif

namespace minutiae {

OctantAgreement octantAgreementPlain(const OctantLanes &b, const OctantLanes &a, int lengthDiff) {
  uint32_t bestB[8] = {}, bestA[8] = {};
  bool matchedA[8] = {};
  int pickB[8], pickA[8];
  for (int k = 0; k < 8; ++k) pickB[k] = pickA[k] = -1;
  int total = 0;
  for (int k = 0; k < 8; ++k) {
    if (b.length[k] == 0) continue;
    bool found = false;
    for (int f : {(k + 7) & 7, k, (k + 1) & 7}) {
      if (a.length[f] == 0) continue;
      const int d1 = Signed8(a.angleNear[f] - b.angleNear[k]);
      if (std::abs(d1) > 15) continue;
      matchedA[f] = true;
      found = true;
      const int d2 = Signed8(a.angleFar[f] - b.angleFar[k]);
      const int e = std::abs(a.length[f] - b.length[k]);
      if (std::abs(d1) > 14 || std::abs(d2) > 14 || e > lengthDiff) continue;
      const int s = 836 - 15 * (std::abs(d1) + std::abs(d2)) - 26 * e;
      // The first best wins a tie, on either side.
      if (s > 0 && uint32_t(s) > bestB[k]) {
        bestB[k] = uint32_t(s);
        pickB[k] = f;
      }
      if (s > 0 && uint32_t(s) > bestA[f]) {
        bestA[f] = uint32_t(s);
        pickA[f] = k;
      }
    }
    total += found;
  }
  for (bool m : matchedA) total += m;
  uint32_t sum = 0;
  for (int k = 0; k < 8; ++k)
    if (pickB[k] >= 0 && pickA[pickB[k]] == k) sum += bestB[k];
  return {sum, total};
}

namespace {

#ifdef BELNOR_OCTANT_SSSE3
// Lane k takes lane (k + S) & 7.
template <int S>
BELNOR_OCTANT_TARGET inline __m128i Turn(__m128i x) {
  if constexpr (S == 0) return x;
  else return _mm_alignr_epi8(x, x, ((S + 8) & 7) * 2);
}

BELNOR_OCTANT_TARGET inline __m128i AbsSigned8(__m128i d) {
  return _mm_abs_epi16(_mm_srai_epi16(_mm_slli_epi16(d, 8), 8));
}

// Octant k of b against octant k + S of a, in lanes k.
struct Shifted {
  __m128i matched;  // near angles within 15
  __m128i score;    // 0 where the pair does not count
  __m128i keyB;     // score * 4 + the rank of S in b's order; 0 without a score
  __m128i keyA;     // score * 8 + 7 - k: the lower k wins a tie for a's octant
};

template <int S>
BELNOR_OCTANT_TARGET inline Shifted Compare(const __m128i bN, const __m128i bF, const __m128i bL,
                                                        const __m128i bValid, const OctantLanes &a,
                                                        const __m128i limit) {
  const __m128i aN = Turn<S>(_mm_load_si128(reinterpret_cast<const __m128i *>(a.angleNear)));
  const __m128i aF = Turn<S>(_mm_load_si128(reinterpret_cast<const __m128i *>(a.angleFar)));
  const __m128i aL = Turn<S>(_mm_load_si128(reinterpret_cast<const __m128i *>(a.length)));
  const __m128i d1 = AbsSigned8(_mm_sub_epi16(aN, bN)), d2 = AbsSigned8(_mm_sub_epi16(aF, bF));
  const __m128i e = _mm_abs_epi16(_mm_sub_epi16(aL, bL));
  Shifted r;
  r.matched = _mm_and_si128(_mm_and_si128(bValid, _mm_cmpgt_epi16(aL, _mm_setzero_si128())),
                            _mm_cmpgt_epi16(_mm_set1_epi16(16), d1));
  const __m128i s = _mm_sub_epi16(
      _mm_sub_epi16(_mm_set1_epi16(836), _mm_mullo_epi16(_mm_set1_epi16(15), _mm_add_epi16(d1, d2))),
      _mm_mullo_epi16(_mm_set1_epi16(26), e));
  __m128i ok = _mm_and_si128(r.matched, _mm_cmpgt_epi16(_mm_set1_epi16(15), d1));
  ok = _mm_and_si128(ok, _mm_cmpgt_epi16(_mm_set1_epi16(15), d2));
  ok = _mm_and_si128(ok, _mm_cmpgt_epi16(limit, e));
  ok = _mm_and_si128(ok, _mm_cmpgt_epi16(s, _mm_setzero_si128()));
  r.score = _mm_and_si128(ok, s);
  r.keyB = _mm_and_si128(ok, _mm_add_epi16(_mm_slli_epi16(s, 2), _mm_set1_epi16(1 - S)));
  r.keyA = _mm_and_si128(ok, _mm_add_epi16(_mm_slli_epi16(s, 3), _mm_setr_epi16(7, 6, 5, 4, 3, 2, 1, 0)));
  return r;
}

// The score where both sides picked this pair.
BELNOR_OCTANT_TARGET inline __m128i Mutual(const Shifted &s, __m128i bestB, __m128i bestAatK) {
  const __m128i both = _mm_and_si128(_mm_cmpeq_epi16(bestB, s.keyB), _mm_cmpeq_epi16(bestAatK, s.keyA));
  return _mm_and_si128(both, s.score);
}

BELNOR_OCTANT_TARGET inline int PopcountLanes(__m128i mask) {
  return __builtin_popcount(unsigned(_mm_movemask_epi8(mask))) / 2;
}

BELNOR_OCTANT_TARGET void AgreementsSsse3(const OctantLanes &b, const OctantLanes *a, const uint8_t *cols,
                                                      int count, int lengthDiff, OctantAgreement *out) {
  const __m128i bN = _mm_load_si128(reinterpret_cast<const __m128i *>(b.angleNear));
  const __m128i bF = _mm_load_si128(reinterpret_cast<const __m128i *>(b.angleFar));
  const __m128i bL = _mm_load_si128(reinterpret_cast<const __m128i *>(b.length));
  const __m128i bValid = _mm_cmpgt_epi16(bL, _mm_setzero_si128());
  const __m128i limit = _mm_set1_epi16(int16_t(lengthDiff + 1));
  for (int i = 0; i < count; ++i) {
    const OctantLanes &ai = a[cols[i]];
    const Shifted lo = Compare<-1>(bN, bF, bL, bValid, ai, limit);
    const Shifted mid = Compare<0>(bN, bF, bL, bValid, ai, limit);
    const Shifted hi = Compare<1>(bN, bF, bL, bValid, ai, limit);
    const __m128i bestB = _mm_max_epi16(_mm_max_epi16(lo.keyB, mid.keyB), hi.keyB);
    // Keys moved to a's lanes f = k + S for the best per octant of a, then back.
    const __m128i bestA = _mm_max_epi16(_mm_max_epi16(Turn<1>(lo.keyA), mid.keyA), Turn<-1>(hi.keyA));
    const __m128i sum = _mm_add_epi16(_mm_add_epi16(Mutual(lo, bestB, Turn<-1>(bestA)), Mutual(mid, bestB, bestA)),
                                      Mutual(hi, bestB, Turn<1>(bestA)));
    __m128i wide = _mm_madd_epi16(sum, _mm_set1_epi16(1));
    wide = _mm_add_epi32(wide, _mm_shuffle_epi32(wide, 0x4e));
    wide = _mm_add_epi32(wide, _mm_shuffle_epi32(wide, 0xb1));
    const __m128i foundB = _mm_or_si128(_mm_or_si128(lo.matched, mid.matched), hi.matched);
    const __m128i matchedA = _mm_or_si128(_mm_or_si128(Turn<1>(lo.matched), mid.matched), Turn<-1>(hi.matched));
    out[i] = {uint32_t(_mm_cvtsi128_si32(wide)), PopcountLanes(foundB) + PopcountLanes(matchedA)};
  }
}

#endif

}  // namespace

void octantAgreements(const OctantLanes &b, const OctantLanes *a, const uint8_t *cols, int count, int lengthDiff,
                      OctantAgreement *out) {
#ifdef BELNOR_OCTANT_SSSE3
  if (cpuHasSsse3AndPopcnt()) return AgreementsSsse3(b, a, cols, count, lengthDiff, out);
#endif
  for (int i = 0; i < count; ++i) out[i] = octantAgreementPlain(b, a[cols[i]], lengthDiff);
}

}  // namespace minutiae
