// SPDX-License-Identifier: GPL-3.0-or-later
// A device context that paints through a QPainter: on a widget inside its paint event, on a
// QImage or on a QPrinter.
#pragma once

#include "platform/gdi.h"

#include <QPainter>
#include <QRect>

#include <cmath>

namespace platform::qt {

class TQtDeviceContext final : public TDeviceContext {
public:
  enum class Kind { Automatic, Display, Printer };
  // paintRect: the rectangle the paint event asks for (its rect()); drawing outside it is
  // skipped by the drawing code. Automatic takes a printer for a QPrinter, else a display.
  explicit TQtDeviceContext(QPainter& painter, const QRect& paintRect = QRect(),
                            Kind kind = Kind::Automatic);

  QPainter& Painter() { return painter_; }

  // Device pixels to a unit of the painter where a picture may be drawn finer than the painter's
  // own unit: a widget's device pixel ratio above 1 on a screen that scales only, else 1.
  qreal DeviceRatio() const;
  // Coordinates of the drawing calls in units of 1 / Units of the painter's (Units = DeviceRatio()
  // lets a picture be computed for the device's pixels). 1 draws as the painter measures.
  void SetUnits(qreal Units) { units_ = Units > 0 ? Units : 1; }
  qreal Units() const { return units_; }
  // A length or coordinate of the painter in the current units.
  int32_t InUnits(int32_t v) const { return units_ == 1 ? v : int32_t(std::lround(v * units_)); }

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
  qreal units_ = 1;
};

// Runs draw() with the context in device units (see DeviceRatio), then back in the painter's.
template <typename Draw> void InDeviceUnits(TQtDeviceContext& dc, Draw draw) {
  dc.SetUnits(dc.DeviceRatio());
  draw();
  dc.SetUnits(1);
}

} // namespace platform::qt
