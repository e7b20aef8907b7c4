// What only the full build of the capture library has or does: the version
// text and the variant hooks.
#include <cstring>

#include "livescan.h"
#include "result_codes.h"
#include "variant.h"

namespace belnor {

void VariantAfterCameraProgrammed() {}

bool VariantKeepsProbeDevice() { return false; }

}  // namespace belnor

using namespace belnor;

namespace {
constexpr char kVersionText[] = "QX7.00";
}

extern "C" {

LIVESCAN_API int LIVESCAN_Get_Version(char *text) {
  if (!text) return LS_ERR_PARAM;
  std::memcpy(text, kVersionText, sizeof kVersionText);
  return LS_OK;
}

}  // extern "C"
