// Open and Close: binding the three libraries, the scanner and the capture
// thread.
#include <QLabel>
#include <QMessageBox>
#include <cstdio>
#include <cstring>

#include "app_state.h"
#include "belnor_binding.h"
#include "capture_modes.h"
#include "capture_thread.h"
#include "library_file.h"
#include "mainwindow.h"
#include "qtext.h"
#include "quisal_binding.h"
#include "salvune_binding.h"
#include "ui_mainwindow.h"

namespace {

// Closes the device after a failed later step; the capture library stays bound.
void RefuseLibrary(QWidget *parent, const QString &path) {
  belnor.LIVESCAN_Close();
  QMessageBox::critical(parent, QTEXT("Error", ""), QTEXT("Failed to load ", "加载失败") + path);
}

}  // namespace

bool MainWindow::BindLibraries() {
  const QString belnorPath = LibraryPath("libbelnor.so");
  if (!belnor.lib.isLoaded() && !belnor.Bind(belnorPath)) {
    QMessageBox::critical(this, QTEXT("Error", "错误"),
                          QTEXT("Failed load library", "载入动态库失败") + belnorPath);
    return false;
  }
  const int rc = belnor.LIVESCAN_Init();
  if (rc != 1) {
    char text[256] = {};
    belnor.LIVESCAN_GetErrorInfo(rc, text);
    // A failed Init may leave the device streaming (-107): it must be closed
    // before its code is unmapped.
    belnor.LIVESCAN_Close();
    QMessageBox::warning(this, QTEXT("Warning", ""), QString::fromLocal8Bit(text));
    belnor.Unbind();
    g_bInit = false;
    return false;
  }
  const QString quisalPath = LibraryPath("libquisal.so");
  if (!(quisal.loaded && quisal.MOSAIC_Init) && !quisal.Bind(quisalPath)) {
    RefuseLibrary(this, quisalPath);
    return false;
  }
  const QString splitPath = LibraryPath("libsalvune.so");
  if (!split.lib.isLoaded() && !split.Bind(splitPath)) {
    RefuseLibrary(this, splitPath);
    return false;
  }
  const int mc = quisal.MOSAIC_Init();
  if (mc < 0) {
    std::printf("quisal.MC_Init ret %d\n", mc);
    std::fflush(stdout);
    belnor.LIVESCAN_Close();
    QMessageBox::critical(this, QTEXT("Error", ""),
                          QTEXT("Mosaic function initialization failed", "拼接功能初始化失败"));
    return false;
  }
  return true;
}

void MainWindow::on_btnOpen_clicked() {
  if (g_bInit) return;
  if (!BindLibraries()) return;
  g_bInit = true;

  int width = 1600, height = 1500;
  if (ui->rb256->isChecked()) {
    width = 256, height = 360;
  } else if (ui->rb400->isChecked()) {
    width = 400, height = 400;
  } else if (ui->rbRoll->isChecked()) {
    width = 640, height = 640;
  }
  g_ImgW = width;
  g_ImgH = height;
  if (belnor.LIVESCAN_SetCaptWindow) belnor.LIVESCAN_SetCaptWindow(0, 0, 0, width, height);
  g_ChangeSize = -1;
  g_nRollMode = ui->rbRoll->isChecked() ? 3 : 4;
  // The white image until the first frame: of the window the library
  // delivers, as the capture thread reads it for every frame.
  DeliveredWindow(&width, &height);
  g_CurW = width;
  g_CurH = height;
  g_CurSlap = g_ImgW == kSlapWidth;

  ProductInfo record;
  if (belnor.LIVESCAN_GetProductInfo && belnor.LIVESCAN_GetProductInfo(0, &record) == 1) {
    // The serial is 16 characters with no terminator; the date bytes after
    // it are not text.
    char serial[17] = {};
    std::memcpy(serial, &record, 16);
    statusLabel->setText(QTEXT("Serial: ", "序列号: ") + QString::fromUtf8(serial));
  }
  if (!g_pImgBuf) g_pImgBuf = NewImageBuffer();

  pRcvDrawThread = std::make_unique<LoopRcvAndDraw>();
  connect(pRcvDrawThread.get(), &LoopRcvAndDraw::UpdateSignal, this, &MainWindow::UpdateSlot);
  pRcvDrawThread->start();
}

void MainWindow::on_btnClose_clicked() {
  if (pRcvDrawThread) {
    pRcvDrawThread->Stop();
    pRcvDrawThread->wait();
    pRcvDrawThread.reset();
  }
  if (g_bInit) belnor.LIVESCAN_Close();
  belnor.Unbind();
  if (quisal.loaded) {
    // Frees the library's maps before its code goes.
    if (quisal.MOSAIC_Close) quisal.MOSAIC_Close();
    quisal.Unbind();
  }
  quisal.Null();
  split.Unbind();
  g_pImgBuf.reset();
  ui->label->clear();
  statusLabel->setText("");
  g_bInit = false;
}
