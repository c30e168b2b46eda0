// SPDX-License-Identifier: GPL-3.0-or-later
#include "colour.h"

#include <lcms2.h>

namespace velbrik {
namespace {

void silent(cmsContext, cmsUInt32Number, const char*) {}

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
}

void ColourProfile::open(const uint8_t* icc, size_t size, ProfileInput input) {
  if (icc == nullptr || size < 132 || size > kMaxProfileBytes || transform_ != nullptr) return;
  input_ = input;
  cmsContext context = cmsCreateContext(nullptr, nullptr);
  if (context == nullptr) return;
  cmsSetLogErrorHandlerTHR(context, silent);
  context_ = context;
  cmsHPROFILE source = cmsOpenProfileFromMemTHR(context, icc, cmsUInt32Number(size));
  if (source == nullptr) return;
  const cmsProfileClassSignature kind = cmsGetDeviceClass(source);
  const bool usable = cmsGetColorSpace(source) == spaceOf(input) && kind != cmsSigLinkClass &&
                      kind != cmsSigAbstractClass && kind != cmsSigNamedColorClass;
  cmsHPROFILE srgb = usable ? cmsCreate_sRGBProfileTHR(context) : nullptr;
  if (srgb != nullptr) {
    transform_ = cmsCreateTransformTHR(context, source, formatOf(input), srgb, TYPE_BGR_8,
                                       INTENT_PERCEPTUAL, 0);
    cmsCloseProfile(srgb);
  }
  cmsCloseProfile(source);
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
