// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the test portrait of the user's guide and the screenshots:  morphane_portrait OUTPUT.png
// A made-up face, drawn from shapes only, so the project owns every pixel of it. The drawing
// uses no text and no system resources, so the same build writes the same bytes every time.
#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 500;

const QColor kSkin(246, 204, 168);
const QColor kSkinShade(214, 150, 112);
const QColor kHair(92, 54, 34);
const QColor kHairLight(142, 90, 56);
const QColor kShirt(38, 110, 150);
const QColor kShirtStripe(236, 240, 228);
const QColor kIris(66, 122, 96);
const QColor kLips(196, 92, 92);

void Background(QPainter& p) {
  QLinearGradient sky(0, 0, 0, kHeight);
  sky.setColorAt(0, QColor(206, 226, 240));
  sky.setColorAt(1, QColor(150, 184, 210));
  p.fillRect(QRect(0, 0, kWidth, kHeight), sky);
  // A grid of faint lines behind the head: every deformation shows in it.
  p.setPen(QPen(QColor(255, 255, 255, 90), 2));
  for (int x = 20; x < kWidth; x += 40) p.drawLine(x, 0, x, kHeight);
  for (int y = 20; y < kHeight; y += 40) p.drawLine(0, y, kWidth, y);
}

// Shoulders in a striped shirt, the neck above them.
void Body(QPainter& p) {
  QPainterPath shoulders;
  shoulders.moveTo(10, kHeight);
  shoulders.cubicTo(20, 410, 90, 380, 160, 372);
  shoulders.lineTo(240, 372);
  shoulders.cubicTo(310, 380, 380, 410, 390, kHeight);
  shoulders.closeSubpath();
  p.save();
  p.setClipPath(shoulders);
  p.fillRect(QRect(0, 360, kWidth, kHeight - 360), kShirt);
  p.setPen(QPen(kShirtStripe, 6));
  for (int x = -200; x < kWidth + 200; x += 24) p.drawLine(x, kHeight, x + 140, 360);
  p.restore();

  QLinearGradient neckShade(0, 320, 0, 400);
  neckShade.setColorAt(0, kSkinShade);
  neckShade.setColorAt(1, kSkin);
  p.setPen(Qt::NoPen);
  p.setBrush(neckShade);
  QPainterPath neck;
  neck.moveTo(164, 300);
  neck.lineTo(236, 300);
  neck.cubicTo(236, 350, 246, 372, 256, 380);
  neck.cubicTo(220, 404, 180, 404, 144, 380);
  neck.cubicTo(154, 372, 164, 350, 164, 300);
  p.drawPath(neck);
}

void HairBack(QPainter& p) {
  p.setPen(Qt::NoPen);
  p.setBrush(kHair);
  p.drawEllipse(QRectF(92, 56, 216, 270));
}

void Face(QPainter& p) {
  // Ears first, the face covers their inner halves.
  p.setPen(QPen(kSkinShade, 2));
  p.setBrush(kSkin);
  p.drawEllipse(QRectF(98, 186, 36, 62));
  p.drawEllipse(QRectF(266, 186, 36, 62));

  QRadialGradient shade(QPointF(188, 190), 150);
  shade.setColorAt(0, kSkin.lighter(106));
  shade.setColorAt(0.7, kSkin);
  shade.setColorAt(1, kSkinShade);
  p.setPen(QPen(kSkinShade.darker(115), 2));
  p.setBrush(shade);
  p.drawEllipse(QRectF(118, 96, 164, 224));

  // Rosy cheeks.
  for (int x : {162, 238}) {
    QRadialGradient cheek(QPointF(x, 250), 24);
    cheek.setColorAt(0, QColor(236, 130, 120, 110));
    cheek.setColorAt(1, QColor(236, 130, 120, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(cheek);
    p.drawEllipse(QPointF(x, 250), 24, 24);
  }
}

void HairFront(QPainter& p) {
  QPainterPath fringe;
  fringe.moveTo(112, 190);
  fringe.cubicTo(100, 80, 300, 60, 290, 190);
  fringe.cubicTo(270, 140, 240, 124, 210, 122);
  fringe.cubicTo(190, 150, 150, 150, 136, 142);
  fringe.cubicTo(124, 156, 116, 172, 112, 190);
  QLinearGradient shine(130, 70, 270, 170);
  shine.setColorAt(0, kHairLight);
  shine.setColorAt(1, kHair);
  p.setPen(Qt::NoPen);
  p.setBrush(shine);
  p.drawPath(fringe);
}

void Eye(QPainter& p, double cx) {
  const double cy = 206;
  p.setPen(QPen(QColor(70, 44, 30), 2.5));
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(cx, cy), 20, 12);
  p.setPen(Qt::NoPen);
  p.setBrush(kIris);
  p.drawEllipse(QPointF(cx + 2, cy), 9, 9);
  p.setBrush(QColor(20, 20, 24));
  p.drawEllipse(QPointF(cx + 2, cy), 4.5, 4.5);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(cx + 5, cy - 3), 2, 2);

  // The brow, a thick arc above.
  QPainterPath brow;
  brow.moveTo(cx - 22, cy - 20);
  brow.quadTo(cx, cy - 34, cx + 22, cy - 22);
  p.setPen(QPen(kHair, 5, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawPath(brow);
}

void NoseAndMouth(QPainter& p) {
  QPainterPath nose;
  nose.moveTo(198, 214);
  nose.cubicTo(194, 240, 186, 252, 190, 260);
  nose.cubicTo(196, 266, 206, 266, 212, 260);
  p.setPen(QPen(kSkinShade.darker(120), 2.5, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawPath(nose);

  QPainterPath mouth;
  mouth.moveTo(168, 282);
  mouth.cubicTo(184, 300, 216, 300, 232, 282);
  mouth.cubicTo(214, 290, 186, 290, 168, 282);
  p.setPen(QPen(kLips.darker(130), 2));
  p.setBrush(kLips);
  p.drawPath(mouth);
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Aufruf: morphane_portrait AUSGABE.png\n");
    return 2;
  }
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    Background(p);
    HairBack(p);
    Body(p);
    Face(p);
    HairFront(p);
    Eye(p, 164);
    Eye(p, 236);
    NoseAndMouth(p);
  }
  // 24 bits without alpha, as a camera would write it.
  if (!image.convertToFormat(QImage::Format_RGB888).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "%s: Das Bild konnte nicht geschrieben werden.\n", argv[1]);
    return 1;
  }
  return 0;
}
