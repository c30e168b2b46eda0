// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt_device_context.h"

#include <QImage>
#include <QPaintDevice>
#include <QPrinter>

#include <algorithm>
#include <cmath>

namespace platform::qt {
namespace {

QColor toQColor(uint32_t rgb) { return QColor(int((rgb >> 16) & 255), int((rgb >> 8) & 255), int(rgb & 255)); }
uint32_t fromColorref(COLORREF c) {
  return (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c);
}

RECT intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.right <= r.left || r.bottom <= r.top) return {0, 0, 0, 0};
  return r;
}

bool isEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

RECT fromQRect(const QRect& q) { return {q.left(), q.top(), q.right() + 1, q.bottom() + 1}; }

// Raster operations that combine with what is on the device are left to the painter; the others
// are worked out while the pixels are prepared.
bool combinesWithDest(DWORD rop) {
  return rop == SRCPAINT || rop == SRCAND || rop == SRCINVERT || rop == DSTINVERT;
}

QPainter::CompositionMode modeForRop(DWORD rop) {
  switch (rop) {
  case SRCPAINT: return QPainter::RasterOp_SourceOrDestination;
  case SRCAND: return QPainter::RasterOp_SourceAndDestination;
  case SRCINVERT: return QPainter::RasterOp_SourceXorDestination;
  case DSTINVERT: return QPainter::RasterOp_NotDestination;
  default: return QPainter::CompositionMode_SourceOver;
  }
}

// Logical coordinates to device pixels for a painter that only scales and moves: each edge is
// rounded to the nearest device pixel. Other transforms (and finer scales than a screen's, a
// printer's) keep the logical grid and leave the scaling to the painter.
class TDeviceGrid {
public:
  TDeviceGrid(const QTransform& toDevice, bool screen) : toDevice_(toDevice) {
    const bool axisAligned = toDevice.type() <= QTransform::TxScale;
    scaled_ = screen && axisAligned && !(toDevice.m11() == 1 && toDevice.m22() == 1) && toDevice.m11() > 0 &&
              toDevice.m22() > 0 && toDevice.m11() <= kMaxScreenScale && toDevice.m22() <= kMaxScreenScale;
  }
  bool Unscaled() const { return !scaled_; }
  RECT Map(const RECT& r) const {
    if (!scaled_) return r;
    return {edge(r.left, toDevice_.m11(), toDevice_.dx()), edge(r.top, toDevice_.m22(), toDevice_.dy()),
            edge(r.right, toDevice_.m11(), toDevice_.dx()), edge(r.bottom, toDevice_.m22(), toDevice_.dy())};
  }
  // The world transform to combine with so that the painter draws in device pixels.
  QTransform ToDevicePixels() const { return toDevice_.inverted(); }

private:
  static constexpr qreal kMaxScreenScale = 8;
  static int32_t edge(int32_t v, qreal scale, qreal offset) { return int32_t(std::lround(v * scale + offset)); }
  QTransform toDevice_;
  bool scaled_ = false;
};

} // namespace

TQtDeviceContext::TQtDeviceContext(QPainter& painter, const QRect& paintRect, Kind kind)
    : painter_(painter), paintRect_(paintRect) {
  if (kind == Kind::Automatic) {
    QPaintDevice* device = painter.device();
    printer_ = device != nullptr && device->devType() == QInternal::Printer;
  } else {
    printer_ = kind == Kind::Printer;
  }
}

int TQtDeviceContext::GetDeviceCaps(int index) {
  QPaintDevice* device = painter_.device();
  const int depth = device ? device->depth() : 24;
  switch (index) {
  case TECHNOLOGY: return printer_ ? DT_RASPRINTER : DT_RASDISPLAY;
  case BITSPIXEL: return depth;
  case PLANES: return 1;
  case RASTERCAPS: return RC_BITBLT | RC_STRETCHBLT | RC_DIBTODEV | RC_STRETCHDIB;
  case HORZRES: return device ? device->width() : 0;
  case VERTRES: return device ? device->height() : 0;
  case NUMCOLORS: return depth <= 8 ? 1 << depth : -1;
  case SIZEPALETTE: return 0;
  default: return 0;
  }
}

// The device's own pixels: a widget measures itself in logical pixels, images, pixmaps and
// printers in device pixels.
QRectF devicePixels(const QPaintDevice& device) {
  const qreal ratio = device.devType() == QInternal::Widget ? device.devicePixelRatioF() : 1.0;
  return QRectF(0, 0, device.width() * ratio, device.height() * ratio);
}

qreal TQtDeviceContext::DeviceRatio() const {
  const QPaintDevice* device = painter_.device();
  if (printer_ || device == nullptr) return 1;
  const qreal ratio = device->devicePixelRatioF();
  const QTransform t = painter_.deviceTransform();
  const bool scaleOnly = t.type() <= QTransform::TxScale && t.m11() == ratio && t.m22() == ratio;
  return ratio > 1 && scaleOnly ? ratio : 1;
}

RECT TQtDeviceContext::ClipRect() const {
  QPaintDevice* device = painter_.device();
  if (device == nullptr) return {0, 0, 0, 0};
  // The device's area in the painter's coordinates. A widget is painted in its own coordinates
  // (nothing here sets a transform on a widget's painter), while Qt reaches it through offsets
  // of its own: into the window's backing store, or into a grab of a parent. Those are in the
  // painter's transforms and would cut off as much of the widget as it lies away from the
  // window's corner, so a widget's area is its own rectangle.
  const QRectF area = device->devType() == QInternal::Widget
                          ? QRectF(0, 0, device->width(), device->height())
                          : painter_.deviceTransform().inverted().mapRect(devicePixels(*device));
  const QRect deviceRect = area.toAlignedRect();
  RECT r = fromQRect(deviceRect);
  if (paintRect_.isValid()) r = intersect(r, fromQRect(paintRect_));
  if (painter_.hasClipping()) r = intersect(r, fromQRect(painter_.clipBoundingRect().toAlignedRect()));
  if (units_ != 1)
    r = {int32_t(std::floor(r.left * units_)), int32_t(std::floor(r.top * units_)),
         int32_t(std::ceil(r.right * units_)), int32_t(std::ceil(r.bottom * units_))};
  return r;
}

int TQtDeviceContext::GetClipBox(RECT* rect) {
  *rect = ClipRect();
  return isEmpty(*rect) ? NULLREGION : SIMPLEREGION;
}

template <typename Raster>
bool TQtDeviceContext::DrawThrough(const RECT& dest, DWORD rop, Raster raster) {
  const RECT vis = intersect(dest, ClipRect());
  if (isEmpty(vis)) return true;
  // The pixels are prepared at the device's resolution (a high-density screen has several
  // device pixels to a logical one), so the picture shows sharp and the painter copies them
  // one to one. Every edge goes through the same mapping, so neighbouring blocks (the rows of
  // the row paths) meet without a gap.
  // In finer units the calls already name device pixels.
  const TDeviceGrid grid(units_ != 1 ? QTransform() : painter_.deviceTransform(), !printer_);
  const RECT pixels = grid.Map(vis);
  QImage image(pixels.right - pixels.left, pixels.bottom - pixels.top, QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return false;
  image.fill(Qt::transparent); // pixels the source does not reach stay as they are
  const TSurface surface{reinterpret_cast<uint32_t*>(image.bits()), image.width(), image.height(),
                         int32_t(image.bytesPerLine() / 4)};
  const RECT mapped = grid.Map(dest);
  const RECT shifted{mapped.left - pixels.left, mapped.top - pixels.top, mapped.right - pixels.left,
                     mapped.bottom - pixels.top};
  raster(surface, RECT{0, 0, image.width(), image.height()}, shifted,
         combinesWithDest(rop) ? SRCCOPY : rop);
  painter_.save();
  painter_.setCompositionMode(modeForRop(rop));
  painter_.setRenderHint(QPainter::SmoothPixmapTransform, false);
  if (units_ != 1) {
    painter_.setWorldTransform(QTransform::fromScale(1 / units_, 1 / units_), true);
    painter_.drawImage(QPoint(vis.left, vis.top), image);
  } else if (grid.Unscaled()) {
    painter_.drawImage(QPoint(vis.left, vis.top), image);
  } else {
    // Drawn in device pixels: the block lands exactly on the pixels it was prepared for.
    painter_.setWorldTransform(grid.ToDevicePixels(), true);
    painter_.drawImage(QPoint(pixels.left, pixels.top), image);
  }
  painter_.restore();
  return true;
}

bool TQtDeviceContext::DrawDib(const TDibView& dib, const RECT& dest, const RECT& src, DWORD rop) {
  return DrawThrough(dest, rop, [&](const TSurface& s, const RECT& clip, const RECT& d, DWORD r) {
    RasterDib(s, clip, dib, d, src, r);
  });
}

bool TQtDeviceContext::DrawSurface(const TSurface& source, const RECT& dest, const RECT& src,
                                   DWORD rop) {
  return DrawThrough(dest, rop, [&](const TSurface& s, const RECT& clip, const RECT& d, DWORD r) {
    RasterSurface(s, clip, source, d, src, r);
  });
}

// Fills columns x0 .. x1 - 1 of rows y0 .. y1 - 1 with a pen mode.
void TQtDeviceContext::FillRun(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour,
                               int rop2) {
  if (x1 <= x0 || y1 <= y0) return;
  const QRect r(x0, y0, x1 - x0, y1 - y0);
  switch (rop2) {
  case R2_BLACK: painter_.fillRect(r, Qt::black); break;
  case R2_WHITE: painter_.fillRect(r, Qt::white); break;
  case R2_NOT:
    painter_.setCompositionMode(QPainter::RasterOp_NotDestination);
    painter_.fillRect(r, Qt::black);
    painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
    break;
  case R2_XORPEN:
    painter_.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter_.fillRect(r, toQColor(colour));
    painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
    break;
  default: painter_.fillRect(r, toQColor(colour)); break;
  }
}

void TQtDeviceContext::DrawRectangle(const RECT& box, TPenState pen, TBrushState brush, int rop2) {
  const RECT vis = intersect(box, ClipRect());
  if (isEmpty(vis)) return;
  painter_.save();
  const uint32_t p = fromColorref(pen.color), b = fromColorref(brush.color);
  auto fill = [&](int32_t l, int32_t t, int32_t r, int32_t bo, bool isPen) {
    if (isPen ? !pen.visible : !brush.visible) return;
    const RECT c = intersect(RECT{l, t, r, bo}, vis);
    if (!isEmpty(c)) FillRun(c.left, c.top, c.right, c.bottom, isPen ? p : b, rop2);
  };
  if (!pen.visible) {
    fill(box.left, box.top, box.right, box.bottom, false);
  } else {
    // The outline one pixel wide, each pixel once, then the inside.
    fill(box.left, box.top, box.right, box.top + 1, true);
    if (box.bottom - 1 > box.top) fill(box.left, box.bottom - 1, box.right, box.bottom, true);
    fill(box.left, box.top + 1, box.left + 1, box.bottom - 1, true);
    if (box.right - 1 > box.left) fill(box.right - 1, box.top + 1, box.right, box.bottom - 1, true);
    fill(box.left + 1, box.top + 1, box.right - 1, box.bottom - 1, false);
  }
  painter_.restore();
}

void TQtDeviceContext::DrawEllipse(const RECT& box, TPenState pen, TBrushState brush, int rop2) {
  painter_.save();
  const uint32_t p = fromColorref(pen.color), b = fromColorref(brush.color);
  EllipseRuns(box, ClipRect(), [&](int32_t y, int32_t x0, int32_t x1, bool outline) {
    if (outline ? !pen.visible : !brush.visible) return;
    FillRun(x0, y, x1 + 1, y + 1, outline ? p : b, rop2);
  });
  painter_.restore();
}

} // namespace platform::qt
