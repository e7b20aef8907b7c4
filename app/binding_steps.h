// The three steps every binding class runs over its export list
// EACH(X), X(name, required): resolve, check the required names, null.
#pragma once

#include "library_file.h"

#define BINDING_RESOLVE(name, required) ResolveExport(lib, #name, name);
#define BINDING_REQUIRE(name, required) ok = ok && (!(required) || name != nullptr);
#define BINDING_NULL(name, required) name = nullptr;

#define DEFINE_BINDING_STEPS(Class, EACH) \
  void Class::Resolve() { EACH(BINDING_RESOLVE) } \
  bool Class::HasRequired() const {       \
    bool ok = true;                       \
    EACH(BINDING_REQUIRE)                 \
    return ok;                            \
  }                                       \
  void Class::Null() { EACH(BINDING_NULL) }
