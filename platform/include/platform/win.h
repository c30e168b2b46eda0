// SPDX-License-Identifier: GPL-3.0-or-later
// The small platform layer: the handful of window-system services the program was designed
// around (window messages, modal message boxes with their flag values, palettes, opening a web
// address, the help system), with the same names and values, implemented for this desktop.
// This core has no GUI toolkit in it; platform/qt installs the toolkit's handlers at start-up.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

using BOOL = int;
using UINT = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using COLORREF = uint32_t; // 0x00BBGGRR
constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;

constexpr UINT WM_USER = 0x0400;

// Message-box flags and results, with the values of the original window system.
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_ABORTRETRYIGNORE = 0x00000002;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_RETRYCANCEL = 0x00000005;
// Not of the original system: "Speichern" (IDYES), "Verwerfen" (IDNO), "Abbrechen" (IDCANCEL).
constexpr UINT MB_SAVEDISCARDCANCEL = 0x0000000E;
constexpr UINT MB_TYPEMASK = 0x0000000F;
constexpr UINT MB_ICONMASK = 0x000000F0;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONWARNING = 0x00000030;
constexpr UINT MB_ICONINFORMATION = 0x00000040;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

constexpr int SW_SHOW = 5;
constexpr UINT HELP_QUIT = 2;

constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b) {
  return COLORREF(r) | (COLORREF(g) << 8) | (COLORREF(b) << 16);
}
constexpr uint8_t GetRValue(COLORREF c) { return uint8_t(c); }
constexpr uint8_t GetGValue(COLORREF c) { return uint8_t(c >> 8); }
constexpr uint8_t GetBValue(COLORREF c) { return uint8_t(c >> 16); }

// A window that can receive messages. HWND is a pointer to one; the window registers itself
// for its lifetime so that messages to a destroyed window are dropped.
class TMessageTarget {
public:
  TMessageTarget();
  virtual ~TMessageTarget();
  TMessageTarget(const TMessageTarget&) = delete;
  TMessageTarget& operator=(const TMessageTarget&) = delete;
  virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) = 0;
};
using HWND = TMessageTarget*;

// Delivers at once when called on the UI thread; from another thread the message is handed to
// the poster installed with SetCrossThreadPoster (the toolkit's queue) and 0 is returned.
LRESULT SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
// Queues the message through the cross-thread poster; false when none is installed.
BOOL PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
bool IsWindow(HWND window);

using CrossThreadPoster = std::function<void(HWND, UINT, WPARAM, LPARAM)>;
void SetCrossThreadPoster(CrossThreadPoster poster);
// The thread that created the first window (or called this) is the UI thread.
void MarkUiThread();

// Modal message box. owner may be null; an empty caption shows the system's default title.
// Texts are UTF-8. Returns IDOK, IDCANCEL, ... as the button pressed.
int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags);

struct TMessageBoxRequest {
  HWND owner;
  std::string text;
  std::string caption;
  UINT flags;
};
using MessageBoxHandler = std::function<int(const TMessageBoxRequest&)>;
// Replaces the handler; returns the previous one. Tests install one that answers at once.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// Opens a document or web address with the desktop's handler. Returns a value above 32 on
// success, as the original did.
intptr_t ShellExecute(HWND owner, const std::string& operation, const std::string& file,
                      const std::string& parameters, const std::string& directory, int showCommand);
struct TShellExecuteRequest {
  HWND owner;
  std::string operation, file, parameters, directory;
  int showCommand;
};
using ShellExecuteHandler = std::function<intptr_t(const TShellExecuteRequest&)>;
ShellExecuteHandler SetShellExecuteHandler(ShellExecuteHandler handler);

// The help system: this desktop has none, so every command succeeds without doing anything.
BOOL WinHelp(HWND window, const std::string& helpFile, UINT command, uintptr_t data);

} // namespace platform
