// Image normalisation and the wavelet-packet transform over the wavelet tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "wsq_format.h"
#include "wsq_trees.h"

namespace wsq {

// Normalises n pixels into floats (pixel - m_shift) / r_scale; a constant
// image has r_scale 0 and gives all-zero floats.
int conv_img_2_flt(float *out, float *mShift, float *rScale, const uint8_t *pixels, size_t n);
void conv_flt_2_img(uint8_t *out, const float *in, int width, int height, float mShift, float rScale);

// Whole-sample symmetric extension: the sample index that position m of a
// line of n samples mirrors (n >= 1). Parity is kept for n >= 2.
int FoldIndex(int m, int n);

// One level of one-dimensional filtering of a line of n samples: output
// position p is the sum over its terms, in order, of tap * src[index].
struct LinePlan {
  std::vector<int> start;  // n + 1 offsets into src/taps
  std::vector<int> src;
  std::vector<float> taps;
};

// Analysis: low half centred on even samples, high half on odd ones, the
// halves swapped when invert is set.
LinePlan MakeAnalysisPlan(int n, const float *lofilt, int numLo, const float *hifilt, int numHi, bool invert);
// Synthesis with the synthesis pair (low-pass numLo taps, high-pass numHi).
LinePlan MakeSynthesisPlan(int n, const float *lofilt, int numLo, const float *hifilt, int numHi, bool invert);
// Runs a plan over lanes: sample i of every lane is src[i][0..lanes), output
// position p goes to dst[p][0..lanes).
void ApplyPlan(const LinePlan &plan, const float *const *src, float *const *dst, int lanes);

// In place over the 20 nodes with the analysis filters.
int wsq_decompose(float *image, int width, int height, const WaveletNode (&w)[kWaveletNodes],
                  const float *hifilt, int numHi, const float *lofilt, int numLo);
// In place over the nodes in reverse order with the stream's synthesis filters.
int wsq_reconstruct(float *image, int width, int height, const WaveletNode (&w)[kWaveletNodes],
                    const TransformTable &table);

}  // namespace wsq
