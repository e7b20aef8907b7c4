// The per-pixel remap of every frame: two map reads and four byte reads per
// corrected pixel. The AVX2 path gathers both source rows of eight pixels at
// once; both paths compute the same integer formula, so their output is
// identical byte for byte.
#include "remap.h"

#include <cstddef>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define BELNOR_REMAP_AVX2 1
#endif

namespace belnor {
namespace {

// top * (256 - fy) + bottom * fy, written as top * 256 + (bottom - top) * fy,
// the same integer for every input.
inline uint8_t Sample(const uint8_t *src, ptrdiff_t stride, int32_t x, int32_t y) {
  const uint8_t *p = src + ptrdiff_t(y >> 8) * stride + (x >> 8);
  const int32_t fx = x & 255, fy = y & 255;
  const int32_t top = p[0] * 256 + (p[1] - p[0]) * fx;
  const int32_t bottom = p[stride] * 256 + (p[stride + 1] - p[stride]) * fx;
  return uint8_t((top * 256 + (bottom - top) * fy) >> 16);
}

void RemapRowScalar(uint8_t *dst, int count, const uint8_t *src, ptrdiff_t stride,
                    const int32_t *mapX, const int32_t *mapY) {
  for (int i = 0; i < count; ++i) dst[i] = Sample(src, stride, mapX[i], mapY[i]);
}

#ifdef BELNOR_REMAP_AVX2
// Row y is gathered as the dword at p (bytes p[0], p[1] used) and row y + 1 as
// the dword at p + stride - 2 (bytes p[stride], p[stride + 1] used): both
// dwords lie inside a frame whose maps keep the right and lower neighbour in.
__attribute__((target("avx2"))) int RemapRowAvx2(uint8_t *dst, int count, const uint8_t *src,
                                                 int stride, const int32_t *mapX,
                                                 const int32_t *mapY) {
  const __m256i byteMask = _mm256_set1_epi32(255);
  const __m256i vStride = _mm256_set1_epi32(stride);
  const __m256i w256 = _mm256_set1_epi32(256);
  // Spread bytes 0, 1 (upper row) and 2, 3 (lower row) of each dword into
  // two 16-bit lanes.
  const __m256i takeLow = _mm256_setr_epi8(0, -1, 1, -1, 4, -1, 5, -1, 8, -1, 9, -1, 12, -1, 13, -1,
                                           0, -1, 1, -1, 4, -1, 5, -1, 8, -1, 9, -1, 12, -1, 13, -1);
  const __m256i takeHigh = _mm256_setr_epi8(2, -1, 3, -1, 6, -1, 7, -1, 10, -1, 11, -1, 14, -1, 15,
                                            -1, 2, -1, 3, -1, 6, -1, 7, -1, 10, -1, 11, -1, 14, -1,
                                            15, -1);
  const int *upper = reinterpret_cast<const int *>(src);
  const int *lower = reinterpret_cast<const int *>(src + stride - 2);
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(mapX + i));
    const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(mapY + i));
    const __m256i offset = _mm256_add_epi32(_mm256_mullo_epi32(_mm256_srai_epi32(y, 8), vStride),
                                            _mm256_srai_epi32(x, 8));
    const __m256i fx = _mm256_and_si256(x, byteMask);
    const __m256i fy = _mm256_and_si256(y, byteMask);
    const __m256i up = _mm256_i32gather_epi32(upper, offset, 1);
    const __m256i down = _mm256_i32gather_epi32(lower, offset, 1);
    // Weight pairs (256 - fx, fx) in 16-bit lanes.
    const __m256i weights = _mm256_or_si256(_mm256_sub_epi32(w256, fx), _mm256_slli_epi32(fx, 16));
    const __m256i top = _mm256_madd_epi16(_mm256_shuffle_epi8(up, takeLow), weights);
    const __m256i bottom = _mm256_madd_epi16(_mm256_shuffle_epi8(down, takeHigh), weights);
    const __m256i value = _mm256_srai_epi32(
        _mm256_add_epi32(_mm256_slli_epi32(top, 8),
                         _mm256_mullo_epi32(_mm256_sub_epi32(bottom, top), fy)),
        16);
    // 8 x 32-bit values 0..255 to 8 bytes.
    const __m128i lo = _mm256_castsi256_si128(value), hi = _mm256_extracti128_si256(value, 1);
    const __m128i words = _mm_packus_epi32(lo, hi);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(dst + i), _mm_packus_epi16(words, words));
  }
  return i;
}

bool HaveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}
#endif

}  // namespace

void RemapBilinear(uint8_t *dst, int width, int height, const uint8_t *src, int srcStride,
                   const int32_t *mapX, const int32_t *mapY) {
  if (width <= 0 || height <= 0) return;
  const size_t pixels = size_t(width) * size_t(height);
  // The maps advance with the output, so the image is one long row.
  size_t done = 0;
#ifdef BELNOR_REMAP_AVX2
  if (HaveAvx2() && srcStride >= 2) {
    // In chunks so that the gather's int count never overflows.
    constexpr size_t kChunk = size_t(1) << 20;
    while (pixels - done >= 8) {
      const int n = int(pixels - done < kChunk ? pixels - done : kChunk);
      const int did = RemapRowAvx2(dst + done, n, src, srcStride, mapX + done, mapY + done);
      done += size_t(did);
      if (did < n) break;
    }
  }
#endif
  while (done < pixels) {
    const int n = int(pixels - done < (size_t(1) << 20) ? pixels - done : (size_t(1) << 20));
    RemapRowScalar(dst + done, n, src, srcStride, mapX + done, mapY + done);
    done += size_t(n);
  }
}

}  // namespace belnor
