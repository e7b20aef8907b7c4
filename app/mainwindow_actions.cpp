// Save, Feature and Match on a copy of the image on screen.
#include <QFileDialog>
#include <QMessageBox>
#include <cstdio>
#include <memory>
#include <vector>

#include "app_state.h"
#include "belnor_binding.h"
#include "mainwindow.h"
#include "qtext.h"

namespace {

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
