// scanbench end to end: the real capture library over the virtual scanner
// (type 5, 8899:1003), the real mosaic library and the stand-in split
// library, all loaded from the test program's folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>

#include "app_state.h"
#include "belnor_binding.h"
#include "finger_scene.h"
#include "quisal_binding.h"
#include "salvune_binding.h"
#include "scanbench_harness.h"
#include "vscanner_link.h"

using namespace scanbench_test;

namespace {

class Capture : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.Loaded()) << "run with LD_LIBRARY_PATH at the virtual scanner";
    vscanner_testing::ResetScanner();
    ASSERT_TRUE(tmp.isValid());
  }
  // A finger scene rendered through type 5's optics from now on. The scene
  // moves on by frame number, so a slower stream leaves a slow (sanitized)
  // build time to fetch every frame of a roll.
  void ShowScene(const char *text, const char *devices = "8899:1003") {
    ASSERT_EQ(sim.reset(devices), 1);
    scene = ShowFingerScene(sim.setScene, text);
    ASSERT_TRUE(scene) << text;
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

  VScannerLink sim;
  QTemporaryDir tmp;
  std::shared_ptr<void> scene;  // outlives the scanner
  Scanbench app;
};

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
  // The 16 characters run on into the date bytes (2024 = E8 07, 5, 17).
  EXPECT_EQ(app.StatusText(), "Serial: " + QString::fromUtf8("SN0123456789ABCD\xE8\x07\x05\x11"));
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
  ShowScene("roll@3", "8899:1003/fps=4");
  OpenIn("rbLeft", 1600, 1500);
  app.Click("btnMatch");  // nothing extracted yet: the zero template is refused
  EXPECT_EQ(LastBoxText(), QString::fromUtf8("指纹相似度 0"));
  app.Click("btnFeature");  // a slap is too large for the extraction
  ASSERT_EQ(app.answerer.boxes.size(), 2u);
  EXPECT_EQ(app.answerer.boxes[1].title, QString::fromUtf8("特征提取"));
  EXPECT_EQ(app.answerer.boxes[1].text, QString::fromUtf8("指纹质量 -1"));

  // The finished print stays on screen once the finger has lifted.
  app.Click("rbRoll");
  ASSERT_TRUE(app.WaitForImage(640, 640));
  // Finished: unchanged for two seconds (a slow build gets few frames).
  std::vector<unsigned char> last;
  int stillFor = 0;
  ASSERT_TRUE(WaitFor(
      [&] {
        QThread::msleep(250);
        const ImageCopy copy = CopyScreenImage();
        std::vector<unsigned char> now(copy.pixels.get(), copy.pixels.get() + 640 * 640);
        stillFor = now == last ? stillFor + 1 : 0;
        last.swap(now);
        return stillFor >= 8 && DarkShare() > 0.02;
      },
      60000))
      << "no finished print";
  app.Click("btnFeature");
  const QRegularExpression quality(QString::fromUtf8("^指纹质量 (\\d+)$"));
  ASSERT_TRUE(quality.match(LastBoxText()).hasMatch()) << LastBoxText().toStdString();
  // The window sees only part of the roll; a sanitized build, fetching
  // fewer frames, may stitch too little of it for a template.
  const int q = quality.match(LastBoxText()).captured(1).toInt();
  app.Click("btnMatch");
  EXPECT_EQ(app.answerer.boxes.back().title, QString::fromUtf8("指纹比对"));
  // The same print against its own template; nothing extracted, nothing matched.
  EXPECT_EQ(LastBoxText(), QString::fromUtf8(q > 0 ? "指纹相似度 1" : "指纹相似度 0"));
}

TEST_F(Capture, SplitCutsASlapIntoFingerFiles) {
  ShowScene("slap-left@3");
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

TEST_F(Capture, RolledModeStitchesThePrintAndKeepsIt) {
  ShowScene("roll@3", "8899:1003/fps=4");
  OpenIn("rbRoll", 640, 640);
  // The print grows while the finger rolls.
  // A white screen has none; a slow (sanitized) build stitches fewer strips.
  ASSERT_TRUE(WaitFor([] { return DarkShare() > 0.02; }, 20000)) << "nothing stitched";
}

}  // namespace
