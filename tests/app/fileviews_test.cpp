// SPDX-License-Identifier: GPL-3.0-or-later
// The file views over folders that freeze a program that reads files to pick icons: pipes,
// devices, /proc, an unreadable folder and a folder of 100,000 files. The event loop has to keep
// running; a watchdog ends the test program when it stops for long.
#include "window_fixture.h"

#include "Components.h"
#include "ShellControls.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Counts the ticks of a 20 ms timer on the GUI thread; a thread aborts the program when no
// tick has come for 20 seconds (a GUI thread stuck in a read never comes back).
class TickWatch {
public:
  TickWatch() {
    FTimer.setInterval(20);
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      ++FTicks;
      FLast = Clock::now().time_since_epoch().count();
    });
    FTimer.start();
    FLast = Clock::now().time_since_epoch().count();
    FWatchdog = std::thread([this] {
      while (!FStop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto idle = Clock::now() - Clock::time_point(Clock::duration(FLast.load()));
        if (idle > std::chrono::seconds(20)) {
          std::fprintf(stderr, "The event loop has not run for 20 s: a file view blocks.\n");
          std::_Exit(3);
        }
      }
    });
  }
  ~TickWatch() {
    FStop = true;
    FWatchdog.join();
  }
  int Ticks() const { return FTicks; }

private:
  QTimer FTimer;
  std::atomic<int> FTicks{0};
  std::atomic<Clock::rep> FLast{0};
  std::atomic<bool> FStop{false};
  std::thread FWatchdog;
};

// Ticks seen while the event loop runs for ms milliseconds.
int TicksDuring(const TickWatch& watch, int ms) {
  const int before = watch.Ticks();
  QTest::qWait(ms);
  return watch.Ticks() - before;
}

class FileViews : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    root = dir.path() + "/ordner";
    ASSERT_TRUE(QDir().mkpath(root + "/pipe"));
    ASSERT_EQ(::mkfifo((root + "/pipe/bild.png").toLocal8Bit().constData(), 0644), 0);
    ASSERT_TRUE(QDir().mkpath(root + "/gesperrt/innen"));
    ASSERT_EQ(::chmod((root + "/gesperrt").toLocal8Bit().constData(), 0), 0);
  }
  // A folder of 100,000 empty files, in memory when the system has a memory file system (on a
  // disk, making and removing them takes many seconds).
  void MakeCrowdedFolder() {
    if (QFileInfo("/dev/shm").isWritable()) crowdedParent = std::make_unique<QTemporaryDir>("/dev/shm/morphane-XXXXXX");
    else crowdedParent = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(crowdedParent->isValid());
    crowded = crowdedParent->path() + "/viele";
    ASSERT_TRUE(QDir().mkpath(crowded));
    const int folder = ::open(crowded.toLocal8Bit().constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(folder, 0);
    for (int i = 0; i < 100000; ++i) {
      const int fd = ::openat(folder, (std::to_string(i) + ".png").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
      ASSERT_GE(fd, 0);
      ::close(fd);
    }
    ::close(folder);
  }
  void TearDown() override {
    ::chmod((root + "/gesperrt").toLocal8Bit().constData(), 0755);
    WindowTest::TearDown();
  }
  QString root, crowded;
  std::unique_ptr<QTemporaryDir> crowdedParent;
};

TEST_F(FileViews, TreeListAndSaveDialogKeepTheProgramAnswering) {
  MakeCrowdedFolder();
  TickWatch watch;
  make(true);
  TJamShellTree& tree = *form->JamShellTree1;
  TJamShellList& list = *form->JamShellList1;
  form->JamShellList1->SetFilter("*");
  // The crowded folder last: the model sorts its rows on this thread as they arrive, which on a
  // busy machine can hold the loop up to about a second.
  for (const QString& folder : {root + "/pipe", root + "/gesperrt", QString("/proc"), QString("/dev"), crowded,
                                root + "/pipe"}) {
    tree.SetSelectedFolder(folder);
    EXPECT_EQ(list.Folder(), folder);
    list.viewport()->repaint(); // asks for the icons and types of the rows shown
    tree.viewport()->repaint();
    // The loop runs on (a stuck read never ends: the watchdog catches that); the machine may be
    // busy, so a few ticks are enough.
    EXPECT_GE(TicksDuring(watch, 2000), 2) << folder.toStdString();
  }
  EXPECT_TRUE(QTest::qWaitFor([&] { return list.Model()->rowCount(list.rootIndex()) == 1; }, 5000));
  EXPECT_EQ(list.Model()->data(list.Model()->index(0, 2, list.rootIndex()), Qt::DisplayRole).toString(), "PNG-Datei");

  // The save dialog over the same folders; each is closed from the event loop it runs.
  for (const QString& folder : {QString("/proc"), root + "/pipe", crowded}) {
    int ticks = 0;
    QTimer::singleShot(800, [&] {
      ticks = watch.Ticks();
      if (QWidget* dialog = QApplication::activeModalWidget()) dialog->close();
    });
    const int before = watch.Ticks();
    comp::TSaveDialog dialog;
    dialog.InitialDir = folder;
    EXPECT_FALSE(dialog.Execute(form.get()));
    EXPECT_GE(ticks - before, 2) << folder.toStdString();
  }
}

TEST_F(FileViews, PipesAndDevicesAreRefusedAtOnceWithAGermanMessage) {
  make(false);
  const struct {
    std::string path, kind;
  } cases[] = {{(root + "/pipe/bild.png").toStdString(), "benannte Pipe"}, {"/dev/zero", "Gerätedatei"}};
  for (const auto& c : cases) {
    boxes.clear();
    form->openfilenow(c.path);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find(c.path), std::string::npos) << boxes[0].text;
    EXPECT_NE(boxes[0].text.find(c.kind), std::string::npos) << boxes[0].text;
    EXPECT_EQ(DibWidth(form->FSourceDib), 320);
  }
}

} // namespace
