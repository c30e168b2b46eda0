// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures and device contexts for the drawing and promotion tests.
#pragma once

#include "Velbrik.h"

#include "platform/gdi.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Owns a record made by newdib and releases it once.
class TOwnedDib {
public:
  TOwnedDib() = default;
  explicit TOwnedDib(const TDib& dib) : dib_(dib) {}
  ~TOwnedDib() { reset(); }
  TOwnedDib(const TOwnedDib&) = delete;
  TOwnedDib& operator=(const TOwnedDib&) = delete;
  TDib& operator*() { return dib_; }
  TDib* operator->() { return &dib_; }
  void reset() {
    if (dib_.Memory != nullptr || dib_.Palette != nullptr) deldib(dib_);
    dib_ = TDib{};
  }

private:
  TDib dib_{};
};

// A distinct colour for every picture pixel, x from the left, y from the top.
platform::COLORREF TestColour(int32_t x, int32_t yFromTop);

// A 24-bit picture whose pixel (x, y from the top) has colour(x, y).
TDib Make24(int32_t w, int32_t h,
            const std::function<platform::COLORREF(int32_t, int32_t)>& colour = TestColour);
// A palette picture (1, 4 or 8 bits) with the given colours and index(x, y from the top).
TDib MakePalette(int32_t w, int32_t h, int32_t bits, const std::vector<platform::COLORREF>& colours,
                 const std::function<uint32_t(int32_t, int32_t)>& index);
// The colour of a picture pixel as stored, x from the left, y from the top.
platform::COLORREF Pixel24(const TDib& dib, int32_t x, int32_t yFromTop);

// Records message boxes instead of showing them, and sets the screen depth, for one test.
class TScreenAndMessages {
public:
  explicit TScreenAndMessages(int screenDepth = 32);
  ~TScreenAndMessages();
  void SetDepth(int depth) { depth_ = depth; }
  std::vector<std::string> texts;
  std::vector<std::string> captions;
  std::vector<platform::UINT> flags;

private:
  int depth_;
  platform::MessageBoxHandler previousBox_;
  platform::ScreenDepthProvider previousDepth_;
};
