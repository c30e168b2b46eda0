// SPDX-License-Identifier: GPL-3.0-or-later
#include "writers.h"

#include <gif_lib.h>

#include <QFile>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace artgen {
namespace {

struct Box {
  std::vector<QRgb> colours;
};

int Channel(QRgb c, int axis) { return axis == 0 ? qRed(c) : axis == 1 ? qGreen(c) : qBlue(c); }

// Median cut: split the box with the widest channel range at its median until there are
// `count` boxes; each box's mean is a palette colour.
std::vector<QRgb> MedianCut(std::vector<QRgb> colours, size_t count) {
  std::vector<Box> boxes;
  boxes.push_back({std::move(colours)});
  while (boxes.size() < count) {
    size_t best = boxes.size();
    int bestRange = 0, bestAxis = 0;
    for (size_t i = 0; i < boxes.size(); ++i) {
      if (boxes[i].colours.size() < 2) continue;
      for (int axis = 0; axis < 3; ++axis) {
        int lo = 255, hi = 0;
        for (QRgb c : boxes[i].colours) {
          lo = std::min(lo, Channel(c, axis));
          hi = std::max(hi, Channel(c, axis));
        }
        if (hi - lo > bestRange) {
          bestRange = hi - lo;
          best = i;
          bestAxis = axis;
        }
      }
    }
    if (best == boxes.size()) break;
    auto& v = boxes[best].colours;
    std::sort(v.begin(), v.end(),
              [bestAxis](QRgb a, QRgb b) { return Channel(a, bestAxis) < Channel(b, bestAxis); });
    Box upper{std::vector<QRgb>(v.begin() + std::ptrdiff_t(v.size() / 2), v.end())};
    v.resize(v.size() / 2);
    boxes.push_back(std::move(upper));
  }
  std::vector<QRgb> palette;
  for (const Box& b : boxes) {
    if (b.colours.empty()) continue;
    long r = 0, g = 0, bl = 0;
    for (QRgb c : b.colours) {
      r += qRed(c);
      g += qGreen(c);
      bl += qBlue(c);
    }
    const long n = long(b.colours.size());
    palette.push_back(qRgb(int(r / n), int(g / n), int(bl / n)));
  }
  return palette;
}

int Nearest(const std::vector<QRgb>& palette, QRgb c, size_t first = 0) {
  int best = int(first);
  long bestDistance = -1;
  for (size_t i = first; i < palette.size(); ++i) {
    const long dr = qRed(c) - qRed(palette[i]), dg = qGreen(c) - qGreen(palette[i]),
               db = qBlue(c) - qBlue(palette[i]);
    const long d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
    if (bestDistance < 0 || d < bestDistance) {
      bestDistance = d;
      best = int(i);
    }
  }
  return best;
}

} // namespace

bool WriteGif(const QImage& Image, const QString& Path, QRgb Matte) {
  const QImage src = Image.convertToFormat(QImage::Format_ARGB32);
  const int w = src.width(), h = src.height();
  std::vector<QRgb> opaque;
  std::vector<bool> clear(size_t(w * h));
  std::vector<QRgb> flat(size_t(w * h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const QRgb p = src.pixel(x, y);
      const int a = qAlpha(p);
      const size_t i = size_t(y * w + x);
      if (a < 128) {
        clear[i] = true;
        continue;
      }
      const auto mix = [a](int fg, int bg) { return (fg * a + bg * (255 - a) + 127) / 255; };
      flat[i] = qRgb(mix(qRed(p), qRed(Matte)), mix(qGreen(p), qGreen(Matte)),
                     mix(qBlue(p), qBlue(Matte)));
      opaque.push_back(flat[i]);
    }
  // Index 0 is the transparent one; up to 255 real colours follow.
  std::vector<QRgb> palette{Matte};
  for (QRgb c : MedianCut(opaque, 255)) palette.push_back(c);
  palette.resize(256, qRgb(0, 0, 0));

  int error = 0;
  GifFileType* gif = EGifOpenFileName(Path.toLocal8Bit().constData(), false, &error);
  if (gif == nullptr) return false;
  ColorMapObject* map = GifMakeMapObject(256, nullptr);
  for (int i = 0; i < 256; ++i) {
    map->Colors[i].Red = GifByteType(qRed(palette[size_t(i)]));
    map->Colors[i].Green = GifByteType(qGreen(palette[size_t(i)]));
    map->Colors[i].Blue = GifByteType(qBlue(palette[size_t(i)]));
  }
  bool ok = EGifPutScreenDesc(gif, w, h, 8, 0, map) == GIF_OK;
  GraphicsControlBlock gcb{};
  gcb.DisposalMode = DISPOSAL_UNSPECIFIED;
  gcb.UserInputFlag = false;
  gcb.DelayTime = 0;
  gcb.TransparentColor = 0;
  GifByteType ext[4];
  EGifGCBToExtension(&gcb, ext);
  ok = ok && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext) == GIF_OK;
  ok = ok && EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr) == GIF_OK;
  std::vector<GifPixelType> line(static_cast<size_t>(w));
  for (int y = 0; ok && y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const size_t i = size_t(y * w + x);
      line[size_t(x)] = GifPixelType(clear[i] ? 0 : Nearest(palette, flat[i], 1));
    }
    ok = EGifPutLine(gif, line.data(), w) == GIF_OK;
  }
  GifFreeMapObject(map);
  ok = (EGifCloseFile(gif, &error) == GIF_OK) && ok;
  return ok;
}

const std::vector<QRgb>& ClassicPalette16() {
  static const std::vector<QRgb> palette = {
      qRgb(0, 0, 0),     qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
      qRgb(0, 0, 128),   qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
      qRgb(128, 128, 128), qRgb(255, 0, 0), qRgb(0, 255, 0),   qRgb(255, 255, 0),
      qRgb(0, 0, 255),   qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
  return palette;
}

namespace {
void Put16(QByteArray& b, uint16_t v) {
  b.append(char(v & 0xFF));
  b.append(char(v >> 8));
}
void Put32(QByteArray& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.append(char((v >> (8 * i)) & 0xFF));
}
} // namespace

bool WriteBmp4(const QImage& Image, const QString& Path) {
  const QImage src = Image.convertToFormat(QImage::Format_RGB32);
  const auto& palette = ClassicPalette16();
  const int w = src.width(), h = src.height();
  const uint32_t rowBytes = uint32_t(((w * 4 + 31) / 32) * 4);
  const uint32_t imageBytes = rowBytes * uint32_t(h);
  const uint32_t offset = 14 + 40 + 16 * 4;
  QByteArray b;
  b.append("BM");
  Put32(b, offset + imageBytes);
  Put32(b, 0);
  Put32(b, offset);
  Put32(b, 40);
  Put32(b, uint32_t(w));
  Put32(b, uint32_t(h)); // positive: rows bottom-up
  Put16(b, 1);
  Put16(b, 4);
  Put32(b, 0); // no compression
  Put32(b, imageBytes);
  Put32(b, 2835); // 72 dpi
  Put32(b, 2835);
  Put32(b, 16);
  Put32(b, 16);
  for (QRgb c : palette) {
    b.append(char(qBlue(c)));
    b.append(char(qGreen(c)));
    b.append(char(qRed(c)));
    b.append(char(0));
  }
  for (int y = h - 1; y >= 0; --y) {
    QByteArray row(int(rowBytes), '\0');
    for (int x = 0; x < w; ++x) {
      const int index = Nearest(palette, src.pixel(x, y));
      row[x / 2] = char(row[x / 2] | (x % 2 == 0 ? index << 4 : index));
    }
    b.append(row);
  }
  QFile file(Path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  return file.write(b) == b.size();
}

} // namespace artgen
