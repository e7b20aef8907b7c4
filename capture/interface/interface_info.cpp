// Version texts and capability answers.

#include "device_state.h"
#include "export_checks.h"
#include "livescan.h"
#include "result_codes.h"

using namespace belnor;

extern "C" int LIVESCAN_GetVersion(void) { return 100; }

extern "C" int LIVESCAN_IsSupportCaptWindow(int channel) {
  return BadChannel(channel) ? LS_ERR_PARAM : LS_OK;
}

extern "C" int LIVESCAN_Setup(void) {
  return g_bInitialized ? LS_ERR_NOT_IMPLEMENTED : LS_ERR_NOT_INIT;
}

extern "C" int LIVESCAN_IsSupportSetup(void) { return g_bInitialized ? LS_OK : LS_ERR_NOT_INIT; }

extern "C" int LIVESCAN_GetChannelCount(void) {
  if (!g_bInitialized) return LS_ERR_NOT_INIT;
  return LIVESCAN_GetDevCount() > 0 ? 1 : 0;
}

extern "C" int LIVESCAN_IsSupportPreview(void) { return g_nDevType == 5 ? 1 : 0; }

extern "C" int LIVESCAN_GetPreviewImageSize(int, int *width, int *height) {
  if (!g_bInitialized) return LS_ERR_NOT_INIT;
  if (g_nDevType != 5) return LS_ERR_NOT_IMPLEMENTED;
  if (width) *width = 800;
  if (height) *height = 750;
  return LS_OK;
}
