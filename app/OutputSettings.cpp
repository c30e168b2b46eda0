// SPDX-License-Identifier: GPL-3.0-or-later
#include "OutputSettings.h"

#include <QSettings>

#include <algorithm>
#include <memory>

namespace {

std::unique_ptr<QSettings> Settings() {
  return std::make_unique<QSettings>(QStringLiteral("morphane"), QStringLiteral("morphane"));
}

} // namespace

bool ReadSmoothSetting() {
  const std::unique_ptr<QSettings> s = Settings();
  return s->value(QStringLiteral("rendering/smooth"), false).toBool();
}

void WriteSmoothSetting(bool On) {
  const std::unique_ptr<QSettings> s = Settings();
  s->setValue(QStringLiteral("rendering/smooth"), On);
}

warp::TAnimationOptions ReadAnimationSetting() {
  const std::unique_ptr<QSettings> s = Settings();
  warp::TAnimationOptions o;
  const auto read = [&](const char* key, int32_t fallback, int32_t lo, int32_t hi) {
    bool ok = false;
    const int v = s->value(QString("animation/") + key).toInt(&ok);
    return ok ? std::clamp<int32_t>(v, lo, hi) : fallback;
  };
  o.Frames = read("frames", o.Frames, warp::kMinFrames, warp::kMaxFrames);
  o.DurationMs = read("duration_ms", o.DurationMs, warp::kMinDurationMs, warp::kMaxDurationMs);
  o.LongerSide = read("longer_side", o.LongerSide, 0, warp::kMaxLongerSide);
  o.BackAgain = s->value(QStringLiteral("animation/back_again"), o.BackAgain).toBool();
  return o;
}

void WriteAnimationSetting(const warp::TAnimationOptions& Options) {
  const std::unique_ptr<QSettings> s = Settings();
  s->setValue(QStringLiteral("animation/frames"), Options.Frames);
  s->setValue(QStringLiteral("animation/duration_ms"), Options.DurationMs);
  s->setValue(QStringLiteral("animation/longer_side"), Options.LongerSide);
  s->setValue(QStringLiteral("animation/back_again"), Options.BackAgain);
}
