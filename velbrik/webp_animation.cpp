// SPDX-License-Identifier: GPL-3.0-or-later
// The animated WebP writer: libwebp's animation encoder keeps only what it needs to code the
// next frame against the last; the finished file is assembled in memory and written at the end.
#include "file_writing.h"
#include "video_animation.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include <cerrno>
#include <cstdio>

#include <unistd.h>

namespace velbrik {
namespace {

std::string quoted(const std::string& name) { return "\xE2\x80\x9E" + name + "\xE2\x80\x9C"; }

class TWebpAnimationWriter final : public TRgbAnimationWriter {
public:
  ~TWebpAnimationWriter() override { Release(); }
  bool Open(const std::string& path, int32_t width, int32_t height, std::string& error) override;
  bool AddFrame(const uint8_t* rgb, int32_t delay, std::string& error) override;
  bool Finish(std::string& error) override;

private:
  bool Failed(const std::string& reason, std::string& error);
  void Release();

  std::string FPath;
  WebPAnimEncoder* FEncoder = nullptr;
  WebPConfig FConfig{};
  int32_t FWidth = 0, FHeight = 0;
  int FTimestamp = 0; // of the next frame, in milliseconds
};

void TWebpAnimationWriter::Release() {
  if (FEncoder != nullptr) WebPAnimEncoderDelete(FEncoder);
  FEncoder = nullptr;
}

bool TWebpAnimationWriter::Failed(const std::string& reason, std::string& error) {
  error = "Die Datei " + quoted(FPath) + " konnte nicht gespeichert werden: " + reason;
  Release();
  return false;
}

bool TWebpAnimationWriter::Open(const std::string& path, int32_t width, int32_t height, std::string& error) {
  Release();
  FPath = path;
  FWidth = width;
  FHeight = height;
  FTimestamp = 0;
  if (width < 1 || height < 1 || width > WEBP_MAX_DIMENSION || height > WEBP_MAX_DIMENSION)
    return Failed("Eine WebP-Animation kann höchstens 16383 Pixel breit und hoch sein.", error);
  WebPAnimEncoderOptions options;
  if (!WebPAnimEncoderOptionsInit(&options) || !WebPConfigInit(&FConfig))
    return Failed("Die WebP-Bibliothek passt nicht zum Programm.", error);
  options.anim_params.loop_count = 0; // endless
  options.anim_params.bgcolor = 0xFFFFFFFF;
  FConfig.quality = 80;
  FConfig.method = 4;
  FEncoder = WebPAnimEncoderNew(width, height, &options);
  if (FEncoder == nullptr) return Failed("Nicht genug Speicher für die WebP-Animation.", error);
  return true;
}

bool TWebpAnimationWriter::AddFrame(const uint8_t* rgb, int32_t delay, std::string& error) {
  if (FEncoder == nullptr) {
    error = "Die Datei " + quoted(FPath) + " ist nicht zum Schreiben geöffnet.";
    return false;
  }
  if (delay < 1 || delay > 65535) return Failed("Ungültige Anzeigedauer eines Bildes.", error);
  WebPPicture picture;
  if (!WebPPictureInit(&picture)) return Failed("Die WebP-Bibliothek passt nicht zum Programm.", error);
  picture.width = FWidth;
  picture.height = FHeight;
  picture.use_argb = 1;
  bool ok = WebPPictureImportRGB(&picture, rgb, FWidth * 3) != 0;
  ok = ok && WebPAnimEncoderAdd(FEncoder, &picture, FTimestamp, &FConfig) != 0;
  WebPPictureFree(&picture);
  if (!ok) return Failed("Nicht genug Speicher für die WebP-Animation.", error);
  FTimestamp += delay * 10;
  return true;
}

bool TWebpAnimationWriter::Finish(std::string& error) {
  if (FEncoder == nullptr) {
    error = "Die Datei " + quoted(FPath) + " ist nicht zum Schreiben geöffnet.";
    return false;
  }
  WebPData data;
  WebPDataInit(&data);
  // The end time gives the last frame its duration.
  if (!WebPAnimEncoderAdd(FEncoder, nullptr, FTimestamp, nullptr) || !WebPAnimEncoderAssemble(FEncoder, &data)) {
    WebPDataClear(&data);
    return Failed("Nicht genug Speicher für die WebP-Animation.", error);
  }
  Release();
  TTemporaryFile temp;
  std::string reason;
  bool ok = temp.Create(FPath, reason);
  if (ok) {
    size_t written = 0;
    while (ok && written < data.size) {
      const ssize_t n = ::write(temp.Descriptor(), data.bytes + written, data.size - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) ok = false, reason = writeReason(n < 0 ? errno : ENOSPC);
      else written += size_t(n);
    }
  }
  WebPDataClear(&data);
  if (ok) ok = temp.Commit(reason);
  if (!ok) return Failed(reason, error);
  return true;
}

} // namespace

std::unique_ptr<TRgbAnimationWriter> NewWebpAnimationWriter() { return std::make_unique<TWebpAnimationWriter>(); }

} // namespace velbrik
