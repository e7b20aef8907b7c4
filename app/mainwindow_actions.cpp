// Save, Feature, Match and Split on a copy of the image on screen.
#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <cstdio>
#include <memory>
#include <vector>

#include "app_state.h"
#include "belnor_binding.h"
#include "mainwindow.h"
#include "qtext.h"
#include "salvune_binding.h"

namespace {

constexpr int kFingerSide = 400;

// Writes the pixels alone; false when the file cannot be written whole.
bool WriteRawFile(const QByteArray &name, const unsigned char *pixels, size_t size) {
  FILE *file = std::fopen(name.constData(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(pixels, 1, size, file) == size;
  // A full disk often shows only when the buffer is flushed.
  return std::fclose(file) == 0 && written;
}

}  // namespace

void MainWindow::on_btnSave_clicked() {
  if (!g_bInit) return;
  const ImageCopy copy = CopyScreenImage(kImageBufferSize);
  const QString chosen = QFileDialog::getSaveFileName(this, QTEXT("save file dialog", "保存图像"),
                                                      "", "Images (*.bmp *.raw)");
  if (chosen.isEmpty()) return;
  QByteArray name = chosen.toLocal8Bit();
  if (!name.contains('.')) name += ".bmp";
  std::printf("file=%s\n", name.constData());
  std::fflush(stdout);
  bool saved = false;
  if (name.contains(".raw") || name.contains(".RAW")) {
    saved = WriteRawFile(name, copy.pixels.get(), size_t(copy.width) * size_t(copy.height));
  } else if ((name.contains(".bmp") || name.contains(".BMP")) && belnor.LIVESCAN_SaveToFile) {
    saved = belnor.LIVESCAN_SaveToFile(copy.pixels.get(), copy.width, copy.height,
                                       name.constData(), 0) > 0;
  }
  if (!saved)
    QMessageBox::critical(this, "Error",
                          QTEXT("Save %1 fail.", "保存 %1 失败").arg(QString::fromLocal8Bit(name)));
}

void MainWindow::ExtractFeature(unsigned char *feature, int *quality) {
  const ImageCopy copy = CopyScreenImage();
  const int bmpSize = copy.width * copy.height + 1078;
  std::vector<unsigned char> bmp(size_t(bmpSize), 0);
  if (belnor.LIVESCAN_RawToBmp)
    belnor.LIVESCAN_RawToBmp(copy.pixels.get(), copy.width, copy.height, bmp.data(), bmpSize);
  *quality = belnor.LIVESCAN_FeatureExtractMem(bmp.data(), bmpSize, feature);
}

void MainWindow::on_btnFeature_clicked() {
  if (!g_bInit) return;
  int quality = 0;
  ExtractFeature(g_Fea, &quality);
  QMessageBox::information(this, QString::fromUtf8("特征提取"),
                           QString::fromUtf8("指纹质量 %1").arg(quality));
}

void MainWindow::on_btnMatch_clicked() {
  if (!g_bInit) return;
  // Zero, so that a template the extraction refused is refused by the matcher.
  unsigned char feature[kTemplateSize] = {};
  int quality = 0;
  ExtractFeature(feature, &quality);
  float score = 0.0f;
  belnor.LIVESCAN_FeatureMatchMem(g_Fea, feature, &score);
  QMessageBox::information(this, QString::fromUtf8("指纹比对"),
                           QString::fromUtf8("指纹相似度 %1").arg(double(score), 0, 'g', 6));
}

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
    // The records hold ten fingers, whatever the library reports.
    const int saved = std::min(std::max(count, 0), kRecords);
    for (int i = 0; i < saved && split.SALVUNE_SaveToBmp; ++i) {
      const QString path = QCoreApplication::applicationDirPath() + QString("/%1.bmp").arg(i);
      split.SALVUNE_SaveToBmp(records[i].image, kFingerSide, kFingerSide,
                              path.toLocal8Bit().constData());
    }
    QMessageBox::information(this, "Information",
                             QString("Split the image completed, fingerprint num %1").arg(count));
  } else {
    QMessageBox::critical(this, "Error", QString("SALVUNE_DoSplit ret %1.").arg(rc));
  }
  split.SALVUNE_Uninit();
}
