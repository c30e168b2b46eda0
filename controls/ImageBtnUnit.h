// SPDX-License-Identifier: GPL-3.0-or-later
// A button made of two pictures: the normal picture, and a pressed picture shown while a mouse
// button is held on the control with the pointer inside it. No hover effect.
#pragma once

#include <QLabel>
#include <QPixmap>

#include <functional>

class TImageBtn : public QLabel {
  Q_OBJECT
public:
  using TNotifyEvent = std::function<void(QObject* Sender)>;
  using TMouseEvent = std::function<void(QObject* Sender, Qt::MouseButton Button,
                                         Qt::KeyboardModifiers Shift, int X, int Y)>;
  using TMouseMoveEvent = std::function<void(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y)>;

  explicit TImageBtn(QWidget* Owner = nullptr);
  ~TImageBtn() override;

  // The picture the control shows now (the pressed one while it is swapped in).
  const QPixmap& Picture() const { return FPicture; }
  void SetPicture(const QPixmap& Value);
  // The pressed picture. Setting copies it; the caller keeps its own.
  const QPixmap& Picture2() const { return FPicture2; }
  void SetPicture2(const QPixmap& Value);
  // When on, every non-empty picture put into Picture resizes the control to it.
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);

  bool Pressed() const { return FPressed; }
  bool Swapped() const { return FSwapped; }

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;

signals:
  void clicked();

protected:
  // The notifications, called before the corresponding events are raised.
  virtual void MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
  virtual void MouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
  virtual void MouseMove(Qt::KeyboardModifiers Shift, int X, int Y);
  virtual void Click();
  virtual void DblClick();

  void mousePressEvent(QMouseEvent* Event) override;
  void mouseDoubleClickEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;

private:
  void ShowPicture2();
  void RestorePicture();
  void ApplyPicture();

  QPixmap FPicture;
  QPixmap FPicture2;
  QPixmap FSavedPicture;
  bool FPressed = false;
  bool FSwapped = false;
  bool FAutoSize = true;
  // A left press that may end in a click: set by a single press, not by the second press of a
  // double click, so that a double click raises one click and one double click.
  bool FClickPending = false;
};
