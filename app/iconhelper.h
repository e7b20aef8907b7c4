// Glyphs of the FontAwesome icon font on labels and buttons.
#pragma once

#include <QFont>
#include <QObject>

class QAbstractButton;
class QLabel;

class IconHelper : public QObject {
  Q_OBJECT

 public:
  // The one instance, created on first use with the application as parent.
  static IconHelper *Instance();

  void setIcon(QLabel *label, QChar glyph, quint32 size = 12);
  void setIcon(QAbstractButton *button, QChar glyph, quint32 size = 12);

  QFont iconFont() const { return iconFont_; }

 private:
  explicit IconHelper(QObject *parent);

  QFont iconFont_;
};
