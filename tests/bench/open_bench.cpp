// SPDX-License-Identifier: GPL-3.0-or-later
// From file to editable picture: a 12-megapixel JPEG (4000 x 3000, quality 90, written once into
// the temporary folder) opened the way the window opens a picture (the imaging library's OpenDib,
// then promotion, identity mask and first render), beside what it costs to decode the same file
// with libjpeg into memory and nothing else, and beside OpenDib alone. Each open under the loads
// of load_modes.h where they matter. Save/12MP/{png,jpeg} write the opened picture as the window
// saves a result (into the temporary folder, with the file's size as a counter). Quote the
// medians and the ratio editable / decoder:
//
//   open_bench --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true
//              --benchmark_report_aggregates_only=true
#include "ReplayHost.h"
#include "load_modes.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

// Smooth shapes with fine grain on top, so that the file is about as hard to decode as a photo.
std::string TestJpeg() {
  static const std::string path = [] {
    const std::string p = (std::filesystem::temp_directory_path() / "morphane-open-bench-12mp.jpg").string();
    std::FILE* f = std::fopen(p.c_str(), "wb");
    if (f == nullptr) return std::string();
    jpeg_compress_struct c;
    jpeg_error_mgr errors;
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = kWidth;
    c.image_height = kHeight;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(size_t(kWidth) * 3);
    uint32_t seed = 1;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        seed = seed * 1664525u + 1013904223u;
        const int grain = int(seed >> 28) - 8;
        const double shape = std::sin(x / 211.0) * std::cos(y / 157.0) + std::sin((x + y) / 97.0) * 0.5;
        for (int k = 0; k < 3; ++k)
          row[size_t(x) * 3 + size_t(k)] = uint8_t(std::clamp(int(128 + 70 * shape + 25 * k) + grain, 0, 255));
      }
      JSAMPROW r = row.data();
      jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
    return p;
  }();
  return path;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::vector<uint8_t> data;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return data;
  uint8_t buf[1 << 16];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
  std::fclose(f);
  return data;
}

// The floor: the file read into memory and decoded by libjpeg into rows of blue, green, red.
void Decoder(benchmark::State& state) {
  const std::string path = TestJpeg();
  for (auto _ : state) {
    const std::vector<uint8_t> data = ReadFile(path);
    jpeg_decompress_struct d;
    jpeg_error_mgr errors;
    d.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    const size_t stride = (size_t(d.output_width) * 3 + 3) & ~size_t(3);
    std::unique_ptr<uint8_t[]> pixels(new uint8_t[stride * d.output_height]);
    while (d.output_scanline < d.output_height) {
      JSAMPROW r = pixels.get() + stride * (d.output_height - 1 - d.output_scanline);
      jpeg_read_scanlines(&d, &r, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    benchmark::DoNotOptimize(pixels[stride]);
  }
}

void OpenDibOnly(benchmark::State& state) {
  const std::string path = TestJpeg();
  for (auto _ : state) {
    TDib dib{};
    OpenDib(&dib, path.c_str(), 0, nullptr);
    if (dib.Bits == nullptr) state.SkipWithError("OpenDib failed");
    benchmark::DoNotOptimize(dib.Bits);
    deldib(dib);
  }
}

// As the window opens a picture: OpenDib, promotion, mask, identity and first render.
void Editable(benchmark::State& state, bench::TLoad load) {
  const std::string path = TestJpeg();
  const bench::TLoadScope scope(load);
  for (auto _ : state) {
    auto host = std::make_unique<replay::TReplayHost>();
    TDib dib{};
    OpenDib(&dib, path.c_str(), 0, nullptr);
    std::string error;
    if (dib.Bits == nullptr || !host->Adopt(dib, error)) state.SkipWithError("open failed");
    benchmark::DoNotOptimize(host->FResultDib.Bits);
  }
}

// The opened photo saved as the window saves a result, through a temporary file and fsync.
void Save(benchmark::State& state, const char* extension) {
  TDib dib{};
  OpenDib(&dib, TestJpeg().c_str(), 0, nullptr);
  const std::string target =
      (std::filesystem::temp_directory_path() / (std::string("morphane-save-bench.") + extension)).string();
  for (auto _ : state) {
    char error[512] = {};
    if (dib.Bits == nullptr || SaveDib(dib, target.c_str(), error, sizeof error) != 1) state.SkipWithError(error);
  }
  state.counters["bytes"] = double(std::filesystem::file_size(target));
  std::filesystem::remove(target);
  deldib(dib);
}

} // namespace

int main(int argc, char** argv) {
  if (TestJpeg().empty()) return 1;
  benchmark::RegisterBenchmark("Open/12MP/decoder", Decoder)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Open/12MP/OpenDib", OpenDibOnly)->Unit(benchmark::kMillisecond);
  for (bench::TLoad load : {bench::TLoad::Threads1, bench::TLoad::Quiet, bench::TLoad::OtherBusy}) {
    const std::string name = std::string("Open/12MP/editable/") + bench::LoadName(load);
    benchmark::RegisterBenchmark(name.c_str(), Editable, load)->Unit(benchmark::kMillisecond);
  }
  benchmark::RegisterBenchmark("Save/12MP/png", Save, "png")->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Save/12MP/jpeg", Save, "jpg")->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
