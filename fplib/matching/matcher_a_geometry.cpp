#include "matcher_a_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>

#include "atan_table.h"
#include "cpu_features.h"
#include "int_geometry.h"
#include "match_tables.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define BELNOR_GEOMETRY_AVX2 1
#endif

namespace fplib {

int floorSqrt(int n) {
  if (n < 0) return -1;
  if (n < kFloorSqrtTableSize) return FloorSqrtSmall(n);
  int r = int(std::sqrt(double(n)));
  while (int64_t(r) * r > n) --r;
  while (int64_t(r + 1) * (r + 1) <= n) ++r;
  return r;
}

namespace {

int DirectionFrom(int dx, int dy, const uint8_t *atan) {
  int f = std::abs(dy), e = std::abs(dx);
  scaleToTable(f, e);
  return minutiae::directionQuadrant(dx, dy, atan[size_t(f) * 128 + e]) & 255;
}

void GeometryPlain(const int32_t *dx, const int32_t *dy, int count, int32_t *squared, uint16_t *length,
                   uint8_t *direction) {
  const uint8_t *atan = atanTable();
  for (int k = 0; k < count; ++k) {
    const int d2 = dx[k] * dx[k] + dy[k] * dy[k];
    squared[k] = d2;
    length[k] = uint16_t(d2 >= 0 && d2 < kFloorSqrtTableSize ? FloorSqrtSmall(d2) : floorSqrt(d2));
    direction[k] = uint8_t(DirectionFrom(dx[k], dy[k], atan));
  }
}

#ifdef BELNOR_GEOMETRY_AVX2
// Truncated quotients of non-negative ints, through double: exact, since a
// quotient of ints below 2^31 that is not whole lies at least 2^-31 (relative)
// from the next whole number.
__attribute__((target("avx2"))) inline __m256i DivideAvx2(__m256i n, __m256i d) {
  const __m256d lo = _mm256_div_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(n)),
                                   _mm256_cvtepi32_pd(_mm256_castsi256_si128(d)));
  const __m256d hi = _mm256_div_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(n, 1)),
                                   _mm256_cvtepi32_pd(_mm256_extracti128_si256(d, 1)));
  return _mm256_set_m128i(_mm256_cvttpd_epi32(hi), _mm256_cvttpd_epi32(lo));
}

// floor(sqrt(n)) through double: the correctly rounded root of an int never
// reaches the next whole number; -1 for negative n.
__attribute__((target("avx2"))) inline __m256i FloorSqrtAvx2(__m256i n) {
  const __m256d lo = _mm256_sqrt_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(n)));
  const __m256d hi = _mm256_sqrt_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(n, 1)));
  const __m256i r = _mm256_set_m128i(_mm256_cvttpd_epi32(hi), _mm256_cvttpd_epi32(lo));
  return _mm256_or_si256(r, _mm256_cmpgt_epi32(_mm256_setzero_si256(), n));
}

// Eight int lanes narrowed (low bits kept) to the low eight 16-bit lanes.
__attribute__((target("avx2"))) inline __m128i Narrow16(__m256i v) {
  const __m256i low = _mm256_and_si256(v, _mm256_set1_epi32(0xFFFF));
  const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(low, _mm256_setzero_si256()), 0x08);
  return _mm256_castsi256_si128(packed);
}

// Eight vectors.
__attribute__((target("avx2"))) inline void EightAvx2(const int32_t *dx, const int32_t *dy, const int *atan,
                                                      int32_t *squared, uint16_t *length, uint8_t *direction) {
  const __m256i zero = _mm256_setzero_si256(), one = _mm256_set1_epi32(1), c127 = _mm256_set1_epi32(127);
  const __m256i c128 = _mm256_set1_epi32(128), c256 = _mm256_set1_epi32(256), low8 = _mm256_set1_epi32(255);
  const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(dx));
  const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(dy));
  const __m256i d2 = _mm256_add_epi32(_mm256_mullo_epi32(x, x), _mm256_mullo_epi32(y, y));
  _mm256_storeu_si256(reinterpret_cast<__m256i *>(squared), d2);
  _mm_storeu_si128(reinterpret_cast<__m128i *>(length), Narrow16(FloorSqrtAvx2(d2)));
  // scaleToTable on every lane, kept where the larger part exceeds 127.
  __m256i f = _mm256_abs_epi32(y), e = _mm256_abs_epi32(x);
  const __m256i larger = _mm256_max_epi32(f, e), big = _mm256_cmpgt_epi32(larger, c127);
  const __m256i half = _mm256_srli_epi32(larger, 1), divisor = _mm256_max_epi32(larger, one);
  const __m256i fs = DivideAvx2(_mm256_add_epi32(half, _mm256_mullo_epi32(f, c127)), divisor);
  const __m256i es = DivideAvx2(_mm256_add_epi32(half, _mm256_mullo_epi32(e, c127)), divisor);
  f = _mm256_blendv_epi8(f, fs, big);
  e = _mm256_blendv_epi8(e, es, big);
  const __m256i g =
      _mm256_and_si256(_mm256_i32gather_epi32(atan, _mm256_add_epi32(_mm256_slli_epi32(f, 7), e), 1), low8);
  // directionQuadrant: dx <= 0 gives g + 128 (dy <= 0) or 128 - g; dx > 0
  // gives 256 - g (dy < 0) or g.
  const __m256i left =
      _mm256_blendv_epi8(_mm256_add_epi32(g, c128), _mm256_sub_epi32(c128, g), _mm256_cmpgt_epi32(y, zero));
  const __m256i right = _mm256_blendv_epi8(g, _mm256_sub_epi32(c256, g), _mm256_cmpgt_epi32(zero, y));
  const __m256i dir = _mm256_and_si256(_mm256_blendv_epi8(left, right, _mm256_cmpgt_epi32(x, zero)), low8);
  _mm_storel_epi64(reinterpret_cast<__m128i *>(direction), _mm_packus_epi16(Narrow16(dir), _mm_setzero_si128()));
}

__attribute__((target("avx2"))) void GeometryAvx2(const int32_t *dx, const int32_t *dy, int count, int32_t *squared,
                                                  uint16_t *length, uint8_t *direction) {
  const int *atan = reinterpret_cast<const int *>(atanTable());
  int k = 0;
  for (; k + 8 <= count; k += 8) EightAvx2(dx + k, dy + k, atan, squared + k, length + k, direction + k);
  if (k == count) return;
  // The last few through a padded block: cheaper than one at a time.
  const int rest = count - k;
  int32_t x[8] = {}, y[8] = {}, sq[8];
  uint16_t len[8];
  uint8_t dir[8];
  std::copy_n(dx + k, rest, x);
  std::copy_n(dy + k, rest, y);
  EightAvx2(x, y, atan, sq, len, dir);
  std::copy_n(sq, rest, squared + k);
  std::copy_n(len, rest, length + k);
  std::copy_n(dir, rest, direction + k);
}

#endif

}  // namespace

int matcherADirection(int dx, int dy) { return DirectionFrom(dx, dy, atanTable()); }

void matcherAGeometryPlain(const int32_t *dx, const int32_t *dy, int count, int32_t *squared, uint16_t *length,
                           uint8_t *direction) {
  GeometryPlain(dx, dy, count, squared, length, direction);
}

void matcherAGeometry(const int32_t *dx, const int32_t *dy, int count, int32_t *squared, uint16_t *length,
                      uint8_t *direction) {
#ifdef BELNOR_GEOMETRY_AVX2
  if (minutiae::cpuHasAvx2()) return GeometryAvx2(dx, dy, count, squared, length, direction);
#endif
  GeometryPlain(dx, dy, count, squared, length, direction);
}

}  // namespace fplib
