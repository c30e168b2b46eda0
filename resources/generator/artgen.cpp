// SPDX-License-Identifier: GPL-3.0-or-later
// Draws every picture of the program and writes it into the resources folder given on the
// command line:  morphane_artgen <resources folder>
// Run by hand after a change here; the pictures it writes are committed.
#include "writers.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

// The program's colours.
const QColor kApricot(240, 202, 166);
const QColor kCream(255, 246, 236);
const QColor kOrange(232, 131, 58);
const QColor kMaroon(128, 24, 40);
const QColor kTeal(31, 122, 140);
const QColor kTealDark(18, 82, 96);
const QColor kSkin(247, 205, 166);
const QColor kSkinShade(226, 160, 118);
const QColor kHair(112, 64, 40);
const QColor kSage(192, 220, 192);
const QRgb kFace = qRgb(239, 239, 239); // the button face the GIF buttons sit on

QString gOut;

bool Save(const QImage& image, const QString& name, const char* format = nullptr, int quality = -1) {
  const QString path = gOut + "/" + name;
  const bool ok = image.save(path, format, quality);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
  return ok;
}

QImage Canvas(int w, int h, QColor fill = Qt::transparent) {
  QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
  image.fill(fill);
  return image;
}

// Draws at Scale times the size and scales down smoothly: clean edges on small icons.
QImage Supersampled(int w, int h, int scale, const std::function<void(QPainter&)>& draw) {
  QImage big = Canvas(w * scale, h * scale);
  {
    QPainter p(&big);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    draw(p);
  }
  return big.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QFont Bold(double pixels) {
  QFont f("DejaVu Sans");
  f.setBold(true);
  f.setPixelSize(int(std::lround(pixels)));
  return f;
}

// ---------------------------------------------------------------------------------------------
// A cartoon face, and the bulge that the program itself is about.

void DrawFaceShape(QPainter& p, const QRectF& box, bool grid) {
  const double w = box.width(), h = box.height();
  const double cx = box.center().x(), cy = box.center().y();
  p.save();
  // Hair behind the head.
  p.setPen(Qt::NoPen);
  p.setBrush(kHair);
  p.drawEllipse(QPointF(cx, cy - h * 0.08), w * 0.40, h * 0.40);
  // Ears.
  p.setBrush(kSkinShade);
  p.drawEllipse(QPointF(cx - w * 0.34, cy + h * 0.02), w * 0.07, h * 0.09);
  p.drawEllipse(QPointF(cx + w * 0.34, cy + h * 0.02), w * 0.07, h * 0.09);
  // Head.
  QRadialGradient skin(QPointF(cx - w * 0.1, cy - h * 0.12), w * 0.45);
  skin.setColorAt(0, kSkin.lighter(108));
  skin.setColorAt(1, kSkinShade);
  p.setBrush(skin);
  p.setPen(QPen(kSkinShade.darker(130), w * 0.012));
  p.drawEllipse(QPointF(cx, cy + h * 0.03), w * 0.32, h * 0.38);
  // Fringe.
  p.setPen(Qt::NoPen);
  p.setBrush(kHair);
  QPainterPath fringe;
  fringe.moveTo(cx - w * 0.33, cy - h * 0.08);
  fringe.cubicTo(cx - w * 0.30, cy - h * 0.42, cx + w * 0.30, cy - h * 0.42, cx + w * 0.33, cy - h * 0.08);
  fringe.cubicTo(cx + w * 0.18, cy - h * 0.22, cx - w * 0.05, cy - h * 0.16, cx - w * 0.33, cy - h * 0.08);
  p.drawPath(fringe);
  if (grid) {
    p.setPen(QPen(QColor(255, 255, 255, 90), w * 0.006));
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i < 10; ++i) {
      p.drawLine(QPointF(box.left() + w * i / 10.0, box.top()), QPointF(box.left() + w * i / 10.0, box.bottom()));
      p.drawLine(QPointF(box.left(), box.top() + h * i / 10.0), QPointF(box.right(), box.top() + h * i / 10.0));
    }
  }
  // Eyes.
  for (int side = -1; side <= 1; side += 2) {
    const QPointF eye(cx + side * w * 0.12, cy - h * 0.01);
    p.setPen(QPen(QColor(60, 40, 30), w * 0.01));
    p.setBrush(Qt::white);
    p.drawEllipse(eye, w * 0.07, h * 0.055);
    p.setPen(Qt::NoPen);
    p.setBrush(kTeal);
    p.drawEllipse(eye + QPointF(w * 0.01, h * 0.005), w * 0.035, h * 0.035);
    p.setBrush(QColor(20, 20, 20));
    p.drawEllipse(eye + QPointF(w * 0.01, h * 0.005), w * 0.017, h * 0.017);
    p.setBrush(Qt::white);
    p.drawEllipse(eye + QPointF(w * 0.022, -h * 0.01), w * 0.008, h * 0.008);
    // Brows.
    p.setPen(QPen(kHair, w * 0.018, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(eye + QPointF(-w * 0.06, -h * 0.085 + side * h * 0.005), eye + QPointF(w * 0.06, -h * 0.09 - side * h * 0.005));
  }
  // Nose and cheeks.
  p.setPen(QPen(kSkinShade.darker(125), w * 0.014, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  QPainterPath nose;
  nose.moveTo(cx, cy + h * 0.02);
  nose.quadTo(cx - w * 0.05, cy + h * 0.12, cx + w * 0.01, cy + h * 0.13);
  p.drawPath(nose);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(240, 120, 110, 90));
  p.drawEllipse(QPointF(cx - w * 0.19, cy + h * 0.13), w * 0.055, h * 0.035);
  p.drawEllipse(QPointF(cx + w * 0.19, cy + h * 0.13), w * 0.055, h * 0.035);
  // Smile.
  QPainterPath mouth;
  mouth.moveTo(cx - w * 0.12, cy + h * 0.2);
  mouth.quadTo(cx, cy + h * 0.32, cx + w * 0.12, cy + h * 0.2);
  mouth.quadTo(cx, cy + h * 0.25, cx - w * 0.12, cy + h * 0.2);
  p.setBrush(QColor(170, 50, 60));
  p.setPen(QPen(QColor(120, 30, 40), w * 0.01));
  p.drawPath(mouth);
  p.restore();
}

QRgb Sample(const QImage& img, double x, double y) {
  x = std::clamp(x, 0.0, img.width() - 1.001);
  y = std::clamp(y, 0.0, img.height() - 1.001);
  const int x0 = int(x), y0 = int(y);
  const double fx = x - x0, fy = y - y0;
  double acc[4] = {0, 0, 0, 0};
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i < 2; ++i) {
      const double wgt = (i ? fx : 1 - fx) * (j ? fy : 1 - fy);
      const QRgb c = img.pixel(x0 + i, y0 + j);
      acc[0] += wgt * qRed(c);
      acc[1] += wgt * qGreen(c);
      acc[2] += wgt * qBlue(c);
      acc[3] += wgt * qAlpha(c);
    }
  return qRgba(int(acc[0] + 0.5), int(acc[1] + 0.5), int(acc[2] + 0.5), int(acc[3] + 0.5));
}

// Magnifies the disc around Centre: a point at distance d < Radius is fetched from
// d * (1 - Strength * (1 - (d/Radius)^2)) towards the centre.
QImage Bulge(const QImage& source, QPointF centre, double radius, double strength) {
  const QImage src = source.convertToFormat(QImage::Format_ARGB32);
  QImage out = src;
  for (int y = 0; y < src.height(); ++y)
    for (int x = 0; x < src.width(); ++x) {
      const double dx = x - centre.x(), dy = y - centre.y();
      const double d = std::sqrt(dx * dx + dy * dy);
      if (d >= radius) continue;
      const double t = d / radius;
      const double k = 1 - strength * (1 - t * t);
      out.setPixel(x, y, Sample(src, centre.x() + dx * k, centre.y() + dy * k));
    }
  return out;
}

// A face on transparent ground, its left eye bulged.
QImage WarpedFace(int w, int h, bool grid) {
  QImage face = Canvas(w, h);
  {
    QPainter p(&face);
    p.setRenderHint(QPainter::Antialiasing);
    DrawFaceShape(p, QRectF(0, 0, w, h), grid);
  }
  QImage warped = Bulge(face, QPointF(w * 0.38, h * 0.49), w * 0.2, 0.55);
  return Bulge(warped, QPointF(w * 0.5, h * 0.61), w * 0.12, 0.35);
}

// ---------------------------------------------------------------------------------------------
// Program icon and tab icons

QImage ProgramIcon(int size) {
  const QImage face = WarpedFace(size * 4, size * 4, true);
  return Supersampled(size, size, 4, [&](QPainter& p) {
    const double s = size;
    QLinearGradient bg(0, 0, 0, s);
    bg.setColorAt(0, kTeal.lighter(130));
    bg.setColorAt(1, kTealDark);
    p.setPen(QPen(kTealDark.darker(130), s / 40));
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92), s * 0.2, s * 0.2);
    // The magnifying ring of the bulge tool around the face.
    p.setPen(Qt::NoPen);
    p.setBrush(kCream);
    p.drawEllipse(QPointF(s * 0.5, s * 0.5), s * 0.38, s * 0.38);
    p.drawImage(QRectF(s * 0.1, s * 0.1, s * 0.8, s * 0.8), face);
    p.setPen(QPen(kOrange, s / 18));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(s * 0.5, s * 0.5), s * 0.39, s * 0.39);
  });
}

QImage TabOpen() {
  return Supersampled(16, 16, 4, [](QPainter& p) {
    p.setPen(QPen(QColor(150, 90, 20), 0.7));
    p.setBrush(QColor(246, 190, 80));
    QPainterPath back;
    back.moveTo(1, 3.5);
    back.lineTo(6, 3.5);
    back.lineTo(7.5, 5);
    back.lineTo(15, 5);
    back.lineTo(15, 14);
    back.lineTo(1, 14);
    back.closeSubpath();
    p.drawPath(back);
    // A picture sticking out of the folder.
    p.setPen(QPen(QColor(90, 90, 90), 0.6));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4, 2, 9, 7));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 190, 240));
    p.drawRect(QRectF(4.8, 2.8, 7.4, 5.4));
    p.setBrush(QColor(80, 160, 70));
    QPainterPath hill;
    hill.moveTo(4.8, 8.2);
    hill.lineTo(8, 5.5);
    hill.lineTo(10, 7);
    hill.lineTo(12.2, 5.8);
    hill.lineTo(12.2, 8.2);
    p.drawPath(hill);
    p.setPen(QPen(QColor(150, 90, 20), 0.7));
    p.setBrush(QColor(252, 212, 110));
    QPainterPath front;
    front.moveTo(0.8, 7);
    front.lineTo(15.2, 7);
    front.lineTo(14.5, 14);
    front.lineTo(1.5, 14);
    front.closeSubpath();
    p.drawPath(front);
  });
}

QImage TabOperate() {
  const QImage face = WarpedFace(64, 64, false);
  return Supersampled(16, 16, 4, [&](QPainter& p) {
    p.drawImage(QRectF(-1, 0, 15, 15), face);
    // A small brush ring: the tool at work.
    p.setPen(QPen(kOrange, 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(5.2, 7.2), 3.2, 3.2);
    p.setPen(QPen(kTealDark, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(11.5, 11.5), QPointF(15, 15));
  });
}

QImage TabResult() {
  const QImage face = WarpedFace(64, 64, false);
  return Supersampled(16, 16, 4, [&](QPainter& p) {
    p.setPen(QPen(QColor(110, 80, 50), 0.8));
    p.setBrush(QColor(200, 150, 90));
    p.drawRect(QRectF(1, 1, 14, 14));
    p.setBrush(kCream);
    p.drawRect(QRectF(2.8, 2.8, 10.4, 10.4));
    p.drawImage(QRectF(2.8, 2.8, 10.4, 10.4), face);
    // A star: finished.
    QPainterPath star;
    for (int i = 0; i < 10; ++i) {
      const double a = -M_PI / 2 + i * M_PI / 5, r = i % 2 ? 1.6 : 3.6;
      const QPointF pt(12.2 + r * std::cos(a), 12.2 + r * std::sin(a));
      if (i == 0) star.moveTo(pt); else star.lineTo(pt);
    }
    star.closeSubpath();
    p.setPen(QPen(QColor(170, 110, 0), 0.6));
    p.setBrush(QColor(255, 205, 40));
    p.drawPath(star);
  });
}

// ---------------------------------------------------------------------------------------------
// Tool glyphs: two 24 x 24 cells, up and down.

void Arrow(QPainter& p, QPointF from, QPointF to, QColor c, double width) {
  p.setPen(QPen(c, width, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(from, to);
  const double a = std::atan2(to.y() - from.y(), to.x() - from.x());
  const double len = width * 2.2;
  QPainterPath head;
  head.moveTo(to + QPointF(std::cos(a) * len * 0.6, std::sin(a) * len * 0.6));
  head.lineTo(to + QPointF(std::cos(a + 2.4) * len, std::sin(a + 2.4) * len));
  head.lineTo(to + QPointF(std::cos(a - 2.4) * len, std::sin(a - 2.4) * len));
  head.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  p.drawPath(head);
}

void ToolGrow(QPainter& p, bool down) {
  const QColor c = down ? QColor(20, 130, 60) : QColor(40, 150, 80);
  QRadialGradient g(QPointF(12, 12), 7);
  g.setColorAt(0, QColor(220, 250, 220));
  g.setColorAt(1, QColor(120, 200, 130));
  p.setPen(QPen(c.darker(130), 1));
  p.setBrush(g);
  p.drawEllipse(QPointF(12, 12), 5.5, 5.5);
  for (int i = 0; i < 4; ++i) {
    const double a = M_PI / 4 + i * M_PI / 2;
    Arrow(p, QPointF(12 + 6.5 * std::cos(a), 12 + 6.5 * std::sin(a)),
          QPointF(12 + 9.2 * std::cos(a), 12 + 9.2 * std::sin(a)), c, 1.8);
  }
}

void ToolShrink(QPainter& p, bool down) {
  const QColor c = down ? QColor(190, 90, 20) : kOrange;
  QRadialGradient g(QPointF(12, 12), 5);
  g.setColorAt(0, QColor(255, 235, 210));
  g.setColorAt(1, QColor(245, 180, 120));
  p.setPen(QPen(c.darker(130), 1));
  p.setBrush(g);
  p.drawEllipse(QPointF(12, 12), 3.8, 3.8);
  for (int i = 0; i < 4; ++i) {
    const double a = M_PI / 4 + i * M_PI / 2;
    Arrow(p, QPointF(12 + 10.5 * std::cos(a), 12 + 10.5 * std::sin(a)),
          QPointF(12 + 6.6 * std::cos(a), 12 + 6.6 * std::sin(a)), c, 1.8);
  }
}

void ToolSmear(QPainter& p, bool down) {
  QLinearGradient g(3, 0, 21, 0);
  g.setColorAt(0, QColor(60, 110, 200, 40));
  g.setColorAt(1, down ? QColor(30, 70, 170) : QColor(60, 110, 210));
  QPainterPath wave;
  wave.moveTo(2.5, 15);
  wave.cubicTo(7, 8, 10, 20, 14, 13);
  wave.cubicTo(16, 9.5, 18, 10, 19.5, 11);
  p.setPen(QPen(QBrush(g), 4.2, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawPath(wave);
  // Fingertip.
  p.setPen(QPen(kSkinShade.darker(140), 0.9));
  p.setBrush(kSkin);
  p.drawRoundedRect(QRectF(16.5, 3, 5.5, 10), 2.7, 2.7);
  p.setBrush(QColor(255, 240, 230));
  p.drawRoundedRect(QRectF(17.5, 3.8, 3.5, 3.2), 1.4, 1.4);
}

void ToolDrag(QPainter& p, bool down) {
  const QColor line = down ? QColor(90, 40, 140) : QColor(120, 70, 170);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(150, 150, 170), 1));
  for (int i = 0; i < 3; ++i) {
    const double y = 5 + i * 7;
    QPainterPath path;
    path.moveTo(2, y);
    path.cubicTo(8, y, 10, 12, 16, 12 + (y - 12) * 0.35);
    p.drawPath(path);
  }
  for (int i = 0; i < 3; ++i) {
    const double x = 3 + i * 4;
    p.drawLine(QPointF(x, 3), QPointF(x + i * 0.8, 21));
  }
  Arrow(p, QPointF(10, 12), QPointF(19.5, 12), line, 2.2);
  p.setPen(QPen(line.darker(140), 0.8));
  p.setBrush(QColor(255, 230, 120));
  p.drawEllipse(QPointF(10, 12), 2.2, 2.2);
}

void ToolErase(QPainter& p, bool down) {
  p.save();
  p.translate(12, 12);
  p.rotate(-35);
  p.setPen(QPen(QColor(80, 60, 90), 0.9));
  p.setBrush(down ? QColor(230, 110, 150) : QColor(245, 140, 170));
  p.drawRoundedRect(QRectF(-9, -4.5, 9, 9), 1.5, 1.5);
  p.setBrush(down ? QColor(60, 110, 190) : QColor(90, 140, 220));
  p.drawRoundedRect(QRectF(0, -4.5, 9, 9), 1.5, 1.5);
  p.restore();
  p.setPen(QPen(QColor(150, 150, 150, 160), 1.2, Qt::DashLine, Qt::RoundCap));
  p.drawLine(QPointF(3, 21.5), QPointF(20, 21.5));
}

// Undo: an arrow bending back to the left; redo: the same arrow mirrored. Drawn on the tool
// glyphs' 24-pixel grid, for 16 x 16 cells.
void HistoryArrow(QPainter& p, bool down, bool redo) {
  p.save();
  if (redo) {
    p.translate(24, 0);
    p.scale(-1, 1);
  }
  const QColor c = down ? kTealDark : kTeal;
  QLinearGradient g(6, 0, 21, 0);
  g.setColorAt(0, c);
  g.setColorAt(1, c.lighter(150));
  QPainterPath arc;
  arc.moveTo(18.5, 19.5);
  arc.cubicTo(22, 12, 16.5, 6.5, 9.5, 8.2);
  p.setPen(QPen(QBrush(g), 2.8, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawPath(arc);
  QPainterPath head;
  head.moveTo(3, 10);
  head.lineTo(10.5, 3.5);
  head.lineTo(11.8, 12.8);
  head.closeSubpath();
  p.setPen(QPen(c.darker(140), 0.8));
  p.setBrush(c);
  p.drawPath(head);
  p.restore();
}
void ToolUndo(QPainter& p, bool down) { HistoryArrow(p, down, false); }
void ToolRedo(QPainter& p, bool down) { HistoryArrow(p, down, true); }

// Protection glyphs, on the 24-pixel grid: a shield in the colour the editing view tints
// protected areas with; crossed out for releasing; an eye for showing the protection.
QPainterPath Shield() {
  QPainterPath shield;
  shield.moveTo(12, 2.5);
  shield.cubicTo(15.5, 4.5, 18, 5, 20.5, 5);
  shield.cubicTo(20.5, 13, 18, 18.5, 12, 21.5);
  shield.cubicTo(6, 18.5, 3.5, 13, 3.5, 5);
  shield.cubicTo(6, 5, 8.5, 4.5, 12, 2.5);
  return shield;
}

void ToolProtect(QPainter& p, bool) {
  QLinearGradient g(0, 3, 0, 21);
  g.setColorAt(0, QColor(245, 110, 130));
  g.setColorAt(1, QColor(190, 20, 50));
  p.setPen(QPen(QColor(120, 10, 30), 1.2));
  p.setBrush(g);
  p.drawPath(Shield());
  p.setPen(QPen(QColor(255, 240, 240), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPolyline(QPolygonF({QPointF(8, 12), QPointF(11, 15.5), QPointF(16.5, 8.5)}));
}

void ToolRelease(QPainter& p, bool) {
  p.setPen(QPen(QColor(200, 40, 70), 1.8));
  p.setBrush(QColor(255, 235, 238));
  p.drawPath(Shield());
  p.setPen(QPen(QColor(70, 70, 80), 2.6, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(4, 20), QPointF(20, 4));
}

void ToolShowProtection(QPainter& p, bool) {
  QPainterPath eye;
  eye.moveTo(2, 12);
  eye.cubicTo(7, 4.5, 17, 4.5, 22, 12);
  eye.cubicTo(17, 19.5, 7, 19.5, 2, 12);
  p.setPen(QPen(QColor(60, 60, 70), 1.4));
  p.setBrush(QColor(255, 255, 255));
  p.drawPath(eye);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(215, 30, 60));
  p.drawEllipse(QPointF(12, 12), 4.6, 4.6);
  p.setBrush(QColor(30, 20, 25));
  p.drawEllipse(QPointF(12, 12), 2.1, 2.1);
}

// One 16 x 16 glyph for the bottom bar's small buttons.
QImage SmallGlyph(void (*draw)(QPainter&, bool)) {
  return Supersampled(16, 16, 6, [draw](QPainter& p) {
    p.scale(16.0 / 24, 16.0 / 24);
    draw(p, false);
// Applying a saved deformation: a grid bulged in its middle, the deformation of a project,
// with an arrow bringing it onto the picture. 16 x 16, drawn on the 24-pixel grid.
QImage ApplyDeformationGlyph() {
  return Supersampled(16, 16, 6, [](QPainter& p) {
    p.scale(16.0 / 24, 16.0 / 24);
    p.setPen(QPen(kTeal, 1.6));
    p.setBrush(Qt::NoBrush);
    for (int k = 0; k < 3; ++k) {
      const double at = 4 + 7.5 * k, bend = k == 0 ? -3.2 : k == 2 ? 3.2 : 0; // outwards
      QPainterPath across, down;
      across.moveTo(3, at);
      across.quadTo(13.5, at + bend, 23, at);
      down.moveTo(at + 1, 2);
      down.quadTo(at + 1 + bend, 12, at + 1, 20);
      p.drawPath(across);
      p.drawPath(down);
    }
    p.setPen(QPen(kTealDark, 0.8));
    p.setBrush(QColor(240, 150, 40));
    QPainterPath arrow;
    arrow.moveTo(9, 15);
    arrow.lineTo(15, 15);
    arrow.lineTo(15, 19);
    arrow.lineTo(19, 19);
    arrow.lineTo(12, 24);
    arrow.lineTo(5, 19);
    arrow.lineTo(9, 19);
    arrow.closeSubpath();
    p.drawPath(arrow);
  });
}

QImage ToolStrip(void (*draw)(QPainter&, bool)) {
  return Supersampled(48, 24, 4, [draw](QPainter& p) {
    draw(p, false);
    p.translate(24 + 1, 1); // the down cell: pressed one pixel into the face
    draw(p, true);
  });
}

// The small buttons' glyphs: two 16 x 16 cells, up and down.
QImage SmallToolStrip(void (*draw)(QPainter&, bool)) {
  return Supersampled(32, 16, 6, [draw](QPainter& p) {
    p.scale(16.0 / 24, 16.0 / 24);
    draw(p, false);
    p.translate(24 + 1.5, 1.5);
    draw(p, true);
  });
}

// The bottom bar's "Gesicht formen": an oval face with eyes and a smile, 16 x 16.
QImage FaceGlyph() {
  return Supersampled(16, 16, 6, [](QPainter& p) {
    p.setPen(QPen(QColor(70, 50, 40), 1.1));
    p.setBrush(QColor(246, 206, 170));
    p.drawEllipse(QRectF(2.5, 1.0, 11, 14));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 60, 120));
    p.drawEllipse(QPointF(5.8, 6.6), 1.3, 1.3);
    p.drawEllipse(QPointF(10.2, 6.6), 1.3, 1.3);
    p.setPen(QPen(QColor(170, 40, 40), 1.1, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(5.0, 8.0, 6, 4), 200 * 16, 140 * 16);
  });
}

// ---------------------------------------------------------------------------------------------
// Image buttons of the bottom bar: 101 x 30, normal and pressed.

QImage ImageButton(const QString& caption, QColor top, QColor bottom, bool pressed,
                   void (*symbol)(QPainter&, QPointF, double)) {
  return Supersampled(101, 30, 4, [&](QPainter& p) {
    const QRectF body(1, 1, 99, 28);
    QLinearGradient g(0, body.top(), 0, body.bottom());
    g.setColorAt(0, pressed ? bottom : top.lighter(112));
    g.setColorAt(1, pressed ? top : bottom);
    p.setPen(QPen(bottom.darker(150), 1));
    p.setBrush(g);
    p.drawRoundedRect(body, 9, 9);
    if (!pressed) {
      // Gloss on the upper half.
      QLinearGradient gloss(0, 2, 0, 14);
      gloss.setColorAt(0, QColor(255, 255, 255, 120));
      gloss.setColorAt(1, QColor(255, 255, 255, 10));
      p.setPen(Qt::NoPen);
      p.setBrush(gloss);
      p.drawRoundedRect(QRectF(3, 2, 95, 12), 7, 7);
    }
    const QPointF shift = pressed ? QPointF(1, 1) : QPointF(0, 0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 235));
    p.drawEllipse(QPointF(17, 15) + shift, 9, 9);
    symbol(p, QPointF(17, 15) + shift, 9);
    p.setFont(Bold(14));
    p.setPen(QColor(0, 0, 0, 90));
    p.drawText(QRectF(31, 1, 66, 28).translated(shift + QPointF(0.8, 0.8)), Qt::AlignCenter, caption);
    p.setPen(Qt::white);
    p.drawText(QRectF(31, 1, 66, 28).translated(shift), Qt::AlignCenter, caption);
  });
}

void SymbolInfo(QPainter& p, QPointF c, double r) {
  p.setPen(Qt::NoPen);
  p.setBrush(kTealDark);
  p.drawEllipse(c + QPointF(0, -r * 0.5), r * 0.16, r * 0.16);
  p.drawRoundedRect(QRectF(c.x() - r * 0.14, c.y() - r * 0.2, r * 0.28, r * 0.75), r * 0.08, r * 0.08);
}

void SymbolExit(QPainter& p, QPointF c, double r) {
  // A power symbol: an open ring and a bar.
  p.setPen(QPen(kMaroon, r * 0.22, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(c.x() - r * 0.55, c.y() - r * 0.5, r * 1.1, r * 1.1), 120 * 16, 300 * 16);
  p.drawLine(c + QPointF(0, -r * 0.62), c + QPointF(0, -r * 0.05));
}

// ---------------------------------------------------------------------------------------------
// Speed-bar wallpaper, web glyph, the decorative pictures

QImage Wallpaper() {
  QImage image = Canvas(64, 64, QColor(251, 242, 231));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(240, 222, 200), 1));
  for (int i = -64; i < 128; i += 8) p.drawLine(i, 0, i + 64, 64);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(236, 214, 190));
  for (int y = 4; y < 64; y += 16)
    for (int x = 4; x < 64; x += 16) p.drawEllipse(QPointF(x + (y / 16 % 2) * 8, y), 1.2, 1.2);
  return image;
}

QImage WebGlyph() {
  return Supersampled(24, 24, 4, [](QPainter& p) {
    QRadialGradient g(QPointF(9, 8), 12);
    g.setColorAt(0, QColor(150, 210, 250));
    g.setColorAt(1, QColor(30, 100, 180));
    p.setPen(QPen(QColor(20, 70, 130), 1));
    p.setBrush(g);
    p.drawEllipse(QPointF(12, 12), 10, 10);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 200), 0.9));
    p.drawEllipse(QPointF(12, 12), 4.5, 10);
    p.drawLine(QPointF(12, 2), QPointF(12, 22));
    p.drawLine(QPointF(2, 12), QPointF(22, 12));
    p.drawArc(QRectF(3, -2, 18, 10), 200 * 16, 140 * 16);
    p.drawArc(QRectF(3, 16, 18, 10), 20 * 16, 140 * 16);
    // Land masses.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 180, 90, 220));
    p.drawEllipse(QPointF(8, 9), 3, 2.2);
    p.drawEllipse(QPointF(15, 15), 3.2, 2.5);
  });
}

void DrawSparkle(QPainter& p, QPointF c, double r, QColor colour) {
  QPainterPath s;
  s.moveTo(c + QPointF(0, -r));
  s.quadTo(c, c + QPointF(r, 0));
  s.quadTo(c, c + QPointF(0, r));
  s.quadTo(c, c + QPointF(-r, 0));
  s.quadTo(c, c + QPointF(0, -r));
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  p.drawPath(s);
}

// Page 2's column: a framed, deformed portrait; its upper part lies under the title panel.
QImage ResultSide() {
  QImage image = Canvas(194, 281);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient bg(0, 0, 0, 281);
  bg.setColorAt(0, QColor(226, 240, 226));
  bg.setColorAt(1, QColor(160, 200, 170));
  p.fillRect(image.rect(), bg);
  p.setPen(QPen(QColor(255, 255, 255, 70), 1));
  for (int y = 0; y < 281; y += 12) p.drawLine(0, y, 194, y - 40);
  // A photo print, slightly tilted.
  p.save();
  p.translate(97, 180);
  p.rotate(-4);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 50));
  p.drawRoundedRect(QRectF(-68, -78, 140, 160), 3, 3);
  p.setBrush(Qt::white);
  p.setPen(QPen(QColor(200, 200, 200), 1));
  p.drawRoundedRect(QRectF(-72, -82, 140, 160), 3, 3);
  QLinearGradient sky(0, -74, 0, 50);
  sky.setColorAt(0, kApricot.lighter(110));
  sky.setColorAt(1, kOrange.lighter(130));
  p.setPen(Qt::NoPen);
  p.setBrush(sky);
  p.drawRect(QRectF(-64, -74, 124, 124));
  p.drawImage(QRectF(-60, -72, 116, 122), WarpedFace(232, 244, true));
  p.setPen(kMaroon);
  p.setFont(Bold(11));
  p.drawText(QRectF(-64, 52, 124, 22), Qt::AlignCenter, "vorher ... nachher");
  p.restore();
  DrawSparkle(p, QPointF(28, 112), 7, QColor(255, 255, 255, 220));
  DrawSparkle(p, QPointF(170, 250), 9, QColor(255, 250, 210, 230));
  DrawSparkle(p, QPointF(178, 104), 5, QColor(255, 255, 255, 200));
  return image;
}

// The information dialog's picture, 306 x 322.
QImage AboutPicture() {
  QImage image = Canvas(306, 322, Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient bg(0, 0, 306, 322);
  bg.setColorAt(0, kCream);
  bg.setColorAt(0.6, kApricot);
  bg.setColorAt(1, kOrange.lighter(115));
  p.fillRect(image.rect(), bg);
  // Rings spreading from the bulge.
  p.setBrush(Qt::NoBrush);
  for (int i = 0; i < 7; ++i) {
    p.setPen(QPen(QColor(255, 255, 255, 110 - i * 12), 3));
    p.drawEllipse(QPointF(130, 150), 60.0 + i * 28, 60.0 + i * 28);
  }
  p.drawImage(QRectF(23, 30, 260, 270), WarpedFace(520, 540, true));
  // The brush ring of the bulge tool over the eye.
  p.setPen(QPen(kTeal, 4));
  p.drawEllipse(QPointF(23 + 260 * 0.38, 30 + 270 * 0.49), 52, 52);
  p.setPen(QPen(kTealDark, 7, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(160, 190), QPointF(200, 232));
  DrawSparkle(p, QPointF(262, 46), 14, Qt::white);
  DrawSparkle(p, QPointF(40, 270), 10, QColor(255, 255, 255, 220));
  // A badge with the version.
  p.setPen(QPen(kMaroon.darker(120), 2));
  p.setBrush(kMaroon);
  p.drawEllipse(QPointF(250, 270), 34, 34);
  p.setPen(Qt::white);
  p.setFont(Bold(24));
  p.drawText(QRectF(216, 236, 68, 68), Qt::AlignCenter, "2.0");
  return image;
}

// ---------------------------------------------------------------------------------------------
// 16-colour glyphs on olive (the transparent colour): 16 x 16 or 18 x 18 cells, normal and
// disabled side by side.

const QColor kOlive(128, 128, 0);

QImage PixelCell(int w, int h, const std::function<void(QPainter&)>& draw) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(kOlive);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setRenderHint(QPainter::TextAntialiasing, false);
  draw(p);
  return image;
}

// The classic disabled look: the shape in grey with a white copy one pixel down and right.
QImage DisabledCell(const QImage& normal) {
  QImage out(normal.size(), QImage::Format_RGB32);
  out.fill(kOlive);
  const QRgb olive = kOlive.rgb();
  // Only the darker pixels carry the drawing; light fills drop out, as on a greyed button.
  const auto inked = [&](int x, int y) {
    const QRgb c = normal.pixel(x, y);
    return c != olive && qGray(c) < 160;
  };
  for (int y = 0; y < normal.height(); ++y)
    for (int x = 0; x < normal.width(); ++x)
      if (inked(x, y) && x + 1 < out.width() && y + 1 < out.height())
        out.setPixel(x + 1, y + 1, qRgb(255, 255, 255));
  for (int y = 0; y < normal.height(); ++y)
    for (int x = 0; x < normal.width(); ++x)
      if (inked(x, y)) out.setPixel(x, y, qRgb(128, 128, 128));
  return out;
}

QImage TwoCells(const QImage& normal) {
  QImage strip(normal.width() * 2, normal.height(), QImage::Format_RGB32);
  QPainter p(&strip);
  p.drawImage(0, 0, normal);
  p.drawImage(normal.width(), 0, DisabledCell(normal));
  return strip;
}

void Tick(QPainter& p, QPoint offset, QColor dark, QColor light) {
  const QPoint pts[] = {{2, 9}, {4, 7}, {7, 10}, {13, 3}, {15, 5}, {7, 13}};
  QPolygon poly;
  for (QPoint q : pts) poly << q + offset;
  p.setPen(dark);
  p.setBrush(light);
  p.drawPolygon(poly);
}

QImage KindOK() { return PixelCell(18, 18, [](QPainter& p) { Tick(p, {0, 1}, QColor(0, 128, 0), QColor(0, 255, 0)); }); }
QImage KindYes() {
  return PixelCell(18, 18, [](QPainter& p) {
    // A tick in a round badge.
    p.setPen(QColor(0, 128, 0));
    p.setBrush(QColor(255, 255, 255));
    p.drawEllipse(QRect(0, 0, 17, 17));
    Tick(p, {0, 1}, QColor(0, 128, 0), QColor(0, 255, 0));
  });
}
QImage KindAll() {
  return PixelCell(18, 19, [](QPainter& p) {
    Tick(p, {-1, -1}, QColor(0, 128, 0), QColor(0, 255, 0));
    Tick(p, {2, 5}, QColor(0, 128, 0), QColor(0, 255, 0));
  });
}
QImage KindCancel() {
  return PixelCell(18, 18, [](QPainter& p) {
    p.setPen(QPen(QColor(128, 0, 0), 1));
    p.setBrush(QColor(255, 0, 0));
    QPolygon x;
    x << QPoint(3, 5) << QPoint(5, 3) << QPoint(9, 7) << QPoint(13, 3) << QPoint(15, 5)
      << QPoint(11, 9) << QPoint(15, 13) << QPoint(13, 15) << QPoint(9, 11) << QPoint(5, 15)
      << QPoint(3, 13) << QPoint(7, 9);
    p.drawPolygon(x);
  });
}
QImage KindNo() {
  return PixelCell(18, 18, [](QPainter& p) {
    p.setPen(QPen(QColor(255, 0, 0), 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRect(3, 3, 11, 11));
    p.drawLine(5, 13, 13, 5);
    p.setPen(QColor(128, 0, 0));
    p.drawEllipse(QRect(2, 2, 13, 13));
  });
}
QImage KindHelp() {
  return PixelCell(18, 18, [](QPainter& p) {
    p.setPen(QColor(0, 0, 128));
    p.setBrush(QColor(255, 255, 0));
    p.drawEllipse(QRect(1, 1, 15, 15));
    QFont f = Bold(13);
    f.setStyleStrategy(QFont::NoAntialias);
    p.setFont(f);
    p.setPen(QColor(0, 0, 128));
    p.drawText(QRect(1, 1, 16, 16), Qt::AlignCenter, "?");
  });
}
QImage KindClose() {
  return PixelCell(18, 18, [](QPainter& p) {
    p.setPen(QColor(0, 0, 0));
    p.setBrush(QColor(0, 128, 128));
    p.drawRect(3, 1, 9, 15); // the door frame
    p.setBrush(QColor(0, 255, 255));
    QPolygon leaf;
    leaf << QPoint(4, 2) << QPoint(9, 4) << QPoint(9, 16) << QPoint(4, 15);
    p.drawPolygon(leaf);
    p.setPen(QColor(0, 0, 0));
    p.drawPoint(8, 10);
    p.setPen(QColor(128, 0, 0));
    p.drawLine(12, 8, 16, 8);
    p.drawLine(14, 6, 16, 8);
    p.drawLine(14, 10, 16, 8);
  });
}
QImage KindAbort() {
  return PixelCell(18, 18, [](QPainter& p) {
    p.setPen(QColor(128, 0, 0));
    p.setBrush(QColor(255, 0, 0));
    QPolygon oct;
    oct << QPoint(6, 1) << QPoint(11, 1) << QPoint(16, 6) << QPoint(16, 11) << QPoint(11, 16)
        << QPoint(6, 16) << QPoint(1, 11) << QPoint(1, 6);
    p.drawPolygon(oct);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255));
    p.drawRect(4, 7, 10, 4);
  });
}
QImage KindRetry() {
  return PixelCell(18, 18, [](QPainter& p) {
    p.setPen(QPen(QColor(0, 0, 128), 2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRect(3, 3, 11, 11), 60 * 16, 280 * 16);
    p.setPen(QColor(0, 0, 255));
    p.setBrush(QColor(0, 0, 255));
    QPolygon head;
    head << QPoint(10, 0) << QPoint(15, 3) << QPoint(10, 6);
    p.drawPolygon(head);
  });
}
QImage KindIgnore() {
  return PixelCell(18, 18, [](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 0, 0));
    p.drawRect(8, 9, 2, 8); // the obstacle
    p.setPen(QPen(QColor(0, 0, 128), 2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRect(2, 4, 14, 14), 20 * 16, 140 * 16);
    p.setPen(QColor(0, 0, 255));
    p.setBrush(QColor(0, 0, 255));
    QPolygon head;
    head << QPoint(12, 9) << QPoint(17, 9) << QPoint(16, 4);
    p.drawPolygon(head);
  });
}

QImage GlyphSave() {
  return PixelCell(16, 16, [](QPainter& p) {
    p.setPen(QColor(0, 0, 0));
    p.setBrush(QColor(0, 0, 128));
    p.drawRect(1, 1, 13, 13);
    p.setBrush(QColor(255, 255, 255));
    p.drawRect(3, 1, 9, 6); // label
    p.setPen(QColor(128, 128, 128));
    p.drawLine(5, 3, 10, 3);
    p.drawLine(5, 5, 10, 5);
    p.setPen(QColor(0, 0, 0));
    p.setBrush(QColor(192, 192, 192));
    p.drawRect(4, 9, 7, 5); // shutter
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 128));
    p.drawRect(5, 10, 2, 3);
  });
}

void Printer(QPainter& p) {
  p.setPen(QColor(0, 0, 0));
  p.setBrush(QColor(255, 255, 255));
  p.drawRect(4, 1, 7, 5); // paper in
  p.setBrush(QColor(192, 192, 192));
  p.drawRect(1, 6, 13, 6); // body
  p.setPen(QColor(255, 255, 255));
  p.drawLine(2, 7, 12, 7);
  p.setPen(QColor(0, 0, 0));
  p.setBrush(QColor(255, 255, 255));
  p.drawRect(4, 10, 7, 4); // paper out
  p.setPen(QColor(0, 0, 128));
  p.drawLine(5, 12, 9, 12);
  p.setPen(QColor(0, 255, 0));
  p.drawPoint(12, 8);
}

QImage GlyphPrint() { return PixelCell(16, 16, Printer); }
QImage GlyphPrintSetup() {
  return PixelCell(16, 16, [](QPainter& p) {
    p.translate(-1, 0);
    Printer(p);
    p.translate(1, 0);
    // A spanner across the lower right corner.
    p.setPen(QColor(0, 0, 0));
    p.setBrush(QColor(255, 255, 0));
    QPolygon handle;
    handle << QPoint(9, 15) << QPoint(14, 10) << QPoint(15, 11) << QPoint(10, 16);
    p.drawPolygon(handle);
    p.drawEllipse(QRect(12, 7, 4, 4));
  });
}

bool WriteAll() {
  bool ok = true;
  QDir().mkpath(gOut + "/art");
  QDir().mkpath(gOut + "/kinds");
  ok &= Save(ProgramIcon(64), "art/morphane.png");
  ok &= Save(ProgramIcon(256), "art/morphane-256.png");
  ok &= Save(TabOpen(), "art/tab0.png");
  ok &= Save(TabResult(), "art/tab1.png");
  ok &= Save(TabOperate(), "art/tab2.png");
  ok &= Save(ToolStrip(ToolGrow), "art/tool_wachsen.png");
  ok &= Save(ToolStrip(ToolShrink), "art/tool_schrumpfen.png");
  ok &= Save(ToolStrip(ToolSmear), "art/tool_schmieren.png");
  ok &= Save(ToolStrip(ToolDrag), "art/tool_zerren.png");
  ok &= Save(ToolStrip(ToolErase), "art/tool_radierer.png");
  ok &= Save(SmallToolStrip(ToolUndo), "art/tool_rueckgaengig.png");
  ok &= Save(SmallToolStrip(ToolRedo), "art/tool_wiederholen.png");
  ok &= Save(SmallGlyph(ToolProtect), "art/tool_schuetzen.png");
  ok &= Save(SmallGlyph(ToolRelease), "art/tool_freigeben.png");
  ok &= Save(SmallGlyph(ToolShowProtection), "art/tool_schutz_zeigen.png");
  ok &= Save(FaceGlyph(), "art/tool_gesicht.png");
  ok &= Save(ApplyDeformationGlyph(), "art/verformung_uebernehmen.png");
  ok &= Save(Wallpaper(), "art/speedbar.png");
  ok &= Save(WebGlyph(), "art/www.png");
  ok &= Save(ResultSide().convertToFormat(QImage::Format_RGB32), "art/result_side.png");
  ok &= Save(AboutPicture().convertToFormat(QImage::Format_RGB32), "art/about.jpg", "JPG", 90);

  const QColor infoTop(52, 160, 180), infoBottom(22, 104, 122);
  const QColor endTop(226, 104, 70), endBottom(160, 44, 36);
  struct Gif { const char* name; QImage image; };
  const Gif gifs[] = {
      {"art/ueber.gif", ImageButton("Info", infoTop, infoBottom, false, SymbolInfo)},
      {"art/ueber2.gif", ImageButton("Info", infoTop, infoBottom, true, SymbolInfo)},
      {"art/ende.gif", ImageButton("Ende", endTop, endBottom, false, SymbolExit)},
      {"art/ende2.gif", ImageButton("Ende", endTop, endBottom, true, SymbolExit)},
  };
  for (const Gif& g : gifs) {
    const bool written = artgen::WriteGif(g.image, gOut + "/" + g.name, kFace) &&
                         QFile::setPermissions(gOut + "/" + g.name, QFile::ReadOwner | QFile::WriteOwner |
                                                                    QFile::ReadGroup | QFile::ReadOther);
    std::printf("%s %s/%s\n", written ? "wrote" : "FAILED", qPrintable(gOut), g.name);
    ok &= written;
  }

  struct Bmp { const char* name; QImage cell; };
  const Bmp bmps[] = {
      {"art/save.bmp", GlyphSave()},        {"art/print.bmp", GlyphPrint()},
      {"art/printsetup.bmp", GlyphPrintSetup()},
      {"kinds/BBOKX.bmp", KindOK()},        {"kinds/BBCANCELX.bmp", KindCancel()},
      {"kinds/BBHELPX.bmp", KindHelp()},    {"kinds/BBYESX.bmp", KindYes()},
      {"kinds/BBNOX.bmp", KindNo()},        {"kinds/BBCLOSEX.bmp", KindClose()},
      {"kinds/BBABORTX.bmp", KindAbort()},  {"kinds/BBRETRYX.bmp", KindRetry()},
      {"kinds/BBIGNOREX.bmp", KindIgnore()}, {"kinds/BBALLX.bmp", KindAll()},
  };
  for (const Bmp& b : bmps) {
    const bool written = artgen::WriteBmp4(TwoCells(b.cell), gOut + "/" + b.name);
    std::printf("%s %s/%s\n", written ? "wrote" : "FAILED", qPrintable(gOut), b.name);
    ok &= written;
  }
  return ok;
}

} // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <resources folder>\n", argv[0]);
    return 2;
  }
  gOut = QString::fromLocal8Bit(argv[1]);
  return WriteAll() ? 0 : 1;
}
