// Extractions on several threads at once, each with its own working buffers,
// give the templates of one thread alone.
#include <gtest/gtest.h>

#include <array>
#include <thread>
#include <vector>

#include "extract_driver.h"
#include "fplib.h"
#include "fplib_test_util.h"
#include "ftemplate.h"
#include "golden_outputs.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr std::array<std::array<int, 2>, 4> kSizes = {{{256, 360}, {400, 400}, {640, 640}, {FP_IMAGE_WIDTH, 0}}};
constexpr int kPrints = 6, kThreads = 4;

// Template of print k at size s; s == 3 is libminutia's extraction.
Bytes Extract(const Bytes &img, int s) {
  if (kSizes[size_t(s)][1] == 0) {
    Bytes t(FP_TEMPLATE_SIZE);
    Bytes copy = img;
    EXPECT_EQ(FP_FeatureExtract(1, 1, copy.data(), t.data()), FP_OK);
    return t;
  }
  Bytes t(minutiae::kFTemplateMax, 0);
  minutiae::extractFTemplate(img.data(), kSizes[size_t(s)][0], kSizes[size_t(s)][1], t.data());
  return t;
}

class ExtractThreads : public fptest::FpLibTest {};

TEST_F(ExtractThreads, ConcurrentCallsGiveSingleThreadTemplates) {
  if (std::string(BELNOR_PRINTS_DIR).empty()) GTEST_SKIP() << "no shared prints";
  std::vector<std::vector<Bytes>> images(kSizes.size()), want(kSizes.size());
  for (size_t s = 0; s < kSizes.size(); ++s)
    for (int k = 0; k < kPrints; ++k) {
      const int w = kSizes[s][0], h = kSizes[s][1] ? kSizes[s][1] : FP_IMAGE_HEIGHT;
      images[s].push_back(golden::PrintOnCanvas(k, w, h));
      ASSERT_FALSE(images[s].back().empty());
      want[s].push_back(Extract(images[s].back(), int(s)));
    }
  // Each thread walks sizes and prints in its own order, so that buffers
  // shrink and grow between calls.
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 2 * kPrints; ++round) {
        const int s = (t + round) % int(kSizes.size()), k = (3 * t + round) % kPrints;
        EXPECT_EQ(Extract(images[size_t(s)][size_t(k)], s), want[size_t(s)][size_t(k)])
            << "size " << s << " print " << k;
      }
    });
  for (std::thread &t : threads) t.join();
}

}  // namespace
