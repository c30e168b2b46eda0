// SPDX-License-Identifier: GPL-3.0-or-later
// A headless host of the editing engine for the tests: answers the hooks from plain fields and
// records what the engine asked of it.
#pragma once

#include "EditorCore.h"

#include <cstring>
#include <string>
#include <vector>

namespace warptest {

inline std::string Str(const warp::TRect& r) {
  return std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Right) + "," +
         std::to_string(r.Bottom);
}

class TTestCore : public warp::TEditorCore {
public:
  warp::TToolBarState Bar;
  std::vector<int32_t> Progress;
  std::vector<std::string> Log;

  warp::TToolBarState ReadToolBar() override { return Bar; }
  void SetProStatus(int32_t v) override { Progress.push_back(v); }
  void RepaintView() override { Log.push_back("view"); }
  void RepaintViewRect(const warp::TRect& r) override { Log.push_back("rect " + Str(r)); }
  void InvertOutline(const warp::TRect& r) override {
    Log.push_back(std::string(FOutlineShown ? "draw " : "erase ") + Str(r));
  }
  void SetMouseCapture(bool on) override { Log.push_back(on ? "capture" : "uncapture"); }
  void SetTimerEnabled(bool on) override { Log.push_back(on ? "timer on" : "timer off"); }
  void ResizeView(int32_t w, int32_t h) override {
    Log.push_back("resize " + std::to_string(w) + "x" + std::to_string(h));
  }

  // A w x h picture of `bits` bits whose pixels all differ (for 24 bits), the identity mask and
  // the result rendered, as after opening a file (in the one pass of InitMaskAndRender).
  void Load(int32_t w, int32_t h, int32_t bits = 24) {
    ReleaseAll();
    newdib(&FSourceDib, w, h, bits, nullptr, 0);
    for (int32_t r = 0; r < h; ++r)
      for (int32_t j = 0; j < w; ++j) {
        uint8_t* p = FSourceDib.Bits + int64_t(r) * FSourceDib.BytesPerLine + int64_t(j) * bits / 8;
        p[0] = uint8_t(j);
        if (bits == 24) {
          p[1] = uint8_t(r);
          p[2] = uint8_t((j >> 8) | ((r >> 8) << 4));
        }
      }
    AllocMask();
    InitMaskAndRender();
  }

  warp::TMaskEntry& At(int32_t j, int32_t r) { return FMask[int64_t(r) * PictureWidth() + j]; }

  std::vector<warp::TMaskEntry> MaskCopy() const {
    const size_t n = size_t(PictureWidth()) * size_t(PictureHeight());
    return std::vector<warp::TMaskEntry>(FMask, FMask + n);
  }
  std::vector<uint8_t> ResultBytes() const {
    const size_t n = size_t(FResultDib.BytesPerLine) * size_t(PictureHeight());
    return std::vector<uint8_t>(FResultDib.Bits, FResultDib.Bits + n);
  }
  // The 3 bytes of a pixel, bottom-up row.
  static uint32_t Pixel(const TDib& d, int32_t j, int32_t r) {
    const uint8_t* p = d.Bits + int64_t(r) * d.BytesPerLine + int64_t(j) * 3;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
  }
};

} // namespace warptest
