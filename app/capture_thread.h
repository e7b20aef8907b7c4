// The capture thread: fetches frames, stitches rolled prints and hands the
// image to show to the GUI thread.
#pragma once

#include <QThread>
#include <atomic>

// The window the capture library delivers, which need not be the size asked
// for: its frames have this size. False for a window the image buffers
// cannot hold (a type 4 scanner keeps 2304 x 2304), which is not fetched.
bool DeliveredWindow(int *width, int *height);

class LoopRcvAndDraw : public QThread {
  Q_OBJECT

 public:
  LoopRcvAndDraw() = default;

  void Stop() { stop_ = true; }
  // Cleared by the drawing slot, so that a slow GUI gets one pending update.
  static std::atomic<bool> drawPending;

 signals:
  void UpdateSignal(int num);

 protected:
  void run() override;

 private:
  void ApplyModeChange();

  std::atomic<bool> stop_{false};
};
