// MOSAIC_GetErrorInfo and MOSAIC_GetDesc.
#include <cstring>

#include "mosaic.h"
#include "result_codes.h"
#include "texts.h"

using namespace quisal;

int MOSAIC_GetErrorInfo(int code, char *text) {
  if (text == nullptr) return MC_ERR_PARAM;
  const bool chinese = UseChinese();
  const char *known = ErrorText(code, chinese);
  if (known == nullptr) {
    std::strcpy(text, ErrorText(MC_ERR_BAD_CODE, chinese));
    return MC_ERR_BAD_CODE;
  }
  std::strcpy(text, known);
  return MC_OK;
}

int MOSAIC_GetDesc(char *text) {
  if (text != nullptr) std::strcpy(text, DescriptionText(UseChinese()));
  return MC_OK;
}
