// Split: a slap cut into single-finger files by the split library.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>
#include <algorithm>
#include <vector>

#include "app_state.h"
#include "mainwindow.h"
#include "salvune_binding.h"

namespace {

constexpr int kFingerSide = 400;

// Where Split writes the fingers: the program's folder, but an installed
// program's folder is the system's, so then where the user can write: the
// working directory, else the user's pictures folder. When none is
// writable, the program's folder, whose writes then fail and say so.
QString SplitFolder() {
  const QString program = QCoreApplication::applicationDirPath();
  if (QFileInfo(program).isWritable()) return program;
  if (QFileInfo(QDir::currentPath()).isWritable()) return QDir::currentPath();
  const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  if (!pictures.isEmpty() && QDir().mkpath(pictures) && QFileInfo(pictures).isWritable())
    return pictures;
  return program;
}

// One finger's file. Whatever the split library answers, the file must be
// there: an old one is removed first, so that it cannot pass for the new.
bool SaveFinger(const unsigned char *image, const QString &path) {
  if (!split.SALVUNE_SaveToBmp) return false;
  QFile::remove(path);
  const QByteArray name = path.toLocal8Bit();
  return split.SALVUNE_SaveToBmp(image, kFingerSide, kFingerSide, name.constData()) >= 0 &&
         QFileInfo(path).size() > 0;
}

}  // namespace

void MainWindow::on_btnSplit_clicked() {
  if (!g_bInit || !g_CurSlap) return;
  const ImageCopy copy = CopyScreenImage();
  // Split only a slap: the mode may have changed since the test above.
  if (!copy.slap) return;
  constexpr int kRecords = SALVUNE_MAX_FINGERS;
  std::vector<std::vector<unsigned char>> fingers(
      kRecords, std::vector<unsigned char>(size_t(kFingerSide) * kFingerSide, 255));
  SplitFingerInfo records[kRecords] = {};
  for (int i = 0; i < kRecords; ++i) records[i].image = fingers[i].data();

  split.SALVUNE_Init(copy.width, copy.height, 1);
  int count = 0;
  const int rc = split.SALVUNE_DoSplit(copy.pixels.get(), copy.width, copy.height, 1, kFingerSide,
                                       kFingerSide, &count, records);
  if (rc == 1) {
    const QString folder = SplitFolder();
    // The records hold ten fingers, whatever the library reports.
    const int saved = std::min(std::max(count, 0), kRecords);
    QString failed;
    for (int i = 0; i < saved && failed.isEmpty(); ++i) {
      const QString path = folder + QString("/%1.bmp").arg(i);
      if (!SaveFinger(records[i].image, path)) failed = path;
    }
    QString done = QString("Split the image completed, fingerprint num %1").arg(count);
    if (folder != QCoreApplication::applicationDirPath())
      done += QString("\nThe files are in %1").arg(folder);
    if (failed.isEmpty())
      QMessageBox::information(this, "Information", done);
    else
      QMessageBox::critical(this, "Error",
                            QString("Split the image failed: %1 cannot be written.").arg(failed));
  } else {
    QMessageBox::critical(this, "Error", QString("SALVUNE_DoSplit ret %1.").arg(rc));
  }
  split.SALVUNE_Uninit();
}
