// The frameless outer window: its own title bar (icon, title, style menu,
// minimise, maximise, close) above a main area holding one widget.
#pragma once

#include <QDialog>
#include <QRect>

class QAbstractButton;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QToolButton;
class QVBoxLayout;

class ShellWidget : public QDialog {
  Q_OBJECT

 public:
  enum Style {
    Style_Silvery = 0,
    Style_Blue = 1,
    Style_LightBlue = 2,
    Style_DarkBlue = 3,
    Style_Gray = 4,
    Style_LightGray = 5,
    Style_DarkGray = 6,
    Style_Black = 7,
    Style_LightBlack = 8,
    Style_DarkBlack = 9,
    Style_PSBlack = 10,
    Style_FlatBlack = 11,
    Style_FlatWhite = 12
  };
  enum Widget {
    Lab_Ico = 0,
    BtnMenu = 1,
    BtnMenu_Min = 2,
    BtnMenu_Max = 3,
    BtnMenu_Normal = 4,
    BtnMenu_Close = 5
  };

  explicit ShellWidget(QWidget *parent = nullptr);
  ~ShellWidget() override;

  // Makes UTF-8 the codec of locale texts.
  static void setCode();
  // Applies a style sheet of the resources with its palette; a style
  // without a sheet changes nothing.
  static void setStyle(Style style);
  // The resource path of a style's sheet.
  static QString styleSheetPath(Style style);

  QLabel *getLabIco() const { return labIco; }
  QLabel *getLabTitle() const { return labTitle; }
  QToolButton *getBtnMenu() const { return btnMenu; }
  QPushButton *getBtnMenuMin() const { return btnMenu_Min; }
  QPushButton *getBtnMenuMax() const { return btnMenu_Max; }
  QPushButton *getBtnMenuMClose() const { return btnMenu_Close; }
  QString getTitle() const { return title_; }
  Qt::Alignment getAlignment() const { return alignment_; }

  QSize sizeHint() const override { return QSize(600, 450); }
  QSize minimumSizeHint() const override { return QSize(200, 150); }

 signals:
  void changeStyle(const QString &qssFile);
  void closing();

 public slots:
  void initControl();
  void initForm();
  void on_btnMenu_Min_clicked();
  void on_btnMenu_Max_clicked();
  void on_btnMenu_Close_clicked();

  void setIcon(ShellWidget::Widget widget, QChar glyph, quint32 size = 9);
  void setIconMain(QChar glyph, quint32 size = 9);
  void setPixmap(ShellWidget::Widget widget, const QString &file, const QSize &size = QSize(16, 16));
  void SetVisible(ShellWidget::Widget widget, bool visible = true);
  void setOnlyCloseBtn();
  void setTitleHeight(int height);
  void setBtnWidth(int width);
  void setTitle(const QString &title);
  void setAlignment(Qt::Alignment alignment);
  void setMinHide(bool minHide);
  void setMainWidget(QWidget *mainWidget);

  // Esc and window-manager closes end the window like the close button.
  void reject() override;

 protected:
  bool eventFilter(QObject *watched, QEvent *event) override;
  void closeEvent(QCloseEvent *event) override;

 private slots:
  void changeStyle();

 private:
  // The title-bar button of a part; null for the icon label.
  QAbstractButton *buttonAt(Widget widget) const;

  QVBoxLayout *verticalLayout1 = nullptr;
  QWidget *widgetMain = nullptr;
  QVBoxLayout *verticalLayout2 = nullptr;
  QWidget *widgetTitle = nullptr;
  QHBoxLayout *horizontalLayout4 = nullptr;
  QLabel *labIco = nullptr;
  QLabel *labTitle = nullptr;
  QWidget *widgetMenu = nullptr;
  QHBoxLayout *horizontalLayout = nullptr;
  QToolButton *btnMenu = nullptr;
  QPushButton *btnMenu_Min = nullptr;
  QPushButton *btnMenu_Max = nullptr;
  QPushButton *btnMenu_Close = nullptr;
  QWidget *widget = nullptr;
  QVBoxLayout *verticalLayout3 = nullptr;

  QString title_;
  Qt::Alignment alignment_;
  bool max_ = false;
  QRect location_;
  bool minHide_ = false;
  bool closingSent_ = false;
  QWidget *mainWidget_ = nullptr;
};
