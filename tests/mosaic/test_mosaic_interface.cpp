// The MOSAIC_* exports: argument and state checks, codes and texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "mosaic.h"
#include "mosaic_state.h"
#include "rolling_frames.h"

namespace {

using mosaic_test::Image;

class MosaicInterface : public ::testing::Test {
 protected:
  void SetUp() override { MOSAIC_Close(); }
  void TearDown() override {
    MOSAIC_Close();
    unsetenv("LANG");
  }
};

TEST_F(MosaicInterface, ImageExportsAnswerNotInitialisedFirst) {
  Image image(800 * 750, 0);
  unsigned char *p = image.data();
  // Even with arguments that would be refused otherwise.
  EXPECT_EQ(MOSAIC_Start(p, 640, 640), -8);
  EXPECT_EQ(MOSAIC_Start(nullptr, 1, 1), -8);
  EXPECT_EQ(MOSAIC_DoMosaic(p, 640, 640), -8);
  EXPECT_EQ(MOSAIC_DoMosaic(nullptr, 0, 0), -8);
  EXPECT_EQ(MOSAIC_ImageQuality(p, 640, 640), -8);
  EXPECT_EQ(MOSAIC_FingerQuality(nullptr, 1, 1), -8);
  EXPECT_EQ(MOSAIC_ImageEnhance(p, 640, 640, p), -8);
  EXPECT_EQ(MOSAIC_IsFinger(p, 640, 640), -8);
  EXPECT_EQ(image[0], 0);  // Start did not touch the image
}

TEST_F(MosaicInterface, ConstantsAndLifecycle) {
  EXPECT_EQ(MOSAIC_IsSupportIdentifyFinger(), 1);
  EXPECT_EQ(MOSAIC_IsSupportImageQuality(), 1);
  EXPECT_EQ(MOSAIC_IsSupportFingerQuality(), 1);
  EXPECT_EQ(MOSAIC_IsSupportImageEnhance(), 1);
  EXPECT_EQ(MOSAIC_IsSupportRollCap(), 3);
  EXPECT_EQ(MOSAIC_GetVersion(), 100);
  EXPECT_EQ(MOSAIC_Stop(), 1);

  EXPECT_EQ(MOSAIC_Init(), 1);
  const quisal::BlockMap *maps = quisal::g_MosaicState.mosaicMap.get();
  ASSERT_NE(maps, nullptr);
  EXPECT_EQ(MOSAIC_Init(), 1);  // already initialised: the maps stay
  EXPECT_EQ(quisal::g_MosaicState.mosaicMap.get(), maps);
  EXPECT_EQ(MOSAIC_Close(), 1);
  EXPECT_EQ(quisal::g_MosaicState.mosaicMap, nullptr);
  EXPECT_EQ(quisal::g_MosaicState.fingerTestMap, nullptr);
  EXPECT_EQ(MOSAIC_Close(), 1);
}

TEST_F(MosaicInterface, RollModeKeepsItsValueOnRefusal) {
  const int start = MOSAIC_SetRollMode(3);  // the mode survives earlier tests
  EXPECT_EQ(start, 3);
  EXPECT_EQ(MOSAIC_SetRollMode(1), 3);
  EXPECT_EQ(MOSAIC_SetRollMode(5), -1);
  EXPECT_EQ(MOSAIC_SetRollMode(-1), -1);
  EXPECT_EQ(MOSAIC_SetRollMode(0), 1);
  EXPECT_EQ(MOSAIC_SetRollMode(3), 0);
}

TEST_F(MosaicInterface, StartChecksSizeAndFillsWhite) {
  ASSERT_EQ(MOSAIC_Init(), 1);
  Image image(800 * 751 + 16, 7);
  EXPECT_EQ(MOSAIC_Start(image.data(), 808, 640), -1);
  EXPECT_EQ(MOSAIC_Start(image.data(), 65, 640), -1);
  EXPECT_EQ(MOSAIC_Start(image.data(), 48, 640), -1);
  EXPECT_EQ(MOSAIC_Start(image.data(), 640, 751), -1);
  EXPECT_EQ(MOSAIC_Start(image.data(), 640, 63), -1);
  EXPECT_EQ(MOSAIC_Start(nullptr, 640, 640), -1);
  EXPECT_EQ(image[0], 7);

  // The maps are cleared over the bound size only.
  quisal::MosaicState &s = quisal::g_MosaicState;
  std::memset(s.mosaicMap.get(), 1, quisal::kMapBytes);
  std::memset(s.frameMap.get(), 1, quisal::kMapBytes);
  EXPECT_EQ(MOSAIC_Start(image.data(), 800, 750), 1);
  for (size_t i = 0; i < 800 * 750; ++i) ASSERT_EQ(image[i], 255) << i;
  EXPECT_EQ(image[800 * 750], 7);
  const int blocks = 50 * 47;
  for (int i = 0; i < blocks; ++i) {
    ASSERT_EQ(s.mosaicMap[i], 0);
    ASSERT_EQ(s.frameMap[i], 0);
  }
  EXPECT_EQ(s.mosaicMap[blocks], 1);
  EXPECT_EQ(s.frameMap[blocks], 1);
  EXPECT_EQ(s.mergeState, 0);
}

TEST_F(MosaicInterface, DoMosaicNeedsABoundImageOfTheSameSize) {
  ASSERT_EQ(MOSAIC_Init(), 1);
  Image frame = mosaic_test::WhiteImage(640, 640);
  EXPECT_EQ(MOSAIC_DoMosaic(frame.data(), 640, 640), -7);
  Image mosaic(640 * 640);
  ASSERT_EQ(MOSAIC_Start(mosaic.data(), 640, 640), 1);
  EXPECT_EQ(MOSAIC_DoMosaic(frame.data(), 640, 480), -1);
  EXPECT_EQ(MOSAIC_DoMosaic(frame.data(), 624, 640), -1);
  EXPECT_EQ(MOSAIC_DoMosaic(nullptr, 640, 640), -1);
  EXPECT_EQ(MOSAIC_DoMosaic(frame.data(), 640, 640), 0);  // white: no finger
}

TEST_F(MosaicInterface, CloseForgetsTheBoundImage) {
  ASSERT_EQ(MOSAIC_Init(), 1);
  const Image print = mosaic_test::MakePrint(640, 640);
  Image frame = mosaic_test::ContactFrame(print, 640, 640, mosaic_test::RollBands(40).front());
  Image mosaic(640 * 640);
  ASSERT_EQ(MOSAIC_Start(mosaic.data(), 640, 640), 1);
  ASSERT_EQ(MOSAIC_DoMosaic(frame.data(), 640, 640), 1);
  ASSERT_NE(std::count(mosaic.begin(), mosaic.end(), 255), 640 * 640);  // the frame was pasted
  EXPECT_EQ(MOSAIC_Close(), 1);

  // The host may free its image after Close: a new session without a Start
  // must not write into it.
  std::fill(mosaic.begin(), mosaic.end(), 0x55);
  ASSERT_EQ(MOSAIC_Init(), 1);
  EXPECT_EQ(MOSAIC_DoMosaic(frame.data(), 640, 640), -7);
  EXPECT_EQ(std::count(mosaic.begin(), mosaic.end(), 0x55), 640 * 640);
  Image next(640 * 640);
  EXPECT_EQ(MOSAIC_Start(next.data(), 640, 640), 1);
  EXPECT_EQ(MOSAIC_DoMosaic(frame.data(), 640, 640), 1);
  EXPECT_EQ(std::count(mosaic.begin(), mosaic.end(), 0x55), 640 * 640);
}

TEST_F(MosaicInterface, ImageExportsCheckTheirArguments) {
  ASSERT_EQ(MOSAIC_Init(), 1);
  Image image = mosaic_test::WhiteImage(2304, 2305);
  unsigned char *p = image.data();
  for (auto score : {MOSAIC_ImageQuality, MOSAIC_FingerQuality}) {
    EXPECT_EQ(score(nullptr, 640, 640), -1);
    EXPECT_EQ(score(p, 63, 640), -1);
    EXPECT_EQ(score(p, 640, 63), -1);
    EXPECT_EQ(score(p, 2305, 64), -1);
    EXPECT_EQ(score(p, 64, 2305), -1);
  }
  EXPECT_EQ(MOSAIC_ImageEnhance(nullptr, 640, 640, p), -1);
  EXPECT_EQ(MOSAIC_ImageEnhance(p, 640, 640, nullptr), -1);
  EXPECT_EQ(MOSAIC_ImageEnhance(p, 63, 640, p), -1);
  EXPECT_EQ(MOSAIC_ImageEnhance(p, 640, 2305, p), -1);
  EXPECT_EQ(MOSAIC_IsFinger(nullptr, 640, 640), -1);
  EXPECT_EQ(MOSAIC_IsFinger(p, 255, 640), -1);
  EXPECT_EQ(MOSAIC_IsFinger(p, 640, 359), -1);
  EXPECT_EQ(MOSAIC_IsFinger(p, 2305, 640), -1);
  EXPECT_EQ(MOSAIC_IsFinger(p, 640, 2305), -1);
  // The extremes are accepted.
  EXPECT_EQ(MOSAIC_IsFinger(p, 256, 360), 0);
  EXPECT_EQ(MOSAIC_IsFinger(p, 2304, 2304), 0);
  EXPECT_EQ(MOSAIC_ImageQuality(p, 640, 640), 10);
  EXPECT_EQ(MOSAIC_FingerQuality(p, 2304, 2304), 0);
}

TEST_F(MosaicInterface, IsFingerReallocatesItsMapWhenTheSizeChanges) {
  ASSERT_EQ(MOSAIC_Init(), 1);
  const Image print = mosaic_test::MakePrint(1600, 1500, true);
  const Image small = mosaic_test::MakePrint(640, 640);
  const Image white = mosaic_test::WhiteImage(640, 640);
  quisal::MosaicState &s = quisal::g_MosaicState;
  EXPECT_EQ(MOSAIC_IsFinger(const_cast<unsigned char *>(small.data()), 640, 640), 1);
  EXPECT_EQ(s.fingerTestBytes, 40u * 40u);
  EXPECT_EQ(MOSAIC_IsFinger(const_cast<unsigned char *>(print.data()), 1600, 1500), 1);
  EXPECT_EQ(s.fingerTestBytes, 100u * 94u);
  EXPECT_EQ(MOSAIC_IsFinger(const_cast<unsigned char *>(white.data()), 640, 640), 0);
  EXPECT_EQ(s.fingerTestBytes, 40u * 40u);
  // A map lost to a failed allocation is allocated again at the same size.
  s.fingerTestMap.reset();
  EXPECT_EQ(MOSAIC_IsFinger(const_cast<unsigned char *>(small.data()), 640, 640), 1);
  EXPECT_NE(s.fingerTestMap, nullptr);
}

std::string ErrorInfo(int code, int *result) {
  char text[128];
  std::memset(text, 'x', sizeof text);
  *result = MOSAIC_GetErrorInfo(code, text);
  return text;
}

TEST_F(MosaicInterface, ErrorTextsInEnglish) {
  unsetenv("LANG");
  const std::vector<std::pair<int, const char *>> rows = {
      {-1, "Invalid parameter"}, {-2, "Not enough memory"},  {-3, "Function isn't achieved"},
      {-4, "Reserved"},          {-5, "Reserved"},           {-6, "Invalid error code"},
      {-7, "No authorization"},  {-8, "Not initialized"},    {-101, "Unknow error"}};
  int result = 0;
  for (const auto &[code, text] : rows) {
    EXPECT_EQ(ErrorInfo(code, &result), text) << code;
    EXPECT_EQ(result, 1) << code;
  }
  for (int code : {0, 1, -9, -100, -102}) {
    EXPECT_EQ(ErrorInfo(code, &result), "Invalid error code") << code;
    EXPECT_EQ(result, -6) << code;
  }
  EXPECT_EQ(MOSAIC_GetErrorInfo(-1, nullptr), -1);
  // The texts need no initialisation.
  EXPECT_EQ(quisal::g_MosaicState.initialised, 0);
}

TEST_F(MosaicInterface, LanguageFollowsLangOnEveryCall) {
  int result = 0;
  const char *chinese[] = {"zh_CN.UTF-8", "ZH_cn", "zh_CN", "zh_cn.GB18030"};
  const char *english[] = {"zh_TW.UTF-8", "en_US.UTF-8", "zh", "C", ""};
  for (const char *lang : chinese) {
    setenv("LANG", lang, 1);
    EXPECT_EQ(ErrorInfo(-8, &result), "拼接未初始化") << lang;
    EXPECT_EQ(ErrorInfo(-9, &result), "非法的错误号") << lang;
    EXPECT_EQ(result, -6);
  }
  for (const char *lang : english) {
    setenv("LANG", lang, 1);
    EXPECT_EQ(ErrorInfo(-8, &result), "Not initialized") << lang;
  }
  setenv("LANG", "zh_CN.UTF-8", 1);
  const std::vector<std::pair<int, const char *>> rows = {
      {-1, "参数错误"}, {-2, "内存分配失败"}, {-3, "功能未实现"}, {-4, "保留"},
      {-5, "保留"},     {-6, "非法的错误号"}, {-7, "没有授权"},   {-101, "未知错误"}};
  for (const auto &[code, text] : rows) {
    EXPECT_EQ(ErrorInfo(code, &result), text) << code;
    EXPECT_EQ(result, 1);
  }
  unsetenv("LANG");
  EXPECT_EQ(ErrorInfo(-2, &result), "Not enough memory");
}

TEST_F(MosaicInterface, Description) {
  char text[81];
  unsetenv("LANG");
  EXPECT_EQ(MOSAIC_GetDesc(text), 1);
  EXPECT_STREQ(text, "API for image mosaicing of roll fingerprint scanner");
  setenv("LANG", "zh_CN.UTF-8", 1);
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(MOSAIC_GetDesc(text), 1);
  EXPECT_STREQ(text, "警用活体指纹采集仪拼接接口, 符合公安部标准 GA/T 626.2-2010. ");
  EXPECT_EQ(std::strlen(text) + 1, sizeof text);  // the longest text fits 81 bytes
  EXPECT_EQ(MOSAIC_GetDesc(nullptr), 1);
}

}  // namespace
