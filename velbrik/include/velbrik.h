// SPDX-License-Identifier: GPL-3.0-or-later
/* The imaging library: creates, opens, halftones, saves and releases device-independent
 * bitmaps (DIBs) described by one fixed-size record, TDib.
 *
 * Pixel rows are stored bottom-up (row 0 is the bottom row of the picture) and each row is
 * padded to a multiple of 4 bytes. 24-bit pixels are blue, green, red bytes.
 *
 * All entry points have C linkage. Records are passed by copy where the caller's record must
 * not change; the library then changes only the memory the record refers to. */
#ifndef VELBRIK_H
#define VELBRIK_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  define VELBRIK_API __declspec(dllexport)
#else
#  define VELBRIK_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* BITMAPINFOHEADER, 40 bytes (naturally aligned), followed in memory by the colour table. */
typedef struct VBitmapInfoHeader {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight; /* positive: rows bottom-up */
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
} VBitmapInfoHeader;

typedef struct VRgbQuad { uint8_t rgbBlue, rgbGreen, rgbRed, rgbReserved; } VRgbQuad;

typedef struct VBitmapInfo {
  VBitmapInfoHeader bmiHeader;
  VRgbQuad bmiColors[1]; /* really 2^bitCount entries for 8 bits or fewer */
} VBitmapInfo;

typedef struct VPaletteEntry { uint8_t peRed, peGreen, peBlue, peFlags; } VPaletteEntry;

/* LOGPALETTE with room for 256 entries: 1028 bytes. */
typedef struct VLogPalette {
  uint16_t palVersion;
  uint16_t palNumEntries;
  VPaletteEntry palPalEntry[256];
} VLogPalette;

/* The image record. Field order and the sizes of the non-pointer fields are fixed; pointer and
 * handle fields take the platform's pointer width, so the record is exactly 1084 bytes on a
 * 32-bit build. After a failed VOpenDib the NUL-terminated error text starts at LogPal's first
 * entry (see DibErrorText). Fields marked "library" are not for callers. */
typedef struct TDib {
  VBitmapInfo* Info;    /* header followed by the colour table */
  void* Memory;         /* non-null when the record holds a created image */
  void* LibReserved1;   /* library */
  uint8_t* Bits;        /* pixel rows, bottom-up; null when no image */
  int32_t BytesPerLine; /* row length in bytes, a multiple of 4 */
  uint8_t UsePalette;   /* 1: select and realise Palette before drawing */
  uint8_t LibReserved2; /* library */
  VLogPalette LogPal;   /* the image's colours for 8 bits or fewer */
  uint16_t Padding;
  void* Palette;        /* HPALETTE of the platform layer, or null */
  uint8_t LibReserved3[28]; /* library */
} TDib;

#if UINTPTR_MAX == 0xFFFFFFFFu
_Static_assert(sizeof(TDib) == 1084, "TDib must be 1084 bytes on a 32-bit build");
#endif

/* Creates a blank image: header, colour table (2^bitCount entries for 8 bits or fewer, the first
 * `colours` taken from `paletteSource`), zeroed pixels, LogPal and a palette handle.
 * On failure Memory and Bits are null. */
VELBRIK_API void newdib(TDib* dest, int32_t width, int32_t height, int32_t bitCount,
                        const VBitmapInfo* paletteSource, int32_t colours);
/* Releases everything the record refers to. */
VELBRIK_API void deldib(TDib dib);
/* Opens a picture file. Success: Bits non-null. Failure: Bits null, error text in the record.
 * While decoding, WM_USER with the percentage in wParam is sent to `window` (may be null). */
VELBRIK_API void OpenDib(TDib* dest, const char* path, int32_t option, void* window);
/* As OpenDib, for a file image already in memory (resources, fuzzing). */
VELBRIK_API void OpenDibMemory(TDib* dest, const void* data, size_t size, void* window);
VELBRIK_API uint32_t getpixel(TDib dib, int32_t x, int32_t y);
VELBRIK_API void setpixel(TDib dib, int32_t x, int32_t y, uint32_t value);
VELBRIK_API void DIBHalftoneDIB(TDib* dest, TDib source);
VELBRIK_API void DIBHalftoneDIBXY(TDib* dest, TDib source, int32_t width, int32_t height);
/* "description|masks|description|masks..." of the types OpenDib reads; owned by the library. */
VELBRIK_API const char* GetDIBOpenFilter(void);

/* Saves a 24-bit (or palette) image to a file, the format chosen by the name's extension:
 * .bmp, .png, .jpg/.jpeg (quality 92), .tif/.tiff, .webp (lossy, quality 92). Writes to a temporary file beside the target
 * and renames it over the target, so a failed save leaves an existing file whole.
 * Returns 1 on success; 0 on failure with a German message in errorText. */
VELBRIK_API int32_t SaveDib(TDib dib, const char* path, char* errorText, size_t errorTextSize);
/* SaveDib with flags: SAVEDIB_LOSSLESS writes a .webp file lossless. */
#define SAVEDIB_LOSSLESS 1
VELBRIK_API int32_t SaveDibEx(TDib dib, const char* path, int32_t flags, char* errorText, size_t errorTextSize);

/* 1 when OpenDib opened the picture reduced, because it has more pixels than the library opens
 * at full size; the picture's own size (upright) in *width and *height. 0 (and 0 x 0) for a
 * picture opened at its size and for records not made by OpenDib. */
VELBRIK_API int32_t DibOpenedReduced(const TDib* dib, int32_t* width, int32_t* height);
/* As SaveDibEx (flags alike), for long saves: `progress` (may be null) gets the percentage now and then on the
 * calling thread and returns nonzero to stop the save; a stopped save leaves the target as it
 * was, removes its temporary file and gives the text "Abgebrochen.". */
typedef int32_t (*TSaveProgress)(void* context, int32_t percent);
VELBRIK_API int32_t SaveDibJob(TDib dib, const char* path, int32_t flags, TSaveProgress progress, void* context,
                               char* errorText, size_t errorTextSize);

/* A new, empty temporary file beside `target` for writing it in its place, named
 * ".NAME.morphane-XXXXXX"; its name goes to tempName. The descriptor returned holds a lock that
 * keeps RemoveSaveLeftovers away while it is open. -1 (errno set) on failure. */
VELBRIK_API int CreateSaveTemporary(const char* target, char* tempName, size_t tempNameSize);
/* Removes, in `folder`, the temporary files of saves that were killed: the user's own regular
 * files named as CreateSaveTemporary names them, not locked and unchanged for two seconds. */
VELBRIK_API void RemoveSaveLeftovers(const char* folder);

/* The error text of a record after a failed OpenDib: starts at LogPal's first entry. */
static inline const char* DibErrorText(const TDib* dib) {
  return (const char*)dib->LogPal.palPalEntry;
}

#ifdef __cplusplus
}
#endif
#endif
