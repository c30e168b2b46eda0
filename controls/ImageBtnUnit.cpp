// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImageBtnUnit.h"

#include <QMouseEvent>
#include <QPointer>

TImageBtn::TImageBtn(QWidget* Owner) : QLabel(Owner) {
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // Moves without a button held reach MouseMove and OnMouseMove too; they swap nothing.
  setMouseTracking(true);
}

TImageBtn::~TImageBtn() = default;

void TImageBtn::SetPicture(const QPixmap& Value) {
  FPicture = Value;
  ApplyPicture();
}

void TImageBtn::SetPicture2(const QPixmap& Value) { FPicture2 = Value; }

void TImageBtn::SetAutoSize(bool Value) {
  FAutoSize = Value;
  ApplyPicture();
}

void TImageBtn::ApplyPicture() {
  setPixmap(FPicture);
  if (FAutoSize && !FPicture.isNull()) resize(FPicture.size());
}

void TImageBtn::ShowPicture2() {
  if (FSwapped) return;
  FSwapped = true;
  FSavedPicture = FPicture;
  SetPicture(FPicture2);
}

void TImageBtn::RestorePicture() {
  if (!FSwapped) return;
  SetPicture(FSavedPicture);
  FSwapped = false;
}

void TImageBtn::MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) {
  ShowPicture2();
  FPressed = true;
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TImageBtn::MouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) {
  RestorePicture();
  FPressed = false;
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

void TImageBtn::MouseMove(Qt::KeyboardModifiers Shift, int X, int Y) {
  if (FPressed) {
    if (X < 0 || X >= width() || Y < 0 || Y >= height())
      RestorePicture();
    else
      ShowPicture2();
  }
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TImageBtn::Click() {
  RestorePicture();
  if (OnClick) OnClick(this);
  emit clicked();
}

void TImageBtn::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TImageBtn::mousePressEvent(QMouseEvent* Event) {
  const QPoint p = Event->position().toPoint();
  if (Event->button() == Qt::LeftButton) FClickPending = true;
  MouseDown(Event->button(), Event->modifiers(), p.x(), p.y());
  Event->accept();
}

// The second press of a double click is a press like any other, but it starts no click.
void TImageBtn::mouseDoubleClickEvent(QMouseEvent* Event) {
  const QPoint p = Event->position().toPoint();
  if (Event->button() == Qt::LeftButton) {
    FClickPending = false;
    DblClick();
  }
  MouseDown(Event->button(), Event->modifiers(), p.x(), p.y());
  Event->accept();
}

void TImageBtn::mouseMoveEvent(QMouseEvent* Event) {
  const QPoint p = Event->position().toPoint();
  MouseMove(Event->modifiers(), p.x(), p.y());
  Event->accept();
}

// A left release inside the control clicks before the mouse-up, so that whatever the click
// opens (a modal dialog) sees the button in its normal look already.
void TImageBtn::mouseReleaseEvent(QMouseEvent* Event) {
  const QPoint p = Event->position().toPoint();
  if (Event->button() == Qt::LeftButton) {
    const bool click = FClickPending && rect().contains(p);
    FClickPending = false;
    if (click) {
      QPointer<TImageBtn> self(this);
      Click();
      if (!self) return; // the click closed and freed the control's window
    }
  }
  MouseUp(Event->button(), Event->modifiers(), p.x(), p.y());
  Event->accept();
}
