// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog "Animation speichern": how many frames, how long, whether the animation runs back
// to the photo, and how big its frames are.
#pragma once

#include "Animation.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QDoubleSpinBox;
class QSpinBox;

class TAnimationForm : public QDialog {
public:
  // Starts with Options; PictureWidth x PictureHeight is the picture the frames come from.
  TAnimationForm(QWidget* Owner, const warp::TAnimationOptions& Options, int PictureWidth, int PictureHeight);

  // The values as the dialog shows them now.
  warp::TAnimationOptions Options() const;

  // Shows the dialog; true when it was confirmed, Options then holds the choice. Tests answer
  // through ExecuteHandler instead (non-empty: it is called and its answer taken).
  static bool Execute(QWidget* Owner, int PictureWidth, int PictureHeight, warp::TAnimationOptions& Options);
  static std::function<bool(warp::TAnimationOptions&)>& ExecuteHandler();

  QSpinBox* FramesEdit = nullptr;
  QDoubleSpinBox* DurationEdit = nullptr;
  QCheckBox* BackCheck = nullptr;
  QSpinBox* SizeEdit = nullptr;
  QCheckBox* OwnSizeCheck = nullptr;
};
