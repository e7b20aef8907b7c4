// LivescanErrorTable and LIVESCAN_GetErrorInfo.
#include "error_table.h"

#include <cstring>

#include "livescan.h"
#include "result_codes.h"

namespace belnor {

// Row of code c: -c - 1 for -1..-7, -c - 94 for -101..-111.
const LivescanErrorRow LivescanErrorTable[kLivescanErrorRows] = {
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

bool IsKnownErrorCode(int code) {
  return (code >= -7 && code <= -1) || (code >= -111 && code <= -101);
}

const LivescanErrorRow &FindErrorRow(int code) {
  if (code >= -7 && code <= -1) return LivescanErrorTable[-code - 1];
  if (code >= -111 && code <= -101) return LivescanErrorTable[-code - 94];
  return LivescanErrorTable[-LS_ERR_BAD_CODE - 1];
}

}  // namespace belnor

using namespace belnor;

// The Chinese column is the one handed out; the English one stays for reference.
extern "C" int LIVESCAN_GetErrorInfo(int code, char *text) {
  if (!text) return LS_ERR_PARAM;
  const LivescanErrorRow &row = FindErrorRow(code);
  std::strcpy(text, row.chinese);
  return IsKnownErrorCode(code) ? LS_OK : LS_ERR_BAD_CODE;
}
