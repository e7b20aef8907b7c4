// Drawing the image on screen into the image frame.
#include <QLabel>
#include <QPixmap>

#include "app_state.h"
#include "capture_thread.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"

namespace {

const QVector<QRgb> &GreyTable() {
  static const QVector<QRgb> table = [] {
    QVector<QRgb> t(256);
    for (int i = 0; i < 256; ++i) t[i] = 0xFF000000u + unsigned(i) * 0x010101u;
    return t;
  }();
  return table;
}

}  // namespace

void MainWindow::UpdateSlot(int) {
  LoopRcvAndDraw::drawPending = false;
  if (!g_pImgBuf) return;
  QPixmap pixmap;
  int w, h;
  {
    std::lock_guard<std::mutex> lock(g_Mutex);
    w = g_CurW;
    h = g_CurH;
    // The library's rows follow one another with nothing between them.
    QImage image(g_pImgBuf.get(), w, h, w, QImage::Format_Indexed8);
    image.setColorTable(GreyTable());
    pixmap = QPixmap::fromImage(image);
  }
  if (w <= 0 || h <= 0) return;
  const int W = ui->gbImage->width(), H = ui->gbImage->height();
  int d = W - 20;
  int e = h * d / w;
  if (e >= H - 19) {
    e = H - 20;
    d = w * e / h;
  }
  if (d * e != ui->label->width() * ui->label->height()) {
    ui->label->resize(d, e);
    ui->label->move((W - d) / 2, (H - e) / 2);
    ui->label->setScaledContents(true);
  }
  ui->label->setPixmap(pixmap);
  if (!g_bInit) ui->label->clear();
}
