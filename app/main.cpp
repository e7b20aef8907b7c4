// scanbench: the capture program at the scanner.
#include <QApplication>
#include <QDesktopWidget>
#include <QIcon>
#include <QLabel>

#include "mainwindow.h"
#include "shellwidget.h"

int main(int argc, char *argv[]) {
  QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
  QApplication app(argc, argv);
  app.setFont(QFont("Microsoft Yahei UI", 11));
  app.setWindowIcon(QIcon(":/k530v.ico"));
  ShellWidget::setCode();

  ShellWidget shell;
  auto *window = new MainWindow;
  shell.setMainWidget(window);
  // Every way out stops the capture thread and closes the scanner before
  // the window and the libraries go.
  QObject::connect(&shell, &ShellWidget::closing, window, &MainWindow::on_btnClose_clicked,
                   Qt::DirectConnection);
  ShellWidget::setStyle(ShellWidget::Style_Blue);
  shell.setTitle(window->windowTitle());
  shell.getLabIco()->setPixmap(QPixmap(":/k530v.ico").scaled(20, 20, Qt::IgnoreAspectRatio,
                                                             Qt::SmoothTransformation));
  shell.setAlignment(Qt::AlignCenter);
  shell.setSizeGripEnabled(true);
  shell.SetVisible(ShellWidget::BtnMenu, false);
  shell.show();
  const QRect desk = QApplication::desktop()->geometry();
  shell.move((desk.width() - shell.width()) / 2, (desk.height() - shell.height()) / 2);
  const int rc = app.exec();
  window->on_btnClose_clicked();
  return rc;
}
