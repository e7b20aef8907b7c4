#include "scanbench_harness.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QElapsedTimer>
#include <QThread>
#include <cstring>

#include "app_state.h"
#include "capture_thread.h"

namespace scanbench_test {

ModalAnswerer::ModalAnswerer() {
  connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::Poll);
  timer_.start(10);
}

void ModalAnswerer::Poll() {
  QWidget *modal = QApplication::activeModalWidget();
  if (auto *box = qobject_cast<QMessageBox *>(modal)) {
    boxes.push_back({box->icon(), box->windowTitle(), box->text()});
    box->done(QMessageBox::Ok);
  } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
    const QString answer = fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
    if (answer.isEmpty()) {
      dialog->reject();
    } else {
      // The whole path typed as the name: selectFile() and accept() depend
      // on the folder view, which fills in the background.
      if (auto *name = dialog->findChild<QLineEdit *>("fileNameEdit")) name->setText(answer);
      static_cast<QDialog *>(dialog)->done(QDialog::Accepted);
    }
  }
}

bool WaitFor(const std::function<bool()> &cond, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (!cond()) {
    if (clock.elapsed() > ms) return cond();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(2);
  }
  return true;
}

Scanbench::Scanbench() : shell(std::make_unique<ShellWidget>()), window(new MainWindow) {
  // A draw still queued for the previous test's window never reached it:
  // this window would wait for it forever.
  LoopRcvAndDraw::drawPending = false;
  shell->setMainWidget(window);
  QObject::connect(shell.get(), &ShellWidget::closing, window, &MainWindow::on_btnClose_clicked,
                   Qt::DirectConnection);
  shell->setTitle(window->windowTitle());
  shell->show();
}

Scanbench::~Scanbench() {
  window->on_btnClose_clicked();
  std::memset(g_Fea, 0, sizeof g_Fea);
}

void Scanbench::Click(const char *button) { Find<QAbstractButton>(button)->click(); }

QString Scanbench::StatusText() const {
  const QList<QLabel *> labels = window->statusBar()->findChildren<QLabel *>();
  return labels.isEmpty() ? QString("<none>") : labels.first()->text();
}

bool Scanbench::WaitForImage(int w, int h, int ms) {
  QLabel *label = Find<QLabel>("label");
  return WaitFor(
      [&] {
        const QPixmap shown = label->pixmap(Qt::ReturnByValue);
        return g_CurW == w && g_CurH == h && shown.width() == w && shown.height() == h;
      },
      ms);
}

QString AppDir() { return QCoreApplication::applicationDirPath(); }

}  // namespace scanbench_test
