#include "belnor_binding.h"

#include "binding_steps.h"

CBelnor belnor;

#define BELNOR_EACH(X) BELNOR_EXPORTS(X, X)
DEFINE_BINDING_STEPS(CBelnor, BELNOR_EACH)

CBelnor::CBelnor() { UnloadLibraryFile(lib); }

CBelnor::~CBelnor() { Unbind(); }

bool CBelnor::Bind(const QString &path) { return BindLibrary(*this, path); }

void CBelnor::Unbind() {
  UnloadLibraryFile(lib);
  Null();
}
