// Outputs of both libraries' extraction and matching on the 80 shared prints,
// recomputed by the test and the generator alike. Each set is one byte string,
// stored as tests/golden/<name>.bin.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace golden {

constexpr int kPrints = 80;  // fingers 101..110, impressions 1..8

// Print k (0..79) as a top-down plane centred on a white width x height canvas
// (cropped where the canvas is smaller); empty when the file is missing.
std::vector<uint8_t> PrintOnCanvas(int k, int width, int height);

// Per print: quality (int8), template length (u16), the template bytes up to
// the last one the call wrote (the buffer starts filled with kFill).
std::vector<uint8_t> BelnorExtract(int width, int height);
// Per pair (i < j, row by row): raw matcher return (int8), score (float bits).
// Templates come from a BelnorExtract set.
std::vector<uint8_t> BelnorMatch(const std::vector<uint8_t> &extractSet);

// Per print: FP_FeatureExtract return (int8), the 512-byte template, then
// FP_GetQualityScore and FP_GetQualityScore2 (return, quality) on the same
// 256 x 360 window.
std::vector<uint8_t> FplibExtract();
// Per pair: FP_FeatureMatch return (int8), score (float bits).
std::vector<uint8_t> FplibMatch(const std::vector<uint8_t> &extractSet);

// Names of the stored sets and how to compute each; match sets read the
// stored extraction set they name.
struct Set {
  std::string name;
  int width, height;  // extraction canvas, 0 for a match set
  std::string source; // for a match set: the extraction set it reads
};
const std::vector<Set> &Sets();
std::vector<uint8_t> Compute(const Set &set, const std::vector<uint8_t> &source);

std::vector<uint8_t> ReadFile(const std::string &path);
bool WriteFile(const std::string &path, const std::vector<uint8_t> &data);

}  // namespace golden
