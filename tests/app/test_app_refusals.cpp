// Open when a library is missing, refused or fails: what the operator is
// told and what stays bound. Each case puts the libraries it needs into
// the test program's folder (cases run one at a time).
#include <gtest/gtest.h>

#include <QFile>
#include <QLibrary>

#include "app_state.h"
#include "belnor_binding.h"
#include "quisal_binding.h"
#include "salvune_binding.h"
#include "scanbench_harness.h"
#include "vscanner_link.h"

using namespace scanbench_test;

namespace {

const char *const kLibraries[] = {"libbelnor.so", "libquisal.so", "libsalvune.so"};

class Refusals : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.Loaded()) << "run with LD_LIBRARY_PATH at the virtual scanner";
    vscanner_testing::ResetScanner();
    RemoveLibraries();
  }
  void TearDown() override {
    app.window->on_btnClose_clicked();
    RemoveLibraries();
  }
  static void RemoveLibraries() {
    for (const char *name : kLibraries) QFile::remove(Path(name));
  }
  static QString Path(const char *name) { return AppDir() + "/" + name; }
  // Puts a library into the program's folder under `name`: a deliverable,
  // or a path.
  static void Install(const char *built, const char *name) {
    const QString from = built[0] == '/' ? QString(built) : QString(SCANBENCH_OUT_DIR "/") + built;
    ASSERT_TRUE(QFile::copy(from, Path(name))) << built;
  }
  void InstallAll() {
    for (const char *name : kLibraries) Install(name, name);
  }
  const BoxSeen &OnlyBox() const {
    static const BoxSeen none{QMessageBox::NoIcon, "", "<no box>"};
    EXPECT_EQ(app.answerer.boxes.size(), 1u);
    return app.answerer.boxes.empty() ? none : app.answerer.boxes.back();
  }
  // The capture library's own text for a code.
  static QString ErrorText(int code) {
    QLibrary lib(SCANBENCH_OUT_DIR "/libbelnor.so");
    auto text = reinterpret_cast<decltype(&LIVESCAN_GetErrorInfo)>(lib.resolve("LIVESCAN_GetErrorInfo"));
    char buffer[256] = {};
    if (text) text(code, buffer);
    return QString::fromLocal8Bit(buffer);
  }
  void ExpectDeviceReleased() {
    EXPECT_FALSE(g_bInit);
    EXPECT_FALSE(pRcvDrawThread);
    // -1 when no scanner is attached at all.
    EXPECT_LE(sim.isStreaming(0), 0);
    EXPECT_LE(sim.openHandles(0), 0);
  }

  VScannerLink sim;
  Scanbench app;
};

TEST_F(Refusals, ReducedCaptureBuildIsRefused) {
  Install("libbelnorlite.so", "libbelnor.so");
  app.Click("btnOpen");
  EXPECT_EQ(OnlyBox().icon, QMessageBox::Critical);
  EXPECT_EQ(OnlyBox().title, "Error");
  EXPECT_EQ(OnlyBox().text, "Failed load library" + Path("libbelnor.so"));
  EXPECT_FALSE(belnor.lib.isLoaded());
  EXPECT_FALSE(belnor.LIVESCAN_Init);
  EXPECT_FALSE(belnor.LIVESCAN_GetDesc);  // resolved ones are not left dangling
  ExpectDeviceReleased();
}

TEST_F(Refusals, FailedInitShowsTheLibraryTextAndUnloadsIt) {
  InstallAll();
  ASSERT_EQ(sim.reset(""), 0);  // scanner unplugged
  app.Click("btnOpen");
  EXPECT_EQ(OnlyBox().icon, QMessageBox::Warning);
  EXPECT_EQ(OnlyBox().title, "Warning");
  EXPECT_EQ(OnlyBox().text, ErrorText(-4));
  EXPECT_FALSE(OnlyBox().text.isEmpty());
  EXPECT_FALSE(belnor.lib.isLoaded());
  EXPECT_FALSE(belnor.LIVESCAN_Init);
  ExpectDeviceReleased();

  ASSERT_EQ(sim.reset("8899:1003"), 1);  // plugged in: a second Open loads it again
  app.Click("btnOpen");
  EXPECT_EQ(app.answerer.boxes.size(), 1u);
  EXPECT_TRUE(g_bInit);
  EXPECT_TRUE(app.WaitForImage(1600, 1500));
}

TEST_F(Refusals, InitWithoutFramesClosesTheDeviceBeforeUnloading) {
  // -107 leaves the library streaming; unloading it so would crash.
  InstallAll();
  ASSERT_EQ(sim.setFault(0, VSCANNER_FAULT_NO_FRAMES, -1), 0);
  app.Click("btnOpen");
  EXPECT_EQ(OnlyBox().text, ErrorText(-107));
  EXPECT_FALSE(belnor.lib.isLoaded());
  ExpectDeviceReleased();
}

TEST_F(Refusals, MissingMosaicLibraryClosesTheScannerAndKeepsTheCaptureLibrary) {
  Install("libbelnor.so", "libbelnor.so");
  app.Click("btnOpen");
  EXPECT_EQ(OnlyBox().icon, QMessageBox::Critical);
  EXPECT_EQ(OnlyBox().title, "Error");
  EXPECT_EQ(OnlyBox().text, "Failed to load " + Path("libquisal.so"));
  EXPECT_TRUE(belnor.lib.isLoaded());
  EXPECT_FALSE(quisal.loaded);
  ExpectDeviceReleased();

  // Once the others are there, Open goes on with the bound capture library.
  Install("libquisal.so", "libquisal.so");
  Install("libsalvune.so", "libsalvune.so");
  app.Click("btnOpen");
  EXPECT_EQ(app.answerer.boxes.size(), 1u);
  EXPECT_TRUE(app.WaitForImage(1600, 1500));
}

TEST_F(Refusals, MissingSplitLibraryNamesItsPath) {
  Install("libbelnor.so", "libbelnor.so");
  Install("libquisal.so", "libquisal.so");
  const int opens = sim.openCount(0);
  app.Click("btnOpen");
  EXPECT_EQ(OnlyBox().text, "Failed to load " + Path("libsalvune.so"));
  EXPECT_GT(sim.openCount(0), opens);  // the scanner was opened, then closed
  EXPECT_TRUE(belnor.lib.isLoaded());
  EXPECT_TRUE(quisal.loaded);
  EXPECT_FALSE(split.lib.isLoaded());
  ExpectDeviceReleased();

  app.Click("btnClose");  // unloads what stayed bound without a device
  EXPECT_FALSE(belnor.lib.isLoaded());
  EXPECT_FALSE(quisal.loaded);
}

TEST_F(Refusals, FailedMosaicInitClosesTheScanner) {
  Install("libbelnor.so", "libbelnor.so");
  Install(SCANBENCH_FAKE_QUISAL, "libquisal.so");
  Install("libsalvune.so", "libsalvune.so");
  app.Click("btnOpen");
  EXPECT_EQ(OnlyBox().title, "Error");
  EXPECT_EQ(OnlyBox().text, "Mosaic function initialization failed");
  EXPECT_TRUE(belnor.lib.isLoaded());
  EXPECT_TRUE(quisal.loaded);
  EXPECT_TRUE(split.lib.isLoaded());
  ExpectDeviceReleased();
}

}  // namespace
