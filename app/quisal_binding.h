// Binding of the mosaic library libquisal: its exports by name.
#pragma once

#include <QLibrary>

#include "mosaic.h"

#define QUISAL_EXPORTS(X)                  \
  X(MOSAIC_Init, true)                     \
  X(MOSAIC_Close, true)                    \
  X(MOSAIC_IsSupportIdentifyFinger, false) \
  X(MOSAIC_IsSupportImageQuality, false)   \
  X(MOSAIC_IsSupportFingerQuality, false)  \
  X(MOSAIC_IsSupportImageEnhance, false)   \
  X(MOSAIC_IsSupportRollCap, false)        \
  X(MOSAIC_SetRollMode, false)             \
  X(MOSAIC_Start, false)                   \
  X(MOSAIC_DoMosaic, true)                 \
  X(MOSAIC_Stop, false)                    \
  X(MOSAIC_ImageQuality, false)            \
  X(MOSAIC_FingerQuality, false)           \
  X(MOSAIC_ImageEnhance, false)            \
  X(MOSAIC_IsFinger, false)                \
  X(MOSAIC_GetErrorInfo, false)            \
  X(MOSAIC_GetVersion, false)              \
  X(MOSAIC_GetDesc, false)

class CQuisal {
 public:
  CQuisal();
  ~CQuisal();
  CQuisal(const CQuisal &) = delete;
  CQuisal &operator=(const CQuisal &) = delete;

  // As CBelnor::Bind; sets the loaded flag on success.
  bool Bind(const QString &path);
  // Unloads the library, clears the loaded flag and nulls every pointer.
  void Unbind();

  QLibrary lib;
  bool loaded = false;
#define X(name, required) decltype(&::name) name = nullptr;
  QUISAL_EXPORTS(X)
#undef X

  // Steps of BindLibrary (library_file.h).
  void Resolve();
  bool HasRequired() const;
  void Null();
};

extern CQuisal quisal;
