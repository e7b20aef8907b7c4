// Binding of the capture library libbelnor: its exports by name.
#pragma once

#include <QLibrary>

#include "livescan.h"

// Exports the capture library may have; the flag marks the ones without
// which it is refused. Names this library never exports are kept untyped.
#define BELNOR_EXPORTS(X, Y)            \
  X(LIVESCAN_Init, true)                \
  X(LIVESCAN_Close, true)               \
  X(LIVESCAN_GetChannelCount, true)     \
  X(LIVESCAN_SetBright, true)           \
  X(LIVESCAN_SetContrast, true)         \
  X(LIVESCAN_GetBright, true)           \
  X(LIVESCAN_GetContrast, true)         \
  X(LIVESCAN_GetMaxImageSize, true)     \
  X(LIVESCAN_GetCaptWindow, true)       \
  X(LIVESCAN_SetCaptWindow, false)      \
  X(LIVESCAN_Setup, true)               \
  X(LIVESCAN_BeginCapture, true)        \
  X(LIVESCAN_GetFPRawData, true)        \
  X(LIVESCAN_EndCapture, true)          \
  X(LIVESCAN_IsSupportCaptWindow, true) \
  X(LIVESCAN_IsSupportSetup, true)      \
  X(LIVESCAN_GetVersion, true)          \
  X(LIVESCAN_GetDesc, true)             \
  X(LIVESCAN_GetErrorInfo, true)        \
  X(LIVESCAN_GetFPBmpData, true)        \
  X(LIVESCAN_GetPreviewImageSize, false) \
  X(LIVESCAN_IsSupportPreview, false)   \
  X(LIVESCAN_GetPreviewData, false)     \
  X(LIVESCAN_Get_Version, true)         \
  X(LIVESCAN_FeatureExtractMem, true)   \
  X(LIVESCAN_FeatureMatchMem, true)     \
  Y(LIVESCAN_GetQuality, false)         \
  X(LIVESCAN_SaveToFile, false)         \
  Y(LIVESCAN_LoadFromFile, false)       \
  X(LIVESCAN_GetProductInfo, false)     \
  X(LIVESCAN_AccessLamp, false)         \
  X(LIVESCAN_GetUserSpace, false)       \
  Y(LIVESCAN_WriteUserData, false)      \
  Y(LIVESCAN_ReadUserData, false)       \
  Y(LIVESCAN_Compress, false)           \
  Y(LIVESCAN_Decompress, false)         \
  X(LIVESCAN_SetActiveDev, false)       \
  X(LIVESCAN_GetDevCount, true)         \
  X(LIVESCAN_InitEx, false)             \
  X(LIVESCAN_SetImgAttr, true)          \
  X(LIVESCAN_GetImgAttr, false)         \
  X(LIVESCAN_RawToBmp, false)           \
  X(LIVESCAN_BmpToRaw, false)

class CBelnor {
 public:
  CBelnor();
  ~CBelnor();
  CBelnor(const CBelnor &) = delete;
  CBelnor &operator=(const CBelnor &) = delete;

  // Loads the file and resolves every export; false (nothing left loaded
  // or resolved) when it is missing, does not load or lacks a required name.
  bool Bind(const QString &path);
  // Unloads the library and nulls every pointer.
  void Unbind();

  QLibrary lib;
#define X(name, required) decltype(&::name) name = nullptr;
#define Y(name, required) QFunctionPointer name = nullptr;
  BELNOR_EXPORTS(X, Y)
#undef X
#undef Y

  // Steps of BindLibrary (library_file.h).
  void Resolve();
  bool HasRequired() const;
  void Null();
};

extern CBelnor belnor;
