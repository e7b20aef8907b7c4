// The program's bilingual messages.
#pragma once

#include <QString>

// The Chinese text when the locale's language is Chinese, else the English
// one; the language is looked up once. A null text gives an empty string.
QString QTEXT(const char *english, const char *chinese);
