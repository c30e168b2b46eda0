// SPDX-License-Identifier: GPL-3.0-or-later
#include "file_support.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <stdlib.h>

namespace vtest {

TempDir::TempDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "velbrik-test-XXXXXX").string();
  if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::vector<std::string> TempDir::names() const {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(path_))
    out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

namespace {
void put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}
void put32(std::vector<uint8_t>& v, uint32_t x) {
  put16(v, x & 0xFFFF);
  put16(v, x >> 16);
}
} // namespace

std::vector<uint8_t> BmpFile::bytes() const {
  std::vector<uint8_t> info;
  if (headerSize == 12) {
    put32(info, 12);
    put16(info, uint32_t(width));
    put16(info, uint32_t(height));
    put16(info, 1);
    put16(info, bitCount);
  } else {
    put32(info, headerSize);
    put32(info, uint32_t(width));
    put32(info, uint32_t(height));
    put16(info, 1);
    put16(info, bitCount);
    put32(info, compression);
    put32(info, uint32_t(pixels.size()));
    put32(info, 2835);
    put32(info, 2835);
    put32(info, clrUsed);
    put32(info, 0);
    if (headerSize >= 52)
      for (size_t i = 0; i < 4 && info.size() < headerSize; ++i)
        put32(info, i < masks.size() ? masks[i] : 0);
    info.resize(std::max<size_t>(info.size(), headerSize), 0);
    if (headerSize < 52)
      for (uint32_t m : masks) put32(info, m);
  }
  const size_t entry = headerSize == 12 ? 3 : 4;
  for (const auto& c : palette) {
    info.push_back(c[2]);
    info.push_back(c[1]);
    info.push_back(c[0]);
    if (entry == 4) info.push_back(0);
  }
  const uint32_t off = offBits ? *offBits : uint32_t(14 + info.size());
  std::vector<uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  put32(out, uint32_t(14 + info.size() + pixels.size()));
  put32(out, 0);
  put32(out, off);
  out.insert(out.end(), info.begin(), info.end());
  if (out.size() < off && off < 14 + info.size() + 4096) out.resize(off, 0);
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

platform::LRESULT ProgressRecorder::WindowProc(platform::UINT msg, platform::WPARAM wParam,
                                               platform::LPARAM) {
  if (msg == platform::WM_USER) values.push_back(int(wParam));
  return 0;
}

uint32_t PixelRgb(const TDib& dib, int x, int rowFromBottom) {
  const int bits = dib.Info->bmiHeader.biBitCount;
  const uint8_t* row = dib.Bits + size_t(rowFromBottom) * size_t(dib.BytesPerLine);
  if (bits == 24) {
    const uint8_t* p = row + 3 * size_t(x);
    return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
  }
  uint32_t index = 0;
  switch (bits) {
  case 1: index = (row[x / 8] >> (7 - x % 8)) & 1; break;
  case 4: index = (x % 2) ? row[x / 2] & 15 : row[x / 2] >> 4; break;
  case 8: index = row[x]; break;
  default: return 0xFFFFFFFF;
  }
  const VRgbQuad& q = dib.Info->bmiColors[index];
  return (uint32_t(q.rgbRed) << 16) | (uint32_t(q.rgbGreen) << 8) | q.rgbBlue;
}

namespace {
long statusKb(const char* field) {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (f == nullptr) return 0;
  char line[256];
  long kb = 0;
  const size_t n = std::strlen(field);
  while (std::fgets(line, sizeof line, f) != nullptr)
    if (std::strncmp(line, field, n) == 0) kb = std::atol(line + n);
  std::fclose(f);
  return kb;
}
double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
} // namespace

OpenCost MeasureOpenWith(void (*run)(void*, TDib*), void* context) {
  OpenCost cost;
  int fds[2];
  if (pipe(fds) != 0) return cost;
  const pid_t child = fork();
  if (child == 0) {
    ::close(fds[0]);
    const long rssBefore = statusKb("VmRSS:");
    const double cpuBefore = cpuSeconds();
    TDib dib;
    run(context, &dib);
    char report[1200];
    const int opened = dib.Bits != nullptr;
    const int n = std::snprintf(report, sizeof report, "%d %f %f %s", opened, cpuSeconds() - cpuBefore,
                                double(statusKb("VmHWM:") - rssBefore) / 1024.0,
                                opened ? "" : DibErrorText(&dib));
    if (opened) deldib(dib);
    if (::write(fds[1], report, size_t(std::max(n, 0))) < 0) _exit(2);
    _exit(0);
  }
  ::close(fds[1]);
  std::string text;
  char buffer[512];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
  ::close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  int opened = 0;
  int used = 0;
  if (std::sscanf(text.c_str(), "%d %lf %lf %n", &opened, &cost.cpuSeconds, &cost.peakExtraMb, &used) >= 3) {
    cost.opened = opened != 0;
    cost.message = text.substr(size_t(used));
  } else {
    cost.message = "child failed";
  }
  return cost;
}

TDib OpenBytes(const std::vector<uint8_t>& bytes, void* window) {
  TDib dib;
  OpenDibMemory(&dib, bytes.data(), bytes.size(), window);
  return dib;
}

} // namespace vtest
