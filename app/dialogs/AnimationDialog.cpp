// SPDX-License-Identifier: GPL-3.0-or-later
#include "AnimationDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

TAnimationForm::TAnimationForm(QWidget* Owner, const warp::TAnimationOptions& Options, int PictureWidth,
                               int PictureHeight)
    : QDialog(Owner) {
  setWindowTitle("Animation speichern");
  auto* form = new QFormLayout;
  FramesEdit = new QSpinBox(this);
  FramesEdit->setRange(warp::kMinFrames, warp::kMaxFrames);
  FramesEdit->setValue(std::clamp(Options.Frames, warp::kMinFrames, warp::kMaxFrames));
  form->addRow("&Bilder vom Foto zum Ergebnis:", FramesEdit);
  DurationEdit = new QDoubleSpinBox(this);
  DurationEdit->setRange(warp::kMinDurationMs / 1000.0, warp::kMaxDurationMs / 1000.0);
  DurationEdit->setDecimals(1);
  DurationEdit->setSingleStep(0.5);
  DurationEdit->setSuffix(" s");
  DurationEdit->setValue(std::clamp(Options.DurationMs, warp::kMinDurationMs, warp::kMaxDurationMs) / 1000.0);
  form->addRow("&Dauer:", DurationEdit);
  BackCheck = new QCheckBox("&hin und zurück", this);
  BackCheck->setChecked(Options.BackAgain);
  form->addRow(QString(), BackCheck);
  SizeEdit = new QSpinBox(this);
  SizeEdit->setRange(16, std::min(std::max(PictureWidth, PictureHeight), int(warp::kMaxLongerSide)));
  SizeEdit->setSuffix(" Pixel");
  SizeEdit->setValue(Options.LongerSide > 0 ? Options.LongerSide : 800);
  form->addRow("&Längere Seite:", SizeEdit);
  OwnSizeCheck = new QCheckBox(QString("Größe des &Bildes (%1 x %2)").arg(PictureWidth).arg(PictureHeight), this);
  OwnSizeCheck->setChecked(Options.LongerSide <= 0);
  SizeEdit->setEnabled(!OwnSizeCheck->isChecked());
  connect(OwnSizeCheck, &QCheckBox::toggled, SizeEdit, [this](bool own) { SizeEdit->setEnabled(!own); });
  form->addRow(QString(), OwnSizeCheck);

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton("&Speichern...", QDialogButtonBox::AcceptRole);
  buttons->addButton("A&bbrechen", QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  setFixedSize(sizeHint());
}

warp::TAnimationOptions TAnimationForm::Options() const {
  warp::TAnimationOptions o;
  o.Frames = FramesEdit->value();
  o.DurationMs = int32_t(std::lround(DurationEdit->value() * 1000));
  o.BackAgain = BackCheck->isChecked();
  o.LongerSide = OwnSizeCheck->isChecked() ? 0 : SizeEdit->value();
  return o;
}

std::function<bool(warp::TAnimationOptions&)>& TAnimationForm::ExecuteHandler() {
  static std::function<bool(warp::TAnimationOptions&)> handler;
  return handler;
}

bool TAnimationForm::Execute(QWidget* Owner, int PictureWidth, int PictureHeight, warp::TAnimationOptions& Options) {
  if (ExecuteHandler()) return ExecuteHandler()(Options);
  TAnimationForm form(Owner, Options, PictureWidth, PictureHeight);
  if (form.exec() != QDialog::Accepted) return false;
  Options = form.Options();
  return true;
}
