// Replays a fuzz target's seed corpus as an ordinary test.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

TEST(FuzzCorpus, EverySeedRuns) {
  namespace fs = std::filesystem;
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(nullptr, nullptr);
  std::vector<fs::path> seeds;
  for (const auto &entry : fs::directory_iterator(FUZZ_CORPUS_DIR)) seeds.push_back(entry.path());
  std::sort(seeds.begin(), seeds.end());
  for (const fs::path &seed : seeds) {
    std::ifstream f(seed, std::ios::binary);
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    // libminutia's step log is not the test's output; standard error stays,
    // so that a sanitizer's report of a failing seed is seen.
    testing::internal::CaptureStdout();
    LLVMFuzzerTestOneInput(data.data(), data.size());
    testing::internal::GetCapturedStdout();
  }
  EXPECT_GT(seeds.size(), 0u);
}
