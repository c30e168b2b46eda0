// SPDX-License-Identifier: GPL-3.0-or-later
// Undo and redo of strokes, the keyboard shortcuts and the before/after view of the main window.
//
// Keys: Ctrl+O the file list on page "Motiv laden", Ctrl+S save the project (the first time
// asks for a name), Ctrl+Shift+S save the result as a picture or project, Ctrl+P print, Ctrl+Q close
// (through the close question), Ctrl+Z undo, Ctrl+Shift+Z and Ctrl+Y redo; on page "Gesicht
// operieren" also 1..5 for the tools in the tool bar's order, [ and ] for a smaller and a larger
// brush, and the backslash, held, for the picture before the operation; Ctrl+I the information
// dialog, F1 the user's guide. A focused spin edit keeps the keys it types and its own text undo;
// Enter in it uses the value, Escape brings back the value it had, and both give the keys back
// to the editing view.
#include "MainUnit.h"

#include "ButtonsXP.h"
#include "ImageBtnUnit.h"
#include "ShellControls.h"

#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QBoxLayout>
#include <QCheckBox>
#include <QListWidget>
#include <QRadioButton>
#include <QToolButton>
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QShortcut>
#include <QStatusTipEvent>
#include <QTabBar>

#include <algorithm>

using namespace comp;

namespace {

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
    // Around a picture the frame keeps to the box's border and leaves the picture alone.
    if (auto* box = qobject_cast<TScrollBox*>(target_)) {
      const int border = std::max(1, box->frameWidth());
      p.setClipRegion(QRegion(rect()) - QRegion(rect().adjusted(border, border, -border, -border)));
    }
    p.setPen(QPen(palette().color(QPalette::Highlight), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
  }

private:
  QWidget* home_;
  QWidget* target_ = nullptr;
};

} // namespace

// Undo and redo are the first two buttons of the bottom bar's row, seen on every page at every
// window size, whatever was added to the row before them.
void TMainForm::buildHistoryRow() {
  RueckgaengigBtn = AddBottomTool(":/art/tool_rueckgaengig.png", "Rückgängig", "Strg+Z");
  WiederholenBtn = AddBottomTool(":/art/tool_wiederholen.png", "Wiederholen", "Strg+Umschalt+Z oder Strg+Y");
  auto* row = static_cast<QBoxLayout*>(BottomTools->layout());
  for (QToolButton* b : {WiederholenBtn, RueckgaengigBtn}) {
    row->removeWidget(b);
    row->insertWidget(0, b);
    b->setEnabled(false);
  }
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
  key(QKeySequence(Qt::CTRL | Qt::Key_I), [this] { ueberbtnClick(ueberbtn); });
  key(QKeySequence(Qt::Key_F1), [this] { OpenGuide(); });

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
    const bool framed = now && now->window() == window &&
                        (qobject_cast<QAbstractScrollArea*>(now) || qobject_cast<TImageBtn*>(now));
    ring->Follow(framed ? now : nullptr);
  });

  const auto enableEditingKeys = [this] {
    for (QObject* s : editingKeys_) static_cast<QShortcut*>(s)->setEnabled(PageControl2->currentIndex() == 1);
  };
  enableEditingKeys();
  connect(PageControl2, &QTabWidget::currentChanged, this, enableEditingKeys);
  orderTabs();
}

// One tab chain: the page's own controls, starting where its work starts (the file list, the
// editing view, the result's buttons), then the bottom bar from left to right, then the tabs.
// The image buttons join it; Space or Enter presses them.
void TMainForm::orderTabs() {
  for (TImageBtn* b : {ueberbtn, endebtn}) b->setFocusPolicy(Qt::TabFocus);
  std::vector<QWidget*> chain = {JamShellList1, FilterComboBox1, JamShellTree1, PrefListBox,
                                 ScrollBox1,    WachsenBtn,      SchrumpfenBtn, SchmierenBtn,
                                 ZerrenBtn,     RadiererBtn,     NormalizeCheck, xyCheck,
                                 xCheck,        ycheck,          StarkED,       RadiusED,
                                 ZoomEd,        SaveAsBtn,       PrintBtn,      ErgScrollBox,
                                 AnimBtn,       GlaettenCheck};
  const QLayout* row = BottomTools->layout();
  for (int i = 0; i < row->count(); ++i)
    if (QWidget* w = row->itemAt(i)->widget()) chain.push_back(w);
  for (QWidget* w : {static_cast<QWidget*>(wwwBtn), static_cast<QWidget*>(ueberbtn),
                     static_cast<QWidget*>(endebtn), static_cast<QWidget*>(PageControl2->tabBar())})
    chain.push_back(w);
  for (size_t i = 1; i < chain.size(); ++i) setTabOrder(chain[i - 1], chain[i]);
  JamShellList1->setFocus(Qt::OtherFocusReason);
  // A page shown with the focus left behind on a hidden one starts at its first control.
  connect(PageControl2, &QTabWidget::currentChanged, this, [this](int page) {
    QWidget* focus = QApplication::focusWidget();
    if (focus && focus->isVisible() && focus->window() == this) return;
    QWidget* first[] = {JamShellList1, ScrollBox1, SaveAsBtn};
    if (page >= 0 && page < 3) first[page]->setFocus(Qt::OtherFocusReason);
  });
}

// The guide installed with the program (share/doc/morphane beside its bin folder), else the
// one of the source tree the program was built in.
QString TMainForm::GuideFile() const {
  const QDir program(QString::fromStdString(FProgramDir));
  const QString installed = QDir::cleanPath(program.absoluteFilePath("../share/doc/morphane/anleitung.md"));
  if (QFileInfo::exists(installed)) return QFileInfo(installed).canonicalFilePath();
  QDir up = program;
  for (int level = 0; level < 5; ++level) {
    const QString candidate = up.absoluteFilePath("docs/anleitung.md");
    if (QFileInfo::exists(candidate)) return QFileInfo(candidate).canonicalFilePath();
    if (!up.cdUp()) break;
  }
  return {};
}

void TMainForm::OpenGuide() {
  const QString guide = GuideFile();
  // The desktop's viewer for the file, as the web button opens the browser.
  if (guide.isEmpty() ||
      platform::ShellExecute(this, "open", guide.toStdString(), "", "", platform::SW_SHOW) <= 32)
    platform::MessageBox(this, "Die Anleitung wurde nicht gefunden oder konnte nicht geöffnet werden.",
                         "Anleitung", platform::MB_OK | platform::MB_ICONINFORMATION);
}

// Enter in a number field uses its value, Escape brings back the value it had when it got the
// focus; either way the editing view takes the keys again.
bool TMainForm::spinKey(QObject* watched, QKeyEvent* k) {
  if (k->key() != Qt::Key_Return && k->key() != Qt::Key_Enter && k->key() != Qt::Key_Escape) return false;
  auto* spin = qobject_cast<TSpinEdit*>(watched);
  if (!spin && watched->isWidgetType()) spin = qobject_cast<TSpinEdit*>(static_cast<QWidget*>(watched)->parentWidget());
  if (!spin || spin->window() != this) return false;
  const QVariant before = spin->property("TextOnFocus");
  if (k->key() == Qt::Key_Escape && before.isValid()) spin->SetText(before.toString());
  else if (k->key() != Qt::Key_Escape) spin->FinishEditing();
  spin->setProperty("TextOnFocus", spin->Text());
  if (PageControl2->currentIndex() == 1) ScrollBox1->setFocus(Qt::OtherFocusReason);
  else spin->clearFocus();
  return true;
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
    if (press && spinKey(watched, k)) return true;
    if (press && (watched == ueberbtn || watched == endebtn) && !k->isAutoRepeat() &&
        (k->key() == Qt::Key_Space || k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter)) {
      auto* b = static_cast<TImageBtn*>(watched);
      if (b->OnClick) b->OnClick(b);
      return true;
    }
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
  case QEvent::FocusIn:
    if (watched->isWidgetType()) {
      auto* w = static_cast<QWidget*>(watched);
      auto* spin = qobject_cast<TSpinEdit*>(w) ? static_cast<TSpinEdit*>(w) : qobject_cast<TSpinEdit*>(w->parentWidget());
      if (spin) spin->setProperty("TextOnFocus", spin->Text());
    }
    return false;
  case QEvent::WindowDeactivate:
    if (watched == this) SetShowingSource(false);
    return false;
  case QEvent::StatusTip:
    if (watched == this) {
      // Panel 0 stays empty; the tip shows in the progress panel while no work runs there.
      StatusBar1->Panels[1].Text = static_cast<QStatusTipEvent*>(e)->tip();
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
