// The interface front on an open scanner (through the virtual scanner): check
// order, attribute mappings, capture windows, lamps and their faults.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "livescan.h"
#include "vscanner_access.h"

using namespace belnor_test;

namespace {

struct Open {
  explicit Open(const char *devices) {
    Attach(devices);
    result = InitAwaitingFirstFrame();
  }
  ~Open() { LIVESCAN_Close(); }
  int result;
};

struct Call {
  const char *what;
  std::function<int()> call;
  int expected;
};

TEST(OpenLibrary, ArgumentChecksAfterInit) {
  Open open("8899:1001");
  ASSERT_EQ(open.result, 1);
  int a = 0, b = 0, c = 0, d = 0;
  unsigned char lamps[3] = {0, 0, 0};
  std::vector<unsigned char> frame(640 * 640);
  ImgAttr attr{0, 0, 0, 95, 100, 4650, 8, -8, 0};
  auto with = [&](auto change) {
    ImgAttr x = attr;
    change(x);
    return x;
  };
  const std::vector<Call> calls = {
      {"GetChannelCount", [] { return LIVESCAN_GetChannelCount(); }, 1},
      {"Setup", [] { return LIVESCAN_Setup(); }, -3},
      {"IsSupportSetup", [] { return LIVESCAN_IsSupportSetup(); }, 1},
      {"GetUserSpace", [] { return LIVESCAN_GetUserSpace(); }, 0x20000},
      {"IsSupportPreview", [] { return LIVESCAN_IsSupportPreview(); }, 0},
      {"GetPreviewImageSize", [&] { return LIVESCAN_GetPreviewImageSize(0, &a, &b); }, -3},
      {"SetActiveDev", [] { return LIVESCAN_SetActiveDev(0); }, -7},
      {"SetBright channel", [] { return LIVESCAN_SetBright(9, 100); }, -1},
      {"SetBright negative channel", [] { return LIVESCAN_SetBright(-1, 100); }, -1},
      {"SetBright value", [] { return LIVESCAN_SetBright(0, 256); }, -1},
      {"SetBright negative value", [] { return LIVESCAN_SetBright(0, -1); }, -1},
      {"SetContrast channel", [] { return LIVESCAN_SetContrast(-1, 0); }, -1},
      {"SetContrast value", [] { return LIVESCAN_SetContrast(0, 256); }, -1},
      {"GetBright channel", [&] { return LIVESCAN_GetBright(9, &a); }, -1},
      {"GetBright null", [] { return LIVESCAN_GetBright(0, nullptr); }, -1},
      {"GetContrast channel", [&] { return LIVESCAN_GetContrast(-1, &a); }, -1},
      {"GetContrast null", [] { return LIVESCAN_GetContrast(0, nullptr); }, -1},
      {"GetMaxImageSize channel", [&] { return LIVESCAN_GetMaxImageSize(9, &a, &b); }, -1},
      {"GetMaxImageSize null", [&] { return LIVESCAN_GetMaxImageSize(0, &a, nullptr); }, -1},
      {"GetCaptWindow channel", [&] { return LIVESCAN_GetCaptWindow(-1, &a, &b, &c, &d); }, -1},
      {"GetCaptWindow null x", [&] { return LIVESCAN_GetCaptWindow(0, nullptr, &b, &c, &d); }, -1},
      {"GetCaptWindow null h", [&] { return LIVESCAN_GetCaptWindow(0, &a, &b, &c, nullptr); }, -1},
      {"SetCaptWindow channel", [] { return LIVESCAN_SetCaptWindow(9, 0, 0, 640, 640); }, -1},
      {"SetCaptWindow width", [] { return LIVESCAN_SetCaptWindow(0, 0, 0, 239, 360); }, -1},
      {"SetCaptWindow x", [] { return LIVESCAN_SetCaptWindow(0, 3900, 0, 240, 360); }, -1},
      {"SetCaptWindow negative", [] { return LIVESCAN_SetCaptWindow(0, -1, 0, 256, 360); }, -1},
      {"BeginCapture channel", [] { return LIVESCAN_BeginCapture(9); }, -1},
      {"EndCapture channel", [] { return LIVESCAN_EndCapture(-1); }, -1},
      {"GetFPRawData channel", [&] { return LIVESCAN_GetFPRawData(-1, frame.data()); }, -1},
      {"AccessLamp channel", [&] { return LIVESCAN_AccessLamp(9, lamps, 1); }, -1},
      {"AccessLamp null", [] { return LIVESCAN_AccessLamp(0, nullptr, 1); }, -1},
      {"SetImgAttr channel", [&] { return LIVESCAN_SetImgAttr(-1, 0, attr); }, -1},
      {"SetImgAttr exposure -4",
       [&] { return LIVESCAN_SetImgAttr(0, 0, with([](ImgAttr &x) { x.Exposure = -4; })); }, -1},
      {"SetImgAttr exposure -11",
       [&] { return LIVESCAN_SetImgAttr(0, 0, with([](ImgAttr &x) { x.Exposure = -11; })); }, -1},
      {"SetImgAttr gain 0",
       [&] { return LIVESCAN_SetImgAttr(0, 0, with([](ImgAttr &x) { x.Gain = 0; })); }, -1},
      {"SetImgAttr gain 17",
       [&] { return LIVESCAN_SetImgAttr(0, 0, with([](ImgAttr &x) { x.Gain = 17; })); }, -1},
      {"SetImgAttr WB 2799",
       [&] { return LIVESCAN_SetImgAttr(0, 0, with([](ImgAttr &x) { x.WB = 2799; })); }, -1},
      {"SetImgAttr WB 6501",
       [&] { return LIVESCAN_SetImgAttr(0, 0, with([](ImgAttr &x) { x.WB = 6501; })); }, -1},
      {"GetImgAttr channel", [&] { return LIVESCAN_GetImgAttr(9, &attr, 0); }, -1},
      {"GetImgAttr null", [] { return LIVESCAN_GetImgAttr(0, nullptr, 1); }, -1},
      {"ReadVendorData beyond", [&] { return ReadVendorData(0, frame.data(), 0x335FF1, 16); }, -1},
      {"GetMaxImageSize", [&] { return LIVESCAN_GetMaxImageSize(0, &a, &b); }, 1},
      {"IsSupportCaptWindow", [] { return LIVESCAN_IsSupportCaptWindow(0); }, 1},
  };
  const int32_t bright = Pu(kPuBrightness), exposure = Ct(kCtExposureAbs);
  for (const Call &call : calls) EXPECT_EQ(call.call(), call.expected) << call.what;
  EXPECT_EQ(a, 640);
  EXPECT_EQ(b, 640);
  // The refused calls changed nothing on the camera.
  EXPECT_EQ(Pu(kPuBrightness), bright);
  EXPECT_EQ(Ct(kCtExposureAbs), exposure);
}

TEST(Attributes, Type2BrightnessIsInvertedOnTheWayOut) {
  Open open("8899:1002");
  ASSERT_EQ(open.result, 1);
  EXPECT_EQ(LIVESCAN_SetBright(0, 100), 1);
  EXPECT_EQ(Pu(kPuBrightness), 155);
  int v = 0;
  EXPECT_EQ(LIVESCAN_GetBright(0, &v), 1);
  EXPECT_EQ(v, 155);
  EXPECT_EQ(LIVESCAN_SetContrast(0, 200), 1);
  EXPECT_EQ(Pu(kPuContrast), 200);
  EXPECT_EQ(LIVESCAN_GetContrast(0, &v), 1);
  EXPECT_EQ(v, 200);
}

TEST(Attributes, Type5HalvesBrightnessAndContrast) {
  Open open("8899:1003");
  ASSERT_EQ(open.result, 1);
  EXPECT_EQ(LIVESCAN_SetContrast(0, 200), 1);
  EXPECT_EQ(Pu(kPuContrast), 100);
  int v = 0;
  EXPECT_EQ(LIVESCAN_GetContrast(0, &v), 1);
  EXPECT_EQ(v, 200);
  EXPECT_EQ(LIVESCAN_SetBright(0, 201), 1);
  EXPECT_EQ(Pu(kPuBrightness), 100);
  EXPECT_EQ(LIVESCAN_GetBright(0, &v), 1);
  EXPECT_EQ(v, 227);
  ImgAttr a{};
  EXPECT_EQ(LIVESCAN_GetImgAttr(0, &a, 0), 1);
  EXPECT_EQ(a.Bright, 100);  // 227 - 127
  EXPECT_EQ(a.Contrast, 100);
}

TEST(Attributes, ExposureRoundTripAndAFailedReadKeepsTheLastValue) {
  Open open("8899:1001");
  ASSERT_EQ(open.result, 1);
  ImgAttr attr{1, 1, 0, 90, 110, 5000, 6, -10, 0};
  ASSERT_EQ(LIVESCAN_SetImgAttr(0, 0, attr), 1);
  EXPECT_EQ(Ct(kCtExposureAbs), 10);
  EXPECT_EQ(Pu(kPuGain), 6);
  EXPECT_EQ(Pu(kPuBrightness), 90);
  EXPECT_EQ(Pu(kPuContrast), 110);
  ImgAttr live{};
  ASSERT_EQ(LIVESCAN_GetImgAttr(0, &live, 0), 1);
  EXPECT_EQ(live.Exposure, -9);  // log2(10 / 10000) toward zero
  EXPECT_EQ(live.Gain, 6);
  EXPECT_EQ(live.Bright, 90);
  EXPECT_EQ(live.Contrast, 110);
  EXPECT_EQ(live.Gamma, 0);  // type 1 reports no gamma
  EXPECT_EQ(live.bAutoAdjust, 1);
  EXPECT_EQ(int(live.WB), 5000);

  // An exposure of 0 on the camera has no power of two: the value stays.
  ASSERT_EQ(VS(vscanner_set_control)(0, VSCANNER_UNIT_CAMERA, kCtExposureAbs, 0), 0);
  ASSERT_EQ(LIVESCAN_GetImgAttr(0, &live, 0), 1);
  EXPECT_EQ(live.Exposure, -9);
  // A stalled control read keeps the value too.
  VS(vscanner_set_control_fault)(0, VSCANNER_FAULT_CONTROL_STALL, -1, VSCANNER_UNIT_PROCESSING,
                                 kPuGain);
  ASSERT_EQ(LIVESCAN_GetImgAttr(0, &live, 0), 1);
  EXPECT_EQ(live.Gain, 6);
  EXPECT_EQ(LIVESCAN_SetImgAttr(0, 0, live), 1);  // what was reported is accepted back
}

TEST(Attributes, ControlFailuresComeBackMapped) {
  Open open("8899:1001");
  ASSERT_EQ(open.result, 1);
  VS(vscanner_set_control_fault)(0, VSCANNER_FAULT_CONTROL_STALL, -1, VSCANNER_UNIT_PROCESSING,
                                 kPuBrightness);
  EXPECT_EQ(LIVESCAN_SetBright(0, 10), -101);  // a stall is libuvc's PIPE error
  int v = 77;
  EXPECT_EQ(LIVESCAN_GetBright(0, &v), -101);
  EXPECT_EQ(v, 77);  // nothing written
  VS(vscanner_set_control_fault)(0, VSCANNER_FAULT_CONTROL_STALL, -1, VSCANNER_UNIT_PROCESSING,
                                 kPuContrast);
  EXPECT_EQ(LIVESCAN_GetContrast(0, &v), -101);
  EXPECT_EQ(v, 0);  // the contrast getter always writes
  ImgAttr a{};
  ASSERT_EQ(LIVESCAN_GetImgAttr(0, &a, 0), 1);  // the failed getter is not fatal
}

TEST(CaptureWindow, Type1WindowsAndTheFetchedBytes) {
  Open open("8899:1001");
  ASSERT_EQ(open.result, 1);
  int x, y, w, h;
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 1424, 600), -1);  // sensor width only
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 1000, 900), -1);  // beyond the corrected image
  ASSERT_EQ(LIVESCAN_GetCaptWindow(0, &x, &y, &w, &h), 1);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 640);

  ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 400, 400), 1);
  ASSERT_EQ(LIVESCAN_GetCaptWindow(0, &x, &y, &w, &h), 1);
  EXPECT_EQ(x, 120);
  EXPECT_EQ(y, 120);
  EXPECT_EQ(w, 400);
  EXPECT_EQ(h, 400);
  std::vector<unsigned char> buf(400 * 400 + 4096, 0xA5);
  ASSERT_EQ(LIVESCAN_GetFPRawData(0, buf.data()), 1);
  for (size_t i = 400 * 400; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0xA5) << i;

  ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 256, 360), 1);
  ASSERT_EQ(LIVESCAN_GetCaptWindow(0, &x, &y, &w, &h), 1);
  EXPECT_EQ(x, 192);
  EXPECT_EQ(y, 216);
  std::fill(buf.begin(), buf.end(), 0xA5);
  ASSERT_EQ(LIVESCAN_GetFPRawData(0, buf.data()), 1);
  for (size_t i = 256 * 360; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0xA5) << i;

  // The whole sensor frame passes through at its own size.
  ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 1424, 984), 1);
  std::vector<unsigned char> full(1424 * 984 + 16, 0x5A);
  ASSERT_EQ(LIVESCAN_GetFPRawData(0, full.data()), 1);
  for (size_t i = 1424 * 984; i < full.size(); ++i) ASSERT_EQ(full[i], 0x5A);
}

TEST(CaptureWindow, Type2AndType5) {
  {
    Open open("8899:1002");
    ASSERT_EQ(open.result, 1);
    int x, y, w, h;
    EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 400, 400), 1);
    ASSERT_EQ(LIVESCAN_GetCaptWindow(0, &x, &y, &w, &h), 1);
    EXPECT_EQ(w, 256);
    EXPECT_EQ(h, 360);
    EXPECT_EQ(LIVESCAN_GetMaxImageSize(0, &w, &h), 1);
    EXPECT_EQ(w, 256);
    EXPECT_EQ(h, 360);
    EXPECT_EQ(LIVESCAN_GetUserSpace(), 0x5D000);
  }
}

TEST(CaptureWindow, Type5DefaultOrigins) {
  Open open("8899:1003");
  ASSERT_EQ(open.result, 1);
  int x, y, w, h;
  EXPECT_EQ(LIVESCAN_IsSupportPreview(), 1);
  EXPECT_EQ(LIVESCAN_GetPreviewImageSize(0, &w, nullptr), 1);
  EXPECT_EQ(w, 800);
  ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 256, 360), 1);
  ASSERT_EQ(LIVESCAN_GetCaptWindow(0, &x, &y, &w, &h), 1);
  EXPECT_EQ(x, 672);
  EXPECT_EQ(y, 1076);
  EXPECT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 1700, 1000), -1);
  ASSERT_EQ(LIVESCAN_SetCaptWindow(0, 0, 0, 1600, 1500), 1);
  ASSERT_EQ(LIVESCAN_GetCaptWindow(0, &x, &y, &w, &h), 1);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  std::vector<unsigned char> buf(1600 * 1500 + 64, 0x3C);
  ASSERT_EQ(LIVESCAN_GetFPRawData(0, buf.data()), 1);
  for (size_t i = 1600 * 1500; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0x3C);
}

TEST(Lamps, WriteAndReadBackThroughTheRegisters) {
  Open open("8899:1001");
  ASSERT_EQ(open.result, 1);
  unsigned char on[3] = {1, 0, 1};
  ASSERT_EQ(LIVESCAN_AccessLamp(0, on, 0), 1);
  EXPECT_EQ(VS(vscanner_get_register)(0, 0x2043), 0x02);
  EXPECT_EQ(VS(vscanner_get_register)(0, 0x204C), 0x03);
  unsigned char got[3] = {9, 9, 9};
  ASSERT_EQ(LIVESCAN_AccessLamp(0, got, 1), 1);
  EXPECT_EQ(got[0], 1);
  EXPECT_EQ(got[1], 0);
  EXPECT_EQ(got[2], 1);

  unsigned char middle[3] = {0, 1, 0};
  ASSERT_EQ(LIVESCAN_AccessLamp(0, middle, 0), 1);
  EXPECT_EQ(VS(vscanner_get_register)(0, 0x2043), 0x08);
  EXPECT_EQ(VS(vscanner_get_register)(0, 0x204C), 0x0A);
  ASSERT_EQ(LIVESCAN_AccessLamp(0, got, 1), 1);
  EXPECT_EQ(got[0], 0);
  EXPECT_EQ(got[1], 1);
  EXPECT_EQ(got[2], 0);

  // Bits the device sets by itself are reported through the lamp bits only.
  VS(vscanner_set_register)(0, 0x2043, 0xF5);
  VS(vscanner_set_register)(0, 0x204C, 0xFE);
  ASSERT_EQ(LIVESCAN_AccessLamp(0, got, 1), 1);
  EXPECT_EQ(got[0], 0);
  EXPECT_EQ(got[1], 0);
  EXPECT_EQ(got[2], 0);
}

TEST(Lamps, AFailingRegisterTransferIsMinus101) {
  Open open("8899:1002");
  ASSERT_EQ(open.result, 1);
  VS(vscanner_set_control_fault)(0, VSCANNER_FAULT_CONTROL_STALL, -1, VSCANNER_UNIT_XU_REGISTER,
                                 3);
  unsigned char lamps[3] = {1, 1, 1};
  EXPECT_EQ(LIVESCAN_AccessLamp(0, lamps, 0), -101);
  EXPECT_EQ(LIVESCAN_AccessLamp(0, lamps, 1), -101);
  EXPECT_EQ(lamps[0], 0);
  VS(vscanner_set_control_fault)(0, VSCANNER_FAULT_CONTROL_STALL, 0, VSCANNER_UNIT_XU_REGISTER, 3);
  lamps[0] = 1;
  EXPECT_EQ(LIVESCAN_AccessLamp(0, lamps, 0), 1);
}

}  // namespace
