// MosaicErrorCode texts, the description and the language test.
#include "texts.h"

#include <cstdlib>
#include <strings.h>

namespace quisal {

namespace {

struct ErrorRow {
  int code;
  const char *english;
  const char *chinese;
};

const ErrorRow kErrorRows[] = {
    {-1, "Invalid parameter", "参数错误"},
    {-2, "Not enough memory", "内存分配失败"},
    {-3, "Function isn't achieved", "功能未实现"},
    {-4, "Reserved", "保留"},
    {-5, "Reserved", "保留"},
    {-6, "Invalid error code", "非法的错误号"},
    {-7, "No authorization", "没有授权"},
    {-8, "Not initialized", "拼接未初始化"},
    {-101, "Unknow error", "未知错误"},
};

}  // namespace

bool UseChinese() {
  const char *lang = std::getenv("LANG");
  return lang != nullptr && strncasecmp(lang, "zh_CN", 5) == 0;
}

const char *ErrorText(int code, bool chinese) {
  for (const ErrorRow &row : kErrorRows) {
    if (row.code == code) return chinese ? row.chinese : row.english;
  }
  return nullptr;
}

const char *DescriptionText(bool chinese) {
  return chinese ? "警用活体指纹采集仪拼接接口, 符合公安部标准 GA/T 626.2-2010. "
                 : "API for image mosaicing of roll fingerprint scanner";
}

}  // namespace quisal
