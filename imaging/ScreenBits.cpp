// SPDX-License-Identifier: GPL-3.0-or-later
#include "Velbrik.h"

#include "platform/gdi.h"

// The depth of a bitmap made compatible with the desktop is the screen's depth.
int32_t ScreenBitsPerPixel() {
  using namespace platform;
  HDC desktop = GetDC(nullptr);
  HBITMAP probe = CreateCompatibleBitmap(desktop, 1, 1);
  BITMAP info{};
  GetObject(probe, sizeof info, &info);
  DeleteObject(probe);
  ReleaseDC(nullptr, desktop);
  return info.bmBitsPixel;
}
