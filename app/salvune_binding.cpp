#include "salvune_binding.h"

#include "binding_steps.h"

CSalvune split;

DEFINE_BINDING_STEPS(CSalvune, SALVUNE_EXPORTS)

CSalvune::CSalvune() { UnloadLibraryFile(lib); }

CSalvune::~CSalvune() { Unbind(); }

bool CSalvune::Bind(const QString &path) { return BindLibrary(*this, path); }

void CSalvune::Unbind() {
  UnloadLibraryFile(lib);
  Null();
}
