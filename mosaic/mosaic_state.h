// The library's one process-wide state.
#ifndef QUISAL_MOSAIC_STATE_H
#define QUISAL_MOSAIC_STATE_H

#include <cstddef>
#include <memory>

#include "block_map.h"

namespace quisal {

// Merge state after a frame that replaced the whole selection.
constexpr int kMergeWhole = 6;

struct MosaicState {
  int initialised = 0;
  std::unique_ptr<BlockMap[]> mosaicMap;     // classes already pasted
  std::unique_ptr<BlockMap[]> frameMap;      // cleaned classes of the frame
  std::unique_ptr<BlockMap[]> selectionMap;  // frame blocks chosen for pasting
  std::unique_ptr<BlockMap[]> rawMap;        // block-test results of the frame
  std::unique_ptr<BlockMap[]> fingerTestMap; // MOSAIC_IsFinger's map
  std::size_t fingerTestBytes = 0;
  unsigned char *boundImage = nullptr;       // the caller's mosaic image
  int width = 0;
  int height = 0;
  int mergeState = 0;
  int rollMode = 3;
};

extern MosaicState g_MosaicState;

}  // namespace quisal

#endif
