#include "x_session.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <chrono>
#include <cstring>
#include <thread>

bool OnPath(const QString &program) { return !QStandardPaths::findExecutable(program).isEmpty(); }

XSession::~XSession() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  if (!fbDir_.isEmpty()) QDir(fbDir_).removeRecursively();
}

bool XSession::Start(int width, int height) {
  QTemporaryDir dir(QDir::tempPath() + "/xsession-XXXXXX");
  dir.setAutoRemove(false);
  if (!dir.isValid()) {
    why_ = "no temporary folder";
    return false;
  }
  fbDir_ = dir.path();
  // -displayfd: the server picks a free display and writes its number there.
  // -noreset: by default the server resets whenever its last client leaves,
  // and drops a client connecting meanwhile (an xdotool call ending just as
  // scanbench connects).
  int fds[2];
  if (pipe(fds) != 0) {
    why_ = "no pipe";
    return false;
  }
  const QByteArray xvfb = QStandardPaths::findExecutable("Xvfb").toLocal8Bit();
  const QByteArray fd = QByteArray::number(fds[1]);
  const QByteArray screen = QString("%1x%2x24").arg(width).arg(height).toLatin1();
  const QByteArray fbdir = fbDir_.toLocal8Bit();
  const char *argv[] = {xvfb.constData(), "-displayfd", fd.constData(), "-screen", "0",
                        screen.constData(), "-fbdir", fbdir.constData(), "-nolisten", "tcp",
                        "-noreset", nullptr};
  pid_ = fork();
  if (pid_ == 0) {
    close(fds[0]);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    execv(argv[0], const_cast<char **>(argv));
    _exit(127);
  }
  close(fds[1]);
  if (pid_ < 0) {
    close(fds[0]);
    why_ = "fork failed";
    return false;
  }
  QByteArray number;
  char c;
  for (;;) {
    const ssize_t n = read(fds[0], &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n != 1 || c == '\n') break;
    number += c;
  }
  close(fds[0]);
  if (number.isEmpty()) {
    why_ = "Xvfb did not start";
    return false;
  }
  display_ = ":" + QString::fromLatin1(number);
  // The number comes as the server gets ready; scanbench is started only
  // once a client of ours got in.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (Xdotool({"getdisplaygeometry"}).isNull()) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      why_ = "Xvfb on " + display_ + " ended before it accepted a connection";
      return false;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      why_ = "Xvfb on " + display_ + " accepted no connection within 60 s";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

QString XSession::Xdotool(const QStringList &args) const {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("DISPLAY", display_);
  p.setProcessEnvironment(env);
  p.start("xdotool", args);
  if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
    p.kill();
    p.waitForFinished();
    return QString();
  }
  const QString out = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
  return out.isNull() ? QString("") : out;
}

// The screen file is an XWD image: a header of 25 big-endian words, the
// window name, the colour map, then the pixels.
QImage XSession::Screen() const {
  QFile file(fbDir_ + "/Xvfb_screen0");
  if (!file.open(QIODevice::ReadOnly)) return QImage();
  const QByteArray data = file.readAll();
  if (data.size() < 100) return QImage();
  auto word = [&](int i) { return qFromBigEndian<quint32>(data.constData() + 4 * i); };
  const quint32 headerSize = word(0), depth = word(3), width = word(4), height = word(5);
  const quint32 byteOrder = word(7), bitsPerPixel = word(11), bytesPerLine = word(12);
  const quint32 colours = word(19);
  const qint64 offset = qint64(headerSize) + qint64(colours) * 12;
  if (depth != 24 || bitsPerPixel != 32 || byteOrder != 0 || bytesPerLine < width * 4 ||
      offset + qint64(bytesPerLine) * height > data.size())
    return QImage();
  // Least significant byte first, 0x00RRGGBB: QImage's RGB32 on this host.
  QImage image(int(width), int(height), QImage::Format_RGB32);
  for (quint32 y = 0; y < height; ++y)
    std::memcpy(image.scanLine(int(y)), data.constData() + offset + qint64(y) * bytesPerLine,
                width * 4);
  return image;
}

QString FindWindow(const XSession &x, const QString &windowClass) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    const QString found = x.Xdotool({"search", "--onlyvisible", "--class", windowClass});
    if (!found.isEmpty()) return found.split('\n').first();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return QString();
}

QRect WindowGeometry(const XSession &x, const QString &window) {
  const QString shell = x.Xdotool({"getwindowgeometry", "--shell", window});
  auto value = [&](const char *name) {
    const auto m = QRegularExpression(QString("^%1=(\\d+)$").arg(name),
                                      QRegularExpression::MultilineOption)
                       .match(shell);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
  };
  const int left = value("X"), top = value("Y"), width = value("WIDTH"), height = value("HEIGHT");
  if (left < 0 || top < 0 || width <= 0 || height <= 0) return QRect();
  return QRect(left, top, width, height);
}

bool ClickAt(const XSession &x, const QString &window, int px, int py) {
  return !x.Xdotool({"mousemove", "--window", window, "--sync", QString::number(px),
                     QString::number(py), "click", "1", "mousemove", "0", "0"})
              .isNull();
}
