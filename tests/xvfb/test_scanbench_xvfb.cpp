// scanbench itself under a real X server (Xvfb), driven from outside with
// xdotool, over the virtual scanner, in the default and the Chinese locale,
// and on scanners of types 1 and 2: Open, then each of the six modes; each
// step waits until the image area shows the picture the scanner delivers
// with a finger in it, and its screenshot is kept.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <thread>

#include "x_session.h"

namespace {

// Places inside the window (900 x 712): the six mode buttons' indicators,
// top to bottom, and the Open and Close buttons. The form's group box and
// buttons have fixed heights, so these do not move with the font.
constexpr int kRadioX = 28;
constexpr int kRadioY[6] = {73, 98, 124, 149, 175, 200};
constexpr QPoint kOpen(82, 254);
constexpr QPoint kClose(82, 484);

// A grey level below this is a ridge (the bare platen is near white, and
// shows none: a dark share of 0.0000).
constexpr int kDark = 100;

struct Step {
  const char *name;
  int radio;  // index into kRadioY; -1: the Open button
  // The picture on scanners of type 5 (the mode's size), 1 and 2: the
  // window the capture library delivers. Type 2 has one; type 1 refuses a
  // slap's window and keeps the one it had.
  QSize size[3];
  bool rolled;
  // The least share of dark pixels in the image area that counts as the
  // mode's finger(s): one finger in a wide window is about 1 %, four about
  // 3 %, a finger filling a single-finger window 10 % or more.
  double minShare;
};

// Open in the form's default mode (left four fingers, laid down with no lamp
// lit), then every mode. Rolled follows a wide mode, so that its square
// picture is told apart.
const Step kSteps[] = {
    {"open", -1, {{1600, 1500}, {640, 640}, {256, 360}}, false, 0.02},
    {"thumbs", 4, {{1600, 1500}, {640, 640}, {256, 360}}, false, 0.005},
    {"right-four", 5, {{1600, 1500}, {640, 640}, {256, 360}}, false, 0.005},
    {"rolled-640x640", 2, {{640, 640}, {640, 640}, {256, 360}}, true, 0.03},
    {"flat-256x360", 0, {{256, 360}, {256, 360}, {256, 360}}, false, 0.03},
    {"flat-400x400", 1, {{400, 400}, {400, 400}, {256, 360}}, false, 0.03},
    {"left-four", 3, {{1600, 1500}, {400, 400}, {256, 360}}, false, 0.005},
};

// The image frame's inside: the white rectangle around the window's middle
// before anything is drawn there (the longest white run across, then down).
QRect FindImageArea(const QImage &window) {
  auto longestRun = [](int count, auto white) {
    int best = 0, bestStart = 0, start = 0;
    for (int i = 0; i <= count; ++i) {
      if (i < count && white(i)) continue;
      if (i - start > best) best = i - start, bestStart = start;
      start = i + 1;
    }
    return std::make_pair(bestStart, best);
  };
  const int y = window.height() / 2;
  const auto across = longestRun(window.width(), [&](int x) { return window.pixel(x, y) == 0xFFFFFFFFu; });
  const int x = across.first + across.second / 2;
  const auto down = longestRun(window.height(), [&](int yy) { return window.pixel(x, yy) == 0xFFFFFFFFu; });
  return QRect(across.first, down.first, across.second, down.second);
}

// Where scanbench draws a width x height picture inside the image frame
// (whose 1-pixel border surrounds area), in window coordinates.
QRect PictureRect(const QRect &area, int width, int height) {
  const int W = area.width() + 2, H = area.height() + 2;
  int d = W - 20;
  int e = height * d / width;
  if (e >= H - 19) {
    e = H - 20;
    d = width * e / height;
  }
  return QRect(area.left() - 1 + (W - d) / 2, area.top() - 1 + (H - e) / 2, d, e);
}

struct Picture {
  QRect drawn;        // the pixels that are not white
  double darkShare;   // of the whole image area
};

Picture Measure(const QImage &window, const QRect &area) {
  int left = area.right(), top = area.bottom(), right = area.left(), bottom = area.top();
  qint64 dark = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    const QRgb *row = reinterpret_cast<const QRgb *>(window.constScanLine(y));
    for (int x = area.left(); x <= area.right(); ++x) {
      const int grey = qGray(row[x]);
      if (grey < kDark) ++dark;
      if (grey >= 250) continue;
      left = std::min(left, x), right = std::max(right, x);
      top = std::min(top, y), bottom = std::max(bottom, y);
    }
  }
  const QRect drawn = right >= left ? QRect(QPoint(left, top), QPoint(right, bottom)) : QRect();
  return {drawn, double(dark) / (double(area.width()) * area.height())};
}

bool Near(const QRect &a, const QRect &b, int slack) {
  return std::abs(a.left() - b.left()) <= slack && std::abs(a.top() - b.top()) <= slack &&
         std::abs(a.right() - b.right()) <= slack && std::abs(a.bottom() - b.bottom()) <= slack;
}

// The mode button whose indicator is filled (the darkest), or -1.
int CheckedRadio(const QImage &window) {
  int best = -1, bestGrey = 200;
  for (int i = 0; i < 6; ++i) {
    const int grey = qGray(window.pixel(kRadioX, kRadioY[i]));
    if (grey < bestGrey) best = i, bestGrey = grey;
  }
  return best;
}

QString Describe(const Picture &p) {
  return QString("drawn %1x%2 at %3,%4, dark share %5")
      .arg(p.drawn.width())
      .arg(p.drawn.height())
      .arg(p.drawn.left())
      .arg(p.drawn.top())
      .arg(p.darkShare, 0, 'f', 4);
}

class ScanbenchOnX : public testing::Test {
 protected:
  void SetUp() override {
    for (const char *tool : {"Xvfb", "xdotool"})
      if (!OnPath(tool))
        GTEST_SKIP() << tool << " is not installed (tools/deps.sh installs it): scanbench is "
                     << "not run under a real X server here";
    ASSERT_TRUE(x_.Start(1280, 1024)) << x_.why().toStdString();
    QDir().mkpath(SCANBENCH_SCREENSHOTS);
  }

  void TearDown() override {
    if (app_.state() != QProcess::NotRunning) {
      app_.terminate();
      if (!app_.waitForFinished(30000)) app_.kill();
      app_.waitForFinished();
    }
  }

  // Starts scanbench over the virtual scanner device with the locale lang.
  // The scanner's flash holds a product record, so that the status bar
  // shows its serial.
  void StartScanbench(const QString &lang, const QString &device) {
    const QString flash = runtime_.filePath("flash.bin");
    ASSERT_EQ(QProcess::execute(SCANBENCH_VSCANNER_DIR "/vscanner-factory",
                                {"--model", device, "--out", flash, "--serial",
                                 "XV00000000000016", "--calib", "none"}),
              0);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The virtual scanner as it comes (its default scene).
    for (const QString &name : env.keys())
      if (name.startsWith("VSCANNER_")) env.remove(name);
    env.insert("VSCANNER_DEVICES", device);
    env.insert("VSCANNER_FLASH", flash);
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE", "QT_QPA_PLATFORM"}) env.remove(name);
    env.insert("LANG", lang);
    env.insert("DISPLAY", x_.display());
    env.insert("LD_LIBRARY_PATH", SCANBENCH_VSCANNER_DIR);
    env.insert("XDG_RUNTIME_DIR", runtime_.path());
    app_.setProcessEnvironment(env);
    app_.setWorkingDirectory(runtime_.path());
    app_.setProcessChannelMode(QProcess::ForwardedChannels);
    app_.start(SCANBENCH_PROGRAM, QStringList());
    ASSERT_TRUE(app_.waitForStarted(30000)) << "scanbench did not start";
    window_ = FindWindow(x_, "scanbench");
    ASSERT_FALSE(window_.isEmpty()) << "no scanbench window on " << x_.display().toStdString();
    place_ = WindowGeometry(x_, window_);
    ASSERT_FALSE(place_.isEmpty());
  }

  QImage Shot() const { return x_.Screen().copy(place_); }

  void Save(const QImage &image, const QString &name) const {
    image.save(QString(SCANBENCH_SCREENSHOTS "/%1-%2.png").arg(locale_, name));
  }

  // Waits (up to 90 s) until the window shows step's picture with a finger
  // in four looks in a row (a second), so that the screenshot kept shows the
  // mode settled, its lamps' fingers in place.
  void AwaitStep(const Step &step) {
    int inARow = 0;
    const QSize size = step.size[type_];
    const QRect expected = PictureRect(area_, size.width(), size.height());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    QImage shot;
    Picture seen{};
    int checked = -1;
    while (std::chrono::steady_clock::now() < deadline) {
      shot = Shot();
      seen = Measure(shot, area_);
      checked = CheckedRadio(shot);
      // A rolled print is drawn on white inside the square picture, and is
      // a finger's size, not a sliver; a flat picture fills its rectangle
      // with the platen.
      const bool shape =
          step.rolled ? expected.adjusted(-3, -3, 3, 3).contains(seen.drawn) &&
                            seen.drawn.width() >= expected.width() * 35 / 100 &&
                            seen.drawn.height() >= expected.height() * 40 / 100
                      : Near(seen.drawn, expected, 3);
      const bool mode = step.radio < 0 || checked == step.radio;
      const bool finger = !seen.drawn.isEmpty() && seen.darkShare >= step.minShare;
      inARow = mode && shape && finger ? inARow + 1 : 0;
      if (inARow == 4) {
        Save(shot, step.name);
        std::printf("%s %s: %s\n", locale_.toUtf8().constData(), step.name,
                    Describe(seen).toUtf8().constData());
        return;
      }
      ASSERT_FALSE(app_.waitForFinished(250)) << "scanbench ended at step " << step.name;
    }
    Save(shot, QString(step.name) + "-failed");
    FAIL() << "step " << step.name << ": no " << size.width() << "x" << size.height()
           << " picture with a finger (dark share " << step.minShare
           << ") within 90 s (mode button " << checked << " checked, "
           << Describe(seen).toStdString() << "; expected the picture at "
           << expected.left() << "," << expected.top() << " " << expected.width() << "x"
           << expected.height() << ")";
  }

  // type: 0 for the default scanner (type 5), 1 or 2 for a scanner of that
  // type, whose screenshots are named after it.
  void RunAllModes(const QString &lang, const QString &locale, const QString &title, int type = 0) {
    static const char *const kDevices[3] = {"8899:1003", "8899:1001", "8899:1002"};
    locale_ = type ? QString("%1-type%2").arg(locale).arg(type) : locale;
    type_ = type;
    ASSERT_NO_FATAL_FAILURE(StartScanbench(lang, kDevices[type]));
    EXPECT_EQ(x_.Xdotool({"getwindowname", window_}), title);
    // The pointer (drawn into the screen) out of the way, then the form as
    // it first shows: an empty image frame over most of the window.
    ASSERT_FALSE(x_.Xdotool({"mousemove", "0", "0"}).isNull());
    const auto shown = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    QImage before = Shot();
    area_ = FindImageArea(before);
    while ((area_.width() < place_.width() / 2 || area_.height() < place_.height() / 2) &&
           std::chrono::steady_clock::now() < shown) {
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
      before = Shot();
      area_ = FindImageArea(before);
    }
    Save(before, "start");
    ASSERT_GT(area_.width(), place_.width() / 2) << "no empty image frame in the window";
    ASSERT_GT(area_.height(), place_.height() / 2) << "no empty image frame in the window";
    for (const Step &step : kSteps) {
      const QPoint at = step.radio < 0 ? kOpen : QPoint(kRadioX, kRadioY[step.radio]);
      ASSERT_TRUE(ClickAt(x_, window_, at.x(), at.y())) << "xdotool could not click";
      ASSERT_NO_FATAL_FAILURE(AwaitStep(step));
    }
    // Close clears the image.
    ASSERT_TRUE(ClickAt(x_, window_, kClose.x(), kClose.y()));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    Picture seen = Measure(Shot(), area_);
    while (!seen.drawn.isEmpty() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
      seen = Measure(Shot(), area_);
    }
    Save(Shot(), "closed");
    EXPECT_TRUE(seen.drawn.isEmpty()) << "after Close: " << Describe(seen).toStdString();
  }

  XSession x_;
  QTemporaryDir runtime_;
  QProcess app_;
  QString window_;
  QRect place_;
  QRect area_;
  QString locale_;
  int type_ = 0;
};

TEST_F(ScanbenchOnX, DefaultLocaleShowsAFingerInEveryMode) {
  RunAllModes("C.UTF-8", "en", "K530V 4-Fingerprint Scanner 1.0");
}

TEST_F(ScanbenchOnX, ChineseLocaleShowsAFingerInEveryMode) {
  RunAllModes("zh_CN.UTF-8", "zh", QString::fromUtf8("K530V 四指采集仪 1.0"));
}

TEST_F(ScanbenchOnX, Type1ScannerShowsWhatItDeliversInEveryMode) {
  RunAllModes("C.UTF-8", "en", "K530V 4-Fingerprint Scanner 1.0", 1);
}

TEST_F(ScanbenchOnX, Type2ScannerShowsWhatItDeliversInEveryMode) {
  RunAllModes("C.UTF-8", "en", "K530V 4-Fingerprint Scanner 1.0", 2);
}

}  // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
