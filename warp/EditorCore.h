// SPDX-License-Identifier: GPL-3.0-or-later
// The editing engine of the main window without any GUI toolkit: the two pictures, the mask,
// the tools' square-root tables, the zoom ratio and the stroke state, with the operations on
// them. The main window derives from this class and implements the hooks below, turning its
// events into one-line calls of the handlers; the replay tool and the tests do the same headless.
//
// Coordinates: view pixels (X, Y) count from the view's top left corner, Y downwards; picture
// pixels (x, y) count rows from the bottom, as the mask and the pixel memory do.
#pragma once

#include "Mask.h"
#include "Protection.h"
#include "StrokeHistory.h"
#include "Tools.h"
#include "Velbrik.h"
#include "platform/win.h"

#include <cstdint>
#include <string>
#include <vector>

namespace warp {

struct TAnimationOptions;

// A rectangle of view pixels: Left..Right-1 by Top..Bottom-1 (right and bottom edges excluded,
// as for the bounding box of an ellipse on the window system's canvas).
struct TRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool Empty() const { return Right <= Left || Bottom <= Top; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

// The tool bar's controls as the window reads them at each use.
struct TToolBarState {
  // Tool buttons (one exclusive group): WachsenBtn, SchrumpfenBtn, RadiererBtn, SchmierenBtn, ZerrenBtn.
  bool WachsenDown = true, SchrumpfenDown = false, RadiererDown = false, SchmierenDown = false,
       ZerrenDown = false;
  // Axis radio buttons xyCheck "X && Y", xCheck "X", ycheck "Y".
  bool XYChecked = true, XChecked = false, YChecked = false;
  bool NormalizeChecked = true;
  // The spin edits' values, each the extended-precision number read from the field's text.
  long double Strength = 0.4L; // StarkED
  long double Radius = 50;     // RadiusED
  long double Zoom = 1;        // ZoomEd
};

class TEditorCore {
public:
  TEditorCore();
  virtual ~TEditorCore(); // releases whatever ReleaseAll has not released yet
  TEditorCore(const TEditorCore&) = delete;
  TEditorCore& operator=(const TEditorCore&) = delete;

  // ---- Hooks: what the host (window, replay tool, tests) provides ----

  // The tool bar's current state; read afresh for every step, outline and zoom change.
  virtual TToolBarState ReadToolBar() = 0;
  // The progress indicator: 0..100, called per row of a step and with 0 at its end.
  virtual void SetProStatus(int32_t Value) = 0;
  // Repaint the whole view from FResultDib at the zoom ratio, now (before returning).
  virtual void RepaintView() = 0;
  // Repaint only this part of the view from FResultDib, now. The rectangle is inside the view.
  virtual void RepaintViewRect(const TRect& Rect) = 0;
  // Invert the pixels of the ellipse inscribed in Rect (no fill, 1-pixel pen), now. Called once
  // to draw the brush outline and once more with the same rectangle to erase it. FOutlineShown
  // and FOutlineRect already hold the new state when it is called, so a host that repaints
  // instead of inverting draws the picture and, while FOutlineShown, the inverted ellipse of
  // FOutlineRect over it.
  virtual void InvertOutline(const TRect& Rect) = 0;
  // Capture the pointer for the view (moves and the release reach it outside too) or release it.
  virtual void SetMouseCapture(bool On) = 0;
  // Enable or disable the stroke repeat timer Timer1 (1000 ms).
  virtual void SetTimerEnabled(bool On) = 0;
  // Give the view this size in view pixels (the zoom changed).
  virtual void ResizeView(int32_t Width, int32_t Height) = 0;
  // Owner of the message boxes the engine shows; null shows them without an owner.
  virtual platform::HWND MessageOwner() { return nullptr; }
  // What can be undone or redone may have changed (a stroke ended, undo, redo, a new mask).
  virtual void HistoryChanged() {}

  // ---- State ----

  TDib FSourceDib{};           // the picture being edited, 24 bits per pixel; never changed here
  TDib FResultDib{};           // the source seen through the mask, same size
  TMaskEntry* FMask = nullptr; // width x height entries of FSourceDib, rows bottom-up
  std::vector<double> FSqrtFrac;  // sqrt(i / FSqrtRadius), i = 0..FSqrtRadius
  std::vector<int32_t> FSqrtInt;  // trunc(sqrt(k)), k = 0..FSqrtRadius^2
  int32_t FSqrtRadius = 0;        // radius the tables are built for; 0 = none yet
  int32_t FLastX = 0, FLastY = 0; // pointer at the last event of the current or last stroke, view pixels
  int32_t FZoomNum = 1, FZoomDen = 1; // view length = picture length * FZoomNum div FZoomDen
  bool FStrokeActive = false;
  bool FOutlineShown = false;     // the brush outline is on the view now
  TRect FOutlineRect{};           // where it was drawn
  // Steps change and re-render only the brush square and repaint only its view rectangle; false
  // runs the straightforward whole-picture step (same results, for comparisons).
  bool FFastPath = true;
  // The result is rendered smoothly (SmoothRender.h) instead of by exact copies; set it through
  // SetSmooth, which renders the whole result anew.
  bool FSmooth = false;

  // ---- Pictures and mask ----

  // Frees the mask block (FMask becomes null).
  void FreeMask();
  // Frees the old block and allocates width x height entries for FSourceDib (contents undefined
  // until InitMask). False, with FMask null, when the memory is not available.
  bool AllocMask();
  // Releases both pictures and the mask, each exactly once; the fields are left empty.
  void ReleaseAll();
  // Width and height of FSourceDib (0 when there is none).
  int32_t PictureWidth() const;
  int32_t PictureHeight() const;

  // Promotes FSourceDib to Target bits per pixel (see DepthPromotion.h), its rows shared among
  // threads, progress through SetProStatus.
  void DepthUpTo(int32_t Target);
  // The identity mask.
  void InitMask();
  // InitMask and then renderdi, in one pass over the rows: through the identity mask each result
  // row is a copy of its source row. The same bytes and messages as the two calls, for a picture
  // just opened.
  void InitMaskAndRender();
  // Releases FResultDib, creates it anew at the source's size (24 bits) and renders the whole
  // source through the mask. A source of another depth: the message "DIB hat nicht 24BPP!" and
  // nothing copied; a result that could not be created: nothing copied.
  void renderdi();
  // Renders what a change of the mask inside `Area` changes (Area itself; in the smooth mode
  // RenderReach(Area)) into the existing FResultDib and returns true; when FResultDib does not
  // fit the source or the source is not 24 bits, runs renderdi instead and returns false.
  bool RenderArea(const TPictureRect& Area);
  // The part of the result a change of the mask inside `Area` changes, in the current mode.
  TPictureRect RenderReach(const TPictureRect& Area) const;
  // Switches between the exact and the smooth rendering; a change renders the whole result anew
  // and repaints the view.
  void SetSmooth(bool On);
  // Writes the deformation from the source to the smooth result as an animated GIF (Animation.h),
  // the progress to SetProStatus. False with a German message.
  bool WriteAnimation(const std::string& Path, const TAnimationOptions& Options, std::string& Error);
  // Whether FResultDib is a 24-bit picture of the source's size and there is a mask to render by.
  bool ResultFits() const;

  // ---- The tools ----

  // Builds FSqrtFrac and FSqrtInt for radius r unless they are built for it already.
  void InitWurzel(int32_t r);
  // One step of `tool` around picture pixel (x, y); reads NormalizeChecked from the tool bar.
  // A centre outside the picture, or a radius outside 1..kMaxRadius, changes nothing.
  void DoEffekt(int32_t x, int32_t y, int32_t curX, int32_t curY, int32_t lastX, int32_t lastY,
                int32_t tool, bool xAxis, bool yAxis, double strength, int32_t radius);
  // The same step done the fast way; returns the square of the mask it may have changed
  // (empty when the step did nothing).
  TPictureRect DoEffektFast(int32_t x, int32_t y, int32_t curX, int32_t curY, int32_t lastX,
                            int32_t lastY, int32_t tool, bool xAxis, bool yAxis, double strength,
                            int32_t radius);

  // ---- The editing view ----

  // One stroke step at view pixel (X, Y), the pointer having been at (prevX, prevY): the tool
  // bar's settings, DoEffekt at the mapped picture pixel, rendering and repaint. Nothing
  // unless a stroke is active.
  void Malen(int32_t X, int32_t Y, int32_t prevX, int32_t prevY);
  // PaintBox1MouseDown: any button; ignored while a stroke is active.
  void ViewMouseDown(int32_t X, int32_t Y);
  // PaintBox1MouseMove: moves the outline, and steps during a stroke.
  void ViewMouseMove(int32_t X, int32_t Y);
  // PaintBox1MouseUp: any button ends the stroke; no step at the release point.
  void ViewMouseUp(int32_t X, int32_t Y);
  // Timer1Timer: a step at (FLastX, FLastY) without movement, outline erased and drawn again.
  void TimerTick();
  // ZoomEdChange: the new ratio from the zoom field, the view's new size and a repaint.
  void ZoomEdChanged();
  // PageControl2Change: the outline is gone with the page; nothing is drawn.
  void PageChanged();
  // PaintBox1Paint as the program calls it: erases the outline if shown, repaints the view.
  void PaintView();

  // ---- Undo and redo of whole strokes (press to release) ----

  // Every stroke that changed the mask, kept until the mask is replaced or reset.
  TStrokeHistory FHistory;
  bool CanUndo() const { return !FStrokeActive && FHistory.CanUndo(); }
  bool CanRedo() const { return !FStrokeActive && FHistory.CanRedo(); }
  // Mask and result as before the last stroke (Undo) or after the stroke undone last (Redo),
  // byte for byte; only the entries written are rendered and their part of the view repainted.
  // Nothing during a stroke.
  void Undo();
  void Redo();

  // ---- Protection and pen pressure ----

  // What a stroke paints: the tool bar's tool, or protection weights (Protection.h).
  enum class TBrush { Tool, Protect, Release };
  TBrush FBrush = TBrush::Tool;
  // Pressure of the pen for the coming steps, 0..1: it scales the strength of grow, shrink, smear
  // and drag and the weight the protection brush paints; a step at pressure 0 changes nothing.
  // 1 for the mouse and touch, which leaves every step as it is.
  double FPressure = 1.0;
  // The protection weights, width x height in the mask's order; empty until the protection brush
  // is first used (nothing protected), and again for every new mask (AllocMask, FreeMask).
  const std::vector<uint8_t>& Protection() const { return FProtection; }
  // Replaces the weights (empty, or one per pixel of the picture); false, changing nothing, for
  // any other size. The undo history is not told: set them together with a new mask.
  bool SetProtection(std::vector<uint8_t> Weights);

  // ---- Arithmetic of the view, public for the host and the tests ----

  // Tool code 0..4 from the tool buttons (ZerrenBtn wins, then SchmierenBtn, ...; grow by default).
  static int32_t ToolCode(const TToolBarState& Bar);
  // Picture column and bottom-up row of view pixel (X, Y) at the current zoom ratio.
  int32_t PictureX(int32_t X) const;
  int32_t PictureY(int32_t Y) const;
  // View size at the current zoom ratio.
  int32_t ViewWidth() const;
  int32_t ViewHeight() const;
  // The outline's rectangle around (X, Y) for radius field value R and zoom field value Z.
  static TRect OutlineRect(int32_t X, int32_t Y, long double R, long double Z);
  // The view rectangle that shows (at least) the picture pixels of Area, cut to the view.
  TRect ViewRectOf(const TPictureRect& Area) const;

private:
  void DrawOutline(int32_t X, int32_t Y);
  void EraseOutline();
  TStepInput StepInput(int32_t x, int32_t y, int32_t curX, int32_t curY, int32_t lastX, int32_t lastY,
                       int32_t tool, bool xAxis, bool yAxis, double strength, int32_t radius);
  TProgressFn Progress();
  TPictureRect StepSquare(int32_t x, int32_t y, int32_t radius) const;
  void StepHistory(bool back);
  // The current mode's rendering of `Area` into FResultDib (which fits), big areas on two threads.
  void RenderModeArea(const TPictureRect& Area);
  void ProtectionStep(int32_t x, int32_t y, int32_t radius);
  // Before and after a tool step that applies: the protected entries of its circle.
  void KeepProtected(int32_t x, int32_t y, int32_t radius);
  void RestoreProtected();

  TStepScratch FStepScratch; // the fast step's buffers, reused from step to step
  std::vector<uint8_t> FProtection;
  TKeptEntries FKept;
};

} // namespace warp
