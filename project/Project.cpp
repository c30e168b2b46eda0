// SPDX-License-Identifier: GPL-3.0-or-later
#include "Project.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace project {
namespace {

constexpr uint8_t kMagic[8] = {0x8B, 'M', 'P', 'J', 0x0D, 0x0A, 0x1A, 0x0A};
// Deflate never shrinks data by more than about 1:1032; a chunk claiming more is damaged.
constexpr uint64_t kMaxRatio = 1100;
constexpr uint64_t kMaxSettingsBytes = 64 * 1024;
constexpr uint64_t kMaxHistoryBytes = uint64_t(1) << 30;
constexpr int32_t kMaxSide = 65535 * 4;

constexpr std::array<char, 4> Type(const char (&t)[5]) { return {t[0], t[1], t[2], t[3]}; }
constexpr auto kKopf = Type("KOPF"), kBild = Type("BILD"), kMask = Type("MASK"), kEins = Type("EINS"),
               kVerl = Type("VERL"), kEnde = Type("ENDE"), kSchutz = Type("schu");

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int b = 0; b < 4; ++b) out.push_back(uint8_t(v >> (8 * b)));
}
void PutU64(std::vector<uint8_t>& out, uint64_t v) {
  for (int b = 0; b < 8; ++b) out.push_back(uint8_t(v >> (8 * b)));
}
uint32_t GetU32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint64_t GetU64(const uint8_t* p) { return uint64_t(GetU32(p)) | uint64_t(GetU32(p + 4)) << 32; }

void PutVarint(std::vector<uint8_t>& out, uint64_t v) {
  while (v >= 0x80) {
    out.push_back(uint8_t(v | 0x80));
    v >>= 7;
  }
  out.push_back(uint8_t(v));
}
bool ReadVarint(const uint8_t*& p, const uint8_t* end, uint64_t& v) {
  v = 0;
  for (int shift = 0; shift < 64 && p < end; shift += 7) {
    const uint8_t b = *p++;
    v |= uint64_t(b & 0x7f) << shift;
    if (b < 0x80) return true;
  }
  return false;
}
uint64_t ZigZag(int64_t v) { return (uint64_t(v) << 1) ^ uint64_t(v >> 63); }
int64_t UnZigZag(uint64_t u) { return int64_t(u >> 1) ^ -int64_t(u & 1); }

// One zlib stream; kHuffmanOnly codes the bytes without looking for repeats (fast, and as small
// for the differences of a photo's neighbouring pixels).
constexpr int kHuffmanOnly = -2;
TChunk Compress(std::array<char, 4> type, const std::vector<uint8_t>& raw, int level) {
  TChunk c;
  c.Type = type;
  c.RawSize = raw.size();
  z_stream z{};
  deflateInit2(&z, level == kHuffmanOnly ? 1 : level, Z_DEFLATED, 15, 8,
               level == kHuffmanOnly ? Z_HUFFMAN_ONLY : Z_DEFAULT_STRATEGY);
  c.Data.resize(deflateBound(&z, uLong(raw.size())));
  z.next_in = const_cast<uint8_t*>(raw.data());
  z.next_out = c.Data.data();
  // More than 4 GiB at once does not fit zlib's counters: fed in pieces.
  size_t inLeft = raw.size(), outLeft = c.Data.size();
  int status = Z_OK;
  while (status == Z_OK) {
    const uInt in = uInt(std::min<size_t>(inLeft, 1u << 30)), out = uInt(std::min<size_t>(outLeft, 1u << 30));
    z.avail_in = in;
    z.avail_out = out;
    status = deflate(&z, in == inLeft ? Z_FINISH : Z_NO_FLUSH);
    inLeft -= in - z.avail_in;
    outLeft -= out - z.avail_out;
  }
  c.Data.resize(z.total_out);
  deflateEnd(&z);
  return c;
}

uint32_t ChunkCrc(const TChunk& c) {
  uint8_t head[20];
  std::memcpy(head, c.Type.data(), 4);
  for (int b = 0; b < 8; ++b) {
    head[4 + b] = uint8_t(c.RawSize >> (8 * b));
    head[12 + b] = uint8_t(uint64_t(c.Data.size()) >> (8 * b));
  }
  uLong crc = crc32(0L, head, sizeof head);
  // crc32 takes at most 4 GiB at once.
  for (size_t done = 0; done < c.Data.size();) {
    const size_t n = std::min<size_t>(c.Data.size() - done, size_t(1) << 30);
    crc = crc32(crc, c.Data.data() + done, uInt(n));
    done += n;
  }
  return uint32_t(crc);
}

std::string FormatNumber(long double v) {
  char text[64];
  const auto r = std::to_chars(text, text + sizeof text, v);
  return std::string(text, r.ptr);
}

bool ParseNumber(const std::string& text, long double lo, long double hi, long double& out) {
  long double v = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !(v >= lo && v <= hi)) return false;
  out = v;
  return true;
}

std::vector<uint8_t> SettingsText(const TSettings& s, const std::string& picturePath) {
  std::string t = "werkzeug=" + std::to_string(s.Tool) + "\nachsen=" + std::to_string(s.Axes) +
                  "\nnormalisieren=" + (s.Normalize ? "1" : "0") + "\nglaetten=" + (s.Smooth ? "1" : "0") +
                  "\nstaerke=" + FormatNumber(s.Strength) + "\nradius=" + FormatNumber(s.Radius) +
                  "\nzoom=" + FormatNumber(s.Zoom) + "\n";
  if (picturePath.find('\n') == std::string::npos) t += "bild=" + picturePath + "\n";
  return std::vector<uint8_t>(t.begin(), t.end());
}

bool ParseSettings(const std::vector<uint8_t>& raw, TSettings& s, std::string& picturePath) {
  const std::string text(raw.begin(), raw.end());
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    long double v = 0;
    if (key == "werkzeug" || key == "achsen") {
      if (!ParseNumber(value, 0, key == "werkzeug" ? 4 : 2, v) || v != int32_t(v)) return false;
      (key == "werkzeug" ? s.Tool : s.Axes) = int32_t(v);
    } else if (key == "normalisieren" || key == "glaetten") {
      if (value != "0" && value != "1") return false;
      (key == "normalisieren" ? s.Normalize : s.Smooth) = value == "1";
    } else if (key == "staerke") {
      if (!ParseNumber(value, 0.1L, 1, s.Strength)) return false;
    } else if (key == "radius") {
      if (!ParseNumber(value, 5, 300, s.Radius)) return false;
    } else if (key == "zoom") {
      if (!ParseNumber(value, 0.05L, 10, s.Zoom)) return false;
    } else if (key == "bild") {
      picturePath = value;
    } // other keys: written by a later version, not needed here
  }
  return true;
}

bool DecodeMask(const std::vector<uint8_t>& raw, int32_t width, int32_t height, std::vector<warp::TMaskEntry>& mask) {
  const uint64_t n = uint64_t(width) * uint64_t(height);
  mask.resize(n);
  const uint8_t* p = raw.data();
  const uint8_t* const end = p + raw.size();
  uint64_t i = 0;
  int32_t j = 0, r = 0; // position of entry i
  const auto next = [&] {
    ++i;
    if (++j == width) {
      j = 0;
      ++r;
    }
  };
  while (i < n) {
    uint64_t same = 0, changed = 0;
    if (!ReadVarint(p, end, same) || !ReadVarint(p, end, changed)) return false;
    if (same > n - i || changed > n - i - same || (same == 0 && changed == 0)) return false;
    for (uint64_t k = 0; k < same; ++k) {
      mask[i] = warp::TMaskEntry{j, r};
      next();
    }
    int64_t dx = 0, dy = 0;
    for (uint64_t k = 0; k < changed; ++k) {
      uint64_t ux = 0, uy = 0;
      if (!ReadVarint(p, end, ux) || !ReadVarint(p, end, uy)) return false;
      dx += UnZigZag(ux);
      dy += UnZigZag(uy);
      const int64_t x = j + dx, y = r + dy;
      if (dx < -kMaxSide || dx > kMaxSide || dy < -kMaxSide || dy > kMaxSide || x < 0 || x >= width || y < 0 ||
          y >= height)
        return false;
      mask[i] = warp::TMaskEntry{int32_t(x), int32_t(y)};
      next();
    }
  }
  return p == end;
}

// Where the bytes of a project come from: memory, or a file read in pieces.
struct TSource {
  std::function<bool(uint8_t*, size_t)> Read; // exactly n bytes, or false
  uint64_t Remaining = 0;                     // bytes left before the end
};

std::string Quoted(const std::string& s) { return "\xE2\x80\x9E" + s + "\xE2\x80\x9C"; }

bool Parse(TSource& src, TProject& out, std::string& error) {
  out = TProject{};
  const auto fail = [&](const std::string& why) {
    out = TProject{};
    error = why;
    return false;
  };
  const auto read = [&](uint8_t* to, size_t n) {
    if (n > src.Remaining || !src.Read(to, n)) return false;
    src.Remaining -= n;
    return true;
  };
  uint8_t head[12];
  if (!read(head, sizeof head) || std::memcmp(head, kMagic, sizeof kMagic) != 0)
    return fail("Die Datei ist kein Morphane-Projekt.");
  const uint32_t version = GetU32(head + 8);
  if (version == 0 || version > kVersion)
    return fail("Das Projekt hat das Format " + std::to_string(version) +
                ", dieses Programm kennt nur Format 1. Es wurde wohl mit einer neueren Version von Morphane gespeichert.");
  bool haveHead = false, havePicture = false, haveMask = false, haveSettings = false, haveHistory = false,
       haveProtection = false;
  uint64_t pixels = 0;
  for (;;) {
    uint8_t chunkHead[20];
    if (!read(chunkHead, sizeof chunkHead)) return fail("Die Datei ist unvollständig (das Ende fehlt).");
    TChunk c;
    std::memcpy(c.Type.data(), chunkHead, 4);
    c.RawSize = GetU64(chunkHead + 4);
    const uint64_t stored = GetU64(chunkHead + 12);
    const std::string name(c.Type.begin(), c.Type.end());
    for (char ch : c.Type)
      if (!((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'))) return fail("Die Datei ist beschädigt (ungültiger Abschnitt).");
    if (stored > src.Remaining || stored + 4 > src.Remaining)
      return fail("Die Datei ist unvollständig (Abschnitt " + name + " ist kürzer als angegeben).");
    // Sizes first, against the picture and the stored bytes, before anything is allocated.
    uint64_t expected = std::numeric_limits<uint64_t>::max(); // exact raw size, when there is one
    uint64_t most = std::min<uint64_t>(stored * kMaxRatio + 1024, std::numeric_limits<uint64_t>::max() / 2);
    const bool known = c.Type == kKopf || c.Type == kBild || c.Type == kMask || c.Type == kEins || c.Type == kVerl ||
                       c.Type == kEnde || c.Type == kSchutz;
    if (!known && name[0] >= 'A' && name[0] <= 'Z')
      return fail("Das Projekt enthält einen unbekannten Abschnitt " + Quoted(name) +
                  " und wurde wohl mit einer neueren Version von Morphane gespeichert.");
    if (c.Type != kKopf && !haveHead) return fail("Die Datei ist beschädigt (der Kopf fehlt).");
    if (c.Type == kKopf) {
      if (haveHead) return fail("Die Datei ist beschädigt (Abschnitt KOPF doppelt).");
      expected = 8;
    } else if (c.Type == kBild) {
      expected = pixels * 3;
    } else if (c.Type == kMask) {
      most = std::min(most, pixels * 8 + 16);
    } else if (c.Type == kSchutz) {
      expected = pixels;
    } else if (c.Type == kEins) {
      most = std::min(most, kMaxSettingsBytes);
    } else if (c.Type == kVerl) {
      most = std::min(most, kMaxHistoryBytes);
    } else if (c.Type == kEnde) {
      expected = 0;
    }
    if ((c.Type == kBild && havePicture) || (c.Type == kMask && haveMask) || (c.Type == kEins && haveSettings) ||
        (c.Type == kVerl && haveHistory) || (c.Type == kSchutz && haveProtection))
      return fail("Die Datei ist beschädigt (Abschnitt " + name + " doppelt).");
    if (known && ((expected != std::numeric_limits<uint64_t>::max() && c.RawSize != expected) || c.RawSize > most))
      return fail("Die Datei ist beschädigt (Abschnitt " + name + " hat eine unmögliche Größe).");
    try {
      c.Data.resize(size_t(stored));
    } catch (const std::bad_alloc&) {
      return fail("Nicht genügend Arbeitsspeicher, um das Projekt zu lesen.");
    }
    uint8_t crcBytes[4];
    if (!read(c.Data.data(), c.Data.size()) || !read(crcBytes, 4))
      return fail("Die Datei konnte nicht ganz gelesen werden (wurde sie währenddessen verändert?).");
    if (GetU32(crcBytes) != ChunkCrc(c)) return fail("Die Datei ist beschädigt (Prüfsumme von " + name + " falsch).");
    if (!known) continue;
    if (c.Type == kEnde) break;
    std::vector<uint8_t> raw;
    try {
      raw.resize(size_t(c.RawSize));
    } catch (const std::bad_alloc&) {
      return fail("Nicht genügend Arbeitsspeicher, um das Projekt zu lesen.");
    }
    uLongf rawSize = uLongf(raw.size());
    uLong storedSize = uLong(c.Data.size());
    if (uncompress2(raw.data(), &rawSize, c.Data.data(), &storedSize) != Z_OK || rawSize != raw.size() ||
        storedSize != c.Data.size())
      return fail("Die Datei ist beschädigt (Abschnitt " + name + " lässt sich nicht entpacken).");
    c.Data = {};
    if (c.Type == kKopf) {
      const uint32_t w = GetU32(raw.data()), h = GetU32(raw.data() + 4);
      if (w == 0 || h == 0 || w > uint32_t(kMaxSide) || h > uint32_t(kMaxSide) || uint64_t(w) * h > MORPHANE_MAX_PIXELS)
        return fail("Das Bild im Projekt ist mit " + std::to_string(w) + " x " + std::to_string(h) +
                    " Pixeln zu groß oder leer.");
      out.Width = int32_t(w);
      out.Height = int32_t(h);
      pixels = uint64_t(w) * h;
      haveHead = true;
    } else if (c.Type == kBild) {
      // Each byte was stored as its difference from the one a pixel to its left.
      const size_t row = size_t(out.Width) * 3;
      for (size_t r = 0; r < size_t(out.Height); ++r)
        for (size_t k = 3; k < row; ++k) raw[r * row + k] = uint8_t(raw[r * row + k] + raw[r * row + k - 3]);
      out.Pixels = std::move(raw);
      havePicture = true;
    } else if (c.Type == kMask) {
      try {
        if (!DecodeMask(raw, out.Width, out.Height, out.Mask))
          return fail("Die Datei ist beschädigt (die Maske zeigt aus dem Bild oder ist unvollständig).");
      } catch (const std::bad_alloc&) {
        return fail("Nicht genügend Arbeitsspeicher, um das Projekt zu lesen.");
      }
      haveMask = true;
    } else if (c.Type == kEins) {
      if (!ParseSettings(raw, out.Settings, out.PicturePath))
        return fail("Die Datei ist beschädigt (die Einstellungen sind ungültig).");
      haveSettings = true;
    } else if (c.Type == kVerl) {
      out.History = std::move(raw);
      haveHistory = true;
    } else if (c.Type == kSchutz) {
      out.Protection = std::move(raw);
      haveProtection = true;
    }
  }
  if (!havePicture || !haveMask) return fail("Die Datei ist unvollständig (Bild oder Maske fehlt).");
  if (src.Remaining != 0) return fail("Die Datei ist beschädigt (nach dem Ende folgen weitere Daten).");
  return true;
}

} // namespace

TChunk PictureChunk(const uint8_t* bits, size_t stride, int32_t width, int32_t height) {
  const size_t row = size_t(width) * 3;
  std::vector<uint8_t> raw(row * size_t(height));
  for (size_t r = 0; r < size_t(height); ++r) {
    const uint8_t* in = bits + r * stride;
    uint8_t* o = raw.data() + r * row;
    std::memcpy(o, in, std::min<size_t>(row, 3));
    for (size_t k = 3; k < row; ++k) o[k] = uint8_t(in[k] - in[k - 3]);
  }
  return Compress(kBild, raw, kHuffmanOnly);
}

std::vector<uint8_t> MaskDelta(const warp::TMaskEntry* mask, int32_t width, int32_t height) {
  // Pairs (unchanged entries, changed entries), each changed run followed by its entries'
  // displacements as differences from the previous entry's in the run.
  std::vector<uint8_t> raw, values;
  uint64_t same = 0, changed = 0;
  int64_t lastX = 0, lastY = 0;
  const auto flush = [&] {
    PutVarint(raw, same);
    PutVarint(raw, changed);
    raw.insert(raw.end(), values.begin(), values.end());
    values.clear();
    same = changed = 0;
    lastX = lastY = 0;
  };
  const warp::TMaskEntry* e = mask;
  for (int32_t r = 0; r < height; ++r)
    for (int32_t j = 0; j < width; ++j, ++e) {
      const int64_t dx = int64_t(e->X) - j, dy = int64_t(e->Y) - r;
      if (dx == 0 && dy == 0) {
        if (changed > 0) flush();
        ++same;
        continue;
      }
      PutVarint(values, ZigZag(dx - lastX));
      PutVarint(values, ZigZag(dy - lastY));
      lastX = dx;
      lastY = dy;
      ++changed;
    }
  if (same > 0 || changed > 0) flush();
  return raw;
}

TChunk MaskChunk(const warp::TMaskEntry* mask, int32_t width, int32_t height) {
  return Compress(kMask, MaskDelta(mask, width, height), 1);
}

bool WriteProject(const std::string& path, const TChunk& picture, const TWork& work, std::string& error) {
  std::vector<TChunk> chunks;
  {
    std::vector<uint8_t> head;
    PutU32(head, uint32_t(work.Width));
    PutU32(head, uint32_t(work.Height));
    chunks.push_back(Compress(kKopf, head, 6));
  }
  chunks.push_back(Compress(kEins, SettingsText(work.Settings, work.PicturePath), 6));
  chunks.push_back(work.MaskDelta ? Compress(kMask, *work.MaskDelta, 1) : MaskChunk(work.Mask, work.Width, work.Height));
  if (work.History) chunks.push_back(Compress(kVerl, *work.History, 1));
  if (work.Protection)
    chunks.push_back(Compress(kSchutz, std::vector<uint8_t>(work.Protection, work.Protection + size_t(work.Width) * size_t(work.Height)), 6));
  chunks.push_back(Compress(kEnde, {}, 6));

  const size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string tmp = dir + "/." + base + ".XXXXXX";
  const auto failed = [&](const char* why) {
    error = "Das Projekt " + Quoted(path) + " konnte nicht gespeichert werden: " + why;
    return false;
  };
  const int fd = mkstemp(tmp.data());
  if (fd < 0) return failed(std::strerror(errno));
  // A file replaced keeps its permissions; a new one is readable by all, as saved pictures are.
  struct stat old {};
  fchmod(fd, ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
  std::FILE* f = fdopen(fd, "wb");
  if (f == nullptr) {
    ::close(fd);
    std::remove(tmp.c_str());
    return failed(std::strerror(errno));
  }
  std::vector<uint8_t> head(kMagic, kMagic + 8);
  PutU32(head, kVersion);
  bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size();
  const auto writeChunk = [&](const TChunk& c) {
    std::vector<uint8_t> h(c.Type.begin(), c.Type.end());
    PutU64(h, c.RawSize);
    PutU64(h, c.Data.size());
    std::vector<uint8_t> crc;
    PutU32(crc, ChunkCrc(c));
    ok = ok && std::fwrite(h.data(), 1, h.size(), f) == h.size() &&
         std::fwrite(c.Data.data(), 1, c.Data.size(), f) == c.Data.size() && std::fwrite(crc.data(), 1, 4, f) == 4;
  };
  writeChunk(chunks[0]);
  writeChunk(picture);
  for (size_t k = 1; k < chunks.size(); ++k) writeChunk(chunks[k]);
  const int savedErrno = errno;
  ok = ok && std::fflush(f) == 0 && ::fsync(fileno(f)) == 0;
  const int flushErrno = errno;
  ok = std::fclose(f) == 0 && ok;
  if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
    const int e = ok ? errno : (flushErrno ? flushErrno : savedErrno);
    std::remove(tmp.c_str());
    return failed(e ? std::strerror(e) : "Schreibfehler");
  }
  if (const int d = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY); d >= 0) {
    ::fsync(d);
    ::close(d);
  }
  return true;
}

bool ReadProjectMemory(const uint8_t* data, size_t size, TProject& out, std::string& error) {
  size_t at = 0;
  TSource src{[&](uint8_t* to, size_t n) {
                std::memcpy(to, data + at, n);
                at += n;
                return true;
              },
              size};
  return Parse(src, out, error);
}

bool ReadProject(const std::string& path, TProject& out, std::string& error) {
  const auto refuse = [&](const std::string& why) {
    out = TProject{};
    error = "Das Projekt " + Quoted(path) + " kann nicht geöffnet werden: " + why;
    return false;
  };
  // O_NONBLOCK: opening a pipe must not wait for a writer; it is refused below.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return refuse(std::strerror(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return refuse("Es ist keine gewöhnliche Datei.");
  }
  if (uint64_t(st.st_size) > kMaxFileBytes) {
    ::close(fd);
    return refuse("Die Datei ist größer als 4 GiB.");
  }
  TSource src{[fd](uint8_t* to, size_t n) {
                while (n > 0) {
                  const ssize_t got = ::read(fd, to, std::min<size_t>(n, size_t(1) << 24));
                  if (got < 0 && errno == EINTR) continue;
                  if (got <= 0) return false;
                  to += got;
                  n -= size_t(got);
                }
                return true;
              },
              uint64_t(st.st_size)};
  std::string why;
  const bool ok = Parse(src, out, why);
  ::close(fd);
  return ok ? true : refuse(why);
}

bool IsProjectName(const std::string& path) {
  static const std::string ext = ".morphane";
  if (path.size() <= ext.size()) return false;
  for (size_t k = 0; k < ext.size(); ++k)
    if (std::tolower(static_cast<unsigned char>(path[path.size() - ext.size() + k])) != ext[k]) return false;
  return path[path.size() - ext.size() - 1] != '/';
}

std::string OpenFilter(const std::string& pictureFilter) {
  // "Alle Bilder|masks|..." : the first masks get the projects too.
  const size_t first = pictureFilter.find('|');
  const size_t firstEnd = first == std::string::npos ? std::string::npos : pictureFilter.find('|', first + 1);
  if (firstEnd == std::string::npos) return pictureFilter;
  std::string out = pictureFilter.substr(0, firstEnd) + ";*.morphane" + pictureFilter.substr(firstEnd);
  // Before the last entry ("all files").
  const size_t lastMasks = out.find_last_of('|');
  const size_t lastText = lastMasks == std::string::npos ? std::string::npos : out.find_last_of('|', lastMasks - 1);
  const std::string entry = "Morphane-Projekt (*.morphane)|*.morphane";
  if (lastText == std::string::npos) return out + "|" + entry;
  return out.substr(0, lastText) + "|" + entry + out.substr(lastText);
}

TSettings SettingsOf(const warp::TToolBarState& bar, bool smooth) {
  TSettings s;
  s.Tool = warp::TEditorCore::ToolCode(bar);
  s.Axes = bar.XChecked ? 1 : bar.YChecked ? 2 : 0;
  s.Normalize = bar.NormalizeChecked;
  s.Smooth = smooth;
  s.Strength = bar.Strength;
  s.Radius = bar.Radius;
  s.Zoom = bar.Zoom;
  return s;
}

void ApplySettings(const TSettings& s, warp::TToolBarState& bar) {
  bar.WachsenDown = s.Tool == warp::kToolGrow;
  bar.SchrumpfenDown = s.Tool == warp::kToolShrink;
  bar.RadiererDown = s.Tool == warp::kToolEraser;
  bar.SchmierenDown = s.Tool == warp::kToolSmear;
  bar.ZerrenDown = s.Tool == warp::kToolDrag;
  bar.XYChecked = s.Axes == 0;
  bar.XChecked = s.Axes == 1;
  bar.YChecked = s.Axes == 2;
  bar.NormalizeChecked = s.Normalize;
  bar.Strength = s.Strength;
  bar.Radius = s.Radius;
  bar.Zoom = s.Zoom;
}

TDib PictureOf(const TProject& p) {
  TDib dib{};
  newdib(&dib, p.Width, p.Height, 24, nullptr, 0);
  if (dib.Bits == nullptr) return dib;
  const size_t row = size_t(p.Width) * 3;
  for (size_t r = 0; r < size_t(p.Height); ++r)
    std::memcpy(dib.Bits + r * size_t(dib.BytesPerLine), p.Pixels.data() + r * row, row);
  return dib;
}

bool RestoreWork(warp::TEditorCore& core, const TProject& p, std::string& error) {
  if (core.FMask == nullptr || core.PictureWidth() != p.Width || core.PictureHeight() != p.Height) {
    error = "Nicht genügend Arbeitsspeicher für das Projekt.";
    return false;
  }
  std::memcpy(core.FMask, p.Mask.data(), p.Mask.size() * sizeof(warp::TMaskEntry));
  bool ok = core.SetProtection(p.Protection);
  if (!ok) error = "Nicht genügend Arbeitsspeicher für das Projekt.";
  ok = ok && core.FHistory.Deserialize(p.History.data(), p.History.size(), p.Width, p.Height, error);
  if (!ok) {
    core.InitMask();
    core.SetProtection({});
  }
  core.renderdi();
  core.HistoryChanged();
  return ok;
}

bool SaveCore(const warp::TEditorCore& core, const std::string& path, const TSettings& settings,
              const std::string& picturePath, std::string& error) {
  TWorkCopy copy;
  return CopyWork(core, path, settings, picturePath, copy, error) && WriteWorkCopy(copy, path, platform::TJob{}, error);
}

bool CopyWork(const warp::TEditorCore& core, const std::string& path, const TSettings& settings,
              const std::string& picturePath, TWorkCopy& copy, std::string& error) {
  if (core.FMask == nullptr || core.FSourceDib.Bits == nullptr || DibBitCount(core.FSourceDib) != 24) {
    error = "Das Projekt " + Quoted(path) + " konnte nicht gespeichert werden: Es ist kein Bild vorhanden.";
    return false;
  }
  try {
    const int32_t w = core.PictureWidth(), h = core.PictureHeight();
    const size_t row = size_t(w) * 3;
    copy.Width = w;
    copy.Height = h;
    copy.Pixels.resize(row * size_t(h));
    for (size_t r = 0; r < size_t(h); ++r)
      std::memcpy(copy.Pixels.data() + r * row, core.FSourceDib.Bits + r * size_t(core.FSourceDib.BytesPerLine), row);
    copy.MaskDelta = MaskDelta(core.FMask, w, h);
    copy.History = core.FHistory.Serialize();
    copy.Protection = core.Protection();
    copy.Settings = settings;
    copy.PicturePath = picturePath;
    return true;
  } catch (const std::bad_alloc&) {
    copy = {};
    error = "Das Projekt " + Quoted(path) + " konnte nicht gespeichert werden: Nicht genügend Arbeitsspeicher.";
    return false;
  }
}

bool WriteWorkCopy(const TWorkCopy& copy, const std::string& path, const platform::TJob& job, std::string& error) {
  try {
    const TChunk picture = PictureChunk(copy.Pixels.data(), size_t(copy.Width) * 3, copy.Width, copy.Height);
    job.Report(50);
    if (job.Cancelled()) {
      error = platform::kCancelledText;
      return false;
    }
    TWork work;
    work.Width = copy.Width;
    work.Height = copy.Height;
    work.MaskDelta = &copy.MaskDelta;
    work.History = &copy.History;
    if (!copy.Protection.empty()) work.Protection = copy.Protection.data();
    work.Settings = copy.Settings;
    work.PicturePath = copy.PicturePath;
    return WriteProject(path, picture, work, error);
  } catch (const std::bad_alloc&) {
    error = "Das Projekt " + Quoted(path) + " konnte nicht gespeichert werden: Nicht genügend Arbeitsspeicher.";
    return false;
  }
}

void ScaleMask(const warp::TMaskEntry* from, int32_t fw, int32_t fh, warp::TMaskEntry* to, int32_t tw, int32_t th) {
  // Nearest entry of `from` to the centre of each entry of `to`; its displacement in proportion.
  const auto nearest = [](int64_t k, int64_t toLength, int64_t fromLength) {
    return std::min<int64_t>((2 * k + 1) * fromLength / (2 * toLength), fromLength - 1);
  };
  const auto scaled = [](int64_t d, int64_t toLength, int64_t fromLength) {
    // Rounded half away from zero.
    const int64_t num = d * toLength * 2, den = fromLength * 2;
    return d >= 0 ? (num + fromLength) / den : -((-num + fromLength) / den);
  };
  for (int32_t r = 0; r < th; ++r) {
    const int64_t fr = nearest(r, th, fh);
    for (int32_t j = 0; j < tw; ++j) {
      const int64_t fj = nearest(j, tw, fw);
      const warp::TMaskEntry& e = from[fr * fw + fj];
      const int64_t x = j + scaled(e.X - fj, tw, fw), y = r + scaled(e.Y - fr, th, fh);
      to[int64_t(r) * tw + j] = warp::TMaskEntry{int32_t(std::clamp<int64_t>(x, 0, tw - 1)),
                                                 int32_t(std::clamp<int64_t>(y, 0, th - 1))};
    }
  }
}

bool ApplyDeformation(warp::TEditorCore& core, const TProject& p, std::string& error) {
  const int32_t w = core.PictureWidth(), h = core.PictureHeight();
  if (core.FMask == nullptr || w <= 0 || h <= 0 || core.FStrokeActive || p.Mask.empty()) {
    error = "Die Verformung kann jetzt nicht übernommen werden: Es ist kein Bild geladen.";
    return false;
  }
  core.FHistory.BeginStroke(w, h);
  core.FHistory.BeforeStep(core.FMask, warp::WholePicture(w, h));
  ScaleMask(p.Mask.data(), p.Width, p.Height, core.FMask, w, h);
  core.FHistory.EndStroke(core.FMask);
  core.renderdi();
  core.HistoryChanged();
  core.RepaintView();
  return true;
}

} // namespace project
