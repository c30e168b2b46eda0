// SPDX-License-Identifier: GPL-3.0-or-later
// The editing page's protection brushes ("Schützen", "Freigeben") and the overlay that shows the
// protection, the pen's pressure, and the brush range that grows with the picture.
#include "MainUnit.h"

#include "Protection.h"

#include <QImage>
#include <QPainter>
#include <QPointingDevice>
#include <QShortcut>
#include <QTabletEvent>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace {

// Full protection shows as this colour at this opacity over the picture.
const QColor kProtectionColour(230, 30, 60);
constexpr int kFullAlpha = 120;

int32_t viewPixel(qreal v) { return int32_t(std::floor(v)); }

bool isPen(const QPointingDevice* device) {
  if (device == nullptr) return false;
  const QInputDevice::DeviceType t = device->type();
  return t == QInputDevice::DeviceType::Stylus || t == QInputDevice::DeviceType::Airbrush ||
         t == QInputDevice::DeviceType::Puck;
}

// A pen on the editing view: its press, moves and release are the view's mouse events, with the
// pen's pressure for the steps in between. The mouse events the system may make of the pen as well
// are dropped; a mouse or a touch screen leaves the pressure at 1.
class TPenInput : public QObject {
public:
  explicit TPenInput(TMainForm& form) : QObject(form.PaintBox1), form_(form) { form.PaintBox1->installEventFilter(this); }

  bool eventFilter(QObject*, QEvent* e) override {
    switch (e->type()) {
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease: {
      auto* t = static_cast<QTabletEvent*>(e);
      const int32_t X = viewPixel(t->position().x()), Y = viewPixel(t->position().y());
      if (e->type() != QEvent::TabletRelease) form_.FPressure = std::clamp(double(t->pressure()), 0.0, 1.0);
      if (e->type() == QEvent::TabletPress)
        form_.PaintBox1MouseDown(form_.PaintBox1, t->button(), t->modifiers(), X, Y);
      else if (e->type() == QEvent::TabletMove)
        form_.PaintBox1MouseMove(form_.PaintBox1, t->modifiers(), X, Y);
      else
        form_.PaintBox1MouseUp(form_.PaintBox1, t->button(), t->modifiers(), X, Y);
      if (e->type() == QEvent::TabletRelease || !form_.FStrokeActive) form_.FPressure = 1.0;
      t->accept();
      return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
      auto* m = static_cast<QMouseEvent*>(e);
      if (isPen(m->pointingDevice())) return true;
      if (!form_.FStrokeActive) form_.FPressure = 1.0;
      return false;
    }
    default: return false;
    }
  }

private:
  TMainForm& form_;
};

} // namespace

void TMainForm::buildProtection() {
  SchuetzenBtn = AddBottomTool(":/art/tool_schuetzen.png", "Schützen: Bereiche malen, die sich nicht verändern", "S");
  FreigebenBtn = AddBottomTool(":/art/tool_freigeben.png", "Freigeben: geschützte Bereiche wieder frei malen", "F");
  SchutzZeigenBtn = AddBottomTool(":/art/tool_schutz_zeigen.png", "Schutz zeigen oder verbergen", "V");
  for (QToolButton* b : {SchuetzenBtn, FreigebenBtn, SchutzZeigenBtn}) b->setCheckable(true);
  SchutzZeigenBtn->setChecked(true);
  connect(SchuetzenBtn, &QToolButton::clicked, this,
          [this](bool on) { SetProtectionBrush(on ? TBrush::Protect : TBrush::Tool); });
  connect(FreigebenBtn, &QToolButton::clicked, this,
          [this](bool on) { SetProtectionBrush(on ? TBrush::Release : TBrush::Tool); });
  connect(SchutzZeigenBtn, &QToolButton::toggled, this, [this] { PaintBox1->update(); });
  // Choosing a tool paints with it again.
  for (comp::TSpeedItem* tool : {WachsenBtn, SchrumpfenBtn, SchmierenBtn, ZerrenBtn, RadiererBtn})
    connect(tool, &QToolButton::clicked, this, [this] { SetProtectionBrush(TBrush::Tool); });

  const auto key = [this](Qt::Key k, QToolButton* b) {
    auto* s = new QShortcut(QKeySequence(k), this);
    connect(s, &QShortcut::activated, b, &QToolButton::click);
    s->setEnabled(PageControl2->currentIndex() == 1);
    connect(PageControl2, &QTabWidget::currentChanged, s, [this, s] { s->setEnabled(PageControl2->currentIndex() == 1); });
  };
  key(Qt::Key_S, SchuetzenBtn);
  key(Qt::Key_F, FreigebenBtn);
  key(Qt::Key_V, SchutzZeigenBtn);

  new TPenInput(*this);
}

void TMainForm::SetProtectionBrush(TBrush Brush) {
  FBrush = Brush;
  SchuetzenBtn->setChecked(Brush == TBrush::Protect);
  FreigebenBtn->setChecked(Brush == TBrush::Release);
  // Protecting is pointless where nothing shows it.
  if (Brush != TBrush::Tool) SchutzZeigenBtn->setChecked(true);
}

void TMainForm::UpdateRadiusRange() {
  RadiusED->SetRange(RadiusED->MinValue(), warp::MaxBrushRadius(PictureWidth(), PictureHeight()));
}

// The protection over the part of the view being repainted: every view pixel tinted by the weight
// of the picture pixel it shows.
void TMainForm::drawProtectionOverlay(QPainter& p) {
  const std::vector<uint8_t>& weights = Protection();
  if (weights.empty() || !SchutzZeigenBtn->isChecked() || FShowingSource || FZoomNum <= 0 || FZoomDen <= 0) return;
  const int32_t w = PictureWidth(), h = PictureHeight();
  const QRect area = PaintBox1->PaintRect().intersected(QRect(0, 0, ViewWidth(), ViewHeight()));
  if (area.isEmpty() || weights.size() != size_t(w) * size_t(h)) return;
  QImage tint(area.size(), QImage::Format_ARGB32_Premultiplied);
  tint.fill(Qt::transparent);
  std::vector<int32_t> columns(size_t(area.width()));
  for (int c = 0; c < area.width(); ++c)
    columns[size_t(c)] = std::min(w - 1, int32_t(int64_t(area.left() + c) * FZoomDen / FZoomNum));
  bool any = false;
  for (int r = 0; r < area.height(); ++r) {
    const int64_t row = int64_t(h) - 1 - int64_t(area.top() + r) * FZoomDen / FZoomNum;
    if (row < 0) continue;
    const uint8_t* source = weights.data() + row * w;
    auto* out = reinterpret_cast<QRgb*>(tint.scanLine(r));
    for (int c = 0; c < area.width(); ++c) {
      const int weight = source[columns[size_t(c)]];
      if (weight == 0) continue;
      const int a = weight * kFullAlpha / 255;
      out[c] = qRgba(kProtectionColour.red() * a / 255, kProtectionColour.green() * a / 255,
                     kProtectionColour.blue() * a / 255, a);
      any = true;
    }
  }
  if (any) p.drawImage(area.topLeft(), tint);
}
