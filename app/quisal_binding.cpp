#include "quisal_binding.h"

#include "binding_steps.h"

CQuisal quisal;

DEFINE_BINDING_STEPS(CQuisal, QUISAL_EXPORTS)

CQuisal::CQuisal() { UnloadLibraryFile(lib); }

CQuisal::~CQuisal() {
  if (loaded) Unbind();
}

bool CQuisal::Bind(const QString &path) {
  loaded = BindLibrary(*this, path);
  return loaded;
}

void CQuisal::Unbind() {
  UnloadLibraryFile(lib);
  loaded = false;
  Null();
}
