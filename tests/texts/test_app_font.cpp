// Every character of scanbench's texts, in both languages, has a glyph in the
// font Qt resolves for the program's application font (with Qt's fallbacks),
// so that no text shows as empty boxes. The texts are read from the program's
// sources: the string literals of app/*.cpp and the form's strings.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFont>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QSet>
#include <QTextLayout>

namespace {

QString ReadSource(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QString();
  return QString::fromUtf8(file.readAll());
}

QStringList Matches(const QString &text, const QRegularExpression &pattern) {
  QStringList found;
  for (auto it = pattern.globalMatch(text); it.hasNext();) found << it.next().captured(1);
  return found;
}

// The string literals of the program's sources and the strings of its form.
QStringList ProgramTexts() {
  const QDir app(QStringLiteral(SCANBENCH_SOURCE_DIR));
  const QRegularExpression literal(QStringLiteral(R"re("((?:[^"\\\n]|\\.)*)")re"));
  const QRegularExpression uiString(QStringLiteral("<string>([^<]*)</string>"));
  QStringList texts;
  for (const QString &name : app.entryList({"*.cpp", "*.h"}, QDir::Files)) {
    QString source = ReadSource(app.filePath(name));
    source.remove(QRegularExpression(QStringLiteral("^#include[^\n]*"),
                                     QRegularExpression::MultilineOption));
    texts << Matches(source, literal);
  }
  for (const QString &name : app.entryList({"*.ui"}, QDir::Files))
    texts << Matches(ReadSource(app.filePath(name)), uiString);
  return texts;
}

// The application font as main.cpp sets it.
QFont ApplicationFont() {
  const QString main = ReadSource(QStringLiteral(SCANBENCH_SOURCE_DIR "/main.cpp"));
  const auto m = QRegularExpression(QStringLiteral(R"re(setFont\(QFont\("([^"]+)",\s*(\d+)\))re"))
                     .match(main);
  if (!m.hasMatch()) return QFont();
  return QFont(m.captured(1), m.captured(2).toInt());
}

// Whether every glyph Qt lays text out with exists (glyph 0 is the empty box).
bool HasGlyphs(const QString &text, const QFont &font) {
  QTextLayout layout(text, font);
  layout.beginLayout();
  while (layout.createLine().isValid()) {
  }
  layout.endLayout();
  for (const QGlyphRun &run : layout.glyphRuns())
    for (quint32 glyph : run.glyphIndexes())
      if (glyph == 0) return false;
  return true;
}

TEST(ProgramTexts, EveryCharacterHasAGlyphInTheApplicationFont) {
  const QStringList texts = ProgramTexts();
  const QFont font = ApplicationFont();
  ASSERT_NE(font.family(), QFont().family()) << "main.cpp sets no application font";

  QSet<uint> characters;
  for (const QString &text : texts)
    for (uint c : text.toUcs4())
      if (c > ' ') characters.insert(c);
  // The reading finds the texts: the buttons' and the title's Chinese.
  for (uint c : QStringLiteral("打开关闭保存拆分四指采集仪序列号").toUcs4())
    ASSERT_TRUE(characters.contains(c)) << "the program's texts were not found in "
                                        << SCANBENCH_SOURCE_DIR;

  QString missing;
  for (uint c : characters) {
    const QString one = QString::fromUcs4(&c, 1);
    if (!HasGlyphs(one, font)) missing += one;
  }
  EXPECT_TRUE(missing.isEmpty())
      << "no glyph for " << missing.size() << " characters of the program's texts in \""
      << font.family().toStdString() << "\" or its fallbacks (install fonts-wqy-microhei, "
      << "tools/deps.sh): " << missing.toStdString();
}

}  // namespace

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
