#include "shellconfig.h"

QString ShellConfig::FontName = "Microsoft Yahei";
int ShellConfig::FontSize = 11;
QString ShellConfig::ConfigFile = "config.ini";

QString ShellConfig::TextColor = "#F0F0F0";
QString ShellConfig::PanelColor = "#F0F0F0";
QString ShellConfig::BorderColor = "#F0F0F0";
QString ShellConfig::NormalColorStart = "#F0F0F0";
QString ShellConfig::NormalColorEnd = "#F0F0F0";
QString ShellConfig::DarkColorStart = "#F0F0F0";
QString ShellConfig::DarkColorEnd = "#F0F0F0";
QString ShellConfig::HighColor = "#F0F0F0";

QChar ShellConfig::IconMain = QChar(0xF2D0);
QChar ShellConfig::IconMenu = QChar(0xF0D7);
QChar ShellConfig::IconMin = QChar(0xF068);
QChar ShellConfig::IconMax = QChar(0xF2D2);
QChar ShellConfig::IconNormal = QChar(0xF2D0);
QChar ShellConfig::IconClose = QChar(0xF00D);
