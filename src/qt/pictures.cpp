#include "qt/pictures.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QRadialGradient>
#include <QString>

#include "qt/qt_canvas.h"
#include "window/platform/canvas.h"

namespace ferolan {

namespace {

// w × h logical pixels; a painter on it draws in logical pixels.
QImage blank(int w, int h, qreal ratio, QColor colour) {
  QImage img(qRound(w * ratio), qRound(h * ratio), QImage::Format_RGB32);
  img.setDevicePixelRatio(ratio);
  img.fill(colour);
  return img;
}

QImage white(int w, int h, qreal ratio) {
  return blank(w, h, ratio, Qt::white);
}

QFont sans(int pixels, bool bold = false) {
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}

// A formula in a tiny notation: "_" makes the next character a subscript, "^" makes the
// rest a superscript ("-" there becomes a minus sign). Returns the x after the text.
qreal draw_formula(QPainter& p, qreal x, qreal baseline, const char* formula) {
  const QFont normal = sans(11), small = sans(8);
  bool sup = false;
  for (const char* c = formula; *c; ++c) {
    if (*c == '^') {
      sup = true;
      continue;
    }
    bool sub = false;
    if (*c == '_' && c[1]) {
      sub = true;
      ++c;
    }
    QString ch = (*c == '-' && sup) ? QString(QChar(0x2212)) : QString(QChar(*c));
    const QFont& f = (sub || sup) ? small : normal;
    const qreal y = sub ? baseline + 3 : sup ? baseline - 5 : baseline;
    p.setFont(f);
    p.drawText(QPointF(x, y), ch);
    x += QFontMetricsF(f).horizontalAdvance(ch);
  }
  return x;
}

}  // namespace

QImage pict_e_background(qreal ratio) {
  QImage img = white(401, 253, ratio);
  QPainter p(&img);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  // Sub- and superscripts marked with _ and ^ for the painter below.
  static const char* const kFormula[] = {"H_5A", "H_4A^-", "H_3A^2-", "H_2A^3-", "HA^4-", "A^5-"};
  // Six equal cells along the top edge, above the highest point of any curve (y ≈ 34).
  const qreal cell = 401.0 / 6;
  for (int j = 0; j < 6; ++j) {
    const QColor colour = palette_colour(kFormColour[j + 1]);
    const qreal x0 = 6 + j * cell;
    p.setPen(QPen(colour, 2));
    p.drawLine(QPointF(x0, 11), QPointF(x0 + 14, 11));
    p.setPen(colour);
    draw_formula(p, x0 + 18, 15, kFormula[j]);
  }
  return img;
}

QImage picture1_background(qreal ratio) {
  return white(170, 110, ratio);
}

QImage spectrs_background(qreal ratio) {
  return white(401, 253, ratio);
}

QImage help_picture(qreal ratio) {
  QImage img = blank(67, 54, ratio, QColor(192, 192, 192));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, true);
  // An open book with a question mark on its right page.
  const QColor cover(0, 0, 128), page(255, 255, 240), line(150, 150, 170);
  p.setPen(Qt::NoPen);
  p.setBrush(cover);
  p.drawRoundedRect(QRectF(5, 9, 57, 38), 3, 3);
  p.setBrush(page);
  p.setPen(QPen(QColor(90, 90, 110), 1));
  p.drawRect(QRectF(8, 7, 25, 36));
  p.drawRect(QRectF(34, 7, 25, 36));
  p.setPen(QPen(line, 1));
  for (int i = 0; i < 6; ++i) p.drawLine(QPointF(12, 13 + 5 * i), QPointF(29, 13 + 5 * i));
  QRadialGradient glow(QPointF(44, 22), 12);
  glow.setColorAt(0, QColor(80, 140, 255));
  glow.setColorAt(1, QColor(0, 60, 200));
  p.setPen(Qt::NoPen);
  p.setBrush(glow);
  p.drawEllipse(QPointF(46.5, 25), 10, 10);
  p.setPen(Qt::white);
  p.setFont(sans(15, true));
  p.drawText(QRectF(36.5, 15, 20, 20), Qt::AlignCenter, QStringLiteral("?"));
  return img;
}

qreal picture_ratio() {
  return qApp ? qApp->devicePixelRatio() : 1.0;
}

}  // namespace ferolan
