// SPDX-License-Identifier: GPL-3.0-or-later
// The editing engine driven by a script instead of a window: the tool bar is a plain record, the
// view exists only as a size, and every step that a window would run is timed.
#pragma once

#include "EditorCore.h"
#include "Landmarks.h"
#include "ReplayScript.h"

#include <memory>
#include <functional>
#include <string>
#include <vector>

namespace replay {

class TReplayHost : public warp::TEditorCore {
public:
  warp::TToolBarState Bar; // as in a new main window

  warp::TToolBarState ReadToolBar() override { return Bar; }
  void SetProStatus(int32_t) override {}
  void RepaintView() override {}
  void RepaintViewRect(const warp::TRect&) override {}
  void InvertOutline(const warp::TRect&) override {}
  void SetMouseCapture(bool) override {}
  void SetTimerEnabled(bool) override {}
  void ResizeView(int32_t, int32_t) override {}
  void HistoryChanged() override {
    if (OnHistoryChanged) OnHistoryChanged();
  }
  // Called when what can be undone or redone may have changed (a stroke ended, undo, redo).
  std::function<void()> OnHistoryChanged;

  // Takes over a picture just opened: promotes it to 24 bits, makes the identity mask and
  // renders the result. False with a German message when that fails.
  bool Adopt(TDib opened, std::string& error);
  // Runs one command as the window's handlers would.
  void Run(const TCommand& c);

  // Milliseconds of each step (press, move or tick during a stroke).
  std::vector<double> StepTimes;

  // The faces of the current result (the model is loaded at the first search unless Finder is
  // set already). Empty with a German message in `error` when the model is missing.
  std::vector<face::TLandmarks> FindFaces(std::string& error);
  std::string ModelFile = face::kModelPath;
  std::shared_ptr<face::TFaceFinder> Finder;
  // Of the last search: faces found, milliseconds of the model's loading and of the search.
  int32_t FaceCount = 0;
  double ModelMs = 0, DetectMs = 0;
  bool Searched = false;
};

// "faces N, model M ms, detect D ms"
std::string FaceTimingLine(const TReplayHost& host);

// "steps N, median M ms, max X ms"
std::string TimingLine(std::vector<double> times);

} // namespace replay
