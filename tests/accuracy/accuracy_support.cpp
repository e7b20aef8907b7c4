#include "accuracy_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

namespace accuracy {

namespace {

// An 8-bit grey BMP file turned into top-first rows; false when it is not one.
bool ReadGreyBmp(const std::filesystem::path &file, int *width, int *height, std::vector<uint8_t> *pixels) {
  std::ifstream in(file, std::ios::binary);
  const std::vector<uint8_t> bmp((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bmp.size() < 54 || bmp[0] != 'B' || bmp[1] != 'M') return false;
  auto le32 = [&](size_t at) {
    return int32_t(bmp[at] | bmp[at + 1] << 8 | bmp[at + 2] << 16 | uint32_t(bmp[at + 3]) << 24);
  };
  const int64_t offset = le32(10), w = le32(18), h = le32(22), bits = bmp[28] | bmp[29] << 8;
  const int64_t stride = (w + 3) & ~int64_t(3);
  if (bits != 8 || w <= 0 || h <= 0 || offset + stride * h > int64_t(bmp.size())) return false;
  pixels->resize(size_t(w * h));
  for (int64_t y = 0; y < h; ++y)
    std::copy_n(&bmp[size_t(offset + (h - 1 - y) * stride)], w, &(*pixels)[size_t(y * w)]);
  *width = int(w);
  *height = int(h);
  return true;
}

}  // namespace

std::vector<std::vector<uint8_t>> LoadPrints(int width, int height) {
  const std::filesystem::path dir(BELNOR_PRINTS_DIR);
  if (dir.empty()) return {};
  std::vector<std::vector<uint8_t>> out;
  for (int finger = 101; finger < 101 + kFingers; ++finger)
    for (int impression = 1; impression <= kImpressions; ++impression) {
      int w = 0, h = 0;
      std::vector<uint8_t> print;
      const std::string name = std::to_string(finger) + "_" + std::to_string(impression) + ".bmp";
      if (!ReadGreyBmp(dir / name, &w, &h, &print)) continue;
      // Offset of the print on the canvas, negative where it is cut.
      const int ox = (width - w) / 2, oy = (height - h) / 2;
      std::vector<uint8_t> canvas(size_t(width) * size_t(height), 255);
      for (int y = std::max(0, oy); y < std::min(height, oy + h); ++y)
        for (int x = std::max(0, ox); x < std::min(width, ox + w); ++x)
          canvas[size_t(y) * width + x] = print[size_t(y - oy) * w + (x - ox)];
      out.push_back(std::move(canvas));
    }
  return out;
}

PairScores ScoreAllPairs(int prints, const std::function<float(int, int)> &match) {
  PairScores s;
  for (int a = 0; a < prints; ++a)
    for (int b = a + 1; b < prints; ++b)
      (a / kImpressions == b / kImpressions ? s.genuine : s.impostor).push_back(match(a, b));
  return s;
}

PairScores MatchAll(const std::vector<std::vector<uint8_t>> &templates, const MatchCall &match) {
  int refused = 0, outside = 0, notWhole = 0, first = -1;
  for (size_t k = 0; k < templates.size(); ++k) {
    float score = -1;
    refused += !match(templates[k], templates[k], &score);
    if (score != 1.0f && first < 0) first = int(k);
    notWhole += score != 1.0f;
  }
  EXPECT_EQ(notWhole, 0) << "prints whose self-match is not 1, the first is print " << first;
  const PairScores scores = ScoreAllPairs(int(templates.size()), [&](int a, int b) {
    float score = -1;
    refused += !match(templates[a], templates[b], &score);
    outside += !(score >= 0.0f && score <= 1.0f);
    return score;
  });
  EXPECT_EQ(refused, 0) << "match calls refused";
  EXPECT_EQ(outside, 0) << "scores outside 0..1";
  return scores;
}

double EqualErrorRate(const PairScores &scores) {
  std::vector<float> genuine = scores.genuine, impostor = scores.impostor;
  if (genuine.empty() || impostor.empty()) return 1.0;
  std::sort(genuine.begin(), genuine.end());
  std::sort(impostor.begin(), impostor.end());
  std::vector<float> thresholds = genuine;
  thresholds.insert(thresholds.end(), impostor.begin(), impostor.end());
  std::sort(thresholds.begin(), thresholds.end());
  thresholds.erase(std::unique(thresholds.begin(), thresholds.end()), thresholds.end());
  // Above every score all pairs are rejected.
  thresholds.push_back(std::numeric_limits<float>::infinity());

  struct Rates {
    double falseReject, falseAccept;
  };
  auto ratesAt = [&](float t) {
    const auto rejected = std::lower_bound(genuine.begin(), genuine.end(), t) - genuine.begin();
    const auto accepted = impostor.end() - std::lower_bound(impostor.begin(), impostor.end(), t);
    return Rates{double(rejected) / double(genuine.size()), double(accepted) / double(impostor.size())};
  };
  // The last threshold where false rejects do not yet exceed false accepts
  // and the first where they no longer fall short: of the two, the one with
  // the lower sum of both rates gives their mean.
  Rates below{0, 1}, above{1, 0};
  for (float t : thresholds) {
    const Rates r = ratesAt(t);
    if (r.falseReject <= r.falseAccept) below = r;
    if (r.falseReject >= r.falseAccept) {
      above = r;
      break;
    }
  }
  const double spanBelow = below.falseReject + below.falseAccept;
  const double spanAbove = above.falseReject + above.falseAccept;
  return (spanBelow <= spanAbove ? spanBelow : spanAbove) / 2;
}

}  // namespace accuracy
