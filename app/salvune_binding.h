// Binding of the outside split library libsalvune: its exports by name.
#pragma once

#include <QLibrary>

#include "salvune.h"

#define SALVUNE_EXPORTS(X)          \
  X(SALVUNE_Init, true)             \
  X(SALVUNE_Uninit, true)           \
  X(SALVUNE_DoSplit, true)          \
  X(SALVUNE_JudegeFingers, false)   \
  X(SALVUNE_SaveToBmp, false)

class CSalvune {
 public:
  CSalvune();
  ~CSalvune();
  CSalvune(const CSalvune &) = delete;
  CSalvune &operator=(const CSalvune &) = delete;

  // As CBelnor::Bind.
  bool Bind(const QString &path);
  void Unbind();

  QLibrary lib;
#define X(name, required) decltype(&::name) name = nullptr;
  SALVUNE_EXPORTS(X)
#undef X

  // Steps of BindLibrary (library_file.h).
  void Resolve();
  bool HasRequired() const;
  void Null();
};

extern CSalvune split;
