// An X server of its own (Xvfb on a free display, its screen mapped to a
// file) and the xdotool calls that drive a program's window from outside.
#pragma once

#include <sys/types.h>

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

// Whether program is found on PATH.
bool OnPath(const QString &program);

class XSession {
 public:
  XSession() = default;
  ~XSession();
  XSession(const XSession &) = delete;
  XSession &operator=(const XSession &) = delete;

  // Starts Xvfb with a width x height x 24 screen on a display it finds free
  // itself, and waits until it accepts a connection; false (with why()) when
  // it does not come up.
  bool Start(int width, int height);
  QString display() const { return display_; }
  const QString &why() const { return why_; }

  // Runs xdotool with args on this display: its output, trimmed; null on a
  // failure or after 60 s.
  QString Xdotool(const QStringList &args) const;
  // The screen as it is now (null image when the file cannot be read).
  QImage Screen() const;

 private:
  pid_t pid_ = -1;
  QString display_;
  QString fbDir_;
  QString why_;
};

// The first visible window of class name, waiting up to 60 s: its id, or null.
QString FindWindow(const XSession &x, const QString &windowClass);
// A window's place on the screen (empty when unknown).
QRect WindowGeometry(const XSession &x, const QString &window);
// Clicks the left button at (px, py) inside window, then moves the pointer
// (drawn into the screen) to the screen's corner.
bool ClickAt(const XSession &x, const QString &window, int px, int py);
