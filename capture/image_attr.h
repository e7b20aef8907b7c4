// Image attribute calls of the interface front that the device spine uses.
#pragma once

#include "livescan.h"

// Applies (and with bSave stores) an attribute set. Exported by the front.
extern "C" int LIVESCAN_SetImgAttr(int channel, int bSave, ImgAttr attr);
