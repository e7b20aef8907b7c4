// The process-wide mosaic state.
#include "mosaic_state.h"

namespace quisal {

MosaicState g_MosaicState;

}  // namespace quisal
