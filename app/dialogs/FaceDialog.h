// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog "Gesicht formen": which face (all or one of those found, left to right) and one
// slider per feature, -100 to 100. It only shows the values; the window previews them whenever
// they change (OnChange) and applies them after OK.
#pragma once

#include "FaceWarp.h"

#include <QDialog>

#include <array>
#include <functional>

class QComboBox;
class QLabel;
class QSlider;

class TFaceForm : public QDialog {
public:
  // FaceCount faces were found (at least 1).
  TFaceForm(QWidget* Owner, int FaceCount);

  face::TFaceSliders Sliders() const;
  // -1: all faces; otherwise the index of the face, left to right.
  int FaceChoice() const;
  // Sets every slider back to 0.
  void Reset();

  // Called after a slider or the face choice changed.
  std::function<void()> OnChange;

  QComboBox* FaceCombo = nullptr;
  std::array<QSlider*, face::kFeatureCount> Slider{};
  std::array<QLabel*, face::kFeatureCount> ValueLabel{};
};
