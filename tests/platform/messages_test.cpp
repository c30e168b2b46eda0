// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/palette.h"
#include "platform/win.h"

#include <gtest/gtest.h>

#include <optional>
#include <thread>
#include <vector>

using namespace platform;

namespace {
struct Recorder : TMessageTarget {
  std::vector<std::pair<UINT, WPARAM>> got;
  LRESULT WindowProc(UINT msg, WPARAM w, LPARAM) override {
    got.emplace_back(msg, w);
    return 7;
  }
};
} // namespace

TEST(Messages, SendOnUiThreadDeliversAtOnceAndDestroyedWindowsAreSkipped) {
  MarkUiThread();
  std::optional<Recorder> w(std::in_place);
  EXPECT_EQ(SendMessage(&*w, WM_USER, 75, 123), 7);
  ASSERT_EQ(w->got.size(), 1u);
  EXPECT_EQ(w->got[0].second, 75u);
  HWND stale = &*w;
  w.reset();
  EXPECT_FALSE(IsWindow(stale));
  EXPECT_EQ(SendMessage(stale, WM_USER, 1, 0), 0);
}

TEST(Messages, SendFromAnotherThreadGoesThroughThePoster) {
  Recorder w;
  std::vector<WPARAM> posted;
  SetCrossThreadPoster([&](HWND, UINT, WPARAM wp, LPARAM) { posted.push_back(wp); });
  std::thread([&] { SendMessage(&w, WM_USER, 40, 0); }).join();
  SetCrossThreadPoster(nullptr);
  EXPECT_TRUE(w.got.empty());
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0], 40u);
}

TEST(Dialogs, MessageBoxGoesToTheInstalledHandler) {
  TMessageBoxRequest seen{};
  auto old = SetMessageBoxHandler([&](const TMessageBoxRequest& r) {
    seen = r;
    return IDCANCEL;
  });
  EXPECT_EQ(MessageBox(nullptr, "Text", "Titel", MB_OKCANCEL | MB_ICONINFORMATION), IDCANCEL);
  EXPECT_EQ(seen.text, "Text");
  EXPECT_EQ(seen.caption, "Titel");
  EXPECT_EQ(seen.flags, 65u);
  SetMessageBoxHandler(old);
}

TEST(Palette, CreateAndDeleteCountObjectsAndRefuseBadSizes) {
  const long before = LiveGdiObjectCount();
  struct {
    LOGPALETTE head;
    PALETTEENTRY more[1];
  } lp{{0x300, 2, {{1, 2, 3, 0}}}, {{4, 5, 6, 0}}};
  HPALETTE p = CreatePalette(&lp.head);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(LiveGdiObjectCount(), before + 1);
  PALETTEENTRY out[4]{};
  EXPECT_EQ(GetPaletteEntries(p, 0, 4, out), 2u);
  EXPECT_EQ(out[1].peGreen, 5);
  EXPECT_TRUE(DeleteObject(p));
  EXPECT_EQ(LiveGdiObjectCount(), before);
  lp.head.palNumEntries = 0;
  EXPECT_EQ(CreatePalette(&lp.head), nullptr);
}
