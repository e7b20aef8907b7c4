// Error table, texts and the answers that need no device.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>

#include "error_table.h"
#include "livescan.h"

using belnor::FindErrorRow;
using belnor::LivescanErrorTable;

namespace {

struct Row {
  int code;
  const char *english;
  const char *chinese;
};

// The texts hosts show, as they stand (odd rows such as -101 included).
const Row kExpected[] = {
    {-1, "Invalid parameter", "参数错误"},
    {-2, "Not enough memory", "内存分配失败"},
    {-3, "Function isn't achieved", "功能未实现"},
    {-4, "Device not found", "设备不存在"},
    {-5, "Device not initialized", "设备未初始化"},
    {-6, "Invalid error code", "非法的错误号"},
    {-7, "No authorization", "没有授权"},
    {-101, "Device access denied", "未知错误"},
    {-102, "Device access error", "设备访问错误"},
    {-103, "No enough bandwidth", "没有足够USB带宽"},
    {-104, "Video initialization failed", "视频初始化错误"},
    {-105, "Access file error", "文件访问错误"},
    {-106, ".Dll(.so) not found", "动态库未找到"},
    {-107, "timeout", "设备超时"},
    {-108, "already cancel", "已经取消操作"},
    {-109, "data lost", "数据丢失"},
    {-110, "Preview mode error", "预览模式错误"},
    {-111, "No serial in device", "设备中无序列号"},
};

TEST(ErrorTable, EveryCodeHasItsRowWithBothColumns) {
  ASSERT_EQ(std::size(kExpected), size_t(belnor::kLivescanErrorRows));
  for (const Row &want : kExpected) {
    SCOPED_TRACE(want.code);
    const auto &row = FindErrorRow(want.code);
    EXPECT_EQ(row.code, want.code);
    EXPECT_STREQ(row.english, want.english);
    EXPECT_STREQ(row.chinese, want.chinese);
    char text[256];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(LIVESCAN_GetErrorInfo(want.code, text), 1);
    EXPECT_STREQ(text, want.chinese);
  }
  // Table order is the row numbering: -c - 1 and -c - 94.
  for (int i = 0; i < 7; ++i) EXPECT_EQ(LivescanErrorTable[i].code, -1 - i);
  for (int i = 7; i < belnor::kLivescanErrorRows; ++i) EXPECT_EQ(LivescanErrorTable[i].code, -94 - i);
}

TEST(ErrorTable, UnknownCodesGiveTheTextOfMinusSixAndMinusSix) {
  for (int code : {0, 1, 2, 100, -8, -50, -100, -112, -1000, INT32_MIN, INT32_MAX}) {
    SCOPED_TRACE(code);
    char text[256] = {};
    EXPECT_EQ(LIVESCAN_GetErrorInfo(code, text), -6);
    EXPECT_STREQ(text, "非法的错误号");
  }
  char text[256];
  EXPECT_EQ(LIVESCAN_GetErrorInfo(-6, text), 1);  // -6 is itself a known code
  EXPECT_EQ(LIVESCAN_GetErrorInfo(-101, text), 1);
  EXPECT_STREQ(text, "未知错误");
}

TEST(ErrorTable, NullTextIsRefused) {
  EXPECT_EQ(LIVESCAN_GetErrorInfo(-1, nullptr), -1);
  EXPECT_EQ(LIVESCAN_GetErrorInfo(0, nullptr), -1);
}

TEST(ErrorTable, EveryTextFitsTheDocumentedBuffer) {
  for (const auto &row : LivescanErrorTable) {
    EXPECT_LT(std::strlen(row.chinese), 256u);
    EXPECT_LT(std::strlen(row.english), 256u);
  }
}

TEST(InterfaceTexts, VersionAndDescription) {
  EXPECT_EQ(LIVESCAN_GetVersion(), 100);
  char v[16];
  std::memset(v, 'x', sizeof v);
  EXPECT_EQ(LIVESCAN_Get_Version(v), 1);
  EXPECT_EQ(std::memcmp(v, "QX7.00\0", 7), 0);
  EXPECT_EQ(v[7], 'x');  // exactly 7 bytes
  EXPECT_EQ(LIVESCAN_Get_Version(nullptr), -1);

  char d[100];
  std::memset(d, 'x', sizeof d);
  EXPECT_EQ(LIVESCAN_GetDesc(d), 1);
  const std::string want = "活体指纹采集仪应用程序接口, 符合公安部标准 GA/T 626.1-2010.";
  EXPECT_EQ(want.size(), 79u);
  EXPECT_EQ(std::string(d), want);
  EXPECT_EQ(d[80], 'x');
  EXPECT_EQ(LIVESCAN_GetDesc(nullptr), 1);
}

TEST(InterfaceTexts, CaptureWindowSupportChecksOnlyTheChannel) {
  for (int ch = 0; ch <= 8; ++ch) EXPECT_EQ(LIVESCAN_IsSupportCaptWindow(ch), 1);
  EXPECT_EQ(LIVESCAN_IsSupportCaptWindow(9), -1);
  EXPECT_EQ(LIVESCAN_IsSupportCaptWindow(-1), -1);
  EXPECT_EQ(LIVESCAN_IsSupportCaptWindow(INT32_MIN), -1);
}

}  // namespace
