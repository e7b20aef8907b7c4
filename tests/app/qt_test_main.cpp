// GoogleTest main for scanbench's in-process tests: one QApplication,
// offscreen unless a platform is chosen, widget-based dialogs.
#include <gtest/gtest.h>

#include <QApplication>

#include "shellwidget.h"

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
  QApplication app(argc, argv);
  ShellWidget::setCode();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
