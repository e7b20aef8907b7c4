#include "shellwidget.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QScreen>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QTextCodec>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstdlib>

#include "iconhelper.h"
#include "shellconfig.h"

namespace {

struct StyleEntry {
  const char *sheet;
  const char *menuText;
};
const StyleEntry kStyles[] = {
    {":/qss/silvery.css", "银色"},      {":/qss/blue.css", "蓝色"},
    {":/qss/lightblue.css", "浅蓝色"},  {":/qss/darkblue.css", "深蓝色"},
    {":/qss/gray.css", "灰色"},         {":/qss/lightgray.css", "浅灰色"},
    {":/qss/darkgray.css", "深灰色"},   {":/qss/black.css", "黑色"},
    {":/qss/lightblack.css", "浅黑色"}, {":/qss/darkblack.css", "深黑色"},
    {":/qss/psblack.css", "PS黑色"},    {":/qss/flatblack.css", "黑色扁平"},
    {":/qss/flatwhite.css", "白色扁平"},
};

// Dragging state, shared by every shell window.
bool g_mousePressed = false;
QPoint g_mouseOffset;

}  // namespace

ShellWidget::ShellWidget(QWidget *parent) : QDialog(parent) {
  initControl();
  initForm();
}

ShellWidget::~ShellWidget() { delete widgetMain; }

void ShellWidget::initControl() {
  setObjectName("ShellWidget");
  resize(900, 750);
  verticalLayout1 = new QVBoxLayout(this);
  verticalLayout1->setObjectName("verticalLayout1");
  verticalLayout1->setSpacing(0);
  verticalLayout1->setContentsMargins(1, 1, 1, 1);

  widgetMain = new QWidget(this);
  widgetMain->setObjectName("widgetMain");
  widgetMain->setStyleSheet(QString());
  verticalLayout2 = new QVBoxLayout(widgetMain);
  verticalLayout2->setObjectName("verticalLayout2");
  verticalLayout2->setSpacing(0);
  verticalLayout2->setContentsMargins(0, 0, 0, 0);

  widgetTitle = new QWidget(widgetMain);
  widgetTitle->setObjectName("widgetTitle");
  widgetTitle->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  widgetTitle->setMinimumHeight(30);
  horizontalLayout4 = new QHBoxLayout(widgetTitle);
  horizontalLayout4->setObjectName("horizontalLayout4");
  horizontalLayout4->setSpacing(0);
  horizontalLayout4->setContentsMargins(0, 0, 0, 0);

  labIco = new QLabel(widgetTitle);
  labIco->setObjectName("labIco");
  labIco->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
  labIco->setMinimumWidth(30);
  labIco->setAlignment(Qt::AlignCenter);
  horizontalLayout4->addWidget(labIco);

  labTitle = new QLabel(widgetTitle);
  labTitle->setObjectName("labTitle");
  labTitle->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  labTitle->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalLayout4->addWidget(labTitle);

  widgetMenu = new QWidget(widgetTitle);
  widgetMenu->setObjectName("widgetMenu");
  widgetMenu->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
  horizontalLayout = new QHBoxLayout(widgetMenu);
  horizontalLayout->setObjectName("horizontalLayout");
  horizontalLayout->setSpacing(0);
  horizontalLayout->setContentsMargins(0, 0, 0, 0);

  btnMenu = new QToolButton(widgetMenu);
  btnMenu->setObjectName("btnMenu");
  btnMenu->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  btnMenu->setFixedWidth(30);
  btnMenu->setFocusPolicy(Qt::NoFocus);
  btnMenu->setPopupMode(QToolButton::InstantPopup);
  horizontalLayout->addWidget(btnMenu);

  const struct {
    QPushButton **button;
    const char *name;
    QSizePolicy::Policy horizontal;
  } buttons[] = {{&btnMenu_Min, "btnMenu_Min", QSizePolicy::Minimum},
                 {&btnMenu_Max, "btnMenu_Max", QSizePolicy::Fixed},
                 {&btnMenu_Close, "btnMenu_Close", QSizePolicy::Fixed}};
  for (const auto &b : buttons) {
    *b.button = new QPushButton(widgetMenu);
    (*b.button)->setObjectName(b.name);
    (*b.button)->setSizePolicy(b.horizontal, QSizePolicy::Expanding);
    (*b.button)->setMinimumWidth(30);
    (*b.button)->setMaximumWidth(30);
    (*b.button)->setCursor(Qt::ArrowCursor);
    (*b.button)->setFocusPolicy(Qt::NoFocus);
    horizontalLayout->addWidget(*b.button);
  }
  horizontalLayout4->addWidget(widgetMenu);
  verticalLayout2->addWidget(widgetTitle);

  widget = new QWidget(widgetMain);
  widget->setObjectName("widget");
  verticalLayout3 = new QVBoxLayout(widget);
  verticalLayout3->setObjectName("verticalLayout3");
  verticalLayout3->setSpacing(0);
  verticalLayout3->setContentsMargins(0, 0, 0, 0);
  verticalLayout2->addWidget(widget);
  verticalLayout1->addWidget(widgetMain);

  connect(btnMenu_Min, &QPushButton::clicked, this, &ShellWidget::on_btnMenu_Min_clicked);
  connect(btnMenu_Max, &QPushButton::clicked, this, &ShellWidget::on_btnMenu_Max_clicked);
  connect(btnMenu_Close, &QPushButton::clicked, this, &ShellWidget::on_btnMenu_Close_clicked);
}

void ShellWidget::initForm() {
  setIcon(Lab_Ico, ShellConfig::IconMain, 11);
  setIcon(BtnMenu, ShellConfig::IconMenu);
  setIcon(BtnMenu_Min, ShellConfig::IconMin);
  setIcon(BtnMenu_Normal, ShellConfig::IconNormal);
  setIcon(BtnMenu_Close, ShellConfig::IconClose);

  max_ = false;
  location_ = geometry();
  // The style sheets select on these properties.
  setProperty("form", true);
  widgetTitle->setProperty("form", "title");
  setWindowFlags(Qt::FramelessWindowHint);
  title_ = "Shell Demo";
  alignment_ = Qt::AlignLeft | Qt::AlignVCenter;
  minHide_ = false;
  mainWidget_ = nullptr;

  btnMenu->setVisible(false);
  installEventFilter(this);
  widgetTitle->installEventFilter(this);

  for (const StyleEntry &s : kStyles) {
    QAction *action = new QAction(QString::fromUtf8(s.menuText), this);
    btnMenu->addAction(action);
    connect(action, &QAction::triggered, this, QOverload<>::of(&ShellWidget::changeStyle));
  }
}

bool ShellWidget::eventFilter(QObject *watched, QEvent *event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto *e = static_cast<QMouseEvent *>(event);
      if (e->button() != Qt::LeftButton) break;
      g_mousePressed = true;
      g_mouseOffset = e->globalPos() - pos();
      return true;
    }
    case QEvent::MouseButtonRelease:
      g_mousePressed = false;
      return true;
    case QEvent::MouseMove: {
      auto *e = static_cast<QMouseEvent *>(event);
      if (!max_ && g_mousePressed && e->buttons() != Qt::NoButton) {
        move(e->globalPos() - g_mouseOffset);
        return true;
      }
      break;
    }
    case QEvent::MouseButtonDblClick:
      if (btnMenu_Max->isVisible()) {
        on_btnMenu_Max_clicked();
        return true;
      }
      break;
    default:
      break;
  }
  return QDialog::eventFilter(watched, event);
}

void ShellWidget::on_btnMenu_Min_clicked() {
  if (minHide_)
    hide();
  else
    showMinimized();
}

void ShellWidget::on_btnMenu_Max_clicked() {
  if (max_) {
    setGeometry(location_);
    setIcon(BtnMenu_Normal, ShellConfig::IconNormal);
  } else {
    location_ = geometry();
    setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    setIcon(BtnMenu_Max, ShellConfig::IconMax);
  }
  max_ = !max_;
}

void ShellWidget::on_btnMenu_Close_clicked() {
  emit closing();
  closingSent_ = true;
  std::exit(0);
}

void ShellWidget::reject() {
  if (!closingSent_) {
    closingSent_ = true;
    emit closing();
  }
  QDialog::reject();
}

void ShellWidget::closeEvent(QCloseEvent *event) {
  if (!closingSent_) {
    closingSent_ = true;
    emit closing();
  }
  QDialog::closeEvent(event);
}

QAbstractButton *ShellWidget::buttonAt(Widget widget) const {
  switch (widget) {
    case BtnMenu:
      return btnMenu;
    case BtnMenu_Min:
      return btnMenu_Min;
    case BtnMenu_Max:
    case BtnMenu_Normal:
      return btnMenu_Max;
    case BtnMenu_Close:
      return btnMenu_Close;
    case Lab_Ico:
      break;
  }
  return nullptr;
}

void ShellWidget::setIcon(ShellWidget::Widget widget, QChar glyph, quint32 size) {
  QChar *const stored[] = {&ShellConfig::IconMain, &ShellConfig::IconMenu, &ShellConfig::IconMin,
                           &ShellConfig::IconMax,  &ShellConfig::IconNormal, &ShellConfig::IconClose};
  if (widget == Lab_Ico) {
    setIconMain(glyph, size);
  } else if (QAbstractButton *button = buttonAt(widget)) {
    *stored[widget] = glyph;
    IconHelper::Instance()->setIcon(button, glyph, size);
  }
}

void ShellWidget::setIconMain(QChar glyph, quint32 size) {
  ShellConfig::IconMain = glyph;
  IconHelper::Instance()->setIcon(labIco, glyph, size);
}

void ShellWidget::setPixmap(ShellWidget::Widget widget, const QString &file, const QSize &size) {
  if (widget == Lab_Ico) {
    labIco->setPixmap(QPixmap(file).scaled(size, Qt::KeepAspectRatio, Qt::FastTransformation));
  } else if (widget != BtnMenu_Normal) {
    if (QAbstractButton *button = buttonAt(widget)) button->setIcon(QIcon(file));
  }
}

void ShellWidget::SetVisible(ShellWidget::Widget widget, bool visible) {
  if (widget == Lab_Ico) {
    labIco->setVisible(visible);
  } else if (widget != BtnMenu_Normal) {
    if (QAbstractButton *button = buttonAt(widget)) button->setVisible(visible);
  }
}

void ShellWidget::setOnlyCloseBtn() {
  btnMenu->setVisible(false);
  btnMenu_Min->setVisible(false);
  btnMenu_Max->setVisible(false);
}

void ShellWidget::setTitleHeight(int height) { widgetTitle->setFixedHeight(height); }

void ShellWidget::setBtnWidth(int width) {
  labIco->setFixedWidth(width);
  btnMenu->setFixedWidth(width);
  btnMenu_Min->setFixedWidth(width);
  btnMenu_Max->setFixedWidth(width);
  btnMenu_Close->setFixedWidth(width);
}

void ShellWidget::setTitle(const QString &title) {
  if (title_ == title) return;
  title_ = title;
  labTitle->setText(title);
  setWindowTitle(labTitle->text());
}

void ShellWidget::setAlignment(Qt::Alignment alignment) {
  if (alignment_ == alignment) return;
  alignment_ = alignment;
  labTitle->setAlignment(alignment);
}

void ShellWidget::setMinHide(bool minHide) { minHide_ = minHide; }

void ShellWidget::setMainWidget(QWidget *mainWidget) {
  if (mainWidget_) return;
  mainWidget_ = mainWidget;
  verticalLayout3->addWidget(mainWidget);
  resize(mainWidget->width(), widgetTitle->height() + mainWidget->height());
}

void ShellWidget::setCode() { QTextCodec::setCodecForLocale(QTextCodec::codecForName("utf-8")); }

QString ShellWidget::styleSheetPath(Style style) {
  const int i = static_cast<int>(style);
  if (i < 0 || i >= static_cast<int>(std::size(kStyles))) return QString();
  return QString::fromLatin1(kStyles[i].sheet);
}

void ShellWidget::setStyle(Style style) {
  QFile file(styleSheetPath(style));
  if (!file.open(QFile::ReadOnly)) return;
  const QByteArray bytes = file.readAll();
  // The text ends at the first zero byte, as the sheets were once C strings.
  const QString qss = QString::fromLatin1(bytes.constData(), static_cast<int>(qstrnlen(bytes.constData(), bytes.size())));
  // Every sheet starts "QPalette{background:#RRGGBB;}".
  const QString paletteColor = qss.mid(20, 7);
  qApp->setPalette(QPalette(QColor(paletteColor)));
  qApp->setStyleSheet(qss);
}

void ShellWidget::changeStyle() {
  auto *action = qobject_cast<QAction *>(sender());
  QString qssFile = ":/qss/blue.css";
  if (action)
    for (const StyleEntry &s : kStyles)
      if (action->text() == QString::fromUtf8(s.menuText)) qssFile = QString::fromLatin1(s.sheet);
  emit changeStyle(qssFile);
}
