// Driving scanbench's window in-process (offscreen): the window in its
// shell, answering modal boxes and dialogs, waiting with the event loop.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "mainwindow.h"
#include "shellwidget.h"

namespace scanbench_test {

struct BoxSeen {
  QMessageBox::Icon icon;
  QString title, text;
};

// Answers every modal window that opens: message boxes are recorded and
// closed with OK; file dialogs take the next queued answer (an empty one
// cancels).
class ModalAnswerer : public QObject {
 public:
  ModalAnswerer();
  std::vector<BoxSeen> boxes;
  QStringList fileAnswers;

 private:
  void Poll();
  QTimer timer_;
};

// How long a test waits by default: generous, as the machine may be busy,
// and longer under the sanitizers.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kPatienceMs = 60000;
#else
constexpr int kPatienceMs = 30000;
#endif

// Runs the event loop until cond holds or ms pass; cond's last value.
bool WaitFor(const std::function<bool()> &cond, int ms = kPatienceMs);

// The program's window as main builds it.
struct Scanbench {
  Scanbench();
  ~Scanbench();
  template <class T>
  T *Find(const char *name) const {
    return window->findChild<T *>(QString::fromLatin1(name));
  }
  void Click(const char *button);
  QString StatusText() const;
  // Waits for the capture thread to draw an image of w x h.
  bool WaitForImage(int w, int h, int ms = kPatienceMs);

  std::unique_ptr<ShellWidget> shell;
  MainWindow *window;
  ModalAnswerer answerer;
};

// The directory the test program (and so scanbench's code) runs from.
QString AppDir();

}  // namespace scanbench_test
