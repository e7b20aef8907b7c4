// The FP_* interface: checks and their order, output clearing, the step log,
// BMP detection and the quality callback.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <cctype>
#include <sstream>
#include <string>
#include <vector>

#include "crc8.h"
#include "fplib.h"
#include "fplib_test_util.h"
#include "step_log.h"

using fptest::FpLibTest;

namespace {

std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The message part of each log line.
std::vector<std::string> Messages(const std::string &text) {
  std::vector<std::string> out;
  for (const std::string &l : Lines(text)) out.push_back(l.substr(l.find("] ") + 2));
  return out;
}

std::vector<uint8_t> BlankImage() { return std::vector<uint8_t>(FP_IMAGE_SIZE, 10); }

class Uninitialised : public FpLibTest {
 protected:
  void SetUp() override {
    FpLibTest::SetUp();
    FP_End();
  }
};

TEST_F(Uninitialised, WorkingCallsRefuseAndClearTheirOutputs) {
  std::vector<uint8_t> img = fptest::SyntheticPrint(), t(FP_TEMPLATE_SIZE, 0xAB), t2(FP_TEMPLATE_SIZE, 0xAB);
  EXPECT_EQ(FP_FeatureExtract(1, 1, img.data(), t.data()), FP_ERR_FAIL);
  EXPECT_EQ(t, std::vector<uint8_t>(FP_TEMPLATE_SIZE, 0));

  float score = 5;
  EXPECT_EQ(FP_FeatureMatch(t.data(), t2.data(), &score), FP_ERR_FAIL);
  EXPECT_EQ(score, 0.0f);
  score = 5;
  EXPECT_EQ(FP_ImageMatch(img.data(), t2.data(), &score), FP_ERR_FAIL);
  EXPECT_EQ(score, 0.0f);

  uint8_t q = 77;
  EXPECT_EQ(FP_GetQualityScore(img.data(), &q), FP_ERR_FAIL);
  EXPECT_EQ(q, 0);

  EXPECT_EQ(FP_GenFeatureFromEmpty1(1, 2, t2.data()), FP_ERR_FAIL);
  EXPECT_EQ(FP_GenFeatureFromEmpty2(2, t2.data()), FP_ERR_FAIL);
  EXPECT_EQ(t2, std::vector<uint8_t>(FP_TEMPLATE_SIZE, 0xAB));

  std::vector<uint8_t> box(FP_COMPRESSED_SIZE, 0xAB);
  char message[256] = "";
  EXPECT_EQ(FP_Compress(1, 1, 1, img.data(), 10, box.data(), message), FP_ERR_FAIL);
  EXPECT_STREQ(message, "Need call Fp_Begin first.");
  EXPECT_EQ(box, std::vector<uint8_t>(FP_COMPRESSED_SIZE, 0));
  EXPECT_EQ(FP_Decompress(box.data(), img.data(), message), FP_ERR_FAIL);
  EXPECT_STREQ(message, "Need call Fp_Begin first.");
  EXPECT_EQ(img, std::vector<uint8_t>(FP_IMAGE_SIZE, 0));
}

TEST_F(Uninitialised, VersionCallbackAndSecondQualityNeedNoInitialisation) {
  char version[6] = "xxxxx";
  EXPECT_EQ(FP_GetVersion(version), FP_OK);
  EXPECT_EQ(std::string(version, 5), "1563x");
  EXPECT_EQ(FP_SetOnGetQualityScore(nullptr), FP_OK);
  std::vector<uint8_t> img = fptest::SyntheticPrint();
  uint8_t q = 0;
  EXPECT_EQ(FP_GetQualityScore2(img.data(), &q), FP_OK);
  EXPECT_GT(q, 0);
  EXPECT_LE(q, 100);
  EXPECT_EQ(FP_GetQualityScore2(nullptr, &q), FP_ERR_PARAM);
}

TEST_F(FpLibTest, NullArgumentsLeaveOutputsAlone) {
  std::vector<uint8_t> img = fptest::SyntheticPrint(), t(FP_TEMPLATE_SIZE, 0xAB);
  EXPECT_EQ(FP_FeatureExtract(1, 1, nullptr, t.data()), FP_ERR_PARAM);
  EXPECT_EQ(t, std::vector<uint8_t>(FP_TEMPLATE_SIZE, 0xAB));
  EXPECT_EQ(FP_FeatureExtract(1, 1, img.data(), nullptr), FP_ERR_PARAM);
  float score = 5;
  EXPECT_EQ(FP_FeatureMatch(t.data(), nullptr, &score), FP_ERR_PARAM);
  EXPECT_EQ(score, 5.0f);
  EXPECT_EQ(FP_FeatureMatch(t.data(), t.data(), nullptr), FP_ERR_PARAM);
  EXPECT_EQ(FP_ImageMatch(img.data(), nullptr, &score), FP_ERR_PARAM);
  EXPECT_EQ(score, 0.0f);  // this one clears first
  EXPECT_EQ(FP_GetQualityScore(nullptr, nullptr), FP_ERR_PARAM);
  EXPECT_EQ(FP_GenFeatureFromEmpty1(1, 1, nullptr), FP_ERR_PARAM);
  EXPECT_EQ(FP_GenFeatureFromEmpty2(1, nullptr), FP_ERR_PARAM);
  EXPECT_EQ(FP_GetVersion(nullptr), FP_ERR_PARAM);
}

TEST_F(FpLibTest, EmptyTemplatesAndTheirMatch) {
  std::vector<uint8_t> a(FP_TEMPLATE_SIZE), b(FP_TEMPLATE_SIZE);
  ASSERT_EQ(FP_GenFeatureFromEmpty1(0x105, 0x203, a.data()), FP_OK);
  EXPECT_EQ(a[2], 5);
  EXPECT_EQ(a[4], 2);
  EXPECT_EQ(a[5], 3);
  EXPECT_EQ(a[511], minutiae::crc8(a.data(), 511));
  ASSERT_EQ(FP_GenFeatureFromEmpty2(0x203, b.data()), FP_OK);
  EXPECT_EQ(b[2], 255);
  EXPECT_EQ(b[4], 3);
  float score = 5;
  EXPECT_EQ(FP_FeatureMatch(a.data(), b.data(), &score), FP_ERR_PARAM);  // count 0
  EXPECT_EQ(score, 0.0f);
  b[0] = 'D';
  score = 5;
  EXPECT_EQ(FP_FeatureMatch(a.data(), b.data(), &score), FP_ERR_TEMPLATE);
  EXPECT_EQ(score, 0.0f);
}

TEST_F(FpLibTest, LogLinesGoToStdoutAndTheLogFileAlike) {
  FP_End();
  std::filesystem::remove(dir_ / fplib::kLogFileName);
  testing::internal::CaptureStdout();
  FP_Begin();
  FP_Begin();
  FP_End();
  FP_End();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(std::filesystem::exists(dir_ / "d:\\vantrel.txt"));
  EXPECT_EQ(ReadLogFile(), out);
  const std::vector<std::string> lines = Lines(out);
  ASSERT_EQ(lines.size(), 4u);
  for (const std::string &l : lines) {
    // "V/", a tab, the four-digit line number, a blank, the function name, "] ".
    ASSERT_GT(l.size(), 9u);
    EXPECT_EQ(l.substr(0, 3), "V/\t") << l;
    for (int k = 3; k < 7; ++k) EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(l[size_t(k)]))) << l;
    const std::string name = l.substr(8, l.find("] ") - 8);
    EXPECT_TRUE(l[7] == ' ' && (name == "FP_Begin" || name == "FP_End")) << l;
  }
  EXPECT_EQ(Messages(out), (std::vector<std::string>{"FP_Begin 1", "FP_Begin 1<-", "FP_End", "FP_End"}));
  FP_Begin();
}

TEST_F(FpLibTest, AnUnwritableLogFileDoesNotStopACall) {
  std::filesystem::remove(dir_ / fplib::kLogFileName);
  std::filesystem::create_directory(dir_ / fplib::kLogFileName);
  testing::internal::CaptureStdout();
  EXPECT_EQ(FP_End(), FP_OK);
  EXPECT_EQ(Messages(testing::internal::GetCapturedStdout()), std::vector<std::string>{"FP_End"});
  FP_Begin();
}

TEST_F(FpLibTest, BlankImageGivesTheNoFeatureTemplateWithItsLogLines) {
  std::vector<uint8_t> img = BlankImage(), t(FP_TEMPLATE_SIZE);
  testing::internal::CaptureStdout();
  EXPECT_EQ(FP_FeatureExtract(7, 8, img.data(), t.data()), FP_OK);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(Messages(out), (std::vector<std::string>{"FP_FeatureExtract->", "no finger", "featureExtract fail...",
                                                     "FP_FeatureExtract 1<-"}));
  std::vector<uint8_t> empty(FP_TEMPLATE_SIZE);
  FP_GenFeatureFromEmpty1(7, 8, empty.data());
  EXPECT_EQ(t, empty);
  float score = 5;
  EXPECT_EQ(FP_ImageMatch(img.data(), t.data(), &score), FP_ERR_PARAM);
  EXPECT_EQ(score, 0.0f);
}

TEST_F(FpLibTest, SuccessfulExtractionLogsEachStep) {
  std::vector<uint8_t> img = fptest::SyntheticPrint(), t(FP_TEMPLATE_SIZE);
  testing::internal::CaptureStdout();
  EXPECT_EQ(FP_FeatureExtract(7, 8, img.data(), t.data()), FP_OK);
  const std::vector<std::string> m = Messages(testing::internal::GetCapturedStdout());
  ASSERT_EQ(t[4], 1);
  const int n = t[19], c = t[431];
  ASSERT_EQ(m.size(), 7u);
  EXPECT_EQ(m[0], "FP_FeatureExtract->");
  EXPECT_EQ(m[1].rfind("GetQuality_10032B80 ret ", 0), 0u);
  EXPECT_EQ(m[2], "quality " + std::to_string(c));
  EXPECT_EQ(m[3].rfind("quality=", 0), 0u);
  EXPECT_EQ(m[4], "quality  at " + std::to_string(4 * (100 - n)) + " = " + std::to_string(c) + " ");
  EXPECT_EQ(m[5], "featureExtract ok");
  EXPECT_EQ(m[6], "FP_FeatureExtract 1<-");
}

TEST_F(FpLibTest, BmpFilesAreRefusedForExtractionButReadForQuality) {
  std::vector<uint8_t> img = fptest::SyntheticPrint(), t(FP_TEMPLATE_SIZE, 0xAB);
  std::vector<uint8_t> bmp = fptest::WrapBmp(img, FP_IMAGE_WIDTH, FP_IMAGE_HEIGHT);
  testing::internal::CaptureStdout();
  EXPECT_EQ(FP_FeatureExtract(1, 1, bmp.data(), t.data()), FP_ERR_PARAM);
  EXPECT_EQ(Messages(testing::internal::GetCapturedStdout()), std::vector<std::string>{"FP_FeatureExtract->"});
  EXPECT_EQ(t, std::vector<uint8_t>(FP_TEMPLATE_SIZE, 0));
  float score = 5;
  EXPECT_EQ(FP_ImageMatch(bmp.data(), t.data(), &score), FP_ERR_FAIL);

  bmp[28] = 12;  // a bit count that is no multiple of 8: taken as raw
  EXPECT_EQ(FP_FeatureExtract(1, 1, bmp.data(), t.data()), FP_OK);
  bmp[28] = 8;

  uint8_t fromRaw = 0, fromBmp = 0;
  ASSERT_EQ(FP_GetQualityScore(img.data(), &fromRaw), FP_OK);
  ASSERT_EQ(FP_GetQualityScore(bmp.data(), &fromBmp), FP_OK);
  EXPECT_GT(fromRaw, 0);
  EXPECT_EQ(fromBmp, fromRaw);
  // Also with the finger high or low in the frame, where its rows order matters.
  for (int shift : {-100, 100}) {
    std::vector<uint8_t> off(FP_IMAGE_SIZE, 235);
    for (int y = std::max(0, -shift); y < std::min(FP_IMAGE_HEIGHT, FP_IMAGE_HEIGHT - shift); ++y)
      std::memcpy(&off[size_t(y) * FP_IMAGE_WIDTH], &img[size_t(y + shift) * FP_IMAGE_WIDTH], FP_IMAGE_WIDTH);
    std::vector<uint8_t> offBmp = fptest::WrapBmp(off, FP_IMAGE_WIDTH, FP_IMAGE_HEIGHT);
    ASSERT_EQ(FP_GetQualityScore(off.data(), &fromRaw), FP_OK);
    ASSERT_EQ(FP_GetQualityScore(offBmp.data(), &fromBmp), FP_OK);
    EXPECT_GT(fromRaw, 0) << "shift " << shift;
    EXPECT_EQ(fromBmp, fromRaw) << "shift " << shift;
  }
  // Another height: the bytes are read as a raw image (and hold no finger).
  std::vector<uint8_t> other = fptest::WrapBmp(std::vector<uint8_t>(256 * 359, 10), 256, 359);
  other.resize(std::max<size_t>(other.size(), FP_IMAGE_SIZE), 10);
  uint8_t q = 9;
  EXPECT_EQ(FP_GetQualityScore(other.data(), &q), FP_OK);
  EXPECT_EQ(q, 0);
}

// The callback sees the quality and may replace it.
struct CallbackProbe {
  static int calls;
  static int seen;
  static int reply;  // -1: leave it
  static void Hook(unsigned char *, unsigned char *quality) {
    ++calls;
    seen = *quality;
    if (reply >= 0) *quality = uint8_t(reply);
  }
};
int CallbackProbe::calls = 0, CallbackProbe::seen = -1, CallbackProbe::reply = -1;

TEST_F(FpLibTest, QualityCallbackContract) {
  std::vector<uint8_t> img = fptest::SyntheticPrint(), plain(FP_TEMPLATE_SIZE), t(FP_TEMPLATE_SIZE);
  ASSERT_EQ(FP_FeatureExtract(1, 1, img.data(), plain.data()), FP_OK);
  ASSERT_EQ(plain[4], 1);

  CallbackProbe::calls = 0;
  CallbackProbe::reply = -1;
  FP_SetOnGetQualityScore(CallbackProbe::Hook);
  ASSERT_EQ(FP_FeatureExtract(1, 1, img.data(), t.data()), FP_OK);
  EXPECT_EQ(CallbackProbe::calls, 1);
  EXPECT_EQ(CallbackProbe::seen, plain[6]);
  EXPECT_EQ(t, plain);  // unchanged value: same template

  CallbackProbe::reply = 50;
  ASSERT_EQ(FP_FeatureExtract(1, 1, img.data(), t.data()), FP_OK);
  EXPECT_EQ(t[6], 50);
  EXPECT_EQ(t[431], 117);

  // Values above 100 are outside the contract and taken as 100.
  CallbackProbe::reply = 255;
  ASSERT_EQ(FP_FeatureExtract(1, 1, img.data(), t.data()), FP_OK);
  EXPECT_EQ(t[6], 100);
  EXPECT_EQ(t[431], 233);

  // Not for a blank image; kept over End and Begin; also on the quality path.
  CallbackProbe::calls = 0;
  std::vector<uint8_t> blank = BlankImage();
  FP_FeatureExtract(1, 1, blank.data(), t.data());
  EXPECT_EQ(CallbackProbe::calls, 0);
  FP_End();
  FP_Begin();
  uint8_t q = 0;
  CallbackProbe::reply = 50;
  FP_GetQualityScore(img.data(), &q);
  EXPECT_EQ(CallbackProbe::calls, 1);
  EXPECT_EQ(q, 50);  // (3 * 117) / 7 truncated
  FP_GetQualityScore2(img.data(), &q);
  EXPECT_EQ(CallbackProbe::calls, 1);
}

TEST_F(FpLibTest, QualityScoreTruncatesWhereTheTemplateRounds) {
  std::vector<uint8_t> img = fptest::SyntheticPrint(), t(FP_TEMPLATE_SIZE);
  ASSERT_EQ(FP_FeatureExtract(1, 1, img.data(), t.data()), FP_OK);
  ASSERT_EQ(t[4], 1);
  uint8_t q = 0;
  ASSERT_EQ(FP_GetQualityScore(img.data(), &q), FP_OK);
  EXPECT_EQ(q, std::min(100, 3 * t[431] / 7));
}

}  // namespace
