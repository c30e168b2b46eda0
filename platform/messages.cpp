// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/win.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <unordered_set>

namespace platform {
namespace {

std::mutex& registryMutex() {
  static std::mutex m;
  return m;
}
std::unordered_set<HWND>& registry() {
  static std::unordered_set<HWND> windows;
  return windows;
}
std::once_flag uiThreadOnce;
std::thread::id uiThread;
CrossThreadPoster& poster() {
  static CrossThreadPoster p;
  return p;
}

} // namespace

void MarkUiThread() {
  std::call_once(uiThreadOnce, [] { uiThread = std::this_thread::get_id(); });
}

TMessageTarget::TMessageTarget() {
  MarkUiThread();
  std::lock_guard lock(registryMutex());
  registry().insert(this);
}

TMessageTarget::~TMessageTarget() {
  std::lock_guard lock(registryMutex());
  registry().erase(this);
}

bool IsWindow(HWND window) {
  std::lock_guard lock(registryMutex());
  return window != nullptr && registry().count(window) != 0;
}

void SetCrossThreadPoster(CrossThreadPoster p) {
  std::lock_guard lock(registryMutex());
  poster() = std::move(p);
}

BOOL PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  CrossThreadPoster p;
  {
    std::lock_guard lock(registryMutex());
    p = poster();
  }
  if (!p || window == nullptr) return 0;
  p(window, msg, wParam, lParam);
  return 1;
}

LRESULT SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!IsWindow(window)) return 0;
  MarkUiThread();
  if (std::this_thread::get_id() == uiThread) return window->WindowProc(msg, wParam, lParam);
  PostMessage(window, msg, wParam, lParam);
  return 0;
}

} // namespace platform
