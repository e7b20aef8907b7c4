// MOSAIC_Start, MOSAIC_DoMosaic and MOSAIC_Stop.
#include <cstring>

#include "merge_paste.h"
#include "mosaic.h"
#include "mosaic_state.h"
#include "result_codes.h"
#include "segment.h"

using namespace quisal;

int MOSAIC_Start(unsigned char *image, int width, int height) {
  MosaicState &s = g_MosaicState;
  if (!s.initialised) return MC_ERR_NOT_INIT;
  if (width < 64 || width > 800 || width % 16 != 0 || height < 64 || height > 750 ||
      image == nullptr) {
    return MC_ERR_PARAM;
  }
  s.boundImage = image;
  s.width = width;
  s.height = height;
  std::memset(image, 255, static_cast<size_t>(width) * height);
  const size_t blocks = static_cast<size_t>(BlockColumns(width)) * BlockRows(height);
  std::memset(s.mosaicMap.get(), 0, blocks);
  std::memset(s.frameMap.get(), 0, blocks);
  s.mergeState = 0;
  return MC_OK;
}

int MOSAIC_DoMosaic(unsigned char *frame, int width, int height) {
  MosaicState &s = g_MosaicState;
  if (!s.initialised) return MC_ERR_NOT_INIT;
  if (s.boundImage == nullptr) return MC_ERR_NO_AUTH;
  if (width != s.width || height != s.height || frame == nullptr) return MC_ERR_PARAM;
  const int bw = BlockColumns(width);
  const int bh = BlockRows(height);
  const int found = mosaic_segment_finger_or_no_memory(frame, width, height, s.frameMap.get(),
                                                      s.rawMap.get(), kTextureTest);
  if (found < 0) return found;  // nothing merged: the mosaic stays as it was
  if (found == 0) {
    s.mergeState = 0;
    return 0;
  }
  BlockRect box;
  mosaic_map_bbox(s.frameMap.get(), bw, bh, &box);
  const int n = mosaic_merge_frame(s.mosaicMap.get(), s.frameMap.get(), box, bw, bh,
                                   s.selectionMap.get(), s.boundImage, frame, height, &s.mergeState);
  if (n != 0 && !mosaic_paste_frame(s.mosaicMap.get(), s.frameMap.get(), s.selectionMap.get(), bw,
                                    bh, s.boundImage, frame, width, height)) {
    return MC_ERR_MEMORY;
  }
  return MC_OK;
}

int MOSAIC_Stop(void) { return MC_OK; }
