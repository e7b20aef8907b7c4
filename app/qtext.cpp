#include "qtext.h"

#include <QLocale>

QString QTEXT(const char *english, const char *chinese) {
  static const bool chineseLocale = QLocale().language() == QLocale::Chinese;
  const char *text = chineseLocale ? chinese : english;
  return text ? QString::fromLocal8Bit(text) : QString();
}
