// Loading one library file beside the program, as the bindings do.
#pragma once

#include <QLibrary>
#include <QString>

// The path of a library in the program's own directory.
QString LibraryPath(const char *fileName);

// Loads path into lib: false when no file exists there or it does not load.
bool LoadLibraryFile(QLibrary &lib, const QString &path);

// Unloads lib if it is loaded.
void UnloadLibraryFile(QLibrary &lib);

// Resolves one export into a typed pointer (null when it is missing).
template <class F>
void ResolveExport(QLibrary &lib, const char *name, F &pointer) {
  pointer = reinterpret_cast<F>(lib.resolve(name));
}

// Binds a library object (its lib, Resolve, HasRequired, Unbind): loads the
// file, resolves every name, and refuses it (unloaded, all pointers null)
// when a required name is missing.
template <class Binding>
bool BindLibrary(Binding &binding, const QString &path) {
  if (!LoadLibraryFile(binding.lib, path)) return false;
  binding.Resolve();
  if (binding.HasRequired()) return true;
  binding.Unbind();
  return false;
}
