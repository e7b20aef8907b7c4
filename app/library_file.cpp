#include "library_file.h"

#include <QCoreApplication>
#include <QFileInfo>

QString LibraryPath(const char *fileName) {
  return QCoreApplication::applicationDirPath() + "/" + QString::fromLatin1(fileName);
}

bool LoadLibraryFile(QLibrary &lib, const QString &path) {
  if (!QFileInfo::exists(path)) return false;
  lib.setFileName(path);
  return lib.load();
}

void UnloadLibraryFile(QLibrary &lib) {
  if (lib.isLoaded()) lib.unload();
}
