// SPDX-License-Identifier: GPL-3.0-or-later
// Undo and redo of strokes, the keyboard shortcuts and the before/after view of the main window.
//
// Keys: Ctrl+O the file list on page "Motiv laden", Ctrl+S save the project (the first time
// asks for a name), Ctrl+Shift+S save the result as a picture or project, Ctrl+P print, Ctrl+Q close
// (through the close question), Ctrl+Z undo, Ctrl+Shift+Z and Ctrl+Y redo; on page "Gesicht
// operieren" also 1..5 for the tools in the tool bar's order, [ and ] for a smaller and a larger
// brush, and the backslash, held, for the picture before the operation. A focused spin edit keeps
// the keys it types and its own text undo.
#include "MainUnit.h"

#include "ButtonsXP.h"
#include "ShellControls.h"

#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QShortcut>
#include <QStatusTipEvent>

using namespace comp;

namespace {

// Directly below ZoomEd (top 336, 22 high), low enough to fit the bar of the window's first size.
constexpr int kHistoryRowTop = 360;
constexpr int kHistoryBtnWidth = 37, kHistoryBtnHeight = 20;

TSpeedItem* historyButton(TSpeedBar* bar, const QString& caption, const QString& glyph, int left,
                          const QString& keys) {
  auto* b = new TSpeedItem(bar, caption, glyph);
  b->setCheckable(false);
  b->setToolButtonStyle(Qt::ToolButtonIconOnly);
  b->setIconSize(QSize(16, 16));
  b->setGeometry(left, kHistoryRowTop, kHistoryBtnWidth, kHistoryBtnHeight);
  SetHint(b, caption + " (" + keys + ")", true);
  b->setAccessibleName(caption);
  b->setEnabled(false);
  return b;
}

// A frame in the highlight colour just inside the edges of the widget it lies over: the focus
// of lists, trees and scroll boxes, which draw none of their own (an empty list has no current
// item to mark). It follows the widget's size and lets the mouse through.
class TFocusRing : public QWidget {
public:
  // Kept by `home` while it frames nothing.
  explicit TFocusRing(QWidget* home) : QWidget(home), home_(home) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    hide();
  }
  void Follow(QWidget* target) {
    if (target_) target_->removeEventFilter(this);
    target_ = target;
    if (!target) {
      hide();
      setParent(home_);
      return;
    }
    setParent(target);
    target->installEventFilter(this);
    setGeometry(target->rect());
    raise();
    show();
  }

protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Resize && target_) setGeometry(target_->rect());
    if (e->type() == QEvent::ChildAdded) raise();
    return false;
  }
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setPen(QPen(palette().color(QPalette::Highlight), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
  }

private:
  QWidget* home_;
  QWidget* target_ = nullptr;
};

} // namespace

void TMainForm::buildHistoryRow() {
  RueckgaengigBtn = historyButton(SpeedBar1, "Rückgängig", ":/art/tool_rueckgaengig.png", 3, "Strg+Z");
  WiederholenBtn = historyButton(SpeedBar1, "Wiederholen", ":/art/tool_wiederholen.png", 3 + kHistoryBtnWidth + 4,
                                 "Strg+Umschalt+Z oder Strg+Y");
  connect(RueckgaengigBtn, &QToolButton::clicked, this, [this] { RueckgaengigBtnClick(RueckgaengigBtn); });
  connect(WiederholenBtn, &QToolButton::clicked, this, [this] { WiederholenBtnClick(WiederholenBtn); });
}

void TMainForm::RueckgaengigBtnClick(QObject*) { Undo(); }
void TMainForm::WiederholenBtnClick(QObject*) { Redo(); }

void TMainForm::HistoryChanged() {
  if (RueckgaengigBtn) RueckgaengigBtn->setEnabled(CanUndo());
  if (WiederholenBtn) WiederholenBtn->setEnabled(CanRedo());
  if (ErgPaintBox) ErgPaintBox->update();
  ProjectHistoryChanged();
}

void TMainForm::buildKeys() {
  const auto key = [this](QKeySequence sequence, auto&& action) {
    auto* s = new QShortcut(sequence, this);
    connect(s, &QShortcut::activated, this, action);
    return s;
  };
  key(QKeySequence(Qt::CTRL | Qt::Key_O), [this] {
    PageControl2->setCurrentIndex(0);
    JamShellList1->setFocus(Qt::ShortcutFocusReason);
  });
  key(QKeySequence(Qt::CTRL | Qt::Key_S), [this] { SaveProject(); });
  key(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), [this] { BitBtn1Click(SaveAsBtn); });
  key(QKeySequence(Qt::CTRL | Qt::Key_P), [this] { BitBtn2Click(PrintBtn); });
  key(QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });
  key(QKeySequence(Qt::CTRL | Qt::Key_Z), [this] { RueckgaengigBtnClick(this); });
  key(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), [this] { WiederholenBtnClick(this); });
  key(QKeySequence(Qt::CTRL | Qt::Key_Y), [this] { WiederholenBtnClick(this); });

  // Keys of the editing page, with what the status bar says while the pointer is over the
  // control they work (the tool tips keep their texts).
  TSpeedItem* const tools[] = {WachsenBtn, SchrumpfenBtn, SchmierenBtn, ZerrenBtn, RadiererBtn};
  const char* names[] = {"Wachsen", "Schrumpfen", "Schmieren", "Zerren", "Radierer"};
  for (int n = 0; n < 5; ++n) {
    TSpeedItem* tool = tools[n];
    editingKeys_.push_back(key(QKeySequence(Qt::Key_1 + n), [tool] { tool->click(); }));
    tool->setStatusTip(QString("%1: Taste %2").arg(names[n]).arg(n + 1));
  }
  editingKeys_.push_back(key(QKeySequence(Qt::Key_BracketLeft), [this] { stepRadius(-1); }));
  editingKeys_.push_back(key(QKeySequence(Qt::Key_BracketRight), [this] { stepRadius(1); }));
  RadiusED->setStatusTip("Radius kleiner: Taste [, größer: Taste ]");
  PaintBox1->setStatusTip("Vorher zeigen: Rückstrich (\\) gedrückt halten");
  RueckgaengigBtn->setStatusTip("Rückgängig: Strg+Z");
  WiederholenBtn->setStatusTip("Wiederholen: Strg+Umschalt+Z oder Strg+Y");

  // Lists, trees and scroll boxes get a focus ring; it goes with the window's widgets.
  QPointer<TFocusRing> ring = new TFocusRing(this);
  connect(qApp, &QApplication::focusChanged, ring, [window = this, ring](QWidget*, QWidget* now) {
    if (!ring) return;
    const bool framed = now && now->window() == window && qobject_cast<QAbstractScrollArea*>(now);
    ring->Follow(framed ? now : nullptr);
  });

  const auto enableEditingKeys = [this] {
    for (QObject* s : editingKeys_) static_cast<QShortcut*>(s)->setEnabled(PageControl2->currentIndex() == 1);
  };
  enableEditingKeys();
  connect(PageControl2, &QTabWidget::currentChanged, this, enableEditingKeys);
}

void TMainForm::stepRadius(int steps) {
  RadiusED->stepBy(steps);
  // The outline shows the new size at once where the pointer is.
  if (FOutlineShown && !FStrokeActive) {
    const QPoint at = PaintBox1->mapFromGlobal(QCursor::pos());
    ViewMouseMove(at.x(), at.y());
  }
}

void TMainForm::SetShowingSource(bool On) {
  if (FShowingSource == On) return;
  FShowingSource = On;
  PaintView();
}

// Seen for every event of the application before its receiver: the before/after key, the
// status bar's key hints, and a press on the editing view taking the focus from a spin edit
// (so that the keys reach the window again).
bool TMainForm::keyEvent(QObject* watched, QEvent* e) {
  switch (e->type()) {
  case QEvent::KeyPress:
  case QEvent::KeyRelease: {
    auto* k = static_cast<QKeyEvent*>(e);
    const bool press = e->type() == QEvent::KeyPress;
    // The key event goes to the focus widget first (or the window without one); its parents see
    // it again when it is passed on.
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : this;
    if (watched != target || target->window() != this) return false;
    // On keyboards where the backslash needs AltGr that modifier comes with it.
    const bool plain = !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (press && k->key() == Qt::Key_Backslash && plain) {
      if (PageControl2->currentIndex() != 1) return false;
      if (!k->isAutoRepeat()) {
        sourceKeyCode_ = k->nativeScanCode();
        SetShowingSource(true);
      }
      return true;
    }
    // The same physical key, whatever it reads now (a modifier may have been let go first).
    if (!press && FShowingSource && (k->nativeScanCode() == sourceKeyCode_ || k->key() == Qt::Key_Backslash)) {
      if (!k->isAutoRepeat()) SetShowingSource(false);
      return true;
    }
    return false;
  }
  case QEvent::WindowDeactivate:
    if (watched == this) SetShowingSource(false);
    return false;
  case QEvent::StatusTip:
    if (watched == this) {
      StatusBar1->Panels[0].Text = static_cast<QStatusTipEvent*>(e)->tip();
      StatusBar1->update();
      return true;
    }
    return false;
  case QEvent::MouseButtonPress:
    if (watched == PaintBox1) {
      // A spin edit's focus sits on its line edit.
      QWidget* focus = QApplication::focusWidget();
      QWidget* owner = focus ? focus->parentWidget() : nullptr;
      if (focus && focus->window() == this &&
          (qobject_cast<QAbstractSpinBox*>(focus) || qobject_cast<QAbstractSpinBox*>(owner)))
        focus->clearFocus();
    }
    return false;
  default: return false;
  }
}
