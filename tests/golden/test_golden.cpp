// Both libraries' templates, qualities and scores on the 80 shared prints stay
// byte for byte what tests/golden/ holds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>

#include "fplib.h"
#include "golden_outputs.h"

namespace golden {
void PrintTo(const Set &set, std::ostream *os) { *os << set.name; }
}  // namespace golden

namespace {

class Golden : public ::testing::TestWithParam<golden::Set> {
 protected:
  void SetUp() override {
    if (std::string(BELNOR_PRINTS_DIR).empty()) GTEST_SKIP() << "no shared prints";
    previous_ = std::filesystem::current_path();
    std::string tmpl = (std::filesystem::temp_directory_path() / "golden-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    std::filesystem::current_path(dir_);
    FP_Begin();
  }
  void TearDown() override {
    if (dir_.empty()) return;
    FP_End();
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(dir_);
  }
  static std::vector<uint8_t> Stored(const std::string &name) {
    return golden::ReadFile(std::string(BELNOR_GOLDEN_DIR) + "/" + name + ".bin");
  }
  std::filesystem::path dir_, previous_;
};

// Offset of the first difference, or -1.
long FirstDifference(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
    if (a[i] != b[i]) return long(i);
  return a.size() == b.size() ? -1 : long(std::min(a.size(), b.size()));
}

TEST_P(Golden, OutputsUnchanged) {
  const golden::Set &set = GetParam();
  const std::vector<uint8_t> want = Stored(set.name);
  ASSERT_FALSE(want.empty()) << set.name << ".bin missing";
  const std::vector<uint8_t> source = set.source.empty() ? std::vector<uint8_t>() : Stored(set.source);
  const std::vector<uint8_t> got = golden::Compute(set, source);
  EXPECT_EQ(FirstDifference(got, want), -1) << set.name << ": sizes " << got.size() << " / " << want.size();
}

INSTANTIATE_TEST_SUITE_P(Sets, Golden, ::testing::ValuesIn(golden::Sets()),
                         [](const ::testing::TestParamInfo<golden::Set> &info) { return info.param.name; });

}  // namespace
