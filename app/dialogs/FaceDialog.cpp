// SPDX-License-Identifier: GPL-3.0-or-later
#include "FaceDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

TFaceForm::TFaceForm(QWidget* Owner, int FaceCount) : QDialog(Owner) {
  setWindowTitle("Gesicht formen");
  auto* grid = new QGridLayout;
  FaceCombo = new QComboBox(this);
  FaceCombo->addItem(FaceCount == 1 ? QString("Das Gesicht") : QString("Alle Gesichter (%1)").arg(FaceCount));
  if (FaceCount > 1)
    for (int i = 1; i <= FaceCount; ++i) FaceCombo->addItem(QString("Gesicht %1 von links").arg(i));
  FaceCombo->setEnabled(FaceCount > 1);
  auto* faceLabel = new QLabel("&Gesicht:", this);
  faceLabel->setBuddy(FaceCombo);
  grid->addWidget(faceLabel, 0, 0);
  grid->addWidget(FaceCombo, 0, 1, 1, 2);
  connect(FaceCombo, &QComboBox::currentIndexChanged, this, [this] {
    if (OnChange) OnChange();
  });
  const char* const captions[face::kFeatureCount] = {"&Augen", "&Nase", "&Lächeln", "&Kinn", "Gesichts&breite",
                                                     "Kari&katur"};
  for (int k = 0; k < face::kFeatureCount; ++k) {
    auto* label = new QLabel(captions[k], this);
    Slider[size_t(k)] = new QSlider(Qt::Horizontal, this);
    QSlider* s = Slider[size_t(k)];
    s->setRange(-100, 100);
    s->setSingleStep(5);
    s->setPageStep(25);
    s->setTickPosition(QSlider::TicksBelow);
    s->setTickInterval(100);
    s->setMinimumWidth(180);
    s->setAccessibleName(face::kFeatureCaptions[size_t(k)]);
    label->setBuddy(s);
    ValueLabel[size_t(k)] = new QLabel("0", this);
    ValueLabel[size_t(k)]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ValueLabel[size_t(k)]->setMinimumWidth(ValueLabel[size_t(k)]->fontMetrics().horizontalAdvance("-100") + 4);
    grid->addWidget(label, k + 1, 0);
    grid->addWidget(s, k + 1, 1);
    grid->addWidget(ValueLabel[size_t(k)], k + 1, 2);
    connect(s, &QSlider::valueChanged, this, [this, k](int v) {
      ValueLabel[size_t(k)]->setText(QString::number(v));
      if (OnChange) OnChange();
    });
  }
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* reset = buttons->addButton("&Zurücksetzen", QDialogButtonBox::ResetRole);
  buttons->addButton("OK", QDialogButtonBox::AcceptRole)->setDefault(true);
  buttons->addButton("Abbrechen", QDialogButtonBox::RejectRole);
  connect(reset, &QPushButton::clicked, this, [this] { Reset(); });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(buttons);
  setFixedSize(sizeHint());
}

face::TFaceSliders TFaceForm::Sliders() const {
  face::TFaceSliders s;
  for (int k = 0; k < face::kFeatureCount; ++k) s.Value[size_t(k)] = Slider[size_t(k)]->value();
  return s;
}

int TFaceForm::FaceChoice() const { return FaceCombo->currentIndex() - 1; }

void TFaceForm::Reset() {
  for (QSlider* s : Slider) s->setValue(0);
}
