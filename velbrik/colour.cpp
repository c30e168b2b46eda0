// SPDX-License-Identifier: GPL-3.0-or-later
#include "colour.h"

#include <algorithm>
#include <new>

#include "platform/rows.h"

#include <lcms2_plugin.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace velbrik {

// The bytes a profile's context holds; blocks carry a header with their size and budget.
struct ColourProfile::Budget {
  std::atomic<size_t> used{0};
};

namespace {

void silent(cmsContext, cmsUInt32Number, const char*) {}

struct BlockHeader {
  ColourProfile::Budget* budget; // null for the context's own record, made before its user data
  size_t size;
};
static_assert(sizeof(BlockHeader) == 16, "keeps the blocks 16-byte aligned");

void* countedMalloc(cmsContext context, cmsUInt32Number size) {
  auto* budget = context != nullptr ? static_cast<ColourProfile::Budget*>(cmsGetContextUserData(context)) : nullptr;
  if (budget != nullptr) {
    const size_t before = budget->used.fetch_add(size);
    if (before + size > kMaxProfileMemory) {
      budget->used.fetch_sub(size);
      return nullptr;
    }
  }
  auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
  if (header == nullptr) {
    if (budget != nullptr) budget->used.fetch_sub(size);
    return nullptr;
  }
  header->budget = budget;
  header->size = size;
  return header + 1;
}

void countedFree(cmsContext, void* block) {
  if (block == nullptr) return;
  BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
  if (header->budget != nullptr) header->budget->used.fetch_sub(header->size);
  std::free(header);
}

void* countedRealloc(cmsContext context, void* block, cmsUInt32Number size) {
  void* grown = countedMalloc(context, size);
  if (grown == nullptr || block == nullptr) return grown;
  const BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
  std::memcpy(grown, block, header->size < size ? header->size : size);
  countedFree(context, block);
  return grown;
}

cmsPluginMemHandler countedMemory = {
    {cmsPluginMagicNumber, 2000, cmsPluginMemHandlerSig, nullptr},
    countedMalloc, countedFree, countedRealloc, nullptr, nullptr, nullptr};

cmsUInt32Number formatOf(ProfileInput input) {
  switch (input) {
  case ProfileInput::Grey: return TYPE_GRAY_8;
  case ProfileInput::Cmyk: return TYPE_CMYK_8;
  case ProfileInput::InvertedCmyk: return TYPE_CMYK_8_REV;
  case ProfileInput::Bgr: break;
  }
  return TYPE_BGR_8;
}

cmsColorSpaceSignature spaceOf(ProfileInput input) {
  switch (input) {
  case ProfileInput::Grey: return cmsSigGrayData;
  case ProfileInput::Cmyk:
  case ProfileInput::InvertedCmyk: return cmsSigCmykData;
  case ProfileInput::Bgr: break;
  }
  return cmsSigRgbData;
}

} // namespace

ColourProfile::~ColourProfile() {
  if (transform_ != nullptr) cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform_));
  if (context_ != nullptr) cmsDeleteContext(static_cast<cmsContext>(context_));
  delete budget_;
}

bool ColourProfile::makeContext() {
  if (context_ != nullptr || transform_ != nullptr) return false;
  budget_ = new (std::nothrow) Budget;
  if (budget_ == nullptr) return false;
  cmsContext context = cmsCreateContext(&countedMemory, budget_);
  if (context == nullptr) return false;
  cmsSetLogErrorHandlerTHR(context, silent);
  context_ = context;
  return true;
}

// Builds the conversion from `source` (closed here) to sRGB when it describes the pixels.
void ColourProfile::finish(void* source) {
  auto* profile = static_cast<cmsHPROFILE>(source);
  if (profile == nullptr) return;
  cmsContext context = static_cast<cmsContext>(context_);
  const cmsProfileClassSignature kind = cmsGetDeviceClass(profile);
  const bool usable = cmsGetColorSpace(profile) == spaceOf(input_) && kind != cmsSigLinkClass &&
                      kind != cmsSigAbstractClass && kind != cmsSigNamedColorClass;
  cmsHPROFILE srgb = usable ? cmsCreate_sRGBProfileTHR(context) : nullptr;
  if (srgb != nullptr) {
    transform_ = cmsCreateTransformTHR(context, profile, formatOf(input_), srgb, TYPE_BGR_8,
                                       INTENT_PERCEPTUAL, 0);
    cmsCloseProfile(srgb);
  }
  cmsCloseProfile(profile);
}

void ColourProfile::open(const uint8_t* icc, size_t size, ProfileInput input) {
  if (icc == nullptr || size < 132 || size > kMaxProfileBytes || !makeContext()) return;
  input_ = input;
  finish(cmsOpenProfileFromMemTHR(static_cast<cmsContext>(context_), icc, cmsUInt32Number(size)));
}

void ColourProfile::openRgb(const RgbSpace& space) {
  if (!makeContext()) return;
  input_ = ProfileInput::Bgr;
  cmsContext context = static_cast<cmsContext>(context_);
  const cmsCIExyY white = {space.white[0], space.white[1], 1};
  const cmsCIExyYTRIPLE primaries = {{space.red[0], space.red[1], 1},
                                     {space.green[0], space.green[1], 1},
                                     {space.blue[0], space.blue[1], 1}};
  cmsToneCurve* curve = cmsBuildParametricToneCurve(context, 4, space.curve);
  if (curve == nullptr) return;
  cmsToneCurve* curves[3] = {curve, curve, curve};
  finish(cmsCreateRGBProfileTHR(context, &white, &primaries, curves));
  cmsFreeToneCurve(curve);
}

void ColourProfile::convertDib(TDib& dib) const {
  if (transform_ == nullptr || input_ != ProfileInput::Bgr || dib.Info == nullptr ||
      dib.Info->bmiHeader.biBitCount != 24)
    return;
  const int32_t width = dib.Info->bmiHeader.biWidth;
  // Bands of about a megapixel.
  const int32_t grain = std::max<int32_t>(1, int32_t((1 << 20) / std::max(width, 1)));
  platform::ForEachRowBand(0, dib.Info->bmiHeader.biHeight, [&](int32_t first, int32_t end) {
    for (int32_t y = first; y < end; ++y) convertRow(DibRow(dib, y), width);
  }, grain);
}

void ColourProfile::convertRow(uint8_t* bgr, int32_t pixels) const {
  if (transform_ != nullptr && input_ == ProfileInput::Bgr && pixels > 0)
    cmsDoTransform(static_cast<cmsHTRANSFORM>(transform_), bgr, bgr, cmsUInt32Number(pixels));
}

void ColourProfile::convertCmyk(const uint8_t* cmyk, uint8_t* bgr, int32_t pixels) const {
  if (transform_ != nullptr && pixels > 0 &&
      (input_ == ProfileInput::Cmyk || input_ == ProfileInput::InvertedCmyk))
    cmsDoTransform(static_cast<cmsHTRANSFORM>(transform_), cmyk, bgr, cmsUInt32Number(pixels));
}

void ColourProfile::convertGrey(const uint8_t* grey, uint8_t* bgr, int32_t pixels) const {
  if (transform_ != nullptr && input_ == ProfileInput::Grey && pixels > 0)
    cmsDoTransform(static_cast<cmsHTRANSFORM>(transform_), grey, bgr, cmsUInt32Number(pixels));
}

void ColourProfile::convertPalette(TDib& dib) const {
  if (transform_ == nullptr || dib.Info == nullptr || dib.Info->bmiHeader.biBitCount > 8) return;
  if (input_ != ProfileInput::Bgr && input_ != ProfileInput::Grey) return;
  const int count = 1 << dib.Info->bmiHeader.biBitCount;
  for (int i = 0; i < count; ++i) {
    const VRgbQuad& q = dib.Info->bmiColors[i];
    const uint8_t in[3] = {q.rgbBlue, q.rgbGreen, q.rgbRed};
    const uint8_t grey = q.rgbRed;
    uint8_t out[3];
    cmsDoTransform(static_cast<cmsHTRANSFORM>(transform_), input_ == ProfileInput::Grey ? &grey : in,
                   out, 1);
    SetDibColour(dib, i, out[2], out[1], out[0]);
  }
  FinishPalette(dib);
}

} // namespace velbrik
