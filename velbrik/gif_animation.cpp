// SPDX-License-Identifier: GPL-3.0-or-later
#include "gif_animation.h"

#include "file_writing.h"

#include <gif_lib.h>

#include <cerrno>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace velbrik {
namespace {

std::string quoted(const std::string& name) { return "\xE2\x80\x9E" + name + "\xE2\x80\x9C"; }

int writeToFile(GifFileType* gif, const GifByteType* bytes, int length) {
  auto* writer = static_cast<std::FILE*>(gif->UserData);
  return int(std::fwrite(bytes, 1, size_t(length), writer));
}

std::string folderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

} // namespace

TGifAnimationWriter::~TGifAnimationWriter() { Discard(); }

void TGifAnimationWriter::Discard() {
  if (FGif != nullptr) {
    int ignored = 0;
    EGifCloseFile(FGif, &ignored);
    FGif = nullptr;
  }
  if (FFile != nullptr) {
    std::fclose(FFile);
    FFile = nullptr;
  }
  if (!FTemp.empty()) {
    ::unlink(FTemp.c_str());
    FTemp.clear();
  }
}

bool TGifAnimationWriter::Failed(const std::string& reason, std::string& error) {
  const int err = FFile != nullptr && std::ferror(FFile) ? FWriteErrno : 0;
  error = "Die Datei " + quoted(FPath) + " konnte nicht gespeichert werden: " + (err ? writeReason(err) : reason);
  Discard();
  return false;
}

bool TGifAnimationWriter::Open(const std::string& path, int32_t width, int32_t height, std::string& error) {
  Discard();
  FPath = path;
  FWidth = width;
  FHeight = height;
  if (width < 1 || height < 1 || width > 65535 || height > 65535)
    return Failed("Ein GIF-Bild kann höchstens 65535 Pixel breit und hoch sein.", error);
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return Failed(writeReason(EISDIR), error);
  const size_t slash = path.find_last_of('/');
  removeSaveLeftovers(slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash)));
  const int fd = createSaveTemporary(path, FTemp);
  if (fd < 0) {
    const int err = errno;
    FTemp.clear();
    return Failed(writeReason(err), error);
  }
  (void)::fchmod(fd, fileMode(path));
  FFile = ::fdopen(fd, "wb");
  if (FFile == nullptr) {
    const int err = errno;
    ::close(fd);
    return Failed(writeReason(err), error);
  }
  int code = 0;
  FGif = EGifOpen(FFile, writeToFile, &code);
  if (FGif == nullptr) return Failed("Nicht genug Speicher für die GIF-Datei.", error);
  EGifSetGifVersion(FGif, true);
  // The loop: the application extension that asks for endless repetition (count 0).
  static const GifByteType kLoopName[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
  static const GifByteType kLoopForever[] = {1, 0, 0};
  errno = 0;
  if (EGifPutScreenDesc(FGif, width, height, 8, 0, nullptr) == GIF_ERROR ||
      EGifPutExtensionLeader(FGif, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
      EGifPutExtensionBlock(FGif, sizeof kLoopName, kLoopName) == GIF_ERROR ||
      EGifPutExtensionBlock(FGif, sizeof kLoopForever, kLoopForever) == GIF_ERROR ||
      EGifPutExtensionTrailer(FGif) == GIF_ERROR) {
    FWriteErrno = errno;
    return Failed("Die Datei konnte nicht geschrieben werden.", error);
  }
  return true;
}

bool TGifAnimationWriter::AddFrame(const uint8_t* indexes, const uint8_t* palette, int32_t colours, int32_t delay,
                                   std::string& error) {
  if (FGif == nullptr) {
    error = "Die Datei " + quoted(FPath) + " ist nicht zum Schreiben geöffnet.";
    return false;
  }
  if (colours < 1 || colours > 256 || delay < 0 || delay > 65535)
    return Failed("Ungültige Farbtabelle oder Anzeigedauer eines Bildes.", error);
  // The table's size is a power of two; entries beyond the palette are black.
  int size = 2;
  while (size < colours) size *= 2;
  std::vector<GifColorType> colors(size_t(size), GifColorType{0, 0, 0});
  for (int32_t i = 0; i < colours; ++i)
    colors[size_t(i)] = GifColorType{palette[3 * i], palette[3 * i + 1], palette[3 * i + 2]};
  ColorMapObject* map = GifMakeMapObject(size, colors.data());
  if (map == nullptr) return Failed("Nicht genug Speicher für die GIF-Datei.", error);
  GraphicsControlBlock control{};
  control.DisposalMode = DISPOSE_DO_NOT;
  control.UserInputFlag = false;
  control.DelayTime = delay;
  control.TransparentColor = NO_TRANSPARENT_COLOR;
  GifByteType extension[4];
  EGifGCBToExtension(&control, extension);
  errno = 0;
  bool ok = EGifPutExtension(FGif, GRAPHICS_EXT_FUNC_CODE, sizeof extension, extension) != GIF_ERROR &&
            EGifPutImageDesc(FGif, 0, 0, FWidth, FHeight, false, map) != GIF_ERROR;
  for (int32_t y = 0; ok && y < FHeight; ++y)
    ok = EGifPutLine(FGif, const_cast<GifPixelType*>(indexes + size_t(y) * size_t(FWidth)), FWidth) != GIF_ERROR;
  GifFreeMapObject(map);
  if (!ok) {
    FWriteErrno = errno;
    return Failed("Die Datei konnte nicht geschrieben werden.", error);
  }
  return true;
}

bool TGifAnimationWriter::Finish(std::string& error) {
  if (FGif == nullptr) {
    error = "Die Datei " + quoted(FPath) + " ist nicht zum Schreiben geöffnet.";
    return false;
  }
  int code = 0;
  errno = 0;
  const bool closed = EGifCloseFile(FGif, &code) != GIF_ERROR;
  FGif = nullptr;
  if (!closed) {
    FWriteErrno = errno;
    return Failed("Die Datei konnte nicht geschrieben werden.", error);
  }
  if (std::fflush(FFile) != 0 || ::fsync(::fileno(FFile)) != 0) {
    FWriteErrno = errno;
    return Failed(writeReason(FWriteErrno), error);
  }
  std::FILE* file = FFile;
  FFile = nullptr;
  if (std::fclose(file) != 0) return Failed(writeReason(errno), error);
  if (::rename(FTemp.c_str(), FPath.c_str()) != 0) return Failed(writeReason(errno), error);
  FTemp.clear();
  syncFolder(folderOf(FPath));
  return true;
}

} // namespace velbrik
