// Draws scanbench's bitmap assets: the application icon and the indicator
// images the two blue style sheets refer to. Run by hand; output committed.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace {

QImage Canvas(int size) {
  QImage img(size, size, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  return img;
}

// A fingerprint-like mark: concentric arcs on a blue disc.
QImage Icon(int size) {
  QImage img = Canvas(size);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor("#386487"));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QRectF(0.5, 0.5, size - 1.0, size - 1.0));
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(Qt::white, qMax(1.0, size / 24.0)));
  for (int i = 1; i <= 4; ++i) {
    const double r = size * 0.09 * i;
    p.drawArc(QRectF(size / 2.0 - r, size / 2.0 - r * 1.2, 2 * r, 2.4 * r), 20 * 16, 320 * 16);
  }
  return img;
}

void Arrow(QPainter &p, int size, double angle) {
  p.translate(size / 2.0, size / 2.0);
  p.rotate(angle);
  QPainterPath path;
  path.moveTo(-size * 0.3, -size * 0.15);
  path.lineTo(size * 0.3, -size * 0.15);
  path.lineTo(0, size * 0.2);
  path.closeSubpath();
  p.fillPath(path, p.pen().color());
}

QImage Indicator(const QString &name, const QColor &accent) {
  const int s = 16;
  QImage img = Canvas(s);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const bool disabled = name.endsWith("_disable");
  const QColor ink = disabled ? QColor("#A0A0A0") : accent;
  p.setPen(QPen(ink, 1.2));
  if (name.startsWith("add_") || name.startsWith("calendar_") || name.startsWith("branch_")) {
    double angle = 0;
    if (name.endsWith("top")) angle = 180;
    if (name.endsWith("left") || name.endsWith("prevmonth")) angle = 90;
    if (name.endsWith("right") || name.endsWith("nextmonth") || name.endsWith("close"))
      angle = -90;
    Arrow(p, s, angle);
  } else if (name.startsWith("checkbox_")) {
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2.5, 2.5, 11, 11));
    p.setBrush(ink);
    if (name.contains("checked") && !name.contains("unchecked")) {
      p.setPen(QPen(ink, 2));
      p.drawPolyline(QPolygonF({QPointF(4.5, 8), QPointF(7, 10.5), QPointF(11.5, 5)}));
    } else if (name.contains("parcial")) {
      p.drawRect(QRectF(5, 5, 6, 6));
    }
  } else if (name.startsWith("radiobutton_")) {
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    if (!name.contains("unchecked")) {
      p.setBrush(ink);
      p.drawEllipse(QRectF(5.5, 5.5, 5, 5));
    }
  }
  return img;
}

}  // namespace

int main(int argc, char *argv[]) {
  QGuiApplication app(argc, argv);
  if (argc != 2) return 2;
  const QDir out(QString::fromLocal8Bit(argv[1]));
  if (!Icon(48).save(out.filePath("k530v.ico"), "ICO")) return 1;
  const QStringList names = {
      "add_bottom",       "add_left",          "add_right",
      "add_top",          "branch_close",      "branch_open",
      "calendar_nextmonth", "calendar_prevmonth", "checkbox_checked",
      "checkbox_checked_disable", "checkbox_parcial", "checkbox_parcial_disable",
      "checkbox_unchecked", "checkbox_unchecked_disable", "radiobutton_checked",
      "radiobutton_checked_disable", "radiobutton_unchecked", "radiobutton_unchecked_disable"};
  const struct {
    const char *theme, *accent;
  } themes[] = {{"blue", "#386487"}, {"lightblue", "#3A9BD8"}};
  for (const auto &t : themes) {
    out.mkpath(QString("qss/%1").arg(t.theme));
    for (const QString &n : names)
      if (!Indicator(n, QColor(t.accent)).save(out.filePath(QString("qss/%1/%2.png").arg(t.theme, n))))
        return 1;
  }
  return 0;
}
