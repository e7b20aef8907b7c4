// LIVESCAN result codes, shared by every export of the capture library.
#pragma once

namespace belnor {

enum LivescanCode : int {
  LS_OK = 1,
  LS_ERR_PARAM = -1,
  LS_ERR_MEMORY = -2,
  LS_ERR_NOT_IMPLEMENTED = -3,
  LS_ERR_NO_DEVICE = -4,
  LS_ERR_NOT_INIT = -5,
  LS_ERR_BAD_CODE = -6,
  LS_ERR_NO_AUTH = -7,
  // The catch-all failure; the text handed out for it reads "unknown error".
  LS_ERR_UNKNOWN = -101,
  LS_ERR_ACCESS = -102,
  LS_ERR_BANDWIDTH = -103,
  LS_ERR_VIDEO_INIT = -104,
  LS_ERR_FILE = -105,
  LS_ERR_NO_LIBRARY = -106,
  LS_ERR_TIMEOUT = -107,
  LS_ERR_CANCELLED = -108,
  LS_ERR_DATA_LOST = -109,
  LS_ERR_PREVIEW = -110,
  LS_ERR_NO_SERIAL = -111,
};

}  // namespace belnor
