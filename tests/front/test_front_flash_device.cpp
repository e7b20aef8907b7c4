// Vendor steps of init and close, the settings record in flash (also across
// processes), product information and flash faults, through the virtual
// scanner.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "livescan.h"
#include "vscanner_access.h"

extern char **environ;

using namespace belnor_test;

namespace {

struct Model {
  const char *id;
  int type;
  uint32_t settings, productInfo;
};
const Model kType1{"8899:1001", 1, 0xCA000, 0xCA040};
const Model kType2{"8899:1002", 2, 0x20000, 0x20040};
const Model kType5{"8899:1003", 5, 0x20820, 0x20800};

std::vector<uint8_t> SettingsBytes(ImgAttr a) {
  std::vector<uint8_t> b(16);
  b[0] = 0x46;
  b[1] = 0x53;
  b[2] = 3;
  std::memcpy(&b[4], &a, sizeof a);
  b[14] = 0x12;  // reserved
  b[15] = 0x34;
  return b;
}

std::vector<uint8_t> Flash(uint32_t address, uint32_t length) {
  std::vector<uint8_t> b(length);
  EXPECT_EQ(VS(vscanner_read_flash)(0, address, b.data(), length), 0);
  return b;
}

void PresetFlash(uint32_t address, const std::vector<uint8_t> &bytes) {
  ASSERT_EQ(VS(vscanner_write_flash)(0, address, bytes.data(), uint32_t(bytes.size())), 0);
}

std::vector<uint8_t> ProductBytes(const char *serial, int year, int month, int day, int op) {
  std::vector<uint8_t> b(serial, serial + 16);
  for (int v : {year & 0xFF, year >> 8, month, day, op & 0xFF, op >> 8, 0, 0}) b.push_back(uint8_t(v));
  return b;
}

// Expected camera state after init.
struct InitCase {
  const char *name;
  Model model;
  bool stored;
  ImgAttr record;  // what is in flash when stored
  int bright, contrast, gain, exposure, gamma, wb;  // -1: not programmed
};

const ImgAttr kStored{1, 1, 0, 120, 130, 5000, 5, -7, 9};
const ImgAttr kStored5{0, 1, 0, 100, 100, 5000, 5, -7, 9};

const InitCase kInitCases[] = {
    {"Type1Blank", kType1, false, {}, 95, 100, 8, 39, -1, 4650},
    {"Type1Stored", kType1, true, kStored, 120, 130, 5, 78, -1, 5000},
    {"Type2Blank", kType2, false, {}, 182, 60, 4, 312, 75, 4000},
    {"Type2Stored", kType2, true, kStored, 135, 130, 5, 78, 9, 5000},
    // Type 5: brightness + 127 and contrast * 2, then halved by the setters;
    // no gain, no white balance.
    {"Type5Blank", kType5, false, {}, 63, 56, -1, 156, 100, -1},
    {"Type5Stored", kType5, true, kStored5, 113, 100, -1, 78, 9, -1},
};

// The value init gave a processing-unit control: its first SET_CUR in init's
// log, else the current value. Automatic brightness, on in a stored record,
// moves brightness and contrast as soon as frames arrive.
int32_t Programmed(const std::vector<vscanner_wire_entry> &log, int selector) {
  for (const auto &e : log)
    if (IsControlSet(e, 2, selector) && e.length == 2 && e.result == 2)
      return int16_t(e.data[0] | e.data[1] << 8);
  return Pu(selector);
}

class InitAndClose : public testing::TestWithParam<InitCase> {};

TEST_P(InitAndClose, VendorStepsAndCameraState) {
  const InitCase &c = GetParam();
  Attach(c.model.id);
  if (c.stored) PresetFlash(c.model.settings, SettingsBytes(c.record));
  const int32_t gainBefore = Pu(kPuGain), gammaBefore = Pu(kPuGamma);
  const int32_t wbBefore = Pu(kPuWbTemperature);
  VS(vscanner_wire_clear)(0);

  ASSERT_EQ(InitAwaitingFirstFrame(), 1);
  const auto log = WireLog();
  const auto commands = CommandTriples(log);
  if (c.model.type == 5) {
    EXPECT_TRUE(commands.empty());  // no command unit on type 5
    EXPECT_EQ(Pu(kPuSaturation), 70);
  } else {
    // Sensor on before the camera is programmed, the LED last.
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0], (std::vector<int>{0x81, 0x07, 0x01}));
    EXPECT_EQ(commands[1], (std::vector<int>{0x80, 0x00, 0x00}));
    EXPECT_EQ(Pu(kPuWbAuto), 0);
    EXPECT_EQ(Ct(kCtAeMode), 4);
  }
  EXPECT_EQ(VS(vscanner_led)(0), 1);
  EXPECT_EQ(VS(vscanner_sensor_mode)(0), c.model.type == 5 ? 0 : 1);
  EXPECT_EQ(Programmed(log, kPuBrightness), c.bright);
  EXPECT_EQ(Programmed(log, kPuContrast), c.contrast);
  EXPECT_EQ(Ct(kCtExposureAbs), c.exposure);
  EXPECT_EQ(Pu(kPuGain), c.gain < 0 ? gainBefore : c.gain);
  EXPECT_EQ(Pu(kPuGamma), c.gamma < 0 ? gammaBefore : c.gamma);
  EXPECT_EQ(Pu(kPuWbTemperature), c.wb < 0 ? wbBefore : c.wb);
  bool wbSent = false;
  for (const auto &e : log) wbSent = wbSent || IsControlSet(e, 2, kPuWbTemperature);
  EXPECT_EQ(wbSent, c.wb >= 0);

  ImgAttr stored{};
  ASSERT_EQ(LIVESCAN_GetImgAttr(0, &stored, 1), 1);
  if (c.stored) {
    EXPECT_EQ(std::memcmp(&stored, &c.record, sizeof stored), 0);
  } else {
    EXPECT_EQ(stored.bAutoAdjust, 0);
    EXPECT_TRUE(stored.Gain >= 1 && stored.Gain <= 16);
  }

  VS(vscanner_wire_clear)(0);
  ASSERT_EQ(LIVESCAN_Close(), 1);
  EXPECT_EQ(VS(vscanner_led)(0), 0);
  EXPECT_EQ(VS(vscanner_sensor_mode)(0), 0);
  const auto closing = CommandTriples(WireLog());
  if (c.model.type == 5) {
    EXPECT_TRUE(closing.empty());
  } else {
    ASSERT_EQ(closing.size(), 2u);
    EXPECT_EQ(closing[0], (std::vector<int>{0x80, 0x11, 0x00}));
    EXPECT_EQ(closing[1], (std::vector<int>{0x81, 0x07, 0x00}));
  }
  EXPECT_EQ(VS(vscanner_open_handles)(0), 0);
}

INSTANTIATE_TEST_SUITE_P(Types, InitAndClose, testing::ValuesIn(kInitCases),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- Saving the settings -------------------------------------------------

// Automatic brightness stays off: the child checks the stored values on the camera.
const ImgAttr kSaved{0, 1, 1, 77, 140, 3000, 12, -6, 33};

TEST(SaveSettings, Type1WritesTheRecordStraightToFlash) {
  Attach(kType1.id);
  PresetFlash(kType1.settings + 14, {0xAB, 0xCD});  // reserved bytes of a blank record
  ASSERT_EQ(InitAwaitingFirstFrame(), 1);
  VS(vscanner_wire_clear)(0);
  ASSERT_EQ(LIVESCAN_SetImgAttr(0, 1, kSaved), 1);
  std::vector<uint8_t> want = SettingsBytes(kSaved);
  want[14] = 0xAB;  // reserved bytes go back as they were read
  want[15] = 0xCD;
  EXPECT_EQ(Flash(kType1.settings, 16), want);
  const auto commands = CommandTriples(WireLog());
  ASSERT_GE(commands.size(), 5u);
  EXPECT_EQ(commands[0][0], 0xDA);
  EXPECT_EQ(commands[1][0], 0xDB);
  EXPECT_EQ(commands.size(), 5u);  // 0xDA, 0xDB, 2 x 0xDD, 0xDE: one try
  ImgAttr back{};
  ASSERT_EQ(LIVESCAN_GetImgAttr(0, &back, 1), 1);
  EXPECT_EQ(std::memcmp(&back, &kSaved, sizeof back), 0);
  LIVESCAN_Close();
}

TEST(SaveSettings, Type2RewritesThePageAndKeepsItsOtherRecords) {
  Attach(kType2.id);
  std::vector<uint8_t> page(4096);
  for (size_t i = 0; i < page.size(); ++i) page[i] = uint8_t(i * 31 + 7);
  const auto info = ProductBytes("QX20240517ABCDEF", 2024, 5, 17, 3);
  std::copy(info.begin(), info.end(), page.begin() + 0x40);
  PresetFlash(0x20000, page);
  ASSERT_EQ(InitAwaitingFirstFrame(), 1);
  VS(vscanner_wire_clear)(0);
  ASSERT_EQ(LIVESCAN_SetImgAttr(0, 1, kSaved), 1);

  std::vector<uint8_t> want = page;
  const auto record = SettingsBytes(kSaved);
  std::copy(record.begin(), record.begin() + 14, want.begin());
  EXPECT_EQ(Flash(0x20000, 4096), want);  // byte for byte, product info and calibration kept

  const auto log = WireLog();
  const auto commands = CommandTriples(log);
  int data = 0;
  for (const auto &cmd : commands) data += cmd[0] == 0xDD;
  EXPECT_EQ(data, 410);
  ASSERT_GE(commands.size(), 2u);
  EXPECT_EQ(commands.front()[0], 0xDA);
  for (const auto &e : log) {
    if (IsCommand(e) && e.data[0] == 0xDA) {
      EXPECT_EQ(e.data[1] | e.data[2] << 8 | e.data[3] << 16 | e.data[4] << 24, 0x20000);
    }
    if (IsCommand(e) && e.data[0] == 0xDB) {
      EXPECT_EQ(e.data[2] | e.data[3] << 8, 4096);
    }
  }
  ProductInfo pi{};
  EXPECT_EQ(LIVESCAN_GetProductInfo(0, &pi), 1);
  EXPECT_EQ(std::memcmp(pi.Serial, "QX20240517ABCDEF", 16), 0);
  LIVESCAN_Close();
}

TEST(SaveSettings, Type5HasNoWritePath) {
  Attach(kType5.id);
  ASSERT_EQ(InitAwaitingFirstFrame(), 1);
  const auto before = Flash(0x20000, 4096);
  EXPECT_EQ(LIVESCAN_SetImgAttr(0, 1, kSaved), -3);
  EXPECT_EQ(Flash(0x20000, 4096), before);
  ImgAttr now{};
  ASSERT_EQ(LIVESCAN_GetImgAttr(0, &now, 0), 1);
  EXPECT_EQ(now.bAutoPos, 1);  // applied all the same
  LIVESCAN_Close();
}

TEST(SaveSettings, RejectedWritesAreRetriedThenReported) {
  Attach("8899:1001/flash=blank");
  ASSERT_EQ(InitAwaitingFirstFrame(), 1);
  VS(vscanner_set_fault)(0, VSCANNER_FAULT_FLASH_CRC, -1);
  EXPECT_EQ(LIVESCAN_SetImgAttr(0, 1, kSaved), -109);
  int programmed = -1, rejected = -1;
  VS(vscanner_flash_stats)(0, &programmed, &rejected);
  EXPECT_EQ(rejected, 3);
  EXPECT_EQ(Flash(kType1.settings, 2), (std::vector<uint8_t>{0xFF, 0xFF}));
  // Two rejections, then the third try sticks.
  VS(vscanner_set_fault)(0, VSCANNER_FAULT_FLASH_CRC, 2);
  EXPECT_EQ(LIVESCAN_SetImgAttr(0, 1, kSaved), 1);
  EXPECT_EQ(Flash(kType1.settings, 2), (std::vector<uint8_t>{0x46, 0x53}));
  LIVESCAN_Close();
}

TEST(SaveSettings, Type2CommitFailureIsReported) {
  Attach(kType2.id);
  ASSERT_EQ(InitAwaitingFirstFrame(), 1);
  VS(vscanner_set_fault)(0, VSCANNER_FAULT_FLASH_CRC, -1);
  EXPECT_EQ(LIVESCAN_SetImgAttr(0, 1, kSaved), -101);
  VS(vscanner_set_fault)(0, VSCANNER_FAULT_FLASH_CRC, 0);
  EXPECT_EQ(LIVESCAN_SetImgAttr(0, 1, kSaved), 1);  // the transaction was closed
  LIVESCAN_Close();
}

// ---- Across processes ------------------------------------------------------

// Runs this test program again with one test selected; its exit status.
int RunChild(const std::string &filter) {
  const std::string self = "/proc/self/exe";
  std::string f = "--gtest_filter=" + filter;
  std::string disabled = "--gtest_also_run_disabled_tests";
  char *argv[] = {const_cast<char *>(self.c_str()), f.data(), disabled.data(), nullptr};
  pid_t pid;
  if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string TempFlashFile() {
  char path[] = "/tmp/front-flash-XXXXXX";
  const int fd = mkstemp(path);
  close(fd);
  unlink(path);  // the scanner creates it
  return path;
}

void SaveThenApplyInAnotherProcess(const Model &model) {
  const std::string file = TempFlashFile();
  const std::string done = TempFlashFile();
  Attach(model.id, file.c_str());
  setenv("FRONT_CHILD_DONE", done.c_str(), 1);
  ASSERT_EQ(InitAwaitingFirstFrame(), 1);
  ASSERT_EQ(LIVESCAN_SetImgAttr(0, 1, kSaved), 1);
  LIVESCAN_Close();
  EXPECT_EQ(RunChild("SettingsChild.DISABLED_AppliedAtInit"), 0);
  EXPECT_EQ(access(done.c_str(), F_OK), 0) << "the child did not run";
  unlink(file.c_str());
  unlink(done.c_str());
}

TEST(SettingsAcrossProcesses, Type1) { SaveThenApplyInAnotherProcess(kType1); }
TEST(SettingsAcrossProcesses, Type2) { SaveThenApplyInAnotherProcess(kType2); }

// Started by the tests above with their environment (model and flash file).
TEST(SettingsChild, DISABLED_AppliedAtInit) {
  ASSERT_EQ(InitAwaitingFirstFrame(), 1);
  const bool type2 = VS(vscanner_device_type)(0) == 2;
  EXPECT_EQ(Pu(kPuBrightness), type2 ? 255 - 77 : 77);
  EXPECT_EQ(Pu(kPuContrast), 140);
  EXPECT_EQ(Pu(kPuGain), 12);
  EXPECT_EQ(Pu(kPuWbTemperature), 3000);
  EXPECT_EQ(Ct(kCtExposureAbs), 156);
  if (type2) {
    EXPECT_EQ(Pu(kPuGamma), 33);
  }
  ImgAttr stored{};
  ASSERT_EQ(LIVESCAN_GetImgAttr(0, &stored, 1), 1);
  EXPECT_EQ(std::memcmp(&stored, &kSaved, sizeof stored), 0);
  LIVESCAN_Close();
  const char *done = std::getenv("FRONT_CHILD_DONE");
  if (done && !HasFailure()) std::fclose(std::fopen(done, "w"));
}

// ---- Product information ----------------------------------------------------

void ProductInfoBeforeAndAfterInit(const Model &model) {
  Attach(model.id);
  PresetFlash(model.productInfo, ProductBytes("ABCDEFGHJKLMNPQR", 2024, 5, 9, 0x1234));
  ProductInfo info;
  std::memset(&info, 0, sizeof info);
  ASSERT_EQ(LIVESCAN_GetProductInfo(0, &info), 1);
  EXPECT_EQ(std::memcmp(info.Serial, "ABCDEFGHJKLMNPQR", 16), 0);
  EXPECT_EQ(info.Year, 2024);
  EXPECT_EQ(info.Month, 5);
  EXPECT_EQ(info.Day, 9);
  EXPECT_EQ(info.Operater, 0x1234);
  EXPECT_EQ(VS(vscanner_open_handles)(0), 0);  // the temporary device is closed again
  EXPECT_EQ(LIVESCAN_GetChannelCount(), -5);
  ASSERT_EQ(InitAwaitingFirstFrame(), 1);
  std::memset(&info, 0, sizeof info);
  ASSERT_EQ(CAM_GetProductInfo(&info, 0), 1);
  EXPECT_EQ(std::memcmp(info.Serial, "ABCDEFGHJKLMNPQR", 16), 0);
  EXPECT_EQ(info.Operater, 0x1234);
  LIVESCAN_Close();
}

TEST(ProductInformation, Type1) { ProductInfoBeforeAndAfterInit(kType1); }
TEST(ProductInformation, Type2) { ProductInfoBeforeAndAfterInit(kType2); }

TEST(ProductInformation, BeforeInitTheDeviceInitWouldOpenIsRead) {
  Attach("8899:1001/serial=FIRST,8899:1001/serial=SECOND");
  const auto first = ProductBytes("FIRST00000000000", 2020, 1, 1, 1);
  const auto second = ProductBytes("SECOND0000000000", 2021, 2, 2, 2);
  ASSERT_EQ(VS(vscanner_write_flash)(0, kType1.productInfo, first.data(), 24), 0);
  ASSERT_EQ(VS(vscanner_write_flash)(1, kType1.productInfo, second.data(), 24), 0);
  ProductInfo probe{};
  ASSERT_EQ(LIVESCAN_GetProductInfo(0, &probe), 1);
  EXPECT_EQ(std::memcmp(probe.Serial, "FIRST0", 6), 0);
  // Init numbers the devices of a model from the last one backwards; a
  // change of the active device reads its record anew.
  for (int index : {0, 1}) {
    SCOPED_TRACE(index);
    ASSERT_EQ(LIVESCAN_SetActiveDev(index), 1);
    ProductInfo before{}, after{};
    ASSERT_EQ(LIVESCAN_GetProductInfo(0, &before), 1);
    ASSERT_EQ(InitAwaitingFirstFrame(), 1);
    ASSERT_EQ(LIVESCAN_GetProductInfo(0, &after), 1);
    EXPECT_EQ(std::memcmp(before.Serial, index == 0 ? "SECOND" : "FIRST0", 6), 0);
    EXPECT_EQ(std::memcmp(before.Serial, after.Serial, 16), 0);
    LIVESCAN_Close();
  }
}

TEST(ProductInformation, Type5ReadsOnePageAndServesTheRestFromTheCache) {
  Attach(kType5.id);
  PresetFlash(kType5.productInfo, ProductBytes("T5SERIAL00000001", 2023, 1, 2, 3));
  ASSERT_EQ(InitAwaitingFirstFrame(), 1);
  VS(vscanner_wire_clear)(0);
  std::vector<uint8_t> buf(24);
  ASSERT_EQ(ReadVendorData(0, buf.data(), kType5.productInfo, 24), 1);
  EXPECT_EQ(std::memcmp(buf.data(), "T5SERIAL00000001", 16), 0);
  EXPECT_EQ(VS(vscanner_wire_count)(0), 0);  // init loaded the page already
  EXPECT_EQ(ReadVendorData(0, buf.data(), 0x21000 - 8, 16), -101);  // beyond the cache
  EXPECT_EQ(ReadVendorData(0, buf.data(), 0x1FFF0, 16), -101);  // below it
  LIVESCAN_Close();
}

TEST(ProductInformation, BlankFlashAndBadSerials) {
  Attach("8899:1001/flash=blank");
  ProductInfo info;
  EXPECT_EQ(LIVESCAN_GetProductInfo(0, &info), -101);
  PresetFlash(kType1.productInfo, ProductBytes("ABCDEFGH JKLMNPQ", 2024, 5, 9, 1));
  VS(vscanner_wire_clear)(0);
  EXPECT_EQ(LIVESCAN_GetProductInfo(0, &info), -101);
  int requests = 0;
  for (const auto &e : WireLog()) requests += IsFlashReadRequest(e);
  EXPECT_EQ(requests, 3);
  ASSERT_EQ(InitAwaitingFirstFrame(), 1);  // init does not need the serial
  EXPECT_EQ(LIVESCAN_GetProductInfo(0, &info), -101);
  LIVESCAN_Close();
}

// ---- Flash read faults -------------------------------------------------------

TEST(FlashReads, EmptyRepliesAreReadAgainAndAStuckDeviceGivesUp) {
  Attach(kType1.id);
  ASSERT_EQ(InitAwaitingFirstFrame(), 1);
  PresetFlash(0xCA100, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  std::vector<uint8_t> buf(12);
  VS(vscanner_set_fault)(0, VSCANNER_FAULT_FLASH_COUNT_ZERO, 5);
  ASSERT_EQ(ReadVendorData(0, buf.data(), 0xCA100, 12), 1);
  EXPECT_EQ(buf[11], 12);
  VS(vscanner_set_fault)(0, VSCANNER_FAULT_FLASH_COUNT_BAD, 3);
  ASSERT_EQ(ReadVendorData(0, buf.data(), 0xCA100, 12), 1);
  VS(vscanner_set_fault)(0, VSCANNER_FAULT_FLASH_COUNT_ZERO, -1);
  EXPECT_EQ(ReadVendorData(0, buf.data(), 0xCA100, 12), -101);
  VS(vscanner_set_fault)(0, VSCANNER_FAULT_FLASH_COUNT_ZERO, 0);
  EXPECT_EQ(ReadVendorData(0, buf.data(), 0xCA100, 12), 1);
  LIVESCAN_Close();
}

}  // namespace
