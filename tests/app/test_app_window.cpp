// The window as the operator first sees it: form, bilingual texts, the
// frameless shell and its styles. Runs in a folder without libraries.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>
#include <QToolButton>

#include "app_state.h"
#include "qtext.h"
#include "scanbench_harness.h"
#include "shellconfig.h"

using namespace scanbench_test;

namespace {

bool ExpectChinese() { return qgetenv("SCANBENCH_EXPECT_CHINESE") == "1"; }

TEST(Texts, FollowTheLocaleLanguage) {
  const bool zh = ExpectChinese();
  EXPECT_EQ(QTEXT("Error", "错误"), zh ? QString::fromUtf8("错误") : QString("Error"));
  EXPECT_EQ(QTEXT("Warning", ""), zh ? QString() : QString("Warning"));
  EXPECT_EQ(QTEXT("Serial: ", "序列号: "), zh ? QString::fromUtf8("序列号: ") : "Serial: ");
  EXPECT_EQ(QTEXT(nullptr, nullptr), QString());
  EXPECT_EQ(QTEXT("Save %1 fail.", "保存 %1 失败").arg("x"),
            zh ? QString::fromUtf8("保存 x 失败") : QString("Save x fail."));

  Scanbench app;
  EXPECT_EQ(app.window->windowTitle(), zh ? QString::fromUtf8("K530V 四指采集仪 1.0")
                                          : QString("K530V 4-Fingerprint Scanner 1.0"));
  EXPECT_EQ(app.shell->windowTitle(), app.window->windowTitle());
}

TEST(Texts, RefusedCaptureLibraryNamesItsPath) {
  // No library lies beside this test program.
  Scanbench app;
  app.Click("btnOpen");
  ASSERT_EQ(app.answerer.boxes.size(), 1u);
  const BoxSeen &box = app.answerer.boxes[0];
  EXPECT_EQ(box.icon, QMessageBox::Critical);
  EXPECT_EQ(box.title, ExpectChinese() ? QString::fromUtf8("错误") : QString("Error"));
  EXPECT_EQ(box.text, (ExpectChinese() ? QString::fromUtf8("载入动态库失败")
                                       : QString("Failed load library")) +
                          AppDir() + "/libbelnor.so");
  EXPECT_FALSE(g_bInit);
  EXPECT_EQ(app.StatusText(), "");
}

TEST(Form, ChineseTextsInEveryLocaleAndTheLeftSlapChecked) {
  Scanbench app;
  const struct {
    const char *name, *text;
  } radios[] = {{"rb256", "单指256*360"}, {"rb400", "单指400*400"}, {"rbRoll", "滚采640*640"},
                {"rbLeft", "左四指"},      {"rbThumb", "双拇指"},      {"rbRight", "右四指"}};
  for (const auto &r : radios) {
    QRadioButton *rb = app.Find<QRadioButton>(r.name);
    ASSERT_TRUE(rb) << r.name;
    EXPECT_EQ(rb->text(), QString::fromUtf8(r.text));
    EXPECT_EQ(rb->isChecked(), QString(r.name) == "rbLeft") << r.name;
  }
  const struct {
    const char *name, *text;
  } buttons[] = {{"btnOpen", "打开"},  {"btnSave", "保存"},  {"btnFeature", "提特征"},
                 {"btnMatch", "比对"}, {"btnSplit", "拆分"}, {"btnClose", "关闭"}};
  for (const auto &b : buttons) {
    QPushButton *button = app.Find<QPushButton>(b.name);
    ASSERT_TRUE(button) << b.name;
    EXPECT_EQ(button->text(), QString::fromUtf8(b.text));
    EXPECT_EQ(button->minimumHeight(), 37);
  }
  EXPECT_EQ(app.Find<QGroupBox>("groupBox")->title(), QString::fromUtf8("显示模式"));
  QLabel *label = app.Find<QLabel>("label");
  ASSERT_TRUE(label);
  EXPECT_EQ(label->parentWidget(), app.Find<QFrame>("gbImage"));
  EXPECT_EQ(app.Find<QFrame>("gbImage")->frameShape(), QFrame::Box);
  EXPECT_EQ(app.window->statusBar()->maximumHeight(), 36);
  EXPECT_EQ(app.StatusText(), "");
  // Inside the shell: its title bar above the window.
  EXPECT_EQ(app.window->window(), app.shell.get());
}

TEST(Form, ClosedWindowIgnoresActionsAndRadios) {
  Scanbench app;
  for (const char *b : {"btnSave", "btnFeature", "btnMatch", "btnSplit", "btnClose"}) app.Click(b);
  app.Click("rb256");
  EXPECT_EQ(g_ChangeSize, -1);
  EXPECT_TRUE(app.answerer.boxes.empty());
  EXPECT_FALSE(g_bInit);
}

TEST(Shell, TitleBarGlyphsAndParts) {
  ShellWidget shell;
  EXPECT_EQ(shell.objectName(), "ShellWidget");
  EXPECT_TRUE(shell.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(shell.property("form").toBool(), true);
  EXPECT_EQ(shell.getLabIco()->text(), QString(QChar(0xF2D0)));
  EXPECT_EQ(shell.getBtnMenuMin()->text(), QString(QChar(0xF068)));
  EXPECT_EQ(shell.getBtnMenuMax()->text(), QString(QChar(0xF2D0)));
  EXPECT_EQ(shell.getBtnMenuMClose()->text(), QString(QChar(0xF00D)));
  EXPECT_EQ(shell.getBtnMenu()->actions().size(), 13);
  EXPECT_EQ(shell.getBtnMenu()->actions().at(10)->text(), QString::fromUtf8("PS黑色"));
  EXPECT_EQ(shell.getTitle(), "Shell Demo");
  EXPECT_EQ(shell.getLabIco()->font().family(), "FontAwesome");
  EXPECT_EQ(shell.sizeHint(), QSize(600, 450));
  EXPECT_EQ(shell.minimumSizeHint(), QSize(200, 150));

  shell.setTitle("K530V");
  EXPECT_EQ(shell.windowTitle(), "K530V");
  EXPECT_EQ(shell.getLabTitle()->text(), "K530V");
  shell.setAlignment(Qt::AlignCenter);
  EXPECT_EQ(shell.getLabTitle()->alignment(), Qt::AlignCenter);
}

TEST(Shell, OnlyTheFirstMainWidgetCounts) {
  ShellWidget shell;
  auto *first = new QWidget;
  first->resize(300, 200);
  shell.setMainWidget(first);
  const QSize size = shell.size();
  auto second = std::make_unique<QWidget>();
  second->resize(500, 500);
  shell.setMainWidget(second.get());
  EXPECT_EQ(shell.size(), size);
  EXPECT_EQ(first->parentWidget() != nullptr, true);
  EXPECT_EQ(second->parentWidget(), nullptr);
}

TEST(Shell, DoubleClickOnTheTitleMaximisesAndRestores) {
  ShellWidget shell;
  shell.show();
  shell.setGeometry(50, 60, 400, 300);
  QWidget *title = shell.getLabTitle()->parentWidget();
  const QRect before = shell.geometry();
  auto dbl = [&] {
    QMouseEvent e(QEvent::MouseButtonDblClick, QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                  Qt::NoModifier);
    QApplication::sendEvent(title, &e);
  };
  dbl();
  EXPECT_EQ(shell.geometry(), QGuiApplication::primaryScreen()->availableGeometry());
  EXPECT_EQ(shell.getBtnMenuMax()->text(), QString(QChar(0xF2D2)));
  dbl();
  EXPECT_EQ(shell.geometry(), before);
  EXPECT_EQ(shell.getBtnMenuMax()->text(), QString(QChar(0xF2D0)));
  shell.SetVisible(ShellWidget::BtnMenu_Max, false);
  dbl();
  EXPECT_EQ(shell.geometry(), before);
}

TEST(Shell, DraggingTheTitleMovesTheWindowUnlessMaximised) {
  ShellWidget shell;
  shell.show();
  shell.move(100, 100);
  QWidget *title = shell.getLabTitle()->parentWidget();
  auto send = [&](QEvent::Type type, QPoint global, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(1, 1), QPointF(global), QPointF(global), Qt::LeftButton, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(title, &e);
  };
  send(QEvent::MouseButtonPress, QPoint(110, 105), Qt::LeftButton);
  send(QEvent::MouseMove, QPoint(160, 125), Qt::LeftButton);
  send(QEvent::MouseButtonRelease, QPoint(160, 125), Qt::NoButton);
  EXPECT_EQ(shell.pos(), QPoint(150, 120));
  send(QEvent::MouseMove, QPoint(300, 300), Qt::LeftButton);  // released: no move
  EXPECT_EQ(shell.pos(), QPoint(150, 120));
}

TEST(Shell, BlueStyleSetsPaletteAndSheetAndMissingStylesChangeNothing) {
  const QString sheetBefore = qApp->styleSheet();
  ShellWidget::setStyle(ShellWidget::Style_Silvery);
  EXPECT_EQ(qApp->styleSheet(), sheetBefore);
  ShellWidget::setStyle(ShellWidget::Style_Blue);
  EXPECT_EQ(QApplication::palette().color(QPalette::Window), QColor("#CFDDEE"));
  EXPECT_TRUE(qApp->styleSheet().startsWith("QPalette{background:#CFDDEE;}"));
  ShellWidget::setStyle(ShellWidget::Style_LightBlue);
  EXPECT_EQ(QApplication::palette().color(QPalette::Window), QColor("#EAF7FF"));
  const QString light = qApp->styleSheet();
  ShellWidget::setStyle(ShellWidget::Style_Gray);
  EXPECT_EQ(qApp->styleSheet(), light);
  qApp->setStyleSheet(sheetBefore);
}

TEST(Shell, EscAndCloseRunTheClosingStepsOnce) {
  ShellWidget shell;
  QSignalSpy spy(&shell, &ShellWidget::closing);
  shell.show();
  shell.reject();
  EXPECT_EQ(spy.count(), 1);
  shell.show();
  shell.close();
  EXPECT_EQ(spy.count(), 1);
}

TEST(Shell, StyleMenuEmitsTheSheetPath) {
  ShellWidget shell;
  QSignalSpy spy(&shell, qOverload<const QString &>(&ShellWidget::changeStyle));
  shell.getBtnMenu()->actions().at(2)->trigger();
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy.at(0).at(0).toString(), ":/qss/lightblue.css");
}

}  // namespace
