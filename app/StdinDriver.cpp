// SPDX-License-Identifier: GPL-3.0-or-later
#include "StdinDriver.h"

#include "FaceDialog.h"
#include "MainUnit.h"
#include "ReplayScript.h"
#include "ShellControls.h"
#include "ButtonsXP.h"
#include "ImageBtnUnit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QRadioButton>
#include <QSocketNotifier>
#include <QTabWidget>
#include <QTabletEvent>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

// How long a shown window is left alone before its id is answered: time for the last paint
// and for the window manager to finish placing it. Milliseconds.
constexpr int kSettleMs = 300;
constexpr int kShowTimeoutMs = 20000;

class TStdinDriver : public QObject {
public:
  explicit TStdinDriver(TMainForm& form) : QObject(&form), FForm(form) {
    FNotifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, [this] { ReadInput(); });
    // Keep the pointer out of the window: no hover frames, no tooltips in the pictures.
    QCursor::setPos(0, 0);
    // A text cursor that does not blink: every picture of an edit field is the same.
    QApplication::setCursorFlashTime(0);
  }

private:
  void ReadInput() {
    char chunk[4096];
    const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (n <= 0) {
      // The other side is gone: nobody will answer the close question.
      FNotifier->setEnabled(false);
      std::_Exit(0);
    }
    FPending.append(chunk, n);
    for (int end; (end = FPending.indexOf('\n')) >= 0;) {
      const QString line = QString::fromUtf8(FPending.left(end)).trimmed();
      FPending.remove(0, end + 1);
      if (!line.isEmpty()) Execute(line);
    }
  }

  static void Answer(const QString& text) {
    std::fputs(text.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }

  QWidget* TopWindow() const {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return &FForm;
  }

  void Execute(const QString& line) {
    const int space = line.indexOf(' ');
    const QString verb = space < 0 ? line : line.left(space);
    const QString arg = space < 0 ? QString() : line.mid(space + 1).trimmed();
    if (verb == "page") {
      bool ok = false;
      const int index = arg.toInt(&ok);
      if (!ok || index < 0 || index >= FForm.PageControl2->count()) return Answer("error page " + arg);
      FForm.PageControl2->setCurrentIndex(index);
      return Answer("ok");
    }
    if (verb == "folder") {
      FForm.JamShellTree1->SetSelectedFolder(arg);
      return Answer(FForm.JamShellTree1->SelectedFolder() == arg ? "ok" : "error folder " + arg);
    }
    if (verb == "select") return Answer(SelectFile(arg) ? "ok" : "error select " + arg);
    if (verb == "open") {
      if (!SelectFile(arg)) return Answer("error open " + arg);
      return Later([this] { FForm.JamShellList1DblClick(FForm.JamShellList1); });
    }
    if (verb == "click") {
      QWidget* target = FindButton(arg);
      if (target == nullptr) return Answer("error click " + arg);
      return Later([target] { Click(target); });
    }
    if (verb == "cancel") {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return Answer("error no dialog is open");
      dialog->reject();
      return Answer("ok");
    }
    if (verb == "play") return Answer(Play(arg));
    if (verb == "face") {
      // The open dialog "Gesicht formen" gets the value on its slider.
      auto* form = dynamic_cast<TFaceForm*>(QApplication::activeModalWidget());
      const int k = int(std::find(face::kFeatureWords.begin(), face::kFeatureWords.end(), arg.section(' ', 0, 0)) -
                        face::kFeatureWords.begin());
      bool ok = false;
      const int v = arg.section(' ', 1, 1).toInt(&ok);
      if (form == nullptr) return Answer("error no face dialog is open");
      if (k >= face::kFeatureCount || !ok) return Answer("error face " + arg);
      form->Slider[size_t(k)]->setValue(v);
      return Answer("ok");
    }
    if (verb == "shot") {
      QWidget* part = arg.isEmpty() ? nullptr : Named(arg);
      if (!arg.isEmpty() && part == nullptr) return Answer("error shot " + arg);
      return WaitShown(TopWindow(), part, QElapsedTimer());
    }
    // Anything else is one line of a stroke script.
    return Answer(Play(line, false));
  }

  // Runs the action from the event loop and answers at once after it started: an action that
  // opens a modal dialog returns only when the dialog closes.
  void Later(std::function<void()> action) {
    QTimer::singleShot(0, this, std::move(action));
    QTimer::singleShot(0, this, [] { Answer("ok"); });
  }

  bool SelectFile(const QString& path) {
    TJamShellList* list = FForm.JamShellList1;
    const QModelIndex index = list->Model()->index(path);
    if (!index.isValid()) return false;
    list->setCurrentIndex(index);
    return list->Selected().has_value() && list->Selected()->Path == path;
  }

  QWidget* FindButton(const QString& text) const {
    for (QAbstractButton* b : TopWindow()->findChildren<QAbstractButton*>()) {
      if (b->isVisible() && b->isEnabled() && QString(b->text()).remove('&') == text) return b;
    }
    return TopWindow() == &FForm ? Named(text) : nullptr;
  }

  // The main window's components that commands name.
  QWidget* Named(const QString& text) const {
    const std::pair<const char*, QWidget*> named[] = {
        {"ueberbtn", FForm.ueberbtn},   {"endebtn", FForm.endebtn},   {"wwwBtn", FForm.wwwBtn},
        {"SaveAsBtn", FForm.SaveAsBtn}, {"PrintBtn", FForm.PrintBtn}, {"SpeedBar1", FForm.SpeedBar1},
        {"SchutzZeigenBtn", FForm.SchutzZeigenBtn}, {"BottomTools", FForm.BottomTools},
        {"FaceBtn", FForm.FaceBtn}};
    for (const auto& [name, widget] : named)
      if (text == name) return widget;
    return nullptr;
  }

  // A button clicks through its own signal; the image buttons react to press and release.
  static void Click(QWidget* target) {
    if (auto* button = qobject_cast<QAbstractButton*>(target)) return button->click();
    const QPointF centre(target->width() / 2.0, target->height() / 2.0);
    const QPointF global = target->mapToGlobal(centre);
    QMouseEvent press(QEvent::MouseButtonPress, centre, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
  }

  // Plays a stroke script (a file, or one line when fromFile is false) through the tool bar and
  // the editing view. All in one go, so the held button's timer never ticks in between.
  QString Play(const QString& source, bool fromFile = true) {
    std::vector<replay::TCommand> commands;
    std::string error;
    bool parsed = false;
    if (fromFile) {
      std::ifstream in(QFile::encodeName(source).toStdString(), std::ios::binary);
      if (!in) return "error cannot read " + source;
      parsed = replay::ParseScript(in, commands, error);
    } else {
      std::istringstream in(source.toStdString());
      parsed = replay::ParseScript(in, commands, error);
    }
    if (!parsed) return "error " + QString::fromStdString(error);
    for (const replay::TCommand& c : commands) Run(c);
    return "ok";
  }

  void Run(const replay::TCommand& c) {
    using K = replay::TCommandKind;
    switch (c.Kind) {
    case K::Tool: {
      if (c.Choice == replay::kChoiceProtect || c.Choice == replay::kChoiceRelease) {
        QToolButton* brush = c.Choice == replay::kChoiceProtect ? FForm.SchuetzenBtn : FForm.FreigebenBtn;
        if (!brush->isChecked()) brush->click();
        break;
      }
      comp::TSpeedItem* const tools[] = {FForm.WachsenBtn, FForm.SchrumpfenBtn, FForm.RadiererBtn,
                                         FForm.SchmierenBtn, FForm.ZerrenBtn};
      tools[c.Choice]->click();
      break;
    }
    case K::Pressure: FPressure = double(c.Value); break;
    case K::Axes: (c.Choice == 0 ? FForm.xyCheck : c.Choice == 1 ? FForm.xCheck : FForm.ycheck)->setChecked(true); break;
    case K::Normalize: FForm.NormalizeCheck->setChecked(c.Choice == 1); break;
    case K::Strength: FForm.StarkED->SetValue(c.Value); break;
    case K::Radius: FForm.RadiusED->SetValue(c.X); break;
    case K::Zoom: FForm.ZoomEd->SetValue(c.Value); break;
    case K::Down: Mouse(QEvent::MouseButtonPress, c.X, c.Y); break;
    case K::Move: Mouse(QEvent::MouseMove, c.X, c.Y); break;
    case K::Up: Mouse(QEvent::MouseButtonRelease, c.X, c.Y); break;
    case K::Tick: FForm.Timer1Timer(FForm.Timer1); break;
    case K::Undo: FForm.RueckgaengigBtnClick(FForm.RueckgaengigBtn); break;
    case K::Redo: FForm.WiederholenBtnClick(FForm.WiederholenBtn); break;
    case K::Smooth:
      if (FForm.GlaettenCheck->isChecked() != (c.Choice == 1)) FForm.GlaettenCheck->click();
      break;
    case K::Face: break; // answered in Execute

    }
  }

  // Below full pressure the view gets a pen's events instead of the mouse's.
  void Mouse(QEvent::Type type, int x, int y) {
    QWidget* view = FForm.PaintBox1;
    const QPointF local(x, y);
    if (FPressure < 1) {
      static const QPointingDevice pen("Stift", 1, QInputDevice::DeviceType::Stylus, QPointingDevice::PointerType::Pen,
                                       QInputDevice::Capability::Position | QInputDevice::Capability::Pressure, 1, 3);
      const QEvent::Type tablet = type == QEvent::MouseButtonPress   ? QEvent::TabletPress
                                  : type == QEvent::MouseButtonRelease ? QEvent::TabletRelease
                                                                       : QEvent::TabletMove;
      QTabletEvent event(tablet, &pen, local, view->mapToGlobal(local), FPressure, 0, 0, 0, 0, 0, Qt::NoModifier,
                         tablet == QEvent::TabletMove ? Qt::NoButton : Qt::LeftButton,
                         tablet == QEvent::TabletRelease ? Qt::NoButton : Qt::LeftButton);
      QApplication::sendEvent(view, &event);
      return;
    }
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, local, view->mapToGlobal(local), button, held, Qt::NoModifier);
    QApplication::sendEvent(view, &event);
  }

  // Answers once the window is visible and exposed and has been left alone for a moment.
  // With a part, its rectangle in the window's pixels follows: "window 0x1e00007 84x420+2+62".
  void WaitShown(QWidget* window, QWidget* part, QElapsedTimer waited) {
    if (!waited.isValid()) waited.start();
    const bool shown = window->isVisible() && window->windowHandle() && window->windowHandle()->isExposed();
    if (!shown && waited.elapsed() < kShowTimeoutMs) {
      QTimer::singleShot(50, this, [this, window, part, waited] { WaitShown(window, part, waited); });
      return;
    }
    if (!shown) return Answer("error the window is not shown");
    QPointer<QWidget> guard(window);
    QTimer::singleShot(kSettleMs, this, [guard, part] {
      if (guard.isNull()) return Answer("error the window closed");
      QString answer = QStringLiteral("window 0x%1").arg(guard->winId(), 0, 16);
      if (part != nullptr) {
        const qreal ratio = guard->devicePixelRatioF();
        const QRect r(part->mapTo(guard.data(), QPoint(0, 0)) * ratio, part->size() * ratio);
        answer += QStringLiteral(" %1x%2+%3+%4").arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y());
      }
      Answer(answer);
    });
  }

  TMainForm& FForm;
  double FPressure = 1.0;
  QSocketNotifier* FNotifier = nullptr;
  QByteArray FPending;
};

} // namespace

void StartStdinDriverIfAsked(TMainForm& form) {
  const char* mode = std::getenv("MORPHANE_DRIVER");
  if (mode != nullptr && std::strcmp(mode, "stdin") == 0) new TStdinDriver(form);
}
