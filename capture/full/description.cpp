// LIVESCAN_GetDesc (the reduced build has its own).
#include <cstring>

#include "livescan.h"
#include "result_codes.h"

using namespace belnor;

namespace {
// 79 bytes of UTF-8 and the terminating zero.
constexpr char kDescription[] = "活体指纹采集仪应用程序接口, 符合公安部标准 GA/T 626.1-2010.";
static_assert(sizeof kDescription == 80, "description text is 80 bytes with its zero");
}  // namespace

extern "C" int LIVESCAN_GetDesc(char *text) {
  if (text) std::memcpy(text, kDescription, sizeof kDescription);
  return LS_OK;
}
