// SPDX-License-Identifier: GPL-3.0-or-later
// Device contexts and the drawing calls the program's drawing code makes, with the names and
// values of the window system it was designed around. A device context (HDC) is a pointer to a
// TDeviceContext; the free functions forward to it. Two kinds exist: the memory device context
// of this core (rasterises into a 32-bit buffer; also the stand-in for bitmaps, the desktop and
// tests), and the toolkit's context in platform/qt that paints through a painter.
//
// Coordinates on devices count from the top left. DIBs handed to devices are packed bottom-up
// DIBs (a negative biHeight marks a top-down one) of 1, 4, 8, 24 or 32 bits, uncompressed, with
// their colour table right after the header; rows are padded to a multiple of 4 bytes.
#pragma once

#include "platform/palette.h"
#include "platform/win.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace platform {

using DWORD = uint32_t;

struct RECT {
  int32_t left, top, right, bottom;
};

struct BITMAPINFOHEADER {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight;
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
};
struct RGBQUAD {
  uint8_t rgbBlue, rgbGreen, rgbRed, rgbReserved;
};
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct BITMAP {
  int32_t bmType;
  int32_t bmWidth;
  int32_t bmHeight;
  int32_t bmWidthBytes;
  uint16_t bmPlanes;
  uint16_t bmBitsPixel;
  void* bmBits;
};

// GetDeviceCaps indexes and values.
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int NUMCOLORS = 24;
constexpr int RASTERCAPS = 38;
constexpr int SIZEPALETTE = 104;
constexpr int TECHNOLOGY = 2;
constexpr int DT_PLOTTER = 0;
constexpr int DT_RASDISPLAY = 1;
constexpr int DT_RASPRINTER = 2;
constexpr int RC_BITBLT = 0x0001;
constexpr int RC_PALETTE = 0x0100;
constexpr int RC_DIBTODEV = 0x0200;
constexpr int RC_STRETCHBLT = 0x0800;
constexpr int RC_STRETCHDIB = 0x2000;

constexpr int BLACKONWHITE = 1;
constexpr int WHITEONBLACK = 2;
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;

constexpr UINT DIB_RGB_COLORS = 0;
constexpr UINT DIB_PAL_COLORS = 1;
constexpr uint32_t BI_RGB = 0;
constexpr int GDI_ERROR = -1;

// Raster operations (source and destination).
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCPAINT = 0x00EE0086;
constexpr DWORD SRCAND = 0x008800C6;
constexpr DWORD SRCINVERT = 0x00660046;
constexpr DWORD NOTSRCCOPY = 0x00330008;
constexpr DWORD DSTINVERT = 0x00550009;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;

// Pen modes (SetROP2).
constexpr int R2_BLACK = 1;
constexpr int R2_NOT = 6;
constexpr int R2_XORPEN = 7;
constexpr int R2_COPYPEN = 13;
constexpr int R2_WHITE = 16;

// GetClipBox results.
constexpr int RGN_ERROR = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;

// Stock objects.
constexpr int WHITE_BRUSH = 0;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;
constexpr int NULL_PEN = 8;
constexpr int DEFAULT_PALETTE = 15;
constexpr int DC_BRUSH = 18;
constexpr int DC_PEN = 19;

constexpr int PS_SOLID = 0;
constexpr int PS_NULL = 5;
constexpr int BS_SOLID = 0;
constexpr int BS_NULL = 1;

class TPen final : public TGdiObject {
public:
  TPen(int style, COLORREF color) : style_(style), color_(color) {}
  TPen(StockTag tag, int style, COLORREF color) : TGdiObject(tag), style_(style), color_(color) {}
  int style() const { return style_; }
  COLORREF color() const { return color_; }

private:
  int style_;
  COLORREF color_;
};
using HPEN = TPen*;

class TBrush final : public TGdiObject {
public:
  TBrush(int style, COLORREF color) : style_(style), color_(color) {}
  TBrush(StockTag tag, int style, COLORREF color) : TGdiObject(tag), style_(style), color_(color) {}
  int style() const { return style_; }
  COLORREF color() const { return color_; }

private:
  int style_;
  COLORREF color_;
};
using HBRUSH = TBrush*;

// A device-dependent bitmap. Its pixels are kept as 0x00RRGGBB words, top row first, whatever
// depth it reports (the depth of the device it was made compatible with).
class TBitmap final : public TGdiObject {
public:
  TBitmap(int32_t width, int32_t height, int bitsPixel);
  TBitmap(StockTag tag, int32_t width, int32_t height, int bitsPixel);
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  int bitsPixel() const { return bitsPixel_; }
  uint32_t* pixels() { return pixels_.data(); }
  const uint32_t* pixels() const { return pixels_.data(); }

private:
  int32_t width_, height_;
  int bitsPixel_;
  std::vector<uint32_t> pixels_;
};
using HBITMAP = TBitmap*;
// The 1 x 1 stock bitmap every device context starts with selected.
bool IsDefaultBitmap(HBITMAP bitmap);

// Largest device-dependent bitmap CreateCompatibleBitmap makes, in pixels.
constexpr int64_t kMaxBitmapPixels = int64_t(1) << 28;

// A block of 0x00RRGGBB words, top row first; the stride counts words.
struct TSurface {
  uint32_t* pixels = nullptr;
  int32_t width = 0, height = 0;
  int32_t stride = 0;
};

// Read access to a packed DIB as handed to SetDIBitsToDevice / StretchDIBits. Rows are addressed
// from the top of the whole DIB; only the scan lines the caller supplied are available.
class TDibView {
public:
  // False (and nothing readable) for a null or impossible header or unsupported depth.
  bool Open(const BITMAPINFO* info, const void* bits, UINT usage, int32_t startScan, int32_t lines);
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  int bitCount() const { return bitCount_; }
  // Whether the row (counted from the top of the whole DIB) is among the supplied scan lines.
  bool HasRow(int32_t rowFromTop) const;
  // Pointer to the bytes of a supplied row (counted from the top).
  const uint8_t* Row(int32_t rowFromTop) const;
  // The pixel at column x of a row, as 0x00RRGGBB.
  uint32_t Pixel(const uint8_t* row, int32_t x) const;

private:
  const uint8_t* bits_ = nullptr;
  int32_t width_ = 0, height_ = 0, stride_ = 0;
  int bitCount_ = 0;
  bool topDown_ = false;
  int32_t firstScan_ = 0, lines_ = 0; // bottom-based scan lines present
  uint32_t colours_[256] = {};
};

struct TPenState {
  bool visible;
  COLORREF color;
};
struct TBrushState {
  bool visible;
  COLORREF color;
};

// The state and calls of a device context. Subclasses supply the device: what it reports and how
// pixels reach it. All drawing is clipped to the device's clip box.
class TDeviceContext {
public:
  TDeviceContext();
  virtual ~TDeviceContext();
  TDeviceContext(const TDeviceContext&) = delete;
  TDeviceContext& operator=(const TDeviceContext&) = delete;

  virtual int GetDeviceCaps(int index) = 0;
  virtual int SetStretchBltMode(int mode);
  int GetStretchBltMode() const { return stretchMode_; }
  virtual HPALETTE SelectPalette(HPALETTE palette, BOOL forceBackground);
  HPALETTE CurrentPalette() const { return palette_; }
  virtual UINT RealizePalette();

  // Source rectangles are in DIB pixels; ySrc counts from the bottom row, as for bottom-up DIBs.
  // Returns the number of scan lines drawn, GDI_ERROR when the device refuses.
  virtual int StretchDIBits(int32_t xDest, int32_t yDest, int32_t destWidth, int32_t destHeight,
                            int32_t xSrc, int32_t ySrc, int32_t srcWidth, int32_t srcHeight,
                            const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop);
  // Draws scan lines startScan .. startScan + lines - 1 (from the bottom) that bits holds.
  // Returns the number of scan lines set, 0 on failure.
  virtual int SetDIBitsToDevice(int32_t xDest, int32_t yDest, int32_t width, int32_t height,
                                int32_t xSrc, int32_t ySrc, UINT startScan, UINT lines,
                                const void* bits, const BITMAPINFO* info, UINT usage);
  virtual HBITMAP CreateCompatibleBitmap(int32_t width, int32_t height);
  virtual TDeviceContext* CreateCompatibleDC();
  // Returns the number of scan lines copied into the bitmap, 0 on failure.
  virtual int SetDIBits(HBITMAP bitmap, UINT startScan, UINT lines, const void* bits,
                        const BITMAPINFO* info, UINT usage);
  virtual HGDIOBJ SelectObject(HGDIOBJ object);
  // The source's coordinates count from its top. Returns 0 on failure.
  virtual BOOL StretchBlt(int32_t xDest, int32_t yDest, int32_t destWidth, int32_t destHeight,
                          TDeviceContext* source, int32_t xSrc, int32_t ySrc, int32_t srcWidth,
                          int32_t srcHeight, DWORD rop);
  virtual int GetClipBox(RECT* rect) = 0;
  virtual int SetROP2(int mode);
  COLORREF SetDCPenColor(COLORREF color);
  COLORREF SetDCBrushColor(COLORREF color);
  // Outline with the pen (1 pixel wide), inside with the brush; covers left .. right - 1 and
  // top .. bottom - 1.
  virtual BOOL Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom);
  virtual BOOL Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom);

  // The pixels behind this context, when it has some in memory (a bitmap selected into a
  // memory context); StretchBlt reads its source through this.
  virtual const TSurface* Surface() const { return nullptr; }

protected:
  // The device's drawing, already checked and clipped to the source. Source rectangles count
  // from the top of the DIB or surface.
  virtual bool DrawDib(const TDibView& dib, const RECT& dest, const RECT& src, DWORD rop) = 0;
  virtual bool DrawSurface(const TSurface& source, const RECT& dest, const RECT& src, DWORD rop) = 0;
  virtual void DrawRectangle(const RECT& box, TPenState pen, TBrushState brush, int rop2) = 0;
  virtual void DrawEllipse(const RECT& box, TPenState pen, TBrushState brush, int rop2) = 0;
  TPenState PenState() const;
  TBrushState BrushState() const;
  HBITMAP SelectedBitmap() const { return bitmap_; }
  int Rop2() const { return rop2_; }

private:
  int stretchMode_ = BLACKONWHITE;
  HPALETTE palette_;
  HPEN pen_;
  HBRUSH brush_;
  HBITMAP bitmap_;
  COLORREF dcPenColor_ = 0x000000;
  COLORREF dcBrushColor_ = 0xFFFFFF;
  int rop2_ = R2_COPYPEN;
};
using HDC = TDeviceContext*;

// Number of device contexts alive (made by GetDC, CreateCompatibleDC or constructed).
long LiveDeviceContextCount();

struct TDcCallCounts {
  int getDeviceCaps = 0, setStretchBltMode = 0, selectPalette = 0, realizePalette = 0;
  int stretchDIBits = 0, setDIBitsToDevice = 0, createCompatibleBitmap = 0;
  int createCompatibleDC = 0, setDIBits = 0, selectObject = 0, stretchBlt = 0;
  int getClipBox = 0, rectangle = 0, ellipse = 0;
};

// What a memory device context reports and refuses.
struct TMemoryDcOptions {
  int technology = DT_RASDISPLAY;
  int bitsPerPixel = 32;
  int rasterCaps = RC_BITBLT | RC_STRETCHBLT | RC_DIBTODEV | RC_STRETCHDIB;
  bool refuseStretchDIBits = false;
  bool refuseSetDIBitsToDevice = false;
  bool refuseCreateCompatibleBitmap = false;
  bool refuseSetDIBits = false;
  bool refuseStretchBlt = false;
};

// A device context over pixels in memory: its own buffer (width x height, filled with a colour),
// or, when made by CreateCompatibleDC, the bitmap selected into it (1 x 1 until one is).
class TMemoryDeviceContext final : public TDeviceContext {
public:
  TMemoryDeviceContext(int32_t width, int32_t height, COLORREF fill = 0xFFFFFF,
                       TMemoryDcOptions options = {});
  ~TMemoryDeviceContext() override;
  // A context for drawing into bitmaps: 1 x 1 until a bitmap is selected into it.
  static TMemoryDeviceContext* CreateCompatible(TMemoryDcOptions options);

  int32_t Width() const { return surface_.width; }
  int32_t Height() const { return surface_.height; }
  // The pixel at (x, y), counted from the top left, as a COLORREF (0x00BBGGRR).
  COLORREF GetPixel(int32_t x, int32_t y) const;
  // The pixel as 0x00RRGGBB, as it is stored.
  uint32_t RawPixel(int32_t x, int32_t y) const;
  void Fill(COLORREF color);

  TMemoryDcOptions& Options() { return options_; }
  const TDcCallCounts& Counts() const { return counts_; }
  void ResetCounts() { counts_ = {}; }
  // Limits all drawing to the rectangle (intersected with the buffer); GetClipBox reports it.
  void SetClipBox(const RECT& box);
  void ClearClipBox();
  // Called after each SetDIBitsToDevice that drew, with the palette selected at that moment.
  std::function<void(HPALETTE)> afterSetDIBitsToDevice;
  std::function<void(HPALETTE)> afterStretchDIBits;

  int GetDeviceCaps(int index) override;
  int SetStretchBltMode(int mode) override;
  HPALETTE SelectPalette(HPALETTE palette, BOOL forceBackground) override;
  UINT RealizePalette() override;
  int StretchDIBits(int32_t xDest, int32_t yDest, int32_t destWidth, int32_t destHeight,
                    int32_t xSrc, int32_t ySrc, int32_t srcWidth, int32_t srcHeight,
                    const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop) override;
  int SetDIBitsToDevice(int32_t xDest, int32_t yDest, int32_t width, int32_t height, int32_t xSrc,
                        int32_t ySrc, UINT startScan, UINT lines, const void* bits,
                        const BITMAPINFO* info, UINT usage) override;
  HBITMAP CreateCompatibleBitmap(int32_t width, int32_t height) override;
  TDeviceContext* CreateCompatibleDC() override;
  int SetDIBits(HBITMAP bitmap, UINT startScan, UINT lines, const void* bits,
                const BITMAPINFO* info, UINT usage) override;
  HGDIOBJ SelectObject(HGDIOBJ object) override;
  BOOL StretchBlt(int32_t xDest, int32_t yDest, int32_t destWidth, int32_t destHeight,
                  TDeviceContext* source, int32_t xSrc, int32_t ySrc, int32_t srcWidth,
                  int32_t srcHeight, DWORD rop) override;
  int GetClipBox(RECT* rect) override;
  BOOL Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) override;
  BOOL Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) override;
  const TSurface* Surface() const override { return &surface_; }

protected:
  bool DrawDib(const TDibView& dib, const RECT& dest, const RECT& src, DWORD rop) override;
  bool DrawSurface(const TSurface& source, const RECT& dest, const RECT& src, DWORD rop) override;
  void DrawRectangle(const RECT& box, TPenState pen, TBrushState brush, int rop2) override;
  void DrawEllipse(const RECT& box, TPenState pen, TBrushState brush, int rop2) override;

private:
  RECT EffectiveClip() const;
  void UpdateSurface();

  std::vector<uint32_t> own_;
  int32_t ownWidth_ = 1, ownHeight_ = 1;
  TSurface surface_;
  TMemoryDcOptions options_;
  TDcCallCounts counts_;
  bool hasClip_ = false;
  RECT clip_{};
};

// Raster helpers shared by the devices that keep pixels in memory. Each draws the source
// rectangle (counted from the top) scaled to the destination, nearest pixel, clipped to clip.
void RasterDib(const TSurface& target, const RECT& clip, const TDibView& dib, const RECT& dest,
               const RECT& src, DWORD rop);
void RasterSurface(const TSurface& target, const RECT& clip, const TSurface& source,
                   const RECT& dest, const RECT& src, DWORD rop);
void RasterRectangle(const TSurface& target, const RECT& clip, const RECT& box, TPenState pen,
                     TBrushState brush, int rop2);
void RasterEllipse(const TSurface& target, const RECT& clip, const RECT& box, TPenState pen,
                   TBrushState brush, int rop2);
// The pixels of the ellipse inscribed in box (left .. right - 1, top .. bottom - 1) within clip,
// as runs of one row: x0 .. x1 inclusive, on the outline or inside it. Each pixel comes once.
void EllipseRuns(const RECT& box, const RECT& clip,
                 const std::function<void(int32_t y, int32_t x0, int32_t x1, bool outline)>& run);
// Combines a source word with a destination word by a raster operation (0x00RRGGBB words).
uint32_t ApplyRop(uint32_t source, uint32_t dest, DWORD rop);
// Whether ApplyRop knows the raster operation.
bool KnownRop(DWORD rop);

// The calls, forwarding to the device context. A null context fails as the original did.
int GetDeviceCaps(HDC dc, int index);
int SetStretchBltMode(HDC dc, int mode);
HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground);
UINT RealizePalette(HDC dc);
int StretchDIBits(HDC dc, int32_t xDest, int32_t yDest, int32_t destWidth, int32_t destHeight,
                  int32_t xSrc, int32_t ySrc, int32_t srcWidth, int32_t srcHeight, const void* bits,
                  const BITMAPINFO* info, UINT usage, DWORD rop);
int SetDIBitsToDevice(HDC dc, int32_t xDest, int32_t yDest, DWORD width, DWORD height,
                      int32_t xSrc, int32_t ySrc, UINT startScan, UINT lines, const void* bits,
                      const BITMAPINFO* info, UINT usage);
HBITMAP CreateCompatibleBitmap(HDC dc, int32_t width, int32_t height);
HDC CreateCompatibleDC(HDC dc);
int SetDIBits(HDC dc, HBITMAP bitmap, UINT startScan, UINT lines, const void* bits,
              const BITMAPINFO* info, UINT usage);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL StretchBlt(HDC dest, int32_t xDest, int32_t yDest, int32_t destWidth, int32_t destHeight,
                HDC source, int32_t xSrc, int32_t ySrc, int32_t srcWidth, int32_t srcHeight,
                DWORD rop);
BOOL DeleteDC(HDC dc);
// BITMAP for bitmaps, the entry count (16-bit) for palettes. Returns the bytes written.
int GetObject(HGDIOBJ object, int size, void* out);
// Only the desktop (window null) has a device context here: one reporting the screen's depth.
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
int GetClipBox(HDC dc, RECT* rect);
int SetROP2(HDC dc, int mode);
COLORREF SetDCPenColor(HDC dc, COLORREF color);
COLORREF SetDCBrushColor(HDC dc, COLORREF color);
BOOL Rectangle(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom);
BOOL Ellipse(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom);
HGDIOBJ GetStockObject(int index);
HPEN CreatePen(int style, int width, COLORREF color);
HBRUSH CreateSolidBrush(COLORREF color);

// The screen's bits per pixel, as the desktop context reports it. The toolkit layer installs a
// provider that asks the screen; without one the screen counts as 24 bits. Tests install 8 to
// play a palette screen. Returns the previous provider.
using ScreenDepthProvider = std::function<int()>;
ScreenDepthProvider SetScreenDepthProvider(ScreenDepthProvider provider);
int ScreenDepth();

} // namespace platform
