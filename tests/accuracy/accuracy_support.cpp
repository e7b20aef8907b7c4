#include "accuracy_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

#include "grey_bmp.h"

namespace accuracy {

std::vector<std::vector<uint8_t>> LoadPrints(int width, int height) {
  const std::filesystem::path dir(BELNOR_PRINTS_DIR);
  if (dir.empty()) return {};
  std::vector<std::vector<uint8_t>> out;
  for (int finger = 101; finger < 101 + kFingers; ++finger)
    for (int impression = 1; impression <= kImpressions; ++impression) {
      belnor::sim::GreyImage bmp;
      const std::string name = std::to_string(finger) + "_" + std::to_string(impression) + ".bmp";
      if (!belnor::sim::ReadGreyBmp(dir / name, &bmp)) continue;
      const int w = bmp.width, h = bmp.height;
      const std::vector<uint8_t> &print = bmp.pixels;
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

int AcceptedImpostors(const PairScores &scores, float threshold) {
  return int(std::count_if(scores.impostor.begin(), scores.impostor.end(), [&](float s) { return s >= threshold; }));
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
