// SPDX-License-Identifier: GPL-3.0-or-later
// "Gesicht formen": the faces of the result are looked for on a thread of their own (the
// landmark model is loaded there at the first use, once per run) while the window stays
// responsive and the progress panel counts; then the dialog previews its sliders in the editing
// view and applies them as one step of the history.
//
// Opened by the face button of the bottom bar, the key G on the editing page and the editing
// view's context menu (the menu key: every mouse button paints on the view).
#include "FaceDialog.h"
#include "MainUnit.h"

#include "FaceWarp.h"
#include "Landmarks.h"

#include <QContextMenuEvent>
#include <QFileInfo>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

namespace {

// The search's state, owned by the window (a child object, so it goes with it).
class TFaceTools : public QObject {
public:
  explicit TFaceTools(QObject* parent) : QObject(parent) { setObjectName(kName); }
  static constexpr const char* kName = "TFaceTools";
  ~TFaceTools() override {
    cancel_ = true;
    if (worker_.joinable()) worker_.join();
  }
  bool Busy() const { return busy_; }

  // Looks for the faces of `gray` on the worker thread; `done` runs on the window's thread
  // afterwards (not at all when the window is gone by then), `progress` likewise for each step.
  void Search(face::TGray gray, std::function<void(int32_t)> progress,
              std::function<void(std::vector<face::TLandmarks>, std::string)> done) {
    if (worker_.joinable()) worker_.join();
    busy_ = true;
    cancel_ = false;
    worker_ = std::thread([this, gray = std::move(gray), progress, done] {
      QPointer<TFaceTools> self(this);
      const auto post = [self](std::function<void()> f) {
        if (self) QMetaObject::invokeMethod(self, std::move(f), Qt::QueuedConnection);
      };
      std::string error;
      std::vector<face::TLandmarks> faces;
      if (!finder_.Loaded()) {
        post([progress] { progress(10); });
        finder_.Load(face::kModelPath, error);
      }
      if (error.empty()) {
        platform::TJob job;
        job.Progress = [post, progress](int32_t v) { post([progress, v] { progress(10 + v * 9 / 10); }); };
        job.Cancel = &cancel_;
        faces = finder_.Find(gray, job);
      }
      post([this, done, faces = std::move(faces), error] {
        busy_ = false;
        done(faces, error);
      });
    });
  }

private:
  face::TFaceFinder finder_;
  std::thread worker_;
  std::atomic<bool> cancel_{false};
  bool busy_ = false;
};

// The context menu of the editing view, from the keyboard only (the menu key or Shift+F10,
// whether the view or its scroll box has the focus).
class TViewMenu : public QObject {
public:
  TViewMenu(std::initializer_list<QWidget*> parts, std::function<void(QMenu&)> fill)
      : QObject(*parts.begin()), fill_(std::move(fill)) {
    for (QWidget* w : parts) w->installEventFilter(this);
  }

protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() != QEvent::ContextMenu) return false;
    auto* c = static_cast<QContextMenuEvent*>(e);
    if (c->reason() != QContextMenuEvent::Keyboard) return true;
    QMenu menu(static_cast<QWidget*>(watched));
    fill_(menu);
    menu.exec(c->globalPos());
    return true;
  }

private:
  std::function<void(QMenu&)> fill_;
};

// (Found by name: the class has no meta-object of its own for a typed search.)
TFaceTools* Tools(QObject* window) {
  return static_cast<TFaceTools*>(window->findChild<QObject*>(TFaceTools::kName, Qt::FindDirectChildrenOnly));
}

} // namespace

void TMainForm::BuildFaceTools() {
  new TFaceTools(this);
  FaceBtn = AddBottomTool(":/art/tool_gesicht.png", "Gesicht formen", "G");
  connect(FaceBtn, &QToolButton::clicked, this, [this] { FaceBtnClick(FaceBtn); });
  if (!QFileInfo::exists(face::kModelPath)) {
    FaceBtn->setEnabled(false);
    FaceBtn->setToolTip(QString("Gesicht formen: ") + face::kNoModelText);
    FaceBtn->setStatusTip(face::kNoModelText);
  } else {
    FaceBtn->setStatusTip("Gesicht formen: Taste G");
  }
  auto* key = new QShortcut(QKeySequence(Qt::Key_G), this);
  connect(key, &QShortcut::activated, this, [this] { FaceBtnClick(FaceBtn); });
  key->setEnabled(PageControl2->currentIndex() == 1);
  connect(PageControl2, &QTabWidget::currentChanged, key, [this, key] { key->setEnabled(PageControl2->currentIndex() == 1); });
  new TViewMenu({PaintBox1, ScrollBox1, ScrollBox1->viewport()}, [this](QMenu& menu) {
    QAction* a = menu.addAction(QIcon(":/art/tool_gesicht.png"), "Gesicht formen...", this, [this] { FaceBtnClick(FaceBtn); });
    a->setShortcut(QKeySequence(Qt::Key_G));
    a->setEnabled(FaceBtn->isEnabled());
  });
}

void TMainForm::FaceBtnClick(QObject*) {
  TFaceTools* tools = Tools(this);
  if (tools == nullptr || !FaceBtn->isEnabled() || tools->Busy() || FStrokeActive || !ResultFits()) return;
  if (PageControl2->currentIndex() != 1) PageControl2->setCurrentIndex(1);
  FaceBtn->setEnabled(false);
  StatusBar1->Panels[0].Text = "Gesichter werden gesucht...";
  StatusBar1->update();
  // The faces belong to this picture and this mask: anything done meanwhile makes them stale.
  const uint8_t* source = FSourceDib.Bits;
  const size_t steps = FHistory.UndoCount() + FHistory.RedoCount();
  tools->Search(face::GrayOf(FResultDib), [this](int32_t v) { SetProStatus(v); },
                [this, source, steps](std::vector<face::TLandmarks> faces, std::string error) {
    SetProStatus(0);
    FaceBtn->setEnabled(true);
    StatusBar1->Panels[0].Text.clear();
    StatusBar1->update();
    if (!error.empty()) {
      platform::MessageBox(this, error, "Gesicht formen", platform::MB_OK | platform::MB_ICONWARNING);
      return;
    }
    // Strokes or another picture meanwhile: the faces are looked for again in what is shown now.
    if (source != FSourceDib.Bits || steps != FHistory.UndoCount() + FHistory.RedoCount() || FStrokeActive ||
        !ResultFits()) {
      if (!FStrokeActive && ResultFits()) FaceBtnClick(FaceBtn);
      return;
    }
    if (faces.empty()) {
      platform::MessageBox(this, "Auf dem Bild wurde kein Gesicht gefunden. Es wurde nichts geändert.",
                           "Gesicht formen", platform::MB_OK | platform::MB_ICONINFORMATION);
      return;
    }
    TFaceForm form(this, int(faces.size()));
    // The faces in view, and the dialog on the side of the screen away from them.
    const warp::TRect faceView = ViewRectOf(face::FaceArea(faces, PictureWidth(), PictureHeight()));
    const QPoint faceCentre((faceView.Left + faceView.Right) / 2, (faceView.Top + faceView.Bottom) / 2);
    ScrollBox1->ensureVisible(faceCentre.x(), faceCentre.y(), (faceView.Right - faceView.Left) / 2,
                              (faceView.Bottom - faceView.Top) / 2);
    if (const QScreen* s = this->screen()) {
      const QRect screen = s->availableGeometry(), frame = frameGeometry();
      const int x = PaintBox1->mapToGlobal(faceCentre).x() < screen.center().x()
                        ? std::min(frame.right() + 8, screen.right() - form.width())
                        : std::max(frame.left() - form.width() - 8, screen.left());
      form.move(x, std::max(frame.top(), screen.top()));
    }
    const auto chosen = [&] {
      const int k = form.FaceChoice();
      return k < 0 ? faces : std::vector<face::TLandmarks>{faces[size_t(k)]};
    };
    auto preview = std::make_unique<face::TFacePreview>(*this, chosen());
    int shownChoice = form.FaceChoice();
    bool pending = false;
    form.OnChange = [&] {
      // Slider moves are taken together: the newest values are shown once the events are in.
      if (pending) return;
      pending = true;
      QTimer::singleShot(0, &form, [&] {
        pending = false;
        if (form.FaceChoice() != shownChoice) {
          preview->Cancel();
          preview = std::make_unique<face::TFacePreview>(*this, chosen());
          shownChoice = form.FaceChoice();
        }
        preview->Show(form.Sliders());
      });
    };
    if (form.exec() == QDialog::Accepted) {
      if (form.FaceChoice() != shownChoice) {
        preview->Cancel();
        preview = std::make_unique<face::TFacePreview>(*this, chosen());
      }
      preview->Commit(form.Sliders());
    } else {
      preview->Cancel();
    }
  });
}
