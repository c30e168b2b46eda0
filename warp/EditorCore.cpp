// SPDX-License-Identifier: GPL-3.0-or-later
#include "EditorCore.h"

#include "Animation.h"
#include "Arith.h"
#include "DepthPromotion.h"
#include "SmoothRender.h"
#include "Worker.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace warp {
namespace {

// Rows per band when a render is shared: a few microseconds of work each.
constexpr int32_t kRenderGrain = 8;
// Rows per band when a whole picture is filled or rendered.
constexpr int32_t kPictureGrain = 16;

// Asks for the block to be backed by large pages where the system offers them on request: a
// picture's mask and result are touched first all at once, and with large pages that costs a
// fraction of the page faults and leaves the steps fewer address translations to miss.
void PreferLargePages(void* block, size_t bytes) {
  constexpr uintptr_t kPage = 4096;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(block) + kPage - 1) & ~(kPage - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(kPage - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}
// Rows of a band of the smooth rendering, which reads the margin's rows beyond each band again.
constexpr int32_t kSmoothGrain = 64;

} // namespace

TEditorCore::TEditorCore() = default;

TEditorCore::~TEditorCore() { ReleaseAll(); }

void TEditorCore::FreeMask() {
  delete[] FMask;
  FMask = nullptr;
  FProtection.clear();
  FProtection.shrink_to_fit();
  FHistory.Clear();
  HistoryChanged();
}

bool TEditorCore::AllocMask() {
  FreeMask();
  const int32_t w = PictureWidth(), h = PictureHeight();
  if (w <= 0 || h <= 0) return false;
  const size_t count = size_t(w) * size_t(h);
  FMask = new (std::nothrow) TMaskEntry[count];
  if (FMask != nullptr) PreferLargePages(FMask, count * sizeof(TMaskEntry));
  return FMask != nullptr;
}

void TEditorCore::ReleaseAll() {
  deldib(FSourceDib);
  deldib(FResultDib);
  std::memset(&FSourceDib, 0, sizeof FSourceDib);
  std::memset(&FResultDib, 0, sizeof FResultDib);
  FreeMask();
}

int32_t TEditorCore::PictureWidth() const { return FSourceDib.Info ? DibWidth(FSourceDib) : 0; }
int32_t TEditorCore::PictureHeight() const { return FSourceDib.Info ? DibHeight(FSourceDib) : 0; }

void TEditorCore::DepthUpTo(int32_t Target) {
  ::DepthUpTo(FSourceDib, Target, Progress(), [](int32_t rows, const std::function<void(int32_t, int32_t)>& band) {
    ForEachRowBand(0, rows, band, kPictureGrain);
  });
}

void TEditorCore::InitMask() {
  if (FMask) {
    const int32_t w = PictureWidth();
    ForEachRowBand(0, PictureHeight(), [&](int32_t first, int32_t end) { FillIdentityRows(FMask, w, first, end); },
                   kPictureGrain);
  }
  FHistory.Clear();
  HistoryChanged();
}

void TEditorCore::InitMaskAndRender() {
  if (FSmooth || FMask == nullptr || FSourceDib.Info == nullptr || FSourceDib.Bits == nullptr ||
      DibBitCount(FSourceDib) != 24) {
    InitMask();
    renderdi();
    return;
  }
  deldib(FResultDib);
  std::memset(&FResultDib, 0, sizeof FResultDib);
  const int32_t w = PictureWidth(), h = PictureHeight();
  newdib(&FResultDib, w, h, 24, nullptr, 0);
  if (FResultDib.Bits == nullptr) {
    InitMask();
    return;
  }
  PreferLargePages(FResultDib.Bits, size_t(FResultDib.BytesPerLine) * size_t(h));
  const TDib& source = FSourceDib;
  const TDib& result = FResultDib;
  ForEachRowBand(0, h, [&](int32_t first, int32_t end) {
    FillIdentityRows(FMask, w, first, end);
    for (int32_t r = first; r < end; ++r)
      std::memcpy(result.Bits + int64_t(r) * result.BytesPerLine, source.Bits + int64_t(r) * source.BytesPerLine,
                  size_t(w) * 3);
  }, kPictureGrain);
  FHistory.Clear();
  HistoryChanged();
}

void TEditorCore::renderdi() {
  deldib(FResultDib);
  std::memset(&FResultDib, 0, sizeof FResultDib);
  if (FSourceDib.Info == nullptr) return;
  const int32_t w = PictureWidth(), h = PictureHeight();
  newdib(&FResultDib, w, h, 24, nullptr, 0);
  if (DibBitCount(FSourceDib) != 24) {
    platform::MessageBox(MessageOwner(), "DIB hat nicht 24BPP!", "", platform::MB_OK);
    return;
  }
  // newdib failing (no memory) leaves Bits null: there is nowhere to copy to.
  if (FResultDib.Bits == nullptr || FMask == nullptr || FSourceDib.Bits == nullptr) return;
  RenderModeArea(WholePicture(w, h));
}

void TEditorCore::RenderModeArea(const TPictureRect& Area) {
  if (!FSmooth) {
    ForEachRowBand(Area.Bottom, Area.Top + 1, [&](int32_t first, int32_t end) {
      warp::RenderArea(FSourceDib, FMask, FResultDib, TPictureRect{Area.Left, first, Area.Right, end - 1});
    }, kPictureGrain);
    return;
  }
  // Each band forms the displacement sums over the margin's rows above and below it again.
  const auto render = [&](int32_t first, int32_t end) {
    RenderAreaSmooth(FSourceDib, FMask, FResultDib, TPictureRect{Area.Left, first, Area.Right, end - 1});
  };
  ForEachRowBand(Area.Bottom, Area.Top + 1, render, kSmoothGrain);
}

TPictureRect TEditorCore::RenderReach(const TPictureRect& Area) const {
  return FSmooth ? SmoothReach(Area, PictureWidth(), PictureHeight()) : Area;
}

void TEditorCore::SetSmooth(bool On) {
  if (On == FSmooth) return;
  FSmooth = On;
  if (ResultFits()) RenderModeArea(WholePicture(PictureWidth(), PictureHeight()));
  else renderdi();
  PaintView();
}

bool TEditorCore::ResultFits() const {
  return FSourceDib.Info != nullptr && FResultDib.Info != nullptr && FResultDib.Bits != nullptr &&
         FSourceDib.Bits != nullptr && FMask != nullptr && DibBitCount(FSourceDib) == 24 &&
         DibBitCount(FResultDib) == 24 && DibWidth(FResultDib) == PictureWidth() &&
         DibHeight(FResultDib) == PictureHeight();
}

bool TEditorCore::RenderArea(const TPictureRect& Area) {
  if (!ResultFits()) {
    renderdi();
    return false;
  }
  RenderModeArea(RenderReach(Area));
  return true;
}

bool TEditorCore::WriteAnimation(const std::string& Path, const TAnimationOptions& Options, std::string& Error) {
  platform::TJob job;
  job.Progress = Progress();
  return warp::WriteAnimation(FSourceDib, FMask, Options, Path, job, Error);
}

void TEditorCore::InitWurzel(int32_t r) {
  if (r == FSqrtRadius) return;
  BuildSqrtTables(r, FSqrtFrac, FSqrtInt);
  FSqrtRadius = r;
}

TStepInput TEditorCore::StepInput(int32_t x, int32_t y, int32_t curX, int32_t curY, int32_t lastX,
                                  int32_t lastY, int32_t tool, bool xAxis, bool yAxis, double strength,
                                  int32_t radius) {
  TStepInput in;
  in.x = x;
  in.y = y;
  in.curX = curX;
  in.curY = curY;
  in.lastX = lastX;
  in.lastY = lastY;
  in.tool = tool;
  in.xAxis = xAxis;
  in.yAxis = yAxis;
  in.strength = strength;
  in.radius = radius;
  return in;
}

TProgressFn TEditorCore::Progress() {
  return [this](int32_t v) { SetProStatus(v); };
}

void TEditorCore::DoEffekt(int32_t x, int32_t y, int32_t curX, int32_t curY, int32_t lastX, int32_t lastY,
                           int32_t tool, bool xAxis, bool yAxis, double strength, int32_t radius) {
  TStepInput in = StepInput(x, y, curX, curY, lastX, lastY, tool, xAxis, yAxis, strength, radius);
  if (FMask == nullptr || !StepApplies(in, PictureWidth(), PictureHeight())) return;
  InitWurzel(radius);
  in.normalize = ReadToolBar().NormalizeChecked;
  KeepProtected(x, y, radius);
  ApplyStepFull(FMask, PictureWidth(), PictureHeight(), in, FSqrtFrac, FSqrtInt, Progress());
  RestoreProtected();
}

void TEditorCore::KeepProtected(int32_t x, int32_t y, int32_t radius) {
  if (FProtection.empty()) return;
  FKept.Gather(FMask, FProtection.data(), PictureWidth(), PictureHeight(), x, y, radius, FSqrtInt.data());
}

void TEditorCore::RestoreProtected() {
  if (FProtection.empty() || FKept.Empty()) return;
  FKept.Restore(FMask);
}

bool TEditorCore::SetProtection(std::vector<uint8_t> Weights) {
  if (!Weights.empty() && Weights.size() != size_t(PictureWidth()) * size_t(PictureHeight())) return false;
  FProtection = std::move(Weights);
  return true;
}

// One step of the protection brush: the weights of the circle, the view repainted over them.
void TEditorCore::ProtectionStep(int32_t x, int32_t y, int32_t radius) {
  const TPictureRect square = StepSquare(x, y, radius);
  if (FMask == nullptr || square.Empty()) return;
  const int32_t w = PictureWidth(), h = PictureHeight();
  if (FProtection.empty()) {
    if (FBrush == TBrush::Release) return; // nothing to release
    try {
      FProtection.assign(size_t(w) * size_t(h), 0);
    } catch (const std::bad_alloc&) {
      platform::MessageBox(MessageOwner(), "Nicht genügend Arbeitsspeicher, um Bereiche zu schützen.", "Fehler",
                           platform::MB_OK | platform::MB_ICONERROR);
      FStrokeActive = false;
      SetMouseCapture(false);
      SetTimerEnabled(false);
      FHistory.EndStroke(FMask);
      return;
    }
  }
  InitWurzel(radius);
  FHistory.BeforeProtectionStep(FProtection.data(), square);
  PaintProtection(FProtection.data(), w, h, x, y, radius, FBrush == TBrush::Protect, FPressure, FSqrtInt.data());
  EraseOutline();
  const TRect view = ViewRectOf(square);
  if (!view.Empty()) RepaintViewRect(view);
}

TPictureRect TEditorCore::DoEffektFast(int32_t x, int32_t y, int32_t curX, int32_t curY, int32_t lastX,
                                       int32_t lastY, int32_t tool, bool xAxis, bool yAxis, double strength,
                                       int32_t radius) {
  TStepInput in = StepInput(x, y, curX, curY, lastX, lastY, tool, xAxis, yAxis, strength, radius);
  if (FMask == nullptr || !StepApplies(in, PictureWidth(), PictureHeight())) return TPictureRect{};
  InitWurzel(radius);
  in.normalize = ReadToolBar().NormalizeChecked;
  KeepProtected(x, y, radius);
  const TPictureRect changed =
      ApplyStepFast(FMask, PictureWidth(), PictureHeight(), in, FSqrtFrac, FSqrtInt, FStepScratch, Progress());
  RestoreProtected();
  return changed;
}

int32_t TEditorCore::ToolCode(const TToolBarState& Bar) {
  if (Bar.ZerrenDown) return kToolDrag;
  if (Bar.SchmierenDown) return kToolSmear;
  if (Bar.RadiererDown) return kToolEraser;
  if (Bar.SchrumpfenDown) return kToolShrink;
  return kToolGrow;
}

int32_t TEditorCore::PictureX(int32_t X) const { return Saturate32(int64_t(X) * FZoomDen / FZoomNum); }

int32_t TEditorCore::PictureY(int32_t Y) const {
  return Saturate32(int64_t(PictureHeight()) - 1 - int64_t(Y) * FZoomDen / FZoomNum);
}

int32_t TEditorCore::ViewWidth() const { return Saturate32(int64_t(PictureWidth()) * FZoomNum / FZoomDen); }
int32_t TEditorCore::ViewHeight() const { return Saturate32(int64_t(PictureHeight()) * FZoomNum / FZoomDen); }

void TEditorCore::Malen(int32_t X, int32_t Y, int32_t prevX, int32_t prevY) {
  if (!FStrokeActive) return;
  FLastX = X;
  FLastY = Y;
  const TToolBarState bar = ReadToolBar();
  const int32_t tool = ToolCode(bar);
  const bool xAxis = bar.XChecked || bar.XYChecked;
  const bool yAxis = bar.YChecked || bar.XYChecked;
  double strength = double(bar.Strength);
  const int32_t radius = Trunc(bar.Radius);
  const int32_t x = PictureX(X), y = PictureY(Y);
  // A pen that does not press changes nothing; full pressure leaves the strength as it is.
  if (!(FPressure > 0)) return;
  if (FBrush != TBrush::Tool) return ProtectionStep(x, y, radius);
  if (FPressure < 1) strength = double(Extended(strength) * Extended(FPressure));
  if (FMask != nullptr) FHistory.BeforeStep(FMask, StepSquare(x, y, radius));
  if (!FFastPath) {
    DoEffekt(x, y, X, Y, prevX, prevY, tool, xAxis, yAxis, strength, radius);
    renderdi();
    PaintView();
    return;
  }
  const TPictureRect changed = DoEffektFast(x, y, X, Y, prevX, prevY, tool, xAxis, yAxis, strength, radius);
  if (!ResultFits()) {
    renderdi();
    PaintView();
    return;
  }
  // The smooth result changes as far as its pixels look at the circle's entries.
  if (FSmooth) {
    const TPictureRect reach = RenderReach(changed);
    if (!reach.Empty()) {
      const auto render = [&](int32_t first, int32_t end) {
        RenderDiscSmooth(FSourceDib, FMask, FResultDib, TPictureRect{reach.Left, first, reach.Right, end - 1}, x, y,
                         radius, FSqrtInt.data());
      };
      ForEachRowBand(reach.Bottom, reach.Top + 1, render, kSmoothGrain);
    }
    EraseOutline();
    const TRect view = ViewRectOf(reach);
    if (!view.Empty()) RepaintViewRect(view);
    return;
  }
  // Only the circle's entries changed (the tables are built for this radius when it did); a big
  // circle's rows are shared.
  if (!changed.Empty()) {
    const auto render = [&](int32_t first, int32_t end) {
      TPictureRect band = changed;
      band.Bottom = first;
      band.Top = end - 1;
      warp::RenderDisc(FSourceDib, FMask, FResultDib, band, x, y, radius, FSqrtInt.data());
    };
    if (radius >= kSharedRadius)
      ForEachRowBand(changed.Bottom, changed.Top + 1, render, kRenderGrain);
    else
      render(changed.Bottom, changed.Top + 1);
  }
  EraseOutline();
  const TRect view = ViewRectOf(changed);
  if (!view.Empty()) RepaintViewRect(view);
}

void TEditorCore::ViewMouseDown(int32_t X, int32_t Y) {
  if (FStrokeActive) return;
  FLastX = X;
  FLastY = Y;
  FStrokeActive = true;
  FHistory.BeginStroke(FMask ? PictureWidth() : 0, FMask ? PictureHeight() : 0);
  SetMouseCapture(true);
  SetTimerEnabled(true);
  Malen(X, Y, FLastX, FLastY);
}

void TEditorCore::ViewMouseMove(int32_t X, int32_t Y) {
  EraseOutline();
  Malen(X, Y, FLastX, FLastY);
  DrawOutline(X, Y);
}

void TEditorCore::ViewMouseUp(int32_t X, int32_t Y) {
  if (!FStrokeActive) return;
  FLastX = X;
  FLastY = Y;
  FStrokeActive = false;
  SetMouseCapture(false);
  SetTimerEnabled(false);
  FHistory.EndStroke(FMask, FProtection.empty() ? nullptr : FProtection.data());
  HistoryChanged();
}

void TEditorCore::TimerTick() { ViewMouseMove(FLastX, FLastY); }

void TEditorCore::ZoomEdChanged() {
  const long double z = ReadToolBar().Zoom;
  // The field's range is 0.05..10; a ratio from zero, a negative or a non-number is refused.
  if (!(z > 0)) return;
  if (z >= 1) {
    FZoomNum = std::max(1, Trunc(z * 10.0L));
    FZoomDen = 10;
  } else {
    FZoomNum = 10;
    FZoomDen = std::max(1, Trunc(10.0L / z));
  }
  ResizeView(ViewWidth(), ViewHeight());
  PaintView();
}

void TEditorCore::PageChanged() { FOutlineShown = false; }

void TEditorCore::PaintView() {
  EraseOutline();
  RepaintView();
}

TPictureRect TEditorCore::StepSquare(int32_t x, int32_t y, int32_t radius) const {
  TStepInput in;
  in.x = x;
  in.y = y;
  in.radius = radius;
  const int32_t w = PictureWidth(), h = PictureHeight();
  return StepApplies(in, w, h) ? BrushSquare(in, w, h) : TPictureRect{};
}

void TEditorCore::Undo() { StepHistory(true); }
void TEditorCore::Redo() { StepHistory(false); }

void TEditorCore::StepHistory(bool back) {
  if (FStrokeActive || FMask == nullptr) return;
  const bool fits = ResultFits();
  const TSpanFn render = [&](int32_t r, int32_t left, int32_t right) {
    if (fits && !FSmooth) warp::RenderArea(FSourceDib, FMask, FResultDib, TPictureRect{left, r, right, r});
  };
  const TPictureRect changed =
      back ? FHistory.Undo(FMask, render, &FProtection) : FHistory.Redo(FMask, render, &FProtection);
  if (changed.Empty()) return;
  if (!fits) {
    renderdi();
    PaintView();
  } else {
    // The smooth result changes around the changed entries too: rendered once they are all back.
    if (FSmooth) RenderModeArea(RenderReach(changed));
    EraseOutline();
    const TRect view = ViewRectOf(RenderReach(changed));
    if (!view.Empty()) RepaintViewRect(view);
  }
  HistoryChanged();
}

TRect TEditorCore::OutlineRect(int32_t X, int32_t Y, long double R, long double Z) {
  const Extended rz = Extended(R) * Extended(Z);
  return TRect{Trunc(Extended(X) - rz), Trunc(Extended(Y) - rz), Trunc(Extended(X) + rz), Trunc(Extended(Y) + rz)};
}

void TEditorCore::DrawOutline(int32_t X, int32_t Y) {
  const TToolBarState bar = ReadToolBar();
  FOutlineRect = OutlineRect(X, Y, bar.Radius, bar.Zoom);
  FOutlineShown = true;
  InvertOutline(FOutlineRect);
}

void TEditorCore::EraseOutline() {
  if (!FOutlineShown) return;
  FOutlineShown = false;
  InvertOutline(FOutlineRect);
}

TRect TEditorCore::ViewRectOf(const TPictureRect& Area) const {
  if (Area.Empty()) return TRect{};
  const int64_t w = PictureWidth(), h = PictureHeight();
  const int64_t vw = ViewWidth(), vh = ViewHeight();
  if (w <= 0 || h <= 0 || vw <= 0 || vh <= 0) return TRect{};
  // Picture column j fills about the view columns j * vw / w .. (j + 1) * vw / w; two pixels of
  // margin cover every rounding of the scaled drawing (nearest neighbour or averaging).
  constexpr int64_t kMargin = 2;
  const int64_t top = h - 1 - Area.Top, bottom = h - 1 - Area.Bottom; // rows counted from the top
  TRect r;
  r.Left = int32_t(std::clamp<int64_t>(Area.Left * vw / w - kMargin, 0, vw));
  r.Right = int32_t(std::clamp<int64_t>(((Area.Right + 1) * vw + w - 1) / w + kMargin, 0, vw));
  r.Top = int32_t(std::clamp<int64_t>(top * vh / h - kMargin, 0, vh));
  r.Bottom = int32_t(std::clamp<int64_t>(((bottom + 1) * vh + h - 1) / h + kMargin, 0, vh));
  return r;
}

} // namespace warp
