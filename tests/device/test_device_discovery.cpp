// Discovery, init and close through the virtual scanner.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture_device.h"
#include "device_state.h"
#include "livescan.h"
#include "result_codes.h"
#include "vscanner_fixture.h"

using namespace belnor;
using namespace belnor_test;

namespace {

class Discovery : public VScannerTest {};

TEST_F(Discovery, CountsEnabledModelsOnly) {
  Attach("13d3:56ff");
  EXPECT_EQ(0, LIVESCAN_GetDevCount());
  EXPECT_EQ(LS_ERR_NO_DEVICE, LIVESCAN_Init());
  EXPECT_EQ(0, g_bInitialized.load());
  EXPECT_EQ(nullptr, g_pCaptureDevice.load());
  EXPECT_EQ(0, sim.openHandles(0));

  Attach("8899:1001,13d3:56ff,5843:7884,8899:1002,7d45:3004,8899:1003,8899:1003");
  EXPECT_EQ(5, LIVESCAN_GetDevCount());
}

TEST_F(Discovery, CountingLeavesTheOpenDeviceAlone) {
  Attach("8899:1002/fps=30");
  ASSERT_EQ(LS_OK, InitAwaitingFirstFrame());
  CCaptureDevice* device = g_pCaptureDevice.load();
  EXPECT_EQ(1, LIVESCAN_GetDevCount());
  EXPECT_EQ(device, g_pCaptureDevice.load());
  std::vector<uint8_t> frame(256 * 360);
  EXPECT_EQ(LS_OK, LIVESCAN_GetFPRawData(0, frame.data()));
}

class EachModel : public VScannerTest, public testing::WithParamInterface<const char*> {};

TEST_P(EachModel, InitialisesWithItsWindowAndSensor) {
  const std::string id = GetParam();
  const TypeGeometry g = GeometryOf(id);
  Attach(id + "/fps=30");
  const int threadsBefore = ThreadCount();
  ASSERT_EQ(LS_OK, InitAwaitingFirstFrame());
  EXPECT_EQ(1, g_bInitialized.load());
  EXPECT_EQ(g.type, g_nDevType.load());
  EXPECT_EQ(g.windowWidth, LoadCaptureWindow().width);
  EXPECT_EQ(g.windowHeight, LoadCaptureWindow().height);
  EXPECT_EQ(g.sensorWidth, g_SensorWidth.load());
  EXPECT_EQ(g.sensorHeight, g_SensorHeight.load());
  EXPECT_EQ(0, g_nActiveDev.load());
  int width = 0, height = 0;
  EXPECT_EQ(0, sim.streamInfo(0, nullptr, &width, &height, nullptr));
  EXPECT_EQ(g.sensorWidth, width);
  EXPECT_EQ(g.sensorHeight, height);
  EXPECT_EQ(1, sim.isStreaming(0));

  std::vector<uint8_t> frame(static_cast<size_t>(g.windowWidth) * g.windowHeight);
  EXPECT_EQ(LS_OK, LIVESCAN_GetFPRawData(0, frame.data()));

  EXPECT_EQ(LS_OK, LIVESCAN_Close());
  EXPECT_EQ(0, g_bInitialized.load());
  EXPECT_EQ(nullptr, g_pCaptureDevice.load());
  EXPECT_EQ(0, sim.isStreaming(0));
  EXPECT_EQ(0, sim.openHandles(0));
  EXPECT_TRUE(ThreadsSettleAt(threadsBefore));  // no thread of ours survives
  EXPECT_EQ(LS_OK, LIVESCAN_Close());
  EXPECT_EQ(LS_ERR_NOT_INIT, LIVESCAN_GetFPRawData(0, frame.data()));
}

INSTANTIATE_TEST_SUITE_P(Models, EachModel,
                         testing::Values("8899:1001", "8899:1002", "7d45:3004", "8899:1003"));

TEST_F(Discovery, ScannersOfOneModelAreToldApartByIndex) {
  Attach("8899:1002/serial=A1/fps=30,8899:1002/serial=B2/fps=30");
  ASSERT_EQ(2, LIVESCAN_GetDevCount());

  // Index 0 opens the row's last match, index 1 the first.
  ASSERT_EQ(LS_OK, LIVESCAN_InitEx(0));
  EXPECT_EQ(0, sim.openHandles(0));
  EXPECT_EQ(1, sim.openHandles(1));
  EXPECT_EQ(0, g_nActiveDev.load());
  LIVESCAN_Close();
  ASSERT_EQ(LS_OK, LIVESCAN_InitEx(1));
  EXPECT_EQ(1, sim.openHandles(0));
  EXPECT_EQ(0, sim.openHandles(1));
  EXPECT_EQ(1, g_nActiveDev.load());
  LIVESCAN_Close();

  // -1 takes the first device and remembers it in the same numbering, so
  // init after close opens the same scanner again.
  ASSERT_EQ(LS_OK, LIVESCAN_SetActiveDev(-1));
  ASSERT_EQ(LS_OK, InitAwaitingFirstFrame());
  EXPECT_EQ(1, sim.openHandles(0));
  EXPECT_EQ(1, g_nActiveDev.load());
  LIVESCAN_Close();
  ASSERT_EQ(LS_OK, InitAwaitingFirstFrame());
  EXPECT_EQ(1, sim.openHandles(0));
  EXPECT_EQ(0, sim.openHandles(1));
  LIVESCAN_Close();

  EXPECT_EQ(LS_ERR_NO_DEVICE, LIVESCAN_InitEx(2));
}

TEST_F(Discovery, SecondInitDoesNotReopen) {
  Attach("8899:1001/fps=30");
  ASSERT_EQ(LS_OK, InitAwaitingFirstFrame());
  CCaptureDevice* device = g_pCaptureDevice.load();
  const int opens = sim.openCount(0);
  EXPECT_EQ(LS_OK, LIVESCAN_Init());
  EXPECT_EQ(LS_OK, LIVESCAN_InitEx(3));
  EXPECT_EQ(opens, sim.openCount(0));
  EXPECT_EQ(device, g_pCaptureDevice.load());
  EXPECT_EQ(1, sim.openHandles(0));
}

TEST_F(Discovery, ActiveDeviceAndCaptureCallsFollowTheState) {
  EXPECT_EQ(LS_ERR_PARAM, LIVESCAN_SetActiveDev(9));
  EXPECT_EQ(LS_ERR_PARAM, LIVESCAN_SetActiveDev(-2));
  EXPECT_EQ(LS_OK, LIVESCAN_SetActiveDev(-1));
  EXPECT_EQ(LS_ERR_NOT_INIT, LIVESCAN_BeginCapture(9));
  EXPECT_EQ(LS_ERR_NOT_INIT, LIVESCAN_EndCapture(0));
  unsigned char byte = 0;
  EXPECT_EQ(LS_ERR_PARAM, LIVESCAN_GetFPRawData(-1, &byte));
  EXPECT_EQ(LS_ERR_PARAM, LIVESCAN_GetFPRawData(0, nullptr));
  EXPECT_EQ(LS_ERR_NOT_INIT, LIVESCAN_GetFPRawData(0, &byte));

  Attach("8899:1002/fps=30");
  ASSERT_EQ(LS_OK, InitAwaitingFirstFrame());
  EXPECT_EQ(LS_ERR_NO_AUTH, LIVESCAN_SetActiveDev(0));
  EXPECT_EQ(LS_ERR_PARAM, LIVESCAN_SetActiveDev(9));
  EXPECT_EQ(LS_ERR_PARAM, LIVESCAN_BeginCapture(9));
  EXPECT_EQ(LS_ERR_PARAM, LIVESCAN_EndCapture(-1));
  EXPECT_EQ(LS_OK, LIVESCAN_BeginCapture(8));
  EXPECT_EQ(LS_OK, LIVESCAN_EndCapture(0));
  EXPECT_EQ(LS_ERR_PARAM, LIVESCAN_GetFPRawData(9, &byte));
}

TEST_F(Discovery, OpenRefusedIsAccessErrorOtherFailuresNoDevice) {
  Attach("8899:1002/faults=open_access");
  EXPECT_EQ(1, LIVESCAN_GetDevCount());
  EXPECT_EQ(LS_ERR_ACCESS, LIVESCAN_Init());
  EXPECT_EQ(0, g_bInitialized.load());
  EXPECT_EQ(nullptr, g_pCaptureDevice.load());

  Attach("8899:1002/faults=claim_busy");
  EXPECT_EQ(LS_ERR_NO_DEVICE, LIVESCAN_Init());
  EXPECT_EQ(0, g_bInitialized.load());
  EXPECT_EQ(0, sim.openHandles(0));
  EXPECT_EQ(LS_OK, LIVESCAN_Close());
}

}  // namespace
