// MOSAIC_Init, MOSAIC_Close and the constant queries.
#include <new>

#include "mosaic.h"
#include "mosaic_state.h"
#include "result_codes.h"

using namespace quisal;

namespace {

bool AllocateMap(std::unique_ptr<BlockMap[]> &map) {
  if (!map) map.reset(new (std::nothrow) BlockMap[kMapBytes]());
  return map != nullptr;
}

}  // namespace

int MOSAIC_Init(void) {
  MosaicState &s = g_MosaicState;
  if (s.initialised) return MC_OK;
  if (!AllocateMap(s.mosaicMap) || !AllocateMap(s.frameMap) || !AllocateMap(s.selectionMap) ||
      !AllocateMap(s.rawMap)) {
    MOSAIC_Close();
    return MC_ERR_MEMORY;
  }
  s.initialised = 1;
  return MC_OK;
}

int MOSAIC_Close(void) {
  MosaicState &s = g_MosaicState;
  s.mosaicMap.reset();
  s.frameMap.reset();
  s.selectionMap.reset();
  s.rawMap.reset();
  s.fingerTestMap.reset();
  s.fingerTestBytes = 0;
  // The caller may free its image once the library is closed.
  s.boundImage = nullptr;
  s.width = 0;
  s.height = 0;
  s.mergeState = 0;
  s.initialised = 0;
  return MC_OK;
}

int MOSAIC_IsSupportIdentifyFinger(void) { return 1; }
int MOSAIC_IsSupportImageQuality(void) { return 1; }
int MOSAIC_IsSupportFingerQuality(void) { return 1; }
int MOSAIC_IsSupportImageEnhance(void) { return 1; }
int MOSAIC_IsSupportRollCap(void) { return 3; }

int MOSAIC_SetRollMode(int mode) {
  if (mode < 0 || mode > 3) return MC_ERR_PARAM;
  const int previous = g_MosaicState.rollMode;
  g_MosaicState.rollMode = mode;
  return previous;
}

int MOSAIC_GetVersion(void) { return 100; }
