// SPDX-License-Identifier: GPL-3.0-or-later
// A device context that paints through a QPainter: on a widget inside its paint event, on a
// QImage or on a QPrinter.
#pragma once

#include "platform/gdi.h"

#include <QPainter>
#include <QRect>

namespace platform::qt {

class TQtDeviceContext final : public TDeviceContext {
public:
  enum class Kind { Automatic, Display, Printer };
  // paintRect: the rectangle the paint event asks for (its rect()); drawing outside it is
  // skipped by the drawing code. Automatic takes a printer for a QPrinter, else a display.
  explicit TQtDeviceContext(QPainter& painter, const QRect& paintRect = QRect(),
                            Kind kind = Kind::Automatic);

  QPainter& Painter() { return painter_; }

  int GetDeviceCaps(int index) override;
  int GetClipBox(RECT* rect) override;

protected:
  bool DrawDib(const TDibView& dib, const RECT& dest, const RECT& src, DWORD rop) override;
  bool DrawSurface(const TSurface& source, const RECT& dest, const RECT& src, DWORD rop) override;
  void DrawRectangle(const RECT& box, TPenState pen, TBrushState brush, int rop2) override;
  void DrawEllipse(const RECT& box, TPenState pen, TBrushState brush, int rop2) override;

private:
  RECT ClipRect() const;
  template <typename Raster> bool DrawThrough(const RECT& dest, DWORD rop, Raster raster);
  void FillRun(int32_t x0, int32_t y, int32_t x1, int32_t y1, uint32_t colour, int rop2);

  QPainter& painter_;
  QRect paintRect_;
  bool printer_;
};

} // namespace platform::qt
