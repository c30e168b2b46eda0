// SPDX-License-Identifier: GPL-3.0-or-later
// Message boxes, the shell's "open" and the help system, each behind a replaceable handler:
// the toolkit layer installs real dialogs at start-up, tests install handlers that answer at once.
#include "platform/win.h"

#include <cstdio>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {
namespace {

std::mutex handlerMutex;

int consoleMessageBox(const TMessageBoxRequest& r) {
  std::fprintf(stderr, "%s%s%s\n", r.caption.c_str(), r.caption.empty() ? "" : ": ", r.text.c_str());
  return IDOK;
}

MessageBoxHandler& messageBoxHandler() {
  static MessageBoxHandler h = consoleMessageBox;
  return h;
}

// Without a toolkit: hand the address to the desktop's opener, without waiting for it.
intptr_t spawnOpener(const TShellExecuteRequest& r) {
  if (r.operation != "open" || r.file.empty()) return 2;
  const char* argv[] = {"xdg-open", r.file.c_str(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
    return 2;
  return 42;
}

ShellExecuteHandler& shellHandler() {
  static ShellExecuteHandler h = spawnOpener;
  return h;
}

} // namespace

int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
  MessageBoxHandler h;
  {
    std::lock_guard lock(handlerMutex);
    h = messageBoxHandler();
  }
  return h({owner, text, caption, flags});
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard lock(handlerMutex);
  auto old = std::move(messageBoxHandler());
  messageBoxHandler() = handler ? std::move(handler) : MessageBoxHandler(consoleMessageBox);
  return old;
}

intptr_t ShellExecute(HWND owner, const std::string& operation, const std::string& file,
                      const std::string& parameters, const std::string& directory, int showCommand) {
  ShellExecuteHandler h;
  {
    std::lock_guard lock(handlerMutex);
    h = shellHandler();
  }
  return h({owner, operation, file, parameters, directory, showCommand});
}

ShellExecuteHandler SetShellExecuteHandler(ShellExecuteHandler handler) {
  std::lock_guard lock(handlerMutex);
  auto old = std::move(shellHandler());
  shellHandler() = handler ? std::move(handler) : ShellExecuteHandler(spawnOpener);
  return old;
}

BOOL WinHelp(HWND, const std::string&, UINT, uintptr_t) { return 1; }

} // namespace platform
