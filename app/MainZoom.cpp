// SPDX-License-Identifier: GPL-3.0-or-later
// Zoom and pan of the editing view and the result page.
//
// Editing page: Ctrl+wheel and Ctrl+plus / Ctrl+minus step the zoom field along a ladder of
// usual values, about the picture point under the pointer (the view's centre for the keys);
// Ctrl+0 fits the whole picture into the view; a zoom typed into the field keeps the picture
// point at the view's centre where it is. Result page: 100 % or the whole picture fitted into
// the view, with the same keys. On both pages Shift+wheel and a sideways wheel pan sideways by
// 20 pixels a notch; the plain wheel stays the window's (20 pixels up or down).
#include "MainUnit.h"

#include <QApplication>
#include <QEvent>
#include <QScrollBar>
#include <QShortcut>
#include <QTabWidget>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

using namespace comp;

namespace {

constexpr int kNotch = 120; // wheel delta of one notch
constexpr int kPanStep = 20; // pixels a notch pans
constexpr long double kLadder[] = {0.05L, 0.1L, 0.15L, 0.2L, 0.25L, 0.33L, 0.5L, 0.67L, 0.75L, 1.0L,
                                   1.25L, 1.5L, 2.0L,  2.5L, 3.0L,  4.0L,  5.0L, 6.0L,  8.0L,  10.0L};

// The next value of the ladder above (steps > 0) or below the zoom z, `steps` rungs away.
long double nextRung(long double z, int steps) {
  const int n = int(std::size(kLadder));
  int i = 0;
  if (steps > 0) {
    while (i < n && kLadder[i] <= z + 1e-9L) ++i; // first rung above z
    i = std::min(n - 1, i + steps - 1);
  } else {
    i = n - 1;
    while (i >= 0 && kLadder[i] >= z - 1e-9L) --i; // first rung below z
    i = std::max(0, i + steps + 1);
  }
  return kLadder[i];
}

QSize clientSize(const TScrollBox& box) { return box.contentsRect().size(); }

} // namespace

double TMainForm::ViewScale() const { return FZoomDen > 0 ? double(FZoomNum) / double(FZoomDen) : 1.0; }

// The zoom field changed: a new ratio and view size; the picture point at the anchor (the
// pointer for the wheel, else the view's centre) stays where it is.
void TMainForm::ZoomEdChange(QObject*) {
  if (!ScrollBox1) {
    ZoomEdChanged();
    return;
  }
  const QWidget* port = ScrollBox1->viewport();
  const QPointF anchor = zoomAnchor_.value_or(QPoint(port->width() / 2, port->height() / 2));
  const double before = ViewScale();
  const QPointF picture = (QPointF(ScrollBox1->HorzPosition(), ScrollBox1->VertPosition()) + anchor) / before;
  ZoomEdChanged();
  const double after = ViewScale();
  if (after == before) return;
  ScrollBox1->SetHorzPosition(int(std::lround(picture.x() * after - anchor.x())));
  ScrollBox1->SetVertPosition(int(std::lround(picture.y() * after - anchor.y())));
}

void TMainForm::ZoomBy(int Steps, QPoint Anchor) {
  if (Steps == 0) return;
  const long double z = nextRung(ZoomEd->Value(), Steps);
  if (z == ZoomEd->Value()) return;
  zoomAnchor_ = Anchor;
  ZoomEd->SetValue(z);
  zoomAnchor_.reset();
}

// The largest zoom with two decimals at which the whole picture shows without scroll bars.
void TMainForm::ZoomToFit() {
  const int32_t w = PictureWidth(), h = PictureHeight();
  if (w <= 0 || h <= 0) return;
  const QSize client = clientSize(*ScrollBox1);
  const long double fit = std::min<long double>((long double)client.width() / w, (long double)client.height() / h);
  long double z = std::clamp(std::floor(fit * 100.0L) / 100.0L, ZoomEd->MinValue(), ZoomEd->MaxValue());
  ZoomEd->SetValue(z);
  // The ratio truncates; a rung lower where a picture still reaches past the view.
  while (z > ZoomEd->MinValue() && (ViewWidth() > client.width() || ViewHeight() > client.height())) {
    z = std::max(ZoomEd->MinValue(), z - 0.01L);
    ZoomEd->SetValue(z);
  }
  ScrollBox1->SetHorzPosition(0);
  ScrollBox1->SetVertPosition(0);
}

// --- result page ---------------------------------------------------------------------------------

QSize TMainForm::ResultViewSize() const {
  const int32_t w = DibWidth(FResultDib), h = DibHeight(FResultDib);
  if (!FResultFit || w <= 0 || h <= 0) return {w, h};
  const QSize client = clientSize(*ErgScrollBox);
  // The whole picture, aspect kept, as large as the view allows.
  const int64_t byWidth = int64_t(h) * client.width() / w;
  if (byWidth <= client.height()) return {client.width(), int(std::max<int64_t>(1, byWidth))};
  return {int(std::max<int64_t>(1, int64_t(w) * client.height() / h)), client.height()};
}

void TMainForm::SetResultFit(bool Fit) {
  FResultFit = Fit;
  if (FResultDib.Info) ErgPaintBox->resize(ResultViewSize());
  ErgPaintBox->update();
}

// --- keys and wheel ------------------------------------------------------------------------------

void TMainForm::buildZoomKeys() {
  const auto key = [this](QKeySequence sequence, auto&& action) {
    auto* s = new QShortcut(sequence, this);
    connect(s, &QShortcut::activated, this, action);
  };
  const auto centre = [this] {
    const QWidget* port = ScrollBox1->viewport();
    return QPoint(port->width() / 2, port->height() / 2);
  };
  const auto zoom = [this, centre](int steps) {
    if (PageControl2->currentIndex() == 1) ZoomBy(steps, centre());
    else if (PageControl2->currentIndex() == 2) SetResultFit(steps < 0);
  };
  key(QKeySequence(Qt::CTRL | Qt::Key_Plus), [zoom] { zoom(1); });
  key(QKeySequence(Qt::CTRL | Qt::Key_Equal), [zoom] { zoom(1); }); // plus without Shift
  key(QKeySequence(Qt::CTRL | Qt::Key_Minus), [zoom] { zoom(-1); });
  key(QKeySequence(Qt::CTRL | Qt::Key_0), [this] {
    if (PageControl2->currentIndex() == 1) ZoomToFit();
    else if (PageControl2->currentIndex() == 2) SetResultFit(true);
  });
}

// Ctrl+wheel zooms, Shift+wheel and the sideways wheel pan; true when the event was one of them.
bool TMainForm::zoomWheel(QWheelEvent* e) {
  const int page = PageControl2->currentIndex();
  if (page != 1 && page != 2) return false;
  TScrollBox* box = page == 1 ? ScrollBox1 : ErgScrollBox;
  const QPoint delta = e->angleDelta();
  if (e->modifiers() & Qt::ControlModifier) {
    zoomRest_ += delta.y() != 0 ? delta.y() : delta.x();
    const int notches = zoomRest_ / kNotch;
    zoomRest_ -= notches * kNotch;
    if (notches == 0) return true;
    if (page == 2) {
      SetResultFit(notches < 0);
      return true;
    }
    const QPoint at = box->viewport()->mapFromGlobal(e->globalPosition().toPoint());
    const QRect port = box->viewport()->rect();
    ZoomBy(notches, port.contains(at) ? at : port.center());
    return true;
  }
  const int sideways = (e->modifiers() & Qt::ShiftModifier) ? delta.y() + delta.x() : delta.x();
  if (sideways == 0 && !(e->modifiers() & Qt::ShiftModifier)) return false;
  panRest_ += sideways;
  const int notches = panRest_ / kNotch;
  panRest_ -= notches * kNotch;
  box->SetHorzPosition(box->HorzPosition() - notches * kPanStep);
  return true;
}

// The result view in its fitted size follows the size of its box.
bool TMainForm::viewEvent(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::Wheel && watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this)
    return zoomWheel(static_cast<QWheelEvent*>(e));
  if (e->type() == QEvent::Resize && FResultFit && ErgScrollBox && watched == ErgScrollBox->viewport() &&
      FResultDib.Info && ErgPaintBox->size() != ResultViewSize())
    ErgPaintBox->resize(ResultViewSize());
  return false;
}
