// Every export of the interface front while no scanner is open: results and
// the order of the checks (initialised first, then arguments, except where the
// interface says otherwise).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "livescan.h"

namespace {

struct Call {
  const char *what;
  std::function<int()> call;
  int expected;
};

TEST(ClosedLibrary, ResultsAndCheckOrder) {
  int a = 0, b = 0, c = 0, d = 0;
  unsigned char lamps[3] = {1, 1, 1};
  unsigned char buf[64];
  char text[256];
  ImgAttr attr{0, 0, 0, 95, 100, 4650, 8, -8, 0};
  ImgAttr bad = attr;
  bad.Gain = 0;
  const std::vector<Call> calls = {
      {"GetChannelCount", [] { return LIVESCAN_GetChannelCount(); }, -5},
      {"SetBright", [] { return LIVESCAN_SetBright(0, 100); }, -5},
      {"SetBright bad channel", [] { return LIVESCAN_SetBright(9, 100); }, -5},
      {"SetBright bad value", [] { return LIVESCAN_SetBright(-1, 256); }, -5},
      {"SetContrast", [] { return LIVESCAN_SetContrast(0, 100); }, -5},
      {"SetContrast bad", [] { return LIVESCAN_SetContrast(-1, -1); }, -5},
      {"GetBright", [&] { return LIVESCAN_GetBright(0, &a); }, -5},
      {"GetBright null", [] { return LIVESCAN_GetBright(0, nullptr); }, -5},
      {"GetContrast", [&] { return LIVESCAN_GetContrast(0, &a); }, -5},
      {"GetContrast null", [] { return LIVESCAN_GetContrast(-1, nullptr); }, -5},
      {"GetMaxImageSize", [&] { return LIVESCAN_GetMaxImageSize(0, &a, &b); }, -5},
      {"GetMaxImageSize null", [] { return LIVESCAN_GetMaxImageSize(9, nullptr, nullptr); }, -5},
      {"GetCaptWindow", [&] { return LIVESCAN_GetCaptWindow(0, &a, &b, &c, &d); }, -5},
      {"GetCaptWindow null", [&] { return LIVESCAN_GetCaptWindow(0, &a, &b, &c, nullptr); }, -5},
      {"SetCaptWindow", [] { return LIVESCAN_SetCaptWindow(0, 0, 0, 640, 640); }, -5},
      {"SetCaptWindow bad", [] { return LIVESCAN_SetCaptWindow(9, -1, 0, 1, 1); }, -5},
      {"Setup", [] { return LIVESCAN_Setup(); }, -5},
      {"IsSupportSetup", [] { return LIVESCAN_IsSupportSetup(); }, -5},
      {"BeginCapture bad", [] { return LIVESCAN_BeginCapture(9); }, -5},
      {"EndCapture bad", [] { return LIVESCAN_EndCapture(-1); }, -5},
      // Frame fetch checks its arguments first.
      {"GetFPRawData null", [] { return LIVESCAN_GetFPRawData(0, nullptr); }, -1},
      {"GetFPRawData channel", [&] { return LIVESCAN_GetFPRawData(-1, buf); }, -1},
      {"GetFPRawData", [&] { return LIVESCAN_GetFPRawData(0, buf); }, -5},
      {"IsSupportCaptWindow", [] { return LIVESCAN_IsSupportCaptWindow(8); }, 1},
      {"IsSupportCaptWindow bad", [] { return LIVESCAN_IsSupportCaptWindow(-1); }, -1},
      {"GetVersion", [] { return LIVESCAN_GetVersion(); }, 100},
      {"Get_Version null", [] { return LIVESCAN_Get_Version(nullptr); }, -1},
      {"Get_Version", [&] { return LIVESCAN_Get_Version(text); }, 1},
      {"GetDesc null", [] { return LIVESCAN_GetDesc(nullptr); }, 1},
      {"GetErrorInfo null", [] { return LIVESCAN_GetErrorInfo(-1, nullptr); }, -1},
      {"GetErrorInfo", [&] { return LIVESCAN_GetErrorInfo(-5, text); }, 1},
      {"GetUserSpace", [] { return LIVESCAN_GetUserSpace(); }, -5},
      {"IsSupportPreview", [] { return LIVESCAN_IsSupportPreview(); }, 0},
      {"GetPreviewImageSize", [&] { return LIVESCAN_GetPreviewImageSize(0, &a, &b); }, -5},
      {"GetPreviewImageSize null", [] { return LIVESCAN_GetPreviewImageSize(9, nullptr, nullptr); }, -5},
      {"AccessLamp read", [&] { return LIVESCAN_AccessLamp(0, lamps, 1); }, -5},
      {"AccessLamp bad", [] { return LIVESCAN_AccessLamp(9, nullptr, 0); }, -5},
      {"SetImgAttr", [&] { return LIVESCAN_SetImgAttr(0, 0, attr); }, -5},
      {"SetImgAttr bad", [&] { return LIVESCAN_SetImgAttr(9, 1, bad); }, -5},
      {"GetImgAttr", [&] { return LIVESCAN_GetImgAttr(0, &attr, 0); }, -5},
      {"GetImgAttr null", [] { return LIVESCAN_GetImgAttr(-1, nullptr, 1); }, -5},
      // No initialisation test; the range is checked before the device.
      {"ReadVendorData null", [] { return ReadVendorData(0, nullptr, 0xCA000, 16); }, -1},
      {"ReadVendorData beyond", [&] { return ReadVendorData(0, buf, 0x336000 - 8, 16); }, -1},
      {"ReadVendorData wrap", [&] { return ReadVendorData(0, buf, 0xFFFFFFF0u, 0x20); }, -1},
      {"ReadVendorData no device", [&] { return ReadVendorData(0, buf, 0xCA000, 16); }, -101},
      {"ReadVendorData last bytes", [&] { return ReadVendorData(0, buf, 0x336000 - 16, 16); }, -101},
      {"SetActiveDev", [] { return LIVESCAN_SetActiveDev(-1); }, 1},
      {"SetActiveDev high", [] { return LIVESCAN_SetActiveDev(9); }, -1},
      {"SetActiveDev low", [] { return LIVESCAN_SetActiveDev(-2); }, -1},
      {"Close", [] { return LIVESCAN_Close(); }, 1},
  };
  for (const Call &call : calls) EXPECT_EQ(call.call(), call.expected) << call.what;
  EXPECT_EQ(lamps[0], 1);  // untouched
}

TEST(ClosedLibrary, ProductInfoWithoutAScanner) {
  ProductInfo info;
  std::memset(&info, 0x55, sizeof info);
  EXPECT_EQ(CAM_GetProductInfo(&info, 0), 0);
  for (size_t i = 0; i < sizeof info; ++i) EXPECT_EQ(reinterpret_cast<unsigned char *>(&info)[i], 0);
  EXPECT_EQ(CAM_GetProductInfo(nullptr, 0), 0);
  EXPECT_EQ(LIVESCAN_GetProductInfo(0, &info), -101);
  EXPECT_EQ(LIVESCAN_GetProductInfo(0, nullptr), -101);
  EXPECT_EQ(LIVESCAN_GetChannelCount(), -5);  // still closed afterwards
  EXPECT_EQ(LIVESCAN_GetUserSpace(), -5);
}

}  // namespace
