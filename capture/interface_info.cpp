// Version and capability answers that need no device.
#include <cstring>

#include "livescan.h"
#include "result_codes.h"

using namespace belnor;

namespace {
constexpr char kVersionText[] = "QX7.00";
}

extern "C" int LIVESCAN_GetVersion(void) { return 100; }

extern "C" int LIVESCAN_Get_Version(char *text) {
  if (!text) return LS_ERR_PARAM;
  std::memcpy(text, kVersionText, sizeof kVersionText);
  return LS_OK;
}

extern "C" int LIVESCAN_IsSupportCaptWindow(int channel) {
  return unsigned(channel) > 8 ? LS_ERR_PARAM : LS_OK;
}
