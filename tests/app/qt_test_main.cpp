// GoogleTest main for scanbench's in-process tests: one QApplication,
// offscreen unless a platform is chosen, widget-based dialogs, an English
// locale unless a test run asks for the Chinese texts.
#include <gtest/gtest.h>

#include <QApplication>

#include "shellwidget.h"

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qgetenv("SCANBENCH_EXPECT_CHINESE") != "1") qputenv("LC_ALL", "C.UTF-8");
  QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
  QApplication app(argc, argv);
  ShellWidget::setCode();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
