// SPDX-License-Identifier: GPL-3.0-or-later
// JPEG XL reading through libjxl: the first frame, turned upright by libjxl as its orientation
// says, alpha composed over white, samples deeper than 8 bits rounded to 8. Pictures coded in
// libjxl's own colour space come out in sRGB from libjxl; others are converted from their ICC
// profile. libjxl's memory goes through a counting allocator with a fixed budget.
#include "colour.h"
#include "decoder.h"
#include "photo.h"

#include <jxl/decode.h>
#include <jxl/encode.h>
#include <jxl/resizable_parallel_runner.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace velbrik {
namespace {

// All libjxl may allocate for one file, beyond the output buffer this file gives it (its
// working copy of a picture takes 4 bytes per sample): enough for 130 megapixels with alpha,
// and for larger pictures coded in groups.
constexpr uint64_t kJxlMemory = 2ull << 30;

struct Budget {
  std::atomic<uint64_t> used{0};
  std::atomic<bool> refused{false};
};

struct BlockHeader {
  size_t size;
  size_t spare; // keeps the blocks 16-byte aligned
};

void* countedAlloc(void* opaque, size_t size) {
  auto* budget = static_cast<Budget*>(opaque);
  if (budget->used.fetch_add(size) + size > kJxlMemory) {
    budget->used.fetch_sub(size);
    budget->refused = true;
    return nullptr;
  }
  auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
  if (header == nullptr) {
    budget->used.fetch_sub(size);
    return nullptr;
  }
  header->size = size;
  return header + 1;
}

void countedFree(void* opaque, void* block) {
  if (block == nullptr) return;
  BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
  static_cast<Budget*>(opaque)->used.fetch_sub(header->size);
  std::free(header);
}

struct DecoderDeleter {
  void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};
struct RunnerDeleter {
  void operator()(void* r) const { JxlResizableParallelRunnerDestroy(r); }
};

bool fail(TDib& out, std::string& error, const std::string& message) {
  error = message;
  FailDib(out, error);
  return false;
}

// True when an encoded colour space is sRGB as it is shown here.
bool isSrgb(const JxlColorEncoding& c) {
  return c.color_space == JXL_COLOR_SPACE_RGB && c.white_point == JXL_WHITE_POINT_D65 &&
         c.primaries == JXL_PRIMARIES_SRGB && c.transfer_function == JXL_TRANSFER_FUNCTION_SRGB;
}

} // namespace

bool DecodeJxl(const uint8_t* data, size_t size, TDib& out, Progress& progress, std::string& error) {
  std::memset(&out, 0, sizeof out);
  const JxlSignature signature = JxlSignatureCheck(data, size);
  if (signature != JXL_SIG_CODESTREAM && signature != JXL_SIG_CONTAINER)
    return fail(out, error, "Die Datei ist keine JPEG-XL-Datei.");
  Budget budget;
  const JxlMemoryManager memory = {&budget, countedAlloc, countedFree};
  std::unique_ptr<JxlDecoder, DecoderDeleter> decoder(JxlDecoderCreate(&memory));
  std::unique_ptr<void, RunnerDeleter> runner(JxlResizableParallelRunnerCreate(&memory));
  if (!decoder || !runner) return fail(out, error, "Nicht genug Speicher, um die JPEG-XL-Datei zu lesen.");
  JxlDecoder* dec = decoder.get();
  if (JxlDecoderSubscribeEvents(dec, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE) !=
          JXL_DEC_SUCCESS ||
      JxlDecoderSetParallelRunner(dec, JxlResizableParallelRunner, runner.get()) != JXL_DEC_SUCCESS ||
      JxlDecoderSetInput(dec, data, size) != JXL_DEC_SUCCESS)
    return fail(out, error, "Die JPEG-XL-Datei kann nicht gelesen werden.");
  JxlDecoderCloseInput(dec);

  JxlBasicInfo info{};
  JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  std::vector<uint8_t> pixels;
  ColourProfile profile;
  int32_t width = 0, height = 0;
  progress.report(5);
  for (;;) {
    const JxlDecoderStatus status = JxlDecoderProcessInput(dec);
    if (status == JXL_DEC_ERROR && budget.refused)
      return fail(out, error, "Die JPEG-XL-Datei braucht zum Lesen mehr als " + std::to_string(kJxlMemory >> 30) +
                                  " GB Arbeitsspeicher und wird deshalb nicht geöffnet.");
    if (status == JXL_DEC_ERROR) return fail(out, error, "Die JPEG-XL-Datei ist beschädigt.");
    if (status == JXL_DEC_NEED_MORE_INPUT) return fail(out, error, "Die JPEG-XL-Datei ist unvollständig.");
    if (status == JXL_DEC_SUCCESS) return fail(out, error, "Die JPEG-XL-Datei enthält kein Bild.");
    if (status == JXL_DEC_BASIC_INFO) {
      if (JxlDecoderGetBasicInfo(dec, &info) != JXL_DEC_SUCCESS)
        return fail(out, error, "Die JPEG-XL-Datei ist beschädigt.");
      // The size as shown: orientations 5 to 8 swap the sides.
      const bool swap = info.orientation >= JXL_ORIENT_TRANSPOSE;
      const int64_t w = swap ? info.ysize : info.xsize, h = swap ? info.xsize : info.ysize;
      if (!CheckSourceSize(w, h, "JPEG-XL", error)) return fail(out, error, error);
      width = int32_t(w);
      height = int32_t(h);
      const bool grey = info.num_color_channels == 1;
      format.num_channels = (grey ? 1 : 3) + (info.alpha_bits > 0 ? 1 : 0);
      // Deep samples in 16 bits, unless the picture is to be reduced anyway: libjxl rounds.
      format.data_type = info.bits_per_sample > 8 && uint64_t(w) * uint64_t(h) <= kMaxPixels ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8;
      JxlResizableParallelRunnerSetThreads(runner.get(), JxlResizableParallelRunnerSuggestThreads(info.xsize, info.ysize));
    } else if (status == JXL_DEC_COLOR_ENCODING) {
      JxlColorEncoding encoding{};
      if (!info.uses_original_profile) {
        // libjxl's own colour space: it converts to sRGB itself.
        JxlColorEncodingSetToSRGB(&encoding, info.num_color_channels == 1);
        JxlDecoderSetPreferredColorProfile(dec, &encoding);
      } else if (info.num_color_channels == 3 &&
                 !(JxlDecoderGetColorAsEncodedProfile(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &encoding) ==
                       JXL_DEC_SUCCESS &&
                   isSrgb(encoding))) {
        size_t iccSize = 0;
        if (JxlDecoderGetICCProfileSize(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &iccSize) == JXL_DEC_SUCCESS &&
            iccSize > 0 && iccSize <= kMaxProfileBytes) {
          std::vector<uint8_t> icc(iccSize);
          if (JxlDecoderGetColorAsICCProfile(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, icc.data(), icc.size()) ==
              JXL_DEC_SUCCESS)
            profile.open(icc.data(), icc.size(), ProfileInput::Bgr);
        }
      }
    } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
      size_t bytes = 0;
      const size_t expected = size_t(width) * size_t(height) * format.num_channels *
                              (format.data_type == JXL_TYPE_UINT16 ? 2 : 1);
      if (JxlDecoderImageOutBufferSize(dec, &format, &bytes) != JXL_DEC_SUCCESS || bytes != expected)
        return fail(out, error, "Die JPEG-XL-Datei ist beschädigt.");
      try {
        pixels.resize(bytes);
      } catch (const std::bad_alloc&) {
        return fail(out, error, "Nicht genug Speicher, um die JPEG-XL-Datei zu lesen.");
      }
      if (JxlDecoderSetImageOutBuffer(dec, &format, pixels.data(), pixels.size()) != JXL_DEC_SUCCESS)
        return fail(out, error, "Die JPEG-XL-Datei kann nicht gelesen werden.");
      progress.report(10);
    } else if (status == JXL_DEC_FULL_IMAGE) {
      break; // the first frame; an animation's others are not needed
    }
  }
  decoder.reset();
  runner.reset();
  progress.report(60);
  const int wide = format.data_type == JXL_TYPE_UINT16 ? 2 : 1;
  const DecodedRows rows{pixels.data(), size_t(width) * format.num_channels * size_t(wide), width, height,
                         int(format.num_channels), wide == 2 ? 16 : 8};
  if (!WritePicture(rows, kUpright, out, progress, error)) return fail(out, error, error);
  profile.convertDib(out);
  return true;
}

} // namespace velbrik
