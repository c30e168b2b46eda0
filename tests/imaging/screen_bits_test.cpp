// SPDX-License-Identifier: GPL-3.0-or-later
#include "Velbrik.h"
#include "picture_support.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(ScreenBitsPerPixel, AsksTheScreenAnewEveryTimeAndLeavesNothingBehind) {
  TScreenAndMessages env(8);
  const long objects = LiveGdiObjectCount(), contexts = LiveDeviceContextCount();
  EXPECT_EQ(ScreenBitsPerPixel(), 8);
  env.SetDepth(24);
  EXPECT_EQ(ScreenBitsPerPixel(), 24);
  EXPECT_EQ(LiveGdiObjectCount(), objects);
  EXPECT_EQ(LiveDeviceContextCount(), contexts);
}
