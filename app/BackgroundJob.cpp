// SPDX-License-Identifier: GPL-3.0-or-later
#include "BackgroundJob.h"

#include "MainUnit.h"

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTimer>
#include <QToolButton>

#include <atomic>
#include <cstring>
#include <new>
#include <thread>

namespace {

std::atomic<bool>* running = nullptr; // the cancel flag of the work that runs, on the UI thread

// Esc anywhere in the program while the work runs: cancel.
class TEscapeFilter : public QObject {
public:
  explicit TEscapeFilter(std::function<void()> cancel) : FCancel(std::move(cancel)) {}

protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape &&
        QApplication::activeModalWidget() == nullptr) {
      FCancel();
      return true;
    }
    return false;
  }

private:
  std::function<void()> FCancel;
};

} // namespace

bool BackgroundBusy() { return running != nullptr; }

void CancelBackground() {
  if (running != nullptr) running->store(true);
}

std::string RunInBackground(TMainForm& form, const QString& what, TBackgroundWork work) {
  if (running != nullptr) return "Es wird noch gespeichert. Bitte warten Sie, bis das beendet ist.";
  std::atomic<bool> cancel{false};
  std::atomic<int> percent{0};
  std::atomic<bool> done{false};
  std::string result;
  platform::TJob job;
  job.Cancel = &cancel;
  job.Progress = [&percent](int32_t p) { percent.store(p); };
  running = &cancel;

  // The status bar's first panel names the work and offers to cancel it.
  comp::TStatusBar* bar = form.StatusBar1;
  const QRect panel = bar->PanelRect(0);
  bar->Panels[0].Text = what + QString::fromUtf8("\xE2\x80\xA6");
  auto* button = new QToolButton(bar);
  button->setText(QStringLiteral("Abbrechen"));
  button->setToolTip(QStringLiteral("Bricht das Speichern ab (Esc)"));
  button->setFocusPolicy(Qt::NoFocus);
  const int width = button->sizeHint().width();
  button->setGeometry(panel.right() - width, panel.top(), width, panel.height());
  const auto cancelNow = [&cancel, bar, what] {
    cancel.store(true);
    bar->Panels[0].Text = what + QString::fromUtf8(": wird abgebrochen\xE2\x80\xA6");
    bar->update();
  };
  QObject::connect(button, &QToolButton::clicked, button, cancelNow);
  button->show();
  bar->update();
  TEscapeFilter escape(cancelNow);
  qApp->installEventFilter(&escape);

  std::thread worker([&] {
    try {
      result = work(job);
    } catch (const std::bad_alloc&) {
      result = "Nicht genug Speicher.";
    }
    done.store(true);
  });
  QEventLoop loop;
  QTimer poll;
  int shown = -1;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    const int p = percent.load();
    if (p != shown) form.SetProStatus(shown = p);
    if (done.load()) loop.quit();
  });
  poll.start(40);
  loop.exec();
  worker.join();

  qApp->removeEventFilter(&escape);
  delete button;
  bar->Panels[0].Text.clear();
  form.SetProStatus(0);
  bar->update();
  running = nullptr;
  if (cancel.load() && !result.empty()) result = platform::kCancelledText;
  return result;
}

TDibCopy::TDibCopy(const TDib& source) {
  if (source.Bits == nullptr || source.Info == nullptr) return;
  const VBitmapInfoHeader& h = source.Info->bmiHeader;
  const int32_t bits = h.biBitCount;
  newdib(&Dib, h.biWidth, h.biHeight, bits, bits <= 8 ? source.Info : nullptr, bits <= 8 ? 1 << bits : 0);
  if (Dib.Bits == nullptr) return;
  std::memcpy(Dib.Bits, source.Bits, size_t(source.BytesPerLine) * size_t(h.biHeight));
}

TDibCopy::~TDibCopy() {
  if (Dib.Memory != nullptr) deldib(Dib);
}
