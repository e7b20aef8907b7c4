#include "compat_screen.h"

#include <algorithm>
#include <cstdlib>

#include "cpu_features.h"
#include "int_geometry.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define BELNOR_SCREEN_AVX2 1
#endif

namespace minutiae {

namespace {

inline bool QuickConflict(const PairCell &ca, const PairCell &cb, bool shared, const ScreenLimits &limits) {
  const int dl = std::abs(ca.length - cb.length), s = std::min(ca.length + cb.length, 399);
  const int du = std::abs(Signed8(cb.rel - ca.rel)), dr = std::abs(Signed8(cb.relBack - ca.relBack));
  const int limit = limits.bySum[s], angle = limit & 255, length = limit >> 8;
  return shared | (du > angle) | (dr > angle) | (dl > length);
}

}  // namespace

void screenConflictsPlain(const PairCell *rowA, const PairCell *rowB, int a1, int b1, const int32_t *listA,
                          const int32_t *listB, int from, int to, const ScreenLimits &limits, uint64_t *row) {
  for (int j = from; j < to; ++j) {
    const bool shared = (listA[j] == a1) | (listB[j] == b1);
    row[j / 64] |= uint64_t(QuickConflict(rowA[listA[j]], rowB[listB[j]], shared, limits)) << (j % 64);
  }
}

namespace {

#ifdef BELNOR_SCREEN_AVX2
__attribute__((target("avx2"))) inline __m256i AbsSigned8(__m256i d) {
  return _mm256_abs_epi32(_mm256_srai_epi32(_mm256_slli_epi32(d, 24), 24));
}

__attribute__((target("avx2"))) void ScreenAvx2(const PairCell *rowA, const PairCell *rowB, int a1, int b1,
                                                const int32_t *listA, const int32_t *listB, int from, int to,
                                                const ScreenLimits &limits, uint64_t *row) {
  const int *cellsA = reinterpret_cast<const int *>(rowA), *cellsB = reinterpret_cast<const int *>(rowB);
  const __m256i low16 = _mm256_set1_epi32(0xFFFF), low8 = _mm256_set1_epi32(255);
  const __m256i cap = _mm256_set1_epi32(399);
  const __m256i va1 = _mm256_set1_epi32(a1), vb1 = _mm256_set1_epi32(b1);
  for (int j = from & ~7; j < to; j += 8) {
    const __m256i ia = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(listA + j));
    const __m256i ib = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(listB + j));
    const __m256i ca = _mm256_i32gather_epi32(cellsA, ia, 4), cb = _mm256_i32gather_epi32(cellsB, ib, 4);
    const __m256i lenA = _mm256_and_si256(ca, low16), lenB = _mm256_and_si256(cb, low16);
    const __m256i dl = _mm256_abs_epi32(_mm256_sub_epi32(lenA, lenB));
    const __m256i s = _mm256_min_epi32(_mm256_add_epi32(lenA, lenB), cap);
    const __m256i limit = _mm256_i32gather_epi32(limits.bySum, s, 4);
    const __m256i angle = _mm256_and_si256(limit, low8), length = _mm256_srli_epi32(limit, 8);
    // Relative angles: bits 16..23 and 24..31 of a cell.
    const __m256i du = AbsSigned8(_mm256_sub_epi32(_mm256_srli_epi32(cb, 16), _mm256_srli_epi32(ca, 16)));
    const __m256i dr = AbsSigned8(_mm256_sub_epi32(_mm256_srli_epi32(cb, 24), _mm256_srli_epi32(ca, 24)));
    __m256i conflict = _mm256_or_si256(_mm256_cmpeq_epi32(ia, va1), _mm256_cmpeq_epi32(ib, vb1));
    conflict = _mm256_or_si256(conflict, _mm256_cmpgt_epi32(du, angle));
    conflict = _mm256_or_si256(conflict, _mm256_cmpgt_epi32(dr, angle));
    conflict = _mm256_or_si256(conflict, _mm256_cmpgt_epi32(dl, length));
    uint64_t bits = uint64_t(unsigned(_mm256_movemask_ps(_mm256_castsi256_ps(conflict))));
    if (to - j < 8) bits &= (uint64_t(1) << (to - j)) - 1;
    if (j < from) bits &= ~uint64_t(0) << (from - j);
    row[j / 64] |= bits << (j % 64);
  }
}

#endif

}  // namespace

void screenConflicts(const PairCell *rowA, const PairCell *rowB, int a1, int b1, const int32_t *listA,
                     const int32_t *listB, int from, int to, const ScreenLimits &limits, uint64_t *row) {
#ifdef BELNOR_SCREEN_AVX2
  if (cpuHasAvx2()) return ScreenAvx2(rowA, rowB, a1, b1, listA, listB, from, to, limits, row);
#endif
  screenConflictsPlain(rowA, rowB, a1, b1, listA, listB, from, to, limits, row);
}

}  // namespace minutiae
