// SPDX-License-Identifier: GPL-3.0-or-later
// HEIF (HEIC) and AVIF reading through libheif: the primary picture, with its grid of tiles
// joined, its rotation and mirroring applied and its alpha composed over white, by libheif.
// Samples of 10 and 12 bits are rounded to 8. Colours are converted to sRGB from the picture's
// ICC profile or, without one, from its colour information (nclx: primaries and tone curve).
#include "colour.h"
#include "decoder.h"
#include "photo.h"

#include <libheif/heif.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace velbrik {
namespace {

// Largest side libheif accepts in a file's boxes (images and tiles alike), checked by libheif
// while it reads them; the area is checked here before decoding.
constexpr int kHeifMaxSide = 65535;

struct ContextDeleter {
  void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleDeleter {
  void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageDeleter {
  void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsDeleter {
  void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};

bool fail(TDib& out, std::string& error, const std::string& message) {
  error = message;
  FailDib(out, error);
  return false;
}

std::string heifMessage(const char* format, const heif_error& e) {
  switch (e.code) {
  case heif_error_Memory_allocation_error:
    return std::string("Nicht genug Speicher, um die ") + format + "-Datei zu lesen.";
  case heif_error_Unsupported_filetype:
  case heif_error_Unsupported_feature:
    return std::string("Diese ") + format + "-Datei verwendet eine nicht unterstützte Eigenschaft.";
  case heif_error_Decoder_plugin_error:
    return std::string("Die ") + format + "-Datei ist beschädigt oder unvollständig.";
  default: break;
  }
  if (e.subcode == heif_suberror_End_of_data) return std::string("Die ") + format + "-Datei ist unvollständig.";
  if (e.subcode == heif_suberror_Security_limit_exceeded)
    return std::string("Die ") + format + "-Datei wird abgelehnt: sie überschreitet die Grenzen für Bildgröße oder Aufbau.";
  if (e.subcode == heif_suberror_Unsupported_codec)
    return std::string("Die ") + format + "-Datei ist mit einem Verfahren komprimiert, das nicht unterstützt wird.";
  return std::string("Die ") + format + "-Datei ist beschädigt.";
}

// The tone curve of an nclx transfer characteristic as LittleCMS's parametric type 4; false
// when sRGB shows it as it is (sRGB's own curve, the video curves close to it, and the ones
// not known here).
bool toneCurve(int transfer, double curve[5]) {
  auto set = [&](double g, double a, double b, double c, double d) {
    const double values[5] = {g, a, b, c, d};
    std::memcpy(curve, values, sizeof values);
  };
  switch (transfer) {
  case heif_transfer_characteristic_ITU_R_BT_709_5:
  case heif_transfer_characteristic_ITU_R_BT_601_6:
  case heif_transfer_characteristic_ITU_R_BT_2020_2_10bit:
  case heif_transfer_characteristic_ITU_R_BT_2020_2_12bit:
    set(1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081);
    return false;
  case heif_transfer_characteristic_ITU_R_BT_470_6_System_M: set(2.2, 1, 0, 0, 0); return true;
  case heif_transfer_characteristic_ITU_R_BT_470_6_System_B_G: set(2.8, 1, 0, 0, 0); return true;
  case heif_transfer_characteristic_linear: set(1, 1, 0, 0, 0); return true;
  default: set(2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045); return false;
  }
}

// The conversion to sRGB the picture asks for; inactive for sRGB and BT.709 pictures.
void openColour(const heif_image_handle* handle, ColourProfile& profile) {
  const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
  if (type == heif_color_profile_type_prof || type == heif_color_profile_type_rICC) {
    const size_t size = heif_image_handle_get_raw_color_profile_size(handle);
    if (size == 0 || size > kMaxProfileBytes) return;
    std::vector<uint8_t> icc(size);
    if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code == heif_error_Ok)
      profile.open(icc.data(), icc.size(), ProfileInput::Bgr);
    return;
  }
  heif_color_profile_nclx* nclx = nullptr;
  if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok || nclx == nullptr) return;
  RgbSpace space{};
  const bool curved = toneCurve(nclx->transfer_characteristics, space.curve);
  const bool ownPrimaries = nclx->color_primaries != heif_color_primaries_ITU_R_BT_709_5 &&
                            nclx->color_primaries != heif_color_primaries_unspecified;
  space.red[0] = nclx->color_primary_red_x, space.red[1] = nclx->color_primary_red_y;
  space.green[0] = nclx->color_primary_green_x, space.green[1] = nclx->color_primary_green_y;
  space.blue[0] = nclx->color_primary_blue_x, space.blue[1] = nclx->color_primary_blue_y;
  space.white[0] = nclx->color_primary_white_x, space.white[1] = nclx->color_primary_white_y;
  heif_nclx_color_profile_free(nclx);
  if (ownPrimaries || curved) profile.openRgb(space);
}

// libheif's progress (tiles decoded), reported only from the thread that opens the file: the
// window's messages belong to it, and libheif may decode tiles on threads of its own.
struct HeifSteps {
  Progress* progress;
  int total;
  std::thread::id opener;
};

void onProgress(heif_progress_step, int done, void* user) {
  auto* steps = static_cast<HeifSteps*>(user);
  if (steps->total > 0 && std::this_thread::get_id() == steps->opener)
    steps->progress->report(10 + 50 * done / steps->total);
}
void onStart(heif_progress_step, int total, void* user) { static_cast<HeifSteps*>(user)->total = total; }

} // namespace

bool DecodeHeif(const uint8_t* data, size_t size, TDib& out, Progress& progress, std::string& error) {
  std::memset(&out, 0, sizeof out);
  const char* format = size >= 12 && (std::memcmp(data + 8, "avif", 4) == 0 || std::memcmp(data + 8, "avis", 4) == 0)
                           ? "AVIF"
                           : "HEIF";
  std::unique_ptr<heif_context, ContextDeleter> context(heif_context_alloc());
  if (!context) return fail(out, error, std::string("Nicht genug Speicher, um die ") + format + "-Datei zu lesen.");
  heif_context_set_maximum_image_size_limit(context.get(), kHeifMaxSide);
  heif_error e = heif_context_read_from_memory_without_copy(context.get(), data, size, nullptr);
  if (e.code != heif_error_Ok) return fail(out, error, heifMessage(format, e));
  heif_image_handle* rawHandle = nullptr;
  e = heif_context_get_primary_image_handle(context.get(), &rawHandle);
  std::unique_ptr<heif_image_handle, HandleDeleter> handle(rawHandle);
  if (e.code != heif_error_Ok || !handle) return fail(out, error, heifMessage(format, e));

  // The size as shown (after rotation), before anything of that size is decoded.
  if (!CheckSourceSize(heif_image_handle_get_width(handle.get()), heif_image_handle_get_height(handle.get()), format,
                       error))
    return fail(out, error, error);
  const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
  const int bits = heif_image_handle_get_luma_bits_per_pixel(handle.get());
  const bool wide = bits > 8;
  const heif_chroma chroma = wide ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                  : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);

  std::unique_ptr<heif_decoding_options, OptionsDeleter> options(heif_decoding_options_alloc());
  if (!options) return fail(out, error, std::string("Nicht genug Speicher, um die ") + format + "-Datei zu lesen.");
  options->ignore_transformations = 0; // rotation, mirroring and cropping applied by libheif
  options->strict_decoding = 1;        // a damaged stream is an error, not a grey picture
  HeifSteps steps{&progress, 0, std::this_thread::get_id()};
  options->start_progress = onStart;
  options->on_progress = onProgress;
  options->progress_user_data = &steps;
  heif_image* rawImage = nullptr;
  progress.report(10);
  e = heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, chroma, options.get());
  std::unique_ptr<heif_image, ImageDeleter> image(rawImage);
  if (e.code != heif_error_Ok || !image) return fail(out, error, heifMessage(format, e));

  int stride = 0;
  const uint8_t* plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
  const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
  const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
  const int depth = heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved);
  if (plane == nullptr || stride <= 0 || !CheckSourceSize(width, height, format, error) ||
      (wide ? depth < 9 || depth > 16 : depth != 8))
    return fail(out, error, error.empty() ? std::string("Die ") + format + "-Datei ist beschädigt." : error);
  if (size_t(stride) < size_t(width) * (alpha ? 4 : 3) * (wide ? 2 : 1))
    return fail(out, error, std::string("Die ") + format + "-Datei ist beschädigt.");

  const DecodedRows rows{plane, size_t(stride), width, height, alpha ? 4 : 3, wide ? depth : 8};
  if (!WritePicture(rows, kUpright, out, progress, error)) return fail(out, error, error);
  image.reset();
  ColourProfile profile;
  openColour(handle.get(), profile);
  profile.convertDib(out);
  return true;
}

} // namespace velbrik
