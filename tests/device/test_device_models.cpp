// Model table, type selection, flash layouts, device numbering, UVC codes.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "device_models.h"
#include "result_codes.h"
#include "uvc_camera.h"

using namespace belnor;

namespace {

TEST(DeviceModels, TableRowsAndEnabledFlags) {
  const std::string expected[kDeviceModelCount] = {"vid_8899&pid_1001", "vid_8899&pid_1002",
                                                   "vid_7d45&pid_3004", "vid_13d3&pid_56ff",
                                                   "vid_5843&pid_7884", "vid_8899&pid_1003"};
  const int types[kDeviceModelCount] = {1, 2, 2, 3, 4, 5};
  const int enabled[kDeviceModelCount] = {1, 1, 1, 0, 0, 1};
  for (int i = 0; i < kDeviceModelCount; ++i) {
    EXPECT_EQ(expected[i], DeviceModelTable[i].deviceString);
    EXPECT_EQ(types[i], DeviceModelTable[i].deviceType);
    EXPECT_EQ(enabled[i], DeviceModelTable[i].enabled);
  }
}

TEST(DeviceModels, SelectSetsGeometryOfEveryRow) {
  struct Case {
    const char* device;
    int type, ww, wh, sw, sh;
  } cases[] = {
      {"vid_8899&pid_1001", 1, 640, 640, 1424, 984},   {"VID_8899&PID_1002", 2, 256, 360, 1280, 720},
      {"vid_7D45&pid_3004", 2, 256, 360, 1280, 720},   {"vid_13d3&pid_56ff", 3, 640, 640, 1280, 720},
      {"vid_5843&pid_7884", 4, 2304, 2304, 4096, 3072}, {"vid_8899&pid_1003", 5, 1600, 1500, 2592, 1944},
  };
  for (const Case& c : cases) {
    StoreCaptureWindow(5, 7, 300, 300);
    ASSERT_EQ(1, SelectDeviceModel(c.device)) << c.device;
    EXPECT_EQ(c.type, g_nDevType.load());
    const WindowSnapshot w = LoadCaptureWindow();
    EXPECT_EQ(c.ww, w.width);
    EXPECT_EQ(c.wh, w.height);
    EXPECT_EQ(c.sw, g_SensorWidth.load());
    EXPECT_EQ(c.sh, g_SensorHeight.load());
    EXPECT_EQ(0, w.x);
    EXPECT_EQ(0, w.y);
    // The table's own spelling (lower case) is kept, whatever case was asked for.
    std::string kept = c.device;
    for (char& ch : kept) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_STREQ(kept.c_str(), g_DeviceString);
  }
}

TEST(DeviceModels, UnknownStringChangesNothing) {
  ASSERT_EQ(1, SelectDeviceModel("vid_8899&pid_1003"));
  EXPECT_EQ(0, SelectDeviceModel("vid_8899&pid_1004"));
  EXPECT_EQ(0, SelectDeviceModel("vid_8899&pid_100"));
  EXPECT_EQ(0, SelectDeviceModel(""));
  EXPECT_EQ(0, SelectDeviceModel(nullptr));
  EXPECT_EQ(5, g_nDevType.load());
  EXPECT_EQ(2592, g_SensorWidth.load());
  EXPECT_STREQ("vid_8899&pid_1003", g_DeviceString);
}

TEST(DeviceModels, FlashLayoutPerType) {
  const FlashLayout d = FlashLayoutOfType(1);
  EXPECT_EQ(0xCA000u, d.vendorBase);
  EXPECT_EQ(0x336000u, d.vendorSize);
  EXPECT_EQ(0xCA000u, d.settingsAddress);
  EXPECT_EQ(0xCA03Eu, d.firmwareAddress);
  EXPECT_EQ(0xCA040u, d.productInfoAddress);
  EXPECT_EQ(0xCA080u, d.calibrationAddress);
  EXPECT_EQ(0x200000u, d.userStart);
  EXPECT_EQ(0x20000u, d.userSize);

  const FlashLayout t2 = FlashLayoutOfType(2);
  EXPECT_EQ(0x20000u, t2.vendorBase);
  EXPECT_EQ(0x60000u, t2.vendorSize);
  EXPECT_EQ(0x20000u, t2.settingsAddress);
  EXPECT_EQ(0x2003Eu, t2.firmwareAddress);
  EXPECT_EQ(0x20040u, t2.productInfoAddress);
  EXPECT_EQ(0x20080u, t2.calibrationAddress);
  EXPECT_EQ(0x23000u, t2.userStart);
  EXPECT_EQ(0x5D000u, t2.userSize);

  const FlashLayout t5 = FlashLayoutOfType(5);
  EXPECT_EQ(0x20000u, t5.vendorBase);
  EXPECT_EQ(0x336000u, t5.vendorSize);
  EXPECT_EQ(0x20820u, t5.settingsAddress);
  EXPECT_EQ(0xCA03Eu, t5.firmwareAddress);
  EXPECT_EQ(0x20800u, t5.productInfoAddress);
  EXPECT_EQ(0x2001Au, t5.calibrationAddress);
  EXPECT_EQ(0x200000u, t5.userStart);
  EXPECT_EQ(0x20000u, t5.userSize);
}

TEST(DeviceModels, TypeOneAfterTypeTwoUsesDefaultAddresses) {
  ASSERT_EQ(1, SelectDeviceModel("vid_8899&pid_1002"));
  EXPECT_EQ(0x20000u, LoadFlashLayout().settingsAddress);
  ASSERT_EQ(1, SelectDeviceModel("vid_8899&pid_1001"));
  EXPECT_EQ(0xCA000u, LoadFlashLayout().settingsAddress);
  EXPECT_EQ(0x336000u, LoadFlashLayout().vendorSize);
  ASSERT_EQ(1, SelectDeviceModel("vid_8899&pid_1003"));
  ASSERT_EQ(1, SelectDeviceModel("vid_13d3&pid_56ff"));
  EXPECT_EQ(0xCA040u, LoadFlashLayout().productInfoAddress);
  EXPECT_EQ(0xCA080u, LoadFlashLayout().calibrationAddress);
}

TEST(DeviceChoiceNumbering, SingleDeviceAnyNegativeIndex) {
  const int counts[kDeviceModelCount] = {0, 1, 0, 0, 0, 0};
  DeviceChoice c{};
  ASSERT_TRUE(ChooseDevice(counts, -1, &c));
  EXPECT_EQ(1, c.row);
  EXPECT_EQ(0, c.inRow);
  ASSERT_TRUE(ChooseDevice(counts, 0, &c));
  EXPECT_EQ(0, c.inRow);
  EXPECT_FALSE(ChooseDevice(counts, 1, &c));
}

TEST(DeviceChoiceNumbering, MatchesOfARowCountBackwards) {
  const int counts[kDeviceModelCount] = {2, 0, 0, 0, 0, 3};
  DeviceChoice c{};
  const int rows[] = {0, 0, 5, 5, 5};
  const int inRows[] = {1, 0, 2, 1, 0};
  for (int index = 0; index < 5; ++index) {
    ASSERT_TRUE(ChooseDevice(counts, index, &c)) << index;
    EXPECT_EQ(rows[index], c.row) << index;
    EXPECT_EQ(inRows[index], c.inRow) << index;
    // The remembered index opens the same device again.
    EXPECT_EQ(index, InitIndexOf(counts, c));
  }
  EXPECT_FALSE(ChooseDevice(counts, 5, &c));
  ASSERT_TRUE(ChooseDevice(counts, -1, &c));
  EXPECT_EQ(0, c.row);
  EXPECT_EQ(0, c.inRow);
  DeviceChoice again{};
  ASSERT_TRUE(ChooseDevice(counts, InitIndexOf(counts, c), &again));
  EXPECT_EQ(c.row, again.row);
  EXPECT_EQ(c.inRow, again.inRow);
}

TEST(DeviceChoiceNumbering, DisabledRowsAreSkipped) {
  const int counts[kDeviceModelCount] = {0, 0, 0, 4, 4, 0};
  DeviceChoice c{};
  EXPECT_FALSE(ChooseDevice(counts, -1, &c));
  EXPECT_FALSE(ChooseDevice(counts, 0, &c));
  const int mixed[kDeviceModelCount] = {0, 0, 0, 2, 0, 1};
  ASSERT_TRUE(ChooseDevice(mixed, 0, &c));
  EXPECT_EQ(5, c.row);
  EXPECT_EQ(0, InitIndexOf(mixed, c));
}

TEST(UvcResultCodes, TableAndEverythingElse) {
  const int expected[13] = {-3, -2, -101, -101, -101, -101, -101, -101, -5, -101, -1, -101, 1};
  for (int r = -12; r <= 0; ++r) EXPECT_EQ(expected[r + 12], MapUvcResult(r)) << r;
  EXPECT_EQ(LS_ERR_UNKNOWN, MapUvcResult(-13));
  EXPECT_EQ(LS_ERR_UNKNOWN, MapUvcResult(-50));
  EXPECT_EQ(LS_ERR_UNKNOWN, MapUvcResult(-99));
  EXPECT_EQ(LS_ERR_UNKNOWN, MapUvcResult(1));
  EXPECT_EQ(LS_ERR_UNKNOWN, MapUvcResult(2));
}

TEST(UvcCamera, WithoutHandleEveryControlIsMinus50) {
  CUvcCamera camera;
  int16_t s = 0;
  uint16_t u = 0;
  uint32_t t = 0;
  EXPECT_EQ(kNoHandle, camera.GetBrightness(&s));
  EXPECT_EQ(kNoHandle, camera.SetBrightness(1));
  EXPECT_EQ(kNoHandle, camera.GetContrast(&u));
  EXPECT_EQ(kNoHandle, camera.SetContrast(1));
  EXPECT_EQ(kNoHandle, camera.GetGain(&u));
  EXPECT_EQ(kNoHandle, camera.SetGain(1));
  EXPECT_EQ(kNoHandle, camera.SetSaturation(70));
  EXPECT_EQ(kNoHandle, camera.GetGamma(&u));
  EXPECT_EQ(kNoHandle, camera.SetGamma(1));
  EXPECT_EQ(kNoHandle, camera.SetWhiteBalanceTemperature(4650));
  EXPECT_EQ(kNoHandle, camera.SetWhiteBalanceTemperatureAuto(1));
  EXPECT_EQ(kNoHandle, camera.SetAeMode(4));
  EXPECT_EQ(kNoHandle, camera.GetExposureAbs(&t));
  EXPECT_EQ(kNoHandle, camera.SetExposureAbs(39));
  EXPECT_EQ(kNoHandle, camera.StopStreaming());
  uvc_stream_ctrl_t ctrl{};
  EXPECT_EQ(kNoHandle, camera.GetStreamCtrlFormatSize(&ctrl, 0, 640, 480, 0));
  EXPECT_EQ(kNoHandle, camera.StartStreaming(&ctrl, nullptr, nullptr));
  unsigned char data[11] = {};
  testing::internal::CaptureStdout();
  EXPECT_EQ(0, camera.ControlTransfer(0x21, 1, 0x200, 0x300, data, 11, 2000));
  EXPECT_EQ("get_libusb_handle() return NULL\n", testing::internal::GetCapturedStdout());
}

}  // namespace
