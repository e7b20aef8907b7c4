// The main window: capture modes, actions and the image on screen.
#pragma once

#include <QFont>
#include <QMainWindow>

class QLabel;
namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(QWidget *parent = nullptr);
  ~MainWindow() override;

 public slots:
  void UpdateSlot(int num);
  void on_btnOpen_clicked();
  void on_btnClose_clicked();
  void on_btnSave_clicked();
  void on_rbRoll_clicked();
  void on_rbLeft_clicked();
  void on_rbThumb_clicked();
  void on_rbRight_clicked();
  void on_rb256_clicked();
  void on_rb400_clicked();
  void on_btnFeature_clicked();
  void on_btnMatch_clicked();
  void on_btnSplit_clicked();

 protected:
  void closeEvent(QCloseEvent *event) override;

 private:
  bool BindLibraries();
  void RequestMode(int index);
  void ExtractFeature(unsigned char *feature, int *quality);

  Ui::MainWindow *ui;
  QFont iconFont;
  QLabel *statusLabel;
};
