// Replays a fuzz target's seed corpus as an ordinary test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

TEST(FuzzCorpus, EverySeedRuns) {
  namespace fs = std::filesystem;
  size_t seeds = 0;
  for (const auto &entry : fs::directory_iterator(WSQ_CORPUS_DIR)) {
    std::ifstream f(entry.path(), std::ios::binary);
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    testing::internal::CaptureStderr();
    LLVMFuzzerTestOneInput(data.data(), data.size());
    testing::internal::GetCapturedStderr();
    ++seeds;
  }
  EXPECT_GT(seeds, 0u);
}
