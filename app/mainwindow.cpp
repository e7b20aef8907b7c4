#include "mainwindow.h"

#include <QFontDatabase>
#include <QLabel>

#include "app_state.h"
#include "qtext.h"
#include "ui_mainwindow.h"

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow) {
  ui->setupUi(this);
  const int id = QFontDatabase::addApplicationFont(":/fontawesome-webfont.ttf");
  const QStringList families = QFontDatabase::applicationFontFamilies(id);
  if (!families.isEmpty()) iconFont = QFont(families.first());
  setWindowTitle(QTEXT("K530V 4-Fingerprint Scanner 1.0", "K530V 四指采集仪 1.0"));
  statusLabel = new QLabel(this);
  ui->statusbar->addPermanentWidget(statusLabel, 0);
}

MainWindow::~MainWindow() {
  g_pImgBuf.reset();
  delete ui;
}

void MainWindow::closeEvent(QCloseEvent *event) {
  ui->btnClose->click();
  QMainWindow::closeEvent(event);
}

void MainWindow::RequestMode(int index) {
  if (g_bInit) g_ChangeSize = index;
}

void MainWindow::on_rb256_clicked() { RequestMode(0); }
void MainWindow::on_rb400_clicked() { RequestMode(1); }
void MainWindow::on_rbRoll_clicked() { RequestMode(2); }
void MainWindow::on_rbLeft_clicked() { RequestMode(3); }
void MainWindow::on_rbThumb_clicked() { RequestMode(4); }
void MainWindow::on_rbRight_clicked() { RequestMode(5); }
