// scanbench end to end: the real capture library over the virtual scanner
// (type 5, 8899:1003, unless a test says otherwise), the real mosaic library
// and the stand-in split library, all loaded from the test program's folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QSize>
#include <QThread>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <functional>
#include <optional>
#include <vector>

#include "app_state.h"
#include "belnor_binding.h"
#include "capture_thread.h"
#include "finger_scene.h"
#include "quisal_binding.h"
#include "salvune_binding.h"
#include "scanbench_harness.h"
#include "vscanner_link.h"

using namespace scanbench_test;

namespace {

// Whether a grey image shows the w x h pixels, exactly.
bool Shows(const QImage &image, const std::vector<unsigned char> &pixels, int w, int h) {
  if (image.size() != QSize(w, h)) return false;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (qBlue(image.pixel(x, y)) != pixels[size_t(y) * w + x]) return false;
  return true;
}

class Capture : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.Loaded()) << "run with LD_LIBRARY_PATH at the virtual scanner";
    vscanner_testing::ResetScanner();
    ASSERT_TRUE(tmp.isValid());
  }
  // Opens with the radio `mode` checked and waits for its first image.
  void OpenIn(const char *mode, int w, int h) {
    app.Find<QRadioButton>(mode)->setChecked(true);
    app.Click("btnOpen");
    ASSERT_TRUE(app.answerer.boxes.empty()) << app.answerer.boxes[0].text.toStdString();
    ASSERT_TRUE(g_bInit);
    ASSERT_TRUE(app.WaitForImage(w, h));
  }
  // The share of pixels of the image on screen darker than 128.
  static double DarkShare() {
    const ImageCopy copy = CopyScreenImage();
    const size_t n = size_t(copy.width) * size_t(copy.height);
    return double(std::count_if(copy.pixels.get(), copy.pixels.get() + n,
                                [](unsigned char v) { return v < 128; })) /
           double(n);
  }
  QString LastBoxText() const {
    return app.answerer.boxes.empty() ? QString() : app.answerer.boxes.back().text;
  }
  // The held operator on a fresh scanner, bare until told otherwise.
  void HoldOperator(const char *device = "8899:1003", int type = 5) {
    ASSERT_EQ(sim.reset(device), 1);
    held = std::make_unique<HeldOperator>(7, type);
    ASSERT_TRUE(held->Install(sim.setScene));
  }
  // Counts scanbench's images from now on, each one a capture step.
  void CountImages() {
    ASSERT_TRUE(pRcvDrawThread);
    QObject::connect(pRcvDrawThread.get(), &LoopRcvAndDraw::UpdateSignal, app.window, [this](int) { ++images; },
                     Qt::DirectConnection);
  }
  // Clicks a mode's radio (none: "") and waits for a capture step after the
  // mode is applied, then until the image on screen, and the one drawn, has
  // the window the capture library reports and, when exact, is its frame
  // (a stitched print is not). The image.
  std::vector<unsigned char> SwitchTo(const char *radio, bool exact) {
    if (*radio) {
      app.Click(radio);
      EXPECT_TRUE(WaitFor([] { return g_ChangeSize == -1; })) << radio;
      const int seen = images;
      EXPECT_TRUE(WaitFor([&] { return images > seen; })) << radio;
    }
    const QLabel *label = app.Find<QLabel>("label");
    struct Frame {
      int w = 0, h = 0, rc = 0;
      std::vector<unsigned char> pixels;
    };
    Frame frame;
    std::vector<unsigned char> screen;
    EXPECT_TRUE(WaitFor([&] {
      const std::optional<Frame> next = BetweenSteps<Frame>([] {
        Frame f;
        int x, y;
        belnor.LIVESCAN_GetCaptWindow(0, &x, &y, &f.w, &f.h);
        f.pixels.resize(size_t(f.w) * f.h);
        f.rc = belnor.LIVESCAN_GetFPRawData(0, f.pixels.data());
        return f;
      });
      if (!next || next->rc != 1) return false;
      frame = *next;
      screen = ScreenPixels();
      return g_CurW == frame.w && g_CurH == frame.h && (!exact || screen == frame.pixels) &&
             Shows(label->pixmap(Qt::ReturnByValue).toImage(), screen, frame.w, frame.h);
    })) << radio << ": " << frame.w << "x" << frame.h << ", on screen " << g_CurW << "x" << g_CurH;
    return screen;
  }
  // Runs fn on the capture thread right after its next capture step, before
  // the one after, and gives what it returned (nothing if no step came).
  // Taking g_MutexCap from this thread instead can starve for a minute: the
  // capture thread takes it again the moment it lets go. fn owns what it
  // uses, as it may still run after a wait that gave up.
  template <class T>
  std::optional<T> BetweenSteps(std::function<T()> fn) {
    struct Run {
      std::function<T()> fn;
      std::atomic<bool> done{false};
      std::optional<T> result;
    };
    const auto run = std::make_shared<Run>();
    run->fn = std::move(fn);
    const QMetaObject::Connection c = QObject::connect(
        pRcvDrawThread.get(), &LoopRcvAndDraw::UpdateSignal, app.window,
        [run](int) {
          if (run->done) return;
          run->result = run->fn();
          run->done = true;
        },
        Qt::DirectConnection);
    const bool done = WaitFor([&] { return run->done.load(); }, 60000);
    QObject::disconnect(c);
    return done ? run->result : std::nullopt;
  }
  // Shows a state of the held operator and waits until scanbench has taken
  // frames sent after it (with a margin for frames still on their way).
  bool Take(const std::function<void()> &show) {
    const int64_t sent = sim.framesSent(0);
    show();
    if (!WaitFor([&] { return sim.framesSent(0) >= sent + 3; }, 60000)) return false;
    const int seen = images;
    return WaitFor([&] { return images >= seen + 4; }, 60000);
  }
  // In rolled mode: the held finger placed flat (restingFirst) or rolled
  // nail to nail, then lifted; the rolled radio is clicked again after
  // phase reclickAt. The screen after the lift, with the image before it.
  struct Print {
    std::vector<unsigned char> beforeLift, afterLift, later;
  };
  Print PlaceAndLift(bool resting, int reclickAt = -1) {
    Print p;
    EXPECT_TRUE(Take([&] { held->ShowAway(); }));
    const int steps = resting ? 1 : HeldOperator::RollPhases();
    for (int k = 0; k < steps; ++k) {
      EXPECT_TRUE(Take([&] { resting ? held->ShowResting() : held->ShowRollPhase(k); })) << k;
      if (k == reclickAt) {
        app.Click("rbRoll");
        EXPECT_TRUE(WaitFor([] { return g_ChangeSize == -1; }));
        EXPECT_TRUE(Take([&] { held->ShowRollPhase(k); }));
      }
    }
    p.beforeLift = ScreenPixels();
    EXPECT_TRUE(Take([&] { held->ShowAway(); }));
    p.afterLift = ScreenPixels();
    EXPECT_TRUE(Take([&] { held->ShowAway(); }));
    p.later = ScreenPixels();
    return p;
  }
  static std::vector<unsigned char> ScreenPixels() {
    const ImageCopy copy = CopyScreenImage();
    return std::vector<unsigned char>(copy.pixels.get(), copy.pixels.get() + size_t(copy.width) * copy.height);
  }

  VScannerLink sim;
  QTemporaryDir tmp;
  std::unique_ptr<HeldOperator> held;  // outlives the scanner
  std::atomic<int> images{0};
  Scanbench app;
};

// The share of an image's pixels darker than 128.
double DarkShareOf(const std::vector<unsigned char> &v) {
  return double(std::count_if(v.begin(), v.end(), [](unsigned char p) { return p < 128; })) / double(v.size());
}

// The 16 x 16 blocks of two w-wide images whose means differ by more than
// 40 grey levels (a frame taken twice may blend a seam again).
int DifferingBlocks(const std::vector<unsigned char> &a, const std::vector<unsigned char> &b,
                    int w = 640) {
  int differ = 0;
  for (int by = 0; by < int(a.size()) / w / 16; ++by)
    for (int bx = 0; bx < w / 16; ++bx) {
      int sa = 0, sb = 0;
      for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
          const size_t i = size_t(by * 16 + y) * w + size_t(bx * 16 + x);
          sa += a[i];
          sb += b[i];
        }
      differ += std::abs(sa - sb) > 40 * 256;
    }
  return differ;
}

// The extent of a print in a w-wide image: columns and rows of 16 x 16
// blocks with ridges in at least a quarter of their pixels.
QSize PrintExtent(const std::vector<unsigned char> &v, int w) {
  int x0 = w, x1 = -1, y0 = int(v.size()), y1 = -1;
  for (int by = 0; by < int(v.size()) / w / 16; ++by)
    for (int bx = 0; bx < w / 16; ++bx) {
      int dark = 0;
      for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) dark += v[size_t(by * 16 + y) * w + size_t(bx * 16 + x)] < 128;
      if (dark < 64) continue;
      x0 = std::min(x0, bx), x1 = std::max(x1, bx), y0 = std::min(y0, by), y1 = std::max(y1, by);
    }
  return x1 < 0 ? QSize() : QSize((x1 - x0 + 1) * 16, (y1 - y0 + 1) * 16);
}

TEST_F(Capture, OpenDrawsTheLiveImageAndCloseReleasesEverything) {
  OpenIn("rbLeft", 1600, 1500);
  EXPECT_EQ(sim.isStreaming(0), 1);
  EXPECT_TRUE(belnor.lib.isLoaded());
  EXPECT_TRUE(quisal.loaded);
  EXPECT_TRUE(split.lib.isLoaded());
  // Fitted into the frame, centred.
  QLabel *label = app.Find<QLabel>("label");
  const QWidget *frame = app.Find<QWidget>("gbImage");
  int d = frame->width() - 20, e = 1500 * d / 1600;
  if (e >= frame->height() - 19) {
    e = frame->height() - 20;
    d = 1600 * e / 1500;
  }
  EXPECT_EQ(label->geometry(), QRect((frame->width() - d) / 2, (frame->height() - e) / 2, d, e));

  const int opens = sim.openCount(0);
  app.Click("btnOpen");  // already open: nothing happens
  EXPECT_EQ(sim.openCount(0), opens);

  app.Click("btnClose");
  EXPECT_FALSE(g_bInit);
  EXPECT_FALSE(g_pImgBuf);
  EXPECT_FALSE(pRcvDrawThread);
  EXPECT_TRUE(label->pixmap(Qt::ReturnByValue).isNull());
  EXPECT_EQ(app.StatusText(), "");
  EXPECT_FALSE(belnor.lib.isLoaded());
  EXPECT_FALSE(belnor.LIVESCAN_Init);
  EXPECT_FALSE(quisal.loaded);
  EXPECT_FALSE(quisal.MOSAIC_DoMosaic);
  EXPECT_FALSE(split.lib.isLoaded());
  EXPECT_EQ(sim.isStreaming(0), 0);
  EXPECT_EQ(sim.openHandles(0), 0);

  // Open again: loaded afresh, a new capture thread draws.
  OpenIn("rb400", 400, 400);
  EXPECT_GT(sim.openCount(0), opens);
}

TEST_F(Capture, SerialShowsInTheStatusBar) {
  const QString flash = tmp.filePath("flash.bin");
  ASSERT_EQ(QProcess::execute(SCANBENCH_VSCANNER_DIR "/vscanner-factory",
                              {"--model", "8899:1003", "--out", flash, "--serial",
                               "SN0123456789ABCD", "--date", "2024-05-17", "--operator", "7"}),
            0);
  qputenv("VSCANNER_FLASH", flash.toLocal8Bit());
  ASSERT_EQ(sim.reset(nullptr), 1);
  OpenIn("rbLeft", 1600, 1500);
  // A serial that fills all 16 characters ends there, not in the date bytes.
  EXPECT_EQ(app.StatusText(), "Serial: SN0123456789ABCD");
  app.Click("btnClose");
  EXPECT_EQ(app.StatusText(), "");
}

TEST_F(Capture, EachModeSetsItsWindowAndLamps) {
  OpenIn("rbLeft", 1600, 1500);
  const struct {
    const char *radio;
    int w, h, lampA, lampB;
  } modes[] = {{"rbRight", 1600, 1500, 0x00, 0x03}, {"rbThumb", 1600, 1500, 0x08, 0x0A},
               {"rbLeft", 1600, 1500, 0x02, 0x02},  {"rb256", 256, 360, 0x00, 0x02},
               {"rb400", 400, 400, 0x00, 0x02},     {"rbRoll", 640, 640, 0x00, 0x02}};
  for (const auto &m : modes) {
    app.Click(m.radio);
    ASSERT_TRUE(WaitFor([] { return g_ChangeSize == -1; })) << m.radio;
    ASSERT_TRUE(app.WaitForImage(m.w, m.h)) << m.radio;
    EXPECT_EQ(g_ImgW, m.w);
    EXPECT_EQ(g_nRollMode, QString(m.radio) == "rbRoll" ? 3 : 4) << m.radio;
    // The lamps follow the window on the capture thread; consecutive modes
    // of one size show no change of image to wait for.
    WaitFor([&] {
      return sim.getRegister(0, 0x2043) == m.lampA && sim.getRegister(0, 0x204C) == m.lampB;
    });
    EXPECT_EQ(sim.getRegister(0, 0x2043), m.lampA) << m.radio;
    EXPECT_EQ(sim.getRegister(0, 0x204C), m.lampB) << m.radio;
  }
}

TEST_F(Capture, AWindowLargerThanTheImageBufferIsNotFetched) {
  // A capture library may keep a window larger than any mode asks for (a
  // type 4 scanner keeps 2304 x 2304); here the type 5 sensor frame, 2592 x
  // 1944, set between two capture steps.
  OpenIn("rbLeft", 1600, 1500);
  CountImages();
  ASSERT_EQ(BetweenSteps<int>([] { return belnor.LIVESCAN_SetCaptWindow(0, 0, 0, 2592, 1944); }), 1);
  // A step that ended before may still draw; after it the scanner's frames
  // come on and none is fetched.
  int64_t sent = sim.framesSent(0);
  ASSERT_TRUE(WaitFor([&] { return sim.framesSent(0) >= sent + 3; }, 60000));
  const int seen = images;
  sent = sim.framesSent(0);
  ASSERT_TRUE(WaitFor([&] { return sim.framesSent(0) >= sent + 5; }, 60000));
  EXPECT_EQ(images, seen);
  EXPECT_EQ(g_CurW, 1600);
  EXPECT_EQ(g_CurH, 1500);
  // A mode change sets a window that fits again, and the images come back.
  app.Click("rbThumb");
  EXPECT_TRUE(WaitFor([&] { return images > seen; }, 60000));
  // The rolled mode shows a window the mosaic library cannot take unstitched.
  app.Click("rbRoll");
  ASSERT_TRUE(app.WaitForImage(640, 640));
  ASSERT_EQ(BetweenSteps<int>([] { return belnor.LIVESCAN_SetCaptWindow(0, 0, 0, 1600, 1500); }), 1);
  EXPECT_TRUE(app.WaitForImage(1600, 1500));
}

TEST_F(Capture, EscOnTheShellStopsCaptureAndClosesTheScanner) {
  OpenIn("rbLeft", 1600, 1500);
  app.shell->reject();
  EXPECT_FALSE(g_bInit);
  EXPECT_FALSE(pRcvDrawThread);
  EXPECT_FALSE(g_pImgBuf);
  EXPECT_EQ(sim.isStreaming(0), 0);
  EXPECT_FALSE(belnor.lib.isLoaded());
}

TEST_F(Capture, ClosingTheMainWindowRunsClose) {
  OpenIn("rb256", 256, 360);
  app.window->close();
  EXPECT_FALSE(g_bInit);
  EXPECT_EQ(sim.isStreaming(0), 0);
}

TEST_F(Capture, RadioClicksWhileClosedAreNotQueued) {
  app.Click("rb400");
  EXPECT_EQ(g_ChangeSize, -1);
  OpenIn("rb400", 400, 400);  // Open reads the radio checked now
}

TEST_F(Capture, AnUpdateLeftPendingByAnEarlierWindowDoesNotStopTheImages) {
  // As a window closed before it drew its last update leaves it.
  LoopRcvAndDraw::drawPending = true;
  OpenIn("rb256", 256, 360);
}

TEST_F(Capture, SaveWritesRawOrBmpByTheName) {
  OpenIn("rb256", 256, 360);
  const QString raw = tmp.filePath("frame.raw"), plain = tmp.filePath("plain");
  const QString png = tmp.filePath("frame.png");
  ASSERT_TRUE(QDir(tmp.path()).mkdir("dotted.dir"));
  const QString dotted = tmp.filePath("dotted.dir/frame");
  app.answerer.fileAnswers = QStringList{raw, plain, png, dotted, QString()};

  app.Click("btnSave");
  EXPECT_EQ(QFileInfo(raw).size(), 256 * 360);
  app.Click("btnSave");
  EXPECT_EQ(QFileInfo(plain + ".bmp").size(), 1078 + 256 * 360);
  QFile bmp(plain + ".bmp");
  ASSERT_TRUE(bmp.open(QFile::ReadOnly));
  EXPECT_TRUE(bmp.read(2) == "BM");
  EXPECT_TRUE(app.answerer.boxes.empty());

  app.Click("btnSave");
  ASSERT_EQ(app.answerer.boxes.size(), 1u);
  EXPECT_EQ(app.answerer.boxes[0].title, "Error");
  EXPECT_EQ(app.answerer.boxes[0].text.toStdString(), QString("Save %1 fail.").arg(png).toStdString());
  EXPECT_FALSE(QFileInfo::exists(png));

  app.Click("btnSave");  // the only dot is in the folder's name
  ASSERT_EQ(app.answerer.boxes.size(), 2u);
  EXPECT_EQ(app.answerer.boxes[1].text.toStdString(), QString("Save %1 fail.").arg(dotted).toStdString());

  app.Click("btnSave");  // cancelled
  EXPECT_EQ(app.answerer.boxes.size(), 2u);
  EXPECT_TRUE(app.answerer.fileAnswers.isEmpty());
}

TEST_F(Capture, FeatureRefusesASlapAndMatchesARolledPrint) {
  HoldOperator();
  OpenIn("rbLeft", 1600, 1500);
  app.Click("btnMatch");  // nothing extracted yet: the zero template is refused
  EXPECT_EQ(LastBoxText(), QString::fromUtf8("指纹相似度 0"));
  app.Click("btnFeature");  // a slap is too large for the extraction
  ASSERT_EQ(app.answerer.boxes.size(), 2u);
  EXPECT_EQ(app.answerer.boxes[1].title, QString::fromUtf8("特征提取"));
  EXPECT_EQ(app.answerer.boxes[1].text, QString::fromUtf8("指纹质量 -1"));

  app.Click("rbRoll");
  ASSERT_TRUE(app.WaitForImage(640, 640));
  CountImages();
  PlaceAndLift(false);
  app.Click("btnFeature");
  const QRegularExpression quality(QString::fromUtf8("^指纹质量 (\\d+)$"));
  ASSERT_TRUE(quality.match(LastBoxText()).hasMatch()) << LastBoxText().toStdString();
  EXPECT_GT(quality.match(LastBoxText()).captured(1).toInt(), 0);
  app.Click("btnMatch");
  EXPECT_EQ(app.answerer.boxes.back().title, QString::fromUtf8("指纹比对"));
  // The print against its own template.
  EXPECT_EQ(LastBoxText(), QString::fromUtf8("指纹相似度 1"));
}

TEST_F(Capture, SplitCutsASlapIntoFingerFiles) {
  ASSERT_EQ(sim.reset("8899:1003"), 1);  // the operator brings the left hand when its lamp lights
  OpenIn("rbRoll", 640, 640);
  app.Click("btnSplit");  // not a slap: nothing happens
  EXPECT_TRUE(app.answerer.boxes.empty());

  app.Click("rbLeft");
  ASSERT_TRUE(app.WaitForImage(1600, 1500));
  ASSERT_TRUE(WaitFor([] { return DarkShare() > 0.05; }, 20000)) << "no fingers on the platen";
  for (int i = 0; i < 10; ++i) QFile::remove(AppDir() + QString("/%1.bmp").arg(i));
  app.Click("btnSplit");
  ASSERT_EQ(app.answerer.boxes.size(), 1u);
  EXPECT_EQ(app.answerer.boxes[0].title, "Information");
  const QRegularExpression done("^Split the image completed, fingerprint num (\\d+)$");
  const auto m = done.match(app.answerer.boxes[0].text);
  ASSERT_TRUE(m.hasMatch()) << app.answerer.boxes[0].text.toStdString();
  const int count = m.captured(1).toInt();
  EXPECT_GE(count, 1);
  EXPECT_LE(count, 10);
  for (int i = 0; i < 10; ++i) {
    const QString file = AppDir() + QString("/%1.bmp").arg(i);
    EXPECT_EQ(QFileInfo(file).size(), i < count ? 1078 + 400 * 400 : 0) << i;
    QFile::remove(file);
  }
}

// Split where the program's folder cannot be written, as when installed:
// the test program runs this again from a read-only copy of its folder (as
// an ordinary user when this is root) in a working directory it can write.
// All the run reaches is copied under /tmp: the build tree, and $TMPDIR, may
// lie in a folder that user cannot enter.
TEST_F(Capture, SplitWritesWhereTheUserCanWhenTheProgramFolderIsReadOnly) {
  const QByteArray home = qgetenv("SCANBENCH_SPLIT_HOME");
  if (home.isEmpty()) {
    QTemporaryDir top("/tmp/scanbench-split-XXXXXX");
    ASSERT_TRUE(top.isValid());
    const QString prog = top.filePath("prog"), work = top.filePath("work"), scanner = top.filePath("vscanner");
    for (const QString &dir : {prog, work, scanner, top.filePath("home")}) ASSERT_TRUE(QDir().mkpath(dir));
    const auto place = [](const QString &from, const QString &to) {  // whatever the umask
      return QFile::copy(from, to) && QFile::setPermissions(to, QFileDevice::Permissions(0x5555));
    };
    for (const char *file : {"test_app_capture", "libbelnor.so", "libquisal.so", "libsalvune.so"})
      ASSERT_TRUE(place(AppDir() + "/" + file, prog + "/" + file)) << file;
    ASSERT_TRUE(place(SCANBENCH_VSCANNER_DIR "/libusb-1.0.so.0", scanner + "/libusb-1.0.so.0"));
    for (const QString &dir : {top.path(), prog, work, scanner, top.filePath("home")})
      QFile::setPermissions(dir, QFileDevice::Permissions(dir == prog ? 0x5555 : 0x7777));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &name : env.keys())
      if (name.startsWith("XDG_")) env.remove(name);
    env.insert("HOME", top.filePath("home"));
    env.insert("TMPDIR", top.path());
    env.insert("SCANBENCH_SPLIT_HOME", top.filePath("home"));
    env.insert("LD_LIBRARY_PATH", scanner);
    QProcess child;
    child.setProcessEnvironment(env);
    child.setWorkingDirectory(work);
    const QStringList run{prog + "/test_app_capture", "--gtest_filter=Capture.SplitWritesWhere*"};
    if (geteuid() == 0)  // root writes anywhere: the run is nobody's
      child.start("setpriv", QStringList{"--reuid=65534", "--regid=65534", "--clear-groups"} + run);
    else
      child.start(run[0], run.mid(1));
    const bool finished = child.waitForFinished(600000);
    QFile::setPermissions(prog, QFileDevice::Permissions(0x7777));  // so that it can be removed
    EXPECT_TRUE(finished && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0)
        << child.readAll().toStdString();
    return;
  }
  ASSERT_FALSE(QFileInfo(AppDir()).isWritable());
  OpenIn("rbLeft", 1600, 1500);
  app.Click("rbLeft");  // lights the lamp that calls the left hand
  ASSERT_TRUE(WaitFor([] { return DarkShare() > 0.05; })) << "no fingers on the platen";
  // In the working directory, then (that not writable) the pictures folder;
  // with neither, the box says the write failed.
  const QString work = QDir::currentPath(), pictures = QString(home) + "/Pictures";
  for (const QString &folder : {work, pictures, QString()}) {
    if (folder != work) {
      ASSERT_TRUE(QDir::setCurrent(AppDir()));
      qputenv("HOME", folder.isEmpty() ? AppDir().toLocal8Bit() : home);
    }
    app.Click("btnSplit");
    const QString text = LastBoxText();
    if (folder.isEmpty()) {
      EXPECT_EQ(text.toStdString(),
                QString("Split the image failed: %1/0.bmp cannot be written.").arg(AppDir()).toStdString());
    } else {
      EXPECT_TRUE(text.endsWith("\nThe files are in " + folder)) << text.toStdString();
      EXPECT_EQ(QFileInfo(folder + "/0.bmp").size(), 1078 + 400 * 400) << folder.toStdString();
    }
  }
}

// Rolled mode stitches at the window the scanner delivers: type 2 has one,
// 256 x 360.
struct Scanner {
  const char *device;
  int type, w, h;
};
void PrintTo(const Scanner &s, std::ostream *os) { *os << s.device; }
class Rolled : public Capture, public testing::WithParamInterface<Scanner> {};

TEST_P(Rolled, ModeStitchesThePrintAndKeepsIt) {
  const Scanner s = GetParam();
  HoldOperator(s.device, s.type);
  OpenIn("rbRoll", s.w, s.h);
  CountImages();
  // No finger: a white screen.
  ASSERT_TRUE(Take([&] { held->ShowAway(); }));
  EXPECT_EQ(DarkShareOf(ScreenPixels()), 0.0);
  // The finger placed flat, then rolled nail to nail: a print much wider
  // than the flat one (type 2's window is about a finger wide) and as tall;
  // each stays on screen after the lift.
  const Print flat = PlaceAndLift(true), rolled = PlaceAndLift(false);
  const QSize flatSize = PrintExtent(flat.afterLift, s.w), rolledSize = PrintExtent(rolled.afterLift, s.w);
  EXPECT_EQ(QSize(g_CurW, g_CurH), QSize(s.w, s.h));
  EXPECT_GE(flatSize.width(), std::min(160, s.w * 3 / 4));
  EXPECT_GE(rolledSize.width(), std::min(flatSize.width() * 13 / 10, s.w * 3 / 4));
  EXPECT_GE(rolledSize.height(), flatSize.height() * 9 / 10);
  EXPECT_TRUE(s.w < 640 || DarkShareOf(rolled.afterLift) > DarkShareOf(flat.afterLift));
  for (const Print *p : {&flat, &rolled}) {
    EXPECT_EQ(DifferingBlocks(p->beforeLift, p->afterLift, s.w), 0);
    EXPECT_TRUE(p->later == p->afterLift);
  }
}

INSTANTIATE_TEST_SUITE_P(Types, Rolled,
                         testing::Values(Scanner{"8899:1003", 5, 640, 640}, Scanner{"8899:1002", 2, 256, 360}));

TEST_F(Capture, ClickingTheRolledModeAgainMidRollKeepsThePrint) {
  HoldOperator();
  OpenIn("rbRoll", 640, 640);
  CountImages();
  const std::vector<unsigned char> plain = PlaceAndLift(false).afterLift;
  const std::vector<unsigned char> clicked = PlaceAndLift(false, HeldOperator::RollPhases() / 2).afterLift;
  ASSERT_GT(DarkShareOf(plain), 0.05);
  EXPECT_EQ(DifferingBlocks(plain, clicked), 0);
}

// scanbench over the virtual scanner's own scene, the operator: every mode
// shows a finger (a hand in the hand modes) inside its window.
class Modes : public Capture, public testing::WithParamInterface<const char *> {};

TEST_P(Modes, EachModeShowsAFingerInItsWindow) {
  ASSERT_EQ(sim.reset(GetParam()), 1);
  OpenIn("rb256", 256, 360);
  CountImages();
  for (const char *radio : {"rb256", "rb400", "rbRoll", "rbLeft", "rbThumb", "rbRight"}) {
    SwitchTo(radio, false);
    // Ridges of most of a finger, where the bare platen has next to none
    // (a window may be much larger than a finger).
    const auto dark = [] {
      const std::vector<unsigned char> v = ScreenPixels();
      return std::count_if(v.begin(), v.end(), [](unsigned char p) { return p < 128; });
    };
    EXPECT_TRUE(WaitFor([&] { return dark() > 15000; }, 60000)) << radio << ": " << dark();
  }
}

INSTANTIATE_TEST_SUITE_P(Scanners, Modes, testing::Values("8899:1001", "8899:1003"));

// Over the test pattern, each mode on each scanner type: the image drawn
// and the files Save writes are the library's frame of the window it
// reports (not always the mode's), byte for byte; in rolled mode, the
// image on screen at that size.
class Windows : public Capture, public testing::WithParamInterface<const char *> {};

TEST_P(Windows, DrawnAndSavedImagesAreTheDeliveredFrame) {
  qputenv("VSCANNER_SCENE", "pattern");
  ASSERT_EQ(sim.reset(GetParam()), 1);
  app.Click("btnOpen");  // in the left-four mode
  ASSERT_TRUE(g_bInit);
  CountImages();
  for (const char *radio : {"", "rb256", "rb400", "rbRoll", "rbThumb", "rbRight", "rbLeft"}) {
    const std::vector<unsigned char> screen = SwitchTo(radio, QString(radio) != "rbRoll");
    const int w = g_CurW, h = g_CurH;
    const QString raw = tmp.filePath("frame.raw"), bmp = tmp.filePath("frame.bmp");
    app.answerer.fileAnswers = QStringList{raw, bmp};
    app.Click("btnSave");
    app.Click("btnSave");
    QFile file(raw);
    ASSERT_TRUE(file.open(QFile::ReadOnly));
    EXPECT_TRUE(file.readAll() == QByteArray(reinterpret_cast<const char *>(screen.data()), w * h)) << radio;
    EXPECT_TRUE(Shows(QImage(bmp), screen, w, h)) << radio;
  }
  EXPECT_TRUE(app.answerer.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Types, Windows, testing::Values("8899:1001", "8899:1002", "7d45:3004", "8899:1003"));

}  // namespace
