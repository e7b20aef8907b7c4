// Matching: the fusion rule, matcher A's record decoding and constants, and
// genuine against impostor scores on the sample prints.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "cminutiae_record.h"
#include "ctemplate.h"
#include "fplib.h"
#include "fplib_test_util.h"
#include "match_fusion.h"
#include "matcher_a.h"

using namespace fplib;
using fptest::FpLibTest;

namespace {

class SampleMatch : public FpLibTest {};

TEST_F(SampleMatch, GenuinePairsScoreAboveImpostorPairs) {
  if (fptest::SampleDir().empty()) GTEST_SKIP() << "no sample prints";
  const int fingers[] = {101, 102, 103, 104};
  std::vector<std::vector<uint8_t>> t;
  for (int f : fingers)
    for (int i : {1, 2}) {
      std::vector<uint8_t> img = fptest::LoadSample(f, i), tmpl(FP_TEMPLATE_SIZE);
      ASSERT_EQ(img.size(), size_t(FP_IMAGE_SIZE));
      ASSERT_EQ(FP_FeatureExtract(1, 2, img.data(), tmpl.data()), 1);
      ASSERT_EQ(tmpl[4], 1) << f << "_" << i << " gave no features";
      t.push_back(tmpl);
    }
  float lowestGenuine = 1, highestImpostor = 0;
  for (size_t a = 0; a < t.size(); ++a)
    for (size_t b = 0; b < t.size(); ++b) {
      float s = -1;
      ASSERT_EQ(FP_FeatureMatch(t[a].data(), t[b].data(), &s), 1);
      ASSERT_GE(s, 0.0f);
      ASSERT_LE(s, 1.0f);
      if (a == b) EXPECT_EQ(s, 1.0f);
      else if (a / 2 == b / 2) lowestGenuine = std::min(lowestGenuine, s);
      else highestImpostor = std::max(highestImpostor, s);
    }
  EXPECT_GT(lowestGenuine, highestImpostor);
}

}  // namespace
