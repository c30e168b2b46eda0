// SPDX-License-Identifier: GPL-3.0-or-later
// Reading packed DIBs and drawing into 32-bit pixel blocks: the work of every device that keeps
// its pixels in memory. Scaling takes the nearest source pixel by integer division, the way the
// colour-on-colour stretch mode drops or repeats whole rows and columns.
#include "platform/gdi.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace platform {
namespace {

constexpr int32_t kMaxDibSide = 1 << 24;

uint32_t rgb(uint8_t r, uint8_t g, uint8_t b) {
  return (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
}

uint32_t fromColorref(COLORREF c) { return rgb(GetRValue(c), GetGValue(c), GetBValue(c)); }

RECT intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

// The part of the destination that can be written: inside the clip and the target.
RECT visiblePart(const TSurface& target, const RECT& clip, const RECT& dest) {
  return intersect(intersect(clip, RECT{0, 0, target.width, target.height}), dest);
}

uint32_t pen(uint32_t colour, uint32_t dest, int rop2) {
  switch (rop2) {
  case R2_BLACK: return 0;
  case R2_WHITE: return 0xFFFFFF;
  case R2_NOT: return ~dest & 0xFFFFFF;
  case R2_XORPEN: return (dest ^ colour) & 0xFFFFFF;
  default: return colour;
  }
}

void plot(const TSurface& t, int32_t x, int32_t y, uint32_t colour, int rop2) {
  uint32_t& p = t.pixels[size_t(y) * size_t(t.stride) + size_t(x)];
  p = 0xFF000000u | pen(colour, p & 0xFFFFFF, rop2);
}

} // namespace

bool TDibView::Open(const BITMAPINFO* info, const void* bits, UINT usage, int32_t startScan,
                    int32_t lines) {
  *this = TDibView();
  if (info == nullptr || bits == nullptr || usage != DIB_RGB_COLORS) return false;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biCompression != BI_RGB) return false;
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biWidth > kMaxDibSide || h.biHeight > kMaxDibSide ||
      h.biHeight < -kMaxDibSide)
    return false;
  const int bc = h.biBitCount;
  if (bc != 1 && bc != 4 && bc != 8 && bc != 24 && bc != 32) return false;
  if (startScan < 0 || lines < 0) return false;
  width_ = h.biWidth;
  height_ = std::abs(h.biHeight);
  topDown_ = h.biHeight < 0;
  bitCount_ = bc;
  stride_ = int32_t(((int64_t(width_) * bc + 31) / 32) * 4);
  firstScan_ = std::min(startScan, height_);
  lines_ = std::min(lines, height_ - firstScan_);
  bits_ = static_cast<const uint8_t*>(bits);
  if (bc <= 8) {
    const uint32_t max = 1u << bc;
    const uint32_t n = h.biClrUsed == 0 ? max : std::min(h.biClrUsed, max);
    const auto* table = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const uint8_t*>(info) + h.biSize);
    for (uint32_t i = 0; i < n; ++i) colours_[i] = rgb(table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue);
  }
  return true;
}

bool TDibView::HasRow(int32_t rowFromTop) const {
  if (rowFromTop < 0 || rowFromTop >= height_) return false;
  const int32_t scan = topDown_ ? rowFromTop : height_ - 1 - rowFromTop;
  return scan >= firstScan_ && scan < firstScan_ + lines_;
}

const uint8_t* TDibView::Row(int32_t rowFromTop) const {
  const int32_t scan = topDown_ ? rowFromTop : height_ - 1 - rowFromTop;
  return bits_ + size_t(scan - firstScan_) * size_t(stride_);
}

uint32_t TDibView::Pixel(const uint8_t* row, int32_t x) const {
  switch (bitCount_) {
  case 1: return colours_[(row[x >> 3] >> (7 - (x & 7))) & 1];
  case 4: return colours_[(x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4];
  case 8: return colours_[row[x]];
  case 24: {
    const uint8_t* p = row + size_t(x) * 3;
    return rgb(p[2], p[1], p[0]);
  }
  default: {
    const uint8_t* p = row + size_t(x) * 4;
    return rgb(p[2], p[1], p[0]);
  }
  }
}

bool KnownRop(DWORD rop) {
  switch (rop) {
  case SRCCOPY: case SRCPAINT: case SRCAND: case SRCINVERT: case NOTSRCCOPY: case DSTINVERT:
  case BLACKNESS: case WHITENESS: return true;
  default: return false;
  }
}

uint32_t ApplyRop(uint32_t s, uint32_t d, DWORD rop) {
  uint32_t v;
  switch (rop) {
  case SRCPAINT: v = s | d; break;
  case SRCAND: v = s & d; break;
  case SRCINVERT: v = s ^ d; break;
  case NOTSRCCOPY: v = ~s; break;
  case DSTINVERT: v = ~d; break;
  case BLACKNESS: v = 0; break;
  case WHITENESS: v = 0xFFFFFF; break;
  default: v = s; break;
  }
  return 0xFF000000u | (v & 0xFFFFFF);
}

void RasterDib(const TSurface& target, const RECT& clip, const TDibView& dib, const RECT& dest,
               const RECT& src, DWORD rop) {
  const RECT vis = visiblePart(target, clip, dest);
  if (vis.right <= vis.left || vis.bottom <= vis.top) return;
  const int64_t dw = int64_t(dest.right) - dest.left, dh = int64_t(dest.bottom) - dest.top;
  const int64_t sw = int64_t(src.right) - src.left, sh = int64_t(src.bottom) - src.top;
  // 24 bits at 1:1, the row paths' case (one call per row): the visible columns map onto one run
  // of source pixels, copied without a table.
  if (dib.bitCount() == 24 && rop == SRCCOPY && sw == dw && sh == dh) {
    const int64_t shift = int64_t(src.left) - dest.left; // source column of x is x + shift
    const int64_t x0 = std::max<int64_t>(vis.left, -shift), x1 = std::min<int64_t>(vis.right, dib.width() - shift);
    for (int32_t y = vis.top; y < vis.bottom && x0 < x1; ++y) {
      const int64_t r = src.top + (int64_t(y) - dest.top);
      if (r < 0 || r >= dib.height() || !dib.HasRow(int32_t(r))) continue;
      const uint8_t* p = dib.Row(int32_t(r)) + size_t(x0 + shift) * 3;
      uint32_t* out = target.pixels + size_t(y) * size_t(target.stride) + size_t(x0);
      for (int64_t x = x0; x < x1; ++x, p += 3)
        *out++ = 0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
    }
    return;
  }
  // Source column of each visible destination column; -1 where it lies outside the DIB.
  std::vector<int32_t> cols(size_t(vis.right - vis.left));
  for (int32_t x = vis.left; x < vis.right; ++x) {
    const int64_t c = src.left + (int64_t(x) - dest.left) * sw / dw;
    cols[size_t(x - vis.left)] = (c >= 0 && c < dib.width()) ? int32_t(c) : -1;
  }
  for (int32_t y = vis.top; y < vis.bottom; ++y) {
    const int64_t r = src.top + (int64_t(y) - dest.top) * sh / dh;
    if (r < 0 || r >= dib.height() || !dib.HasRow(int32_t(r))) continue;
    const uint8_t* row = dib.Row(int32_t(r));
    uint32_t* out = target.pixels + size_t(y) * size_t(target.stride) + size_t(vis.left);
    if (dib.bitCount() == 24 && rop == SRCCOPY) {
      for (size_t i = 0; i < cols.size(); ++i) {
        if (cols[i] < 0) continue;
        const uint8_t* p = row + size_t(cols[i]) * 3;
        out[i] = 0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
      }
    } else {
      for (size_t i = 0; i < cols.size(); ++i)
        if (cols[i] >= 0) out[i] = ApplyRop(dib.Pixel(row, cols[i]), out[i] & 0xFFFFFF, rop);
    }
  }
}

void RasterSurface(const TSurface& target, const RECT& clip, const TSurface& source,
                   const RECT& dest, const RECT& src, DWORD rop) {
  const RECT vis = visiblePart(target, clip, dest);
  if (vis.right <= vis.left || vis.bottom <= vis.top) return;
  const int64_t dw = int64_t(dest.right) - dest.left, dh = int64_t(dest.bottom) - dest.top;
  const int64_t sw = int64_t(src.right) - src.left, sh = int64_t(src.bottom) - src.top;
  std::vector<int32_t> cols(size_t(vis.right - vis.left));
  for (int32_t x = vis.left; x < vis.right; ++x) {
    const int64_t c = src.left + (int64_t(x) - dest.left) * sw / dw;
    cols[size_t(x - vis.left)] = (c >= 0 && c < source.width) ? int32_t(c) : -1;
  }
  for (int32_t y = vis.top; y < vis.bottom; ++y) {
    const int64_t r = src.top + (int64_t(y) - dest.top) * sh / dh;
    if (r < 0 || r >= source.height) continue;
    const uint32_t* in = source.pixels + size_t(r) * size_t(source.stride);
    uint32_t* out = target.pixels + size_t(y) * size_t(target.stride) + size_t(vis.left);
    for (size_t i = 0; i < cols.size(); ++i)
      if (cols[i] >= 0) out[i] = ApplyRop(in[cols[i]] & 0xFFFFFF, out[i] & 0xFFFFFF, rop);
  }
}

void RasterRectangle(const TSurface& target, const RECT& clip, const RECT& box, TPenState pen,
                     TBrushState brush, int rop2) {
  const RECT vis = visiblePart(target, clip, box);
  const uint32_t penColour = fromColorref(pen.color), brushColour = fromColorref(brush.color);
  for (int32_t y = vis.top; y < vis.bottom; ++y)
    for (int32_t x = vis.left; x < vis.right; ++x) {
      const bool edge = x == box.left || x == box.right - 1 || y == box.top || y == box.bottom - 1;
      if (edge && pen.visible) plot(target, x, y, penColour, rop2);
      else if (brush.visible) plot(target, x, y, brushColour, rop2);
    }
}

void EllipseRuns(const RECT& box, const RECT& clip,
                 const std::function<void(int32_t y, int32_t x0, int32_t x1, bool outline)>& run) {
  const int32_t w = box.right - box.left, h = box.bottom - box.top;
  if (w <= 0 || h <= 0) return;
  // The span of columns inside the ellipse on each row of the box: a pixel is inside when its
  // centre lies within the ellipse inscribed in the box. A pixel of a span is on the outline when
  // it ends its span or has no inside neighbour above or below; every pixel is visited once,
  // so an inverting pen never undoes itself.
  const double cx = box.left + (w - 1) / 2.0, cy = box.top + (h - 1) / 2.0;
  const double rx = w / 2.0, ry = h / 2.0;
  auto span = [&](int32_t y, int32_t& a, int32_t& b) {
    if (y < box.top || y >= box.bottom) return false;
    const double t = (y - cy) / ry;
    const double q = 1.0 - t * t;
    if (q < 0) return false;
    const double half = rx * std::sqrt(q);
    a = std::max(box.left, int32_t(std::ceil(cx - half - 1e-9)));
    b = std::min(box.right - 1, int32_t(std::floor(cx + half + 1e-9)));
    return a <= b;
  };
  const RECT vis = intersect(clip, box);
  for (int32_t y = vis.top; y < vis.bottom; ++y) {
    int32_t a = 0, b = -1, ua = 0, ub = -1, da = 0, db = -1;
    if (!span(y, a, b)) continue;
    const bool hasUp = span(y - 1, ua, ub), hasDown = span(y + 1, da, db);
    auto isOutline = [&](int32_t x) {
      return x == a || x == b || !hasUp || x < ua || x > ub || !hasDown || x < da || x > db;
    };
    const int32_t first = std::max(a, vis.left), last = std::min(b, vis.right - 1);
    int32_t x = first;
    while (x <= last) {
      const bool outline = isOutline(x);
      int32_t end = x;
      while (end + 1 <= last && isOutline(end + 1) == outline) ++end;
      run(y, x, end, outline);
      x = end + 1;
    }
  }
}

void RasterEllipse(const TSurface& target, const RECT& clip, const RECT& box, TPenState pen,
                   TBrushState brush, int rop2) {
  const uint32_t penColour = fromColorref(pen.color), brushColour = fromColorref(brush.color);
  EllipseRuns(box, intersect(clip, RECT{0, 0, target.width, target.height}),
              [&](int32_t y, int32_t x0, int32_t x1, bool outline) {
                if (outline ? !pen.visible : !brush.visible) return;
                for (int32_t x = x0; x <= x1; ++x)
                  plot(target, x, y, outline ? penColour : brushColour, rop2);
              });
}

} // namespace platform
