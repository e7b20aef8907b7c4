// Error table, texts and the answers that need no device.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "error_table.h"
#include "livescan.h"

using belnor::FindErrorRow;
using belnor::LivescanErrorTable;

namespace {

// The texts themselves stand once, in the table; here each row must be the
// one its code finds and the one the export hands out.
TEST(ErrorTable, EveryCodeHasItsRowWithBothColumns) {
  std::set<std::string> chinese;
  for (const auto &row : LivescanErrorTable) {
    SCOPED_TRACE(row.code);
    EXPECT_EQ(&FindErrorRow(row.code), &row);
    EXPECT_GT(std::strlen(row.english), 0u);
    EXPECT_GT(std::strlen(row.chinese), 0u);
    char text[256];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(LIVESCAN_GetErrorInfo(row.code, text), 1);
    EXPECT_STREQ(text, row.chinese);
    chinese.insert(row.chinese);
  }
  EXPECT_EQ(chinese.size(), size_t(belnor::kLivescanErrorRows));
  // Table order is the row numbering: -c - 1 and -c - 94.
  for (int i = 0; i < 7; ++i) EXPECT_EQ(LivescanErrorTable[i].code, -1 - i);
  for (int i = 7; i < belnor::kLivescanErrorRows; ++i) EXPECT_EQ(LivescanErrorTable[i].code, -94 - i);
  // Rows hosts show as they stand, odd ones included.
  EXPECT_STREQ(FindErrorRow(-1).chinese, "参数错误");
  EXPECT_STREQ(FindErrorRow(-106).english, ".Dll(.so) not found");
  EXPECT_STREQ(FindErrorRow(-111).chinese, "设备中无序列号");
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
