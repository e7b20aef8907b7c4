// Subband variances, bit allocation, the dead-zone quantiser and its inverse.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "wsq_format.h"
#include "wsq_trees.h"

namespace wsq {

// Largest quantised magnitude; steps are floored so that no quotient passes it.
constexpr int kMaxQuantized = 32767;
// Largest step written: its zero bin 1.2 Q must stay below the 16-bit limit.
constexpr float kMaxStep = 54000.0f;

// Dead zone |c| <= Z/2, then steps of Q; clamped to 16 bits.
int16_t QuantizeCoefficient(float c, float Q, float Z);

void subband_variance(QuantizerParams &params, const SubbandNode (&q)[kNumSubbands], const float *image,
                      int width);
// Fills Q and Z and writes the coefficients of subbands 0-59 with Q != 0.
int quantize(std::vector<int16_t> *coeffs, int *count, QuantizerParams &params,
             const SubbandNode (&q)[kNumSubbands], const float *image, int width, int height);
// Coefficient counts of the three blocks for the given steps.
void quant_block_sizes(int *size1, int *size2, int *size3, const float *qstep,
                       const WaveletNode (&w)[kWaveletNodes], const SubbandNode (&q)[kNumSubbands]);
int unquantize(float *image, const QuantizationTable &table, const SubbandNode (&q)[kNumSubbands],
               const int32_t *coeffs, int width, int height);

}  // namespace wsq
