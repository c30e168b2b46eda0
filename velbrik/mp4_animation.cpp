// SPDX-License-Identifier: GPL-3.0-or-later
// The MP4 writer: frames converted to yuv420p by libswscale, encoded by libavcodec's H.264
// encoder, muxed by libavformat into the temporary file.
#include "file_writing.h"
#include "video_animation.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <map>

namespace velbrik {
namespace {

std::string quoted(const std::string& name) { return "\xE2\x80\x9E" + name + "\xE2\x80\x9C"; }

class TMp4Writer final : public TRgbAnimationWriter {
public:
  ~TMp4Writer() override { Release(); }
  bool Open(const std::string& path, int32_t width, int32_t height, std::string& error) override;
  bool AddFrame(const uint8_t* rgb, int32_t delay, std::string& error) override;
  bool Finish(std::string& error) override;

private:
  bool Failed(const std::string& reason, std::string& error);
  bool Failed(int code, const std::string& reason, std::string& error);
  // Sends a frame (nullptr: the end) and writes every packet the encoder gives back.
  bool Encode(AVFrame* frame, std::string& error);
  void Release();

  std::string FPath;
  TTemporaryFile FTemp;
  AVFormatContext* FFormat = nullptr;
  AVCodecContext* FCodec = nullptr;
  AVStream* FStream = nullptr;
  SwsContext* FScale = nullptr;
  AVFrame* FFrame = nullptr;
  AVPacket* FPacket = nullptr;
  std::map<int64_t, int32_t> FDelays; // by presentation time, until the frame's packet comes
  int64_t FNextPts = 0;
  int32_t FWidth = 0, FHeight = 0;
};

void TMp4Writer::Release() {
  if (FFormat != nullptr) {
    if (FFormat->pb != nullptr) avio_closep(&FFormat->pb);
    avformat_free_context(FFormat);
    FFormat = nullptr;
  }
  avcodec_free_context(&FCodec);
  sws_freeContext(FScale);
  FScale = nullptr;
  av_frame_free(&FFrame);
  av_packet_free(&FPacket);
  FStream = nullptr;
  FDelays.clear();
  FTemp.Discard();
}

bool TMp4Writer::Failed(const std::string& reason, std::string& error) {
  error = "Die Datei " + quoted(FPath) + " konnte nicht gespeichert werden: " + reason;
  Release();
  return false;
}

// An error of the operating system says why; the library's other errors get `reason`.
bool TMp4Writer::Failed(int code, const std::string& reason, std::string& error) {
  const int err = AVUNERROR(code);
  return Failed(code < 0 && err > 0 && err < 4096 && err != EINVAL ? writeReason(err) : reason, error);
}

bool TMp4Writer::Open(const std::string& path, int32_t width, int32_t height, std::string& error) {
  Release();
  FPath = path;
  FWidth = width;
  FHeight = height;
  FNextPts = 0;
  if (width < 2 || height < 2 || width > kMaxVideoSide || height > kMaxVideoSide || width % 2 || height % 2)
    return Failed("Ein MP4-Video braucht gerade Seitenlängen von 2 bis 8192 Pixeln.", error);
  const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
  if (codec == nullptr) codec = avcodec_find_encoder(AV_CODEC_ID_H264);
  if (codec == nullptr) return Failed("Es ist kein H.264-Kodierer installiert.", error);
  std::string reason;
  if (!FTemp.Create(path, reason)) return Failed(reason, error);
  // "file:" keeps a colon in the name from being taken for another protocol.
  const std::string url = "file:" + FTemp.Name();
  if (avformat_alloc_output_context2(&FFormat, nullptr, "mp4", url.c_str()) < 0 || FFormat == nullptr)
    return Failed("Das MP4-Format ist nicht verfügbar.", error);
  FStream = avformat_new_stream(FFormat, nullptr);
  FCodec = avcodec_alloc_context3(codec);
  FFrame = av_frame_alloc();
  FPacket = av_packet_alloc();
  if (FStream == nullptr || FCodec == nullptr || FFrame == nullptr || FPacket == nullptr)
    return Failed("Nicht genug Speicher für das Video.", error);
  FCodec->width = width;
  FCodec->height = height;
  FCodec->pix_fmt = AV_PIX_FMT_YUV420P;
  FCodec->time_base = AVRational{1, 100}; // the delays' unit
  FCodec->sample_aspect_ratio = AVRational{1, 1};
  // libswscale's RGB to YUV: BT.601 matrix, limited range; the colours are sRGB's.
  FCodec->colorspace = AVCOL_SPC_SMPTE170M;
  FCodec->color_range = AVCOL_RANGE_MPEG;
  FCodec->color_primaries = AVCOL_PRI_BT709;
  FCodec->color_trc = AVCOL_TRC_IEC61966_2_1;
  if (FFormat->oformat->flags & AVFMT_GLOBALHEADER) FCodec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  AVDictionary* codecOptions = nullptr;
  if (std::string(codec->name) == "libx264") {
    av_dict_set(&codecOptions, "crf", "20", 0);
    av_dict_set(&codecOptions, "preset", "medium", 0);
    // The frames the rate control looks ahead are held in memory: about 100 MB of them at most.
    const int64_t lookahead = std::clamp<int64_t>(100'000'000 / (int64_t(width) * height * 3 / 2), 4, 40);
    av_dict_set(&codecOptions, "rc-lookahead", std::to_string(lookahead).c_str(), 0);
  } else {
    FCodec->bit_rate = int64_t(width) * height * 4; // about 4 bits a pixel a second
  }
  int code = avcodec_open2(FCodec, codec, &codecOptions);
  av_dict_free(&codecOptions);
  if (code < 0) return Failed(code, "Der H.264-Kodierer nimmt diese Bildgröße nicht an.", error);
  if (avcodec_parameters_from_context(FStream->codecpar, FCodec) < 0)
    return Failed("Nicht genug Speicher für das Video.", error);
  FStream->time_base = FCodec->time_base;
  FFrame->format = AV_PIX_FMT_YUV420P;
  FFrame->width = width;
  FFrame->height = height;
  if (av_frame_get_buffer(FFrame, 0) < 0) return Failed("Nicht genug Speicher für das Video.", error);
  FScale = sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, AV_PIX_FMT_YUV420P,
                          SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
  if (FScale == nullptr) return Failed("Nicht genug Speicher für das Video.", error);
  code = avio_open(&FFormat->pb, url.c_str(), AVIO_FLAG_WRITE);
  if (code < 0) return Failed(code, "Die Datei konnte nicht angelegt werden.", error);
  AVDictionary* muxOptions = nullptr;
  av_dict_set(&muxOptions, "movflags", "+faststart", 0);
  code = avformat_write_header(FFormat, &muxOptions);
  av_dict_free(&muxOptions);
  if (code < 0) return Failed(code, "Die Datei konnte nicht geschrieben werden.", error);
  return true;
}

bool TMp4Writer::Encode(AVFrame* frame, std::string& error) {
  int code = avcodec_send_frame(FCodec, frame);
  if (code < 0) return Failed(code, "Der H.264-Kodierer hat das Bild nicht angenommen.", error);
  for (;;) {
    code = avcodec_receive_packet(FCodec, FPacket);
    if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return true;
    if (code < 0) return Failed(code, "Der H.264-Kodierer ist gescheitert.", error);
    const auto delay = FDelays.find(FPacket->pts);
    if (delay != FDelays.end()) {
      FPacket->duration = delay->second;
      FDelays.erase(delay);
    }
    av_packet_rescale_ts(FPacket, FCodec->time_base, FStream->time_base);
    FPacket->stream_index = FStream->index;
    code = av_interleaved_write_frame(FFormat, FPacket);
    av_packet_unref(FPacket);
    if (code < 0) return Failed(code, "Die Datei konnte nicht geschrieben werden.", error);
  }
}

bool TMp4Writer::AddFrame(const uint8_t* rgb, int32_t delay, std::string& error) {
  if (FCodec == nullptr) {
    error = "Die Datei " + quoted(FPath) + " ist nicht zum Schreiben geöffnet.";
    return false;
  }
  if (delay < 1 || delay > 65535) return Failed("Ungültige Anzeigedauer eines Bildes.", error);
  if (av_frame_make_writable(FFrame) < 0) return Failed("Nicht genug Speicher für das Video.", error);
  const uint8_t* const planes[1] = {rgb};
  const int strides[1] = {FWidth * 3};
  sws_scale(FScale, planes, strides, 0, FHeight, FFrame->data, FFrame->linesize);
  FFrame->pts = FNextPts;
  FDelays[FNextPts] = delay;
  FNextPts += delay;
  return Encode(FFrame, error);
}

bool TMp4Writer::Finish(std::string& error) {
  if (FCodec == nullptr) {
    error = "Die Datei " + quoted(FPath) + " ist nicht zum Schreiben geöffnet.";
    return false;
  }
  if (!Encode(nullptr, error)) return false;
  int code = av_write_trailer(FFormat);
  if (code < 0) return Failed(code, "Die Datei konnte nicht geschrieben werden.", error);
  code = avio_closep(&FFormat->pb);
  if (code < 0) return Failed(code, "Die Datei konnte nicht geschrieben werden.", error);
  std::string reason;
  if (!FTemp.Commit(reason)) return Failed(reason, error);
  Release();
  return true;
}

} // namespace

std::unique_ptr<TRgbAnimationWriter> NewMp4Writer() {
  av_log_set_level(AV_LOG_ERROR); // the encoder's statistics are of no use to the user
  return std::make_unique<TMp4Writer>();
}

} // namespace velbrik
