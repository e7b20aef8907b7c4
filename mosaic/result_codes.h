// Result codes of the MOSAIC_* interface.
#ifndef QUISAL_RESULT_CODES_H
#define QUISAL_RESULT_CODES_H

namespace quisal {

constexpr int MC_OK = 1;
constexpr int MC_ERR_PARAM = -1;
constexpr int MC_ERR_MEMORY = -2;
constexpr int MC_ERR_NOT_ACHIEVED = -3;
constexpr int MC_ERR_BAD_CODE = -6;
constexpr int MC_ERR_NO_AUTH = -7;
constexpr int MC_ERR_NOT_INIT = -8;
constexpr int MC_ERR_UNKNOWN = -101;

}  // namespace quisal

#endif
