// The reduced build's own exports and its description text.
#include <cstring>
#include <vector>

#include "device_state.h"
#include "flash_records.h"
#include "image_analysis.h"
#include "livescan_lite.h"
#include "no_throw.h"
#include "result_codes.h"
#include "variant.h"

namespace belnor {

bool VariantKeepsProbeDevice() { return true; }

}  // namespace belnor

using namespace belnor;

namespace {

constexpr char kDescriptionType2[] = ",指纹采集仪,QX-M720";
constexpr char kDescriptionOther[] = ",便携式指纹采集仪,QX735";
constexpr int kDescriptionBytes = 1024;

}  // namespace

extern "C" {

LIVESCAN_API int LIVESCAN_GetDesc(char *text) {
  if (!text) return LS_ERR_PARAM;
  std::memset(text, 0, kDescriptionBytes);
  ProductInfo info;
  std::memset(&info, 0, sizeof info);
  CAM_GetProductInfo(&info, 0);
  const bool type2 = g_nDevType == 2;
  text[0] = char(type2 ? 7 : 9);
  std::memcpy(text + 1, "519472602", 9);
  std::memcpy(text + 10, info.Serial + 9, 7);
  text[17] = char(info.Year & 0xFF);
  text[18] = char(info.Year >> 8);
  text[19] = char(info.Month);
  text[20] = char(info.Day);
  // Appended at the first zero byte: a zero field ends the binary part early.
  const char *suffix = type2 ? kDescriptionType2 : kDescriptionOther;
  std::memcpy(text + std::strlen(text), suffix, std::strlen(suffix) + 1);
  return LS_OK;
}

LIVESCAN_API int LIVESCAN_SetBufferEmpty(void *buffer, unsigned long length) {
  if (!buffer) return LS_ERR_PARAM;
  std::memset(buffer, 0, length);
  return LS_OK;
}

// 1 when a finger lies on the scanner (finger score above 30), 0 when not;
// -5, -2 or the fetch's error.
LIVESCAN_API int LIVESCAN_CheckFingerPress(void) {
  return FailureOnThrow(LS_ERR_MEMORY, []() -> int {
    if (!g_bInitialized) return LS_ERR_NOT_INIT;
    std::vector<uint8_t> frame;
    WindowSnapshot w{};
    const int r = FetchWindowFrame(0, &frame, &w);
    if (r < 0) return r;
    return FingerScore(frame.data(), w.width, w.height, nullptr) > 30 ? LS_OK : 0;
  });
}

}  // extern "C"
