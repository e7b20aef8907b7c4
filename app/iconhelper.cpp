#include "iconhelper.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDebug>
#include <QFontDatabase>
#include <QLabel>

IconHelper *IconHelper::Instance() {
  // Initialised once even when first reached from two threads.
  static IconHelper *const instance = new IconHelper(QCoreApplication::instance());
  return instance;
}

IconHelper::IconHelper(QObject *parent) : QObject(parent) {
  const int id = QFontDatabase::addApplicationFont(":/fontawesome-webfont.ttf");
  const QStringList families = QFontDatabase::applicationFontFamilies(id);
  if (families.isEmpty())
    qDebug() << "load fontawesome-webfont.ttf error";
  else
    iconFont_ = QFont(families.first());
}

void IconHelper::setIcon(QLabel *label, QChar glyph, quint32 size) {
  iconFont_.setPointSize(static_cast<int>(size));
  label->setFont(iconFont_);
  label->setText(glyph);
}

void IconHelper::setIcon(QAbstractButton *button, QChar glyph, quint32 size) {
  iconFont_.setPointSize(static_cast<int>(size));
  button->setFont(iconFont_);
  button->setText(glyph);
}
