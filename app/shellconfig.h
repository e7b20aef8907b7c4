// Settings shared by the frameless window toolkit.
#pragma once

#include <QChar>
#include <QString>

class ShellConfig {
 public:
  static QString FontName;
  static int FontSize;
  static QString ConfigFile;

  static QString TextColor, PanelColor, BorderColor, NormalColorStart, NormalColorEnd,
      DarkColorStart, DarkColorEnd, HighColor;

  // Glyphs of the icon font on the title bar.
  static QChar IconMain, IconMenu, IconMin, IconMax, IconNormal, IconClose;
};
