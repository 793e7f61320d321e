// Reading a written video back in tests: what the streams are, chosen pictures as BGRA and the
// sound as mono samples at 44100 Hz, decoded by libavformat and libavcodec.
#pragma once
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace zem::test {

struct TVideoProbe {
  std::string videoCodec, audioCodec, pixelFormat;
  int32_t width = 0, height = 0;
  double fps = 0;
  int64_t frames = 0;          // video frames decoded
  int32_t sampleRate = 0;      // of the audio stream as stored
  std::vector<double> audio;   // decoded, mean of the channels, at 44100 Hz (full scale 32767)
  std::map<int64_t, std::vector<uint8_t>> pictures;  // kept frames: BGRA, top row first
};

namespace probe_detail {
struct TDecoder {
  AVCodecContext* ctx = nullptr;
  int stream = -1;
  ~TDecoder() { avcodec_free_context(&ctx); }
  bool Open(AVFormatContext* fmt, AVMediaType type) {
    const AVCodec* codec = nullptr;
    stream = av_find_best_stream(fmt, type, -1, -1, &codec, 0);
    if (stream < 0 || !codec) return false;
    ctx = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(ctx, fmt->streams[stream]->codecpar);
    ctx->pkt_timebase = fmt->streams[stream]->time_base;
    return avcodec_open2(ctx, codec, nullptr) >= 0;
  }
};
}  // namespace probe_detail

// Decodes the whole file; keeps the pictures of the frame indexes in `keep`.
inline bool ProbeVideo(const std::string& path, const std::set<int64_t>& keep, TVideoProbe& out, std::string& error) {
  AVFormatContext* fmt = nullptr;
  if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) {
    error = "cannot open " + path;
    return false;
  }
  struct TClose {
    AVFormatContext** f;
    ~TClose() { avformat_close_input(f); }
  } close{&fmt};
  if (avformat_find_stream_info(fmt, nullptr) < 0) {
    error = "no stream info";
    return false;
  }
  probe_detail::TDecoder video, audio;
  if (!video.Open(fmt, AVMEDIA_TYPE_VIDEO) || !audio.Open(fmt, AVMEDIA_TYPE_AUDIO)) {
    error = "a stream is missing or cannot be decoded";
    return false;
  }
  out.videoCodec = avcodec_get_name(video.ctx->codec_id);
  out.audioCodec = avcodec_get_name(audio.ctx->codec_id);
  out.pixelFormat = av_get_pix_fmt_name(video.ctx->pix_fmt) ? av_get_pix_fmt_name(video.ctx->pix_fmt) : "";
  out.width = video.ctx->width;
  out.height = video.ctx->height;
  out.fps = av_q2d(fmt->streams[video.stream]->avg_frame_rate);
  out.sampleRate = audio.ctx->sample_rate;
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  SwrContext* swr = nullptr;
  swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_S16, 44100, &audio.ctx->ch_layout, audio.ctx->sample_fmt,
                      audio.ctx->sample_rate, 0, nullptr);
  swr_init(swr);
  AVPacket* pkt = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  std::vector<int16_t> buf;
  auto addSound = [&](const uint8_t** data, int n) {
    const int room = swr_get_out_samples(swr, n) + 16;
    buf.resize(size_t(room) * 2);
    uint8_t* o[1] = {reinterpret_cast<uint8_t*>(buf.data())};
    const int got = swr_convert(swr, o, room, data, n);
    for (int i = 0; i < got; ++i) out.audio.push_back((buf[2 * size_t(i)] + buf[2 * size_t(i) + 1]) / 2.0);
  };
  auto drain = [&](probe_detail::TDecoder& d) {
    while (avcodec_receive_frame(d.ctx, frame) >= 0) {
      if (&d == &audio) {
        addSound(const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
      } else {
        const int64_t index = out.frames++;
        if (keep.count(index)) {
          SwsContext* sws = sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format), frame->width,
                                           frame->height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
          const int* coeffs = sws_getCoefficients(frame->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT);
          sws_setColorspaceDetails(sws, coeffs, frame->color_range == AVCOL_RANGE_JPEG, coeffs, 1, 0, 1 << 16, 1 << 16);
          std::vector<uint8_t>& pic = out.pictures[index];
          pic.resize(size_t(frame->width) * frame->height * 4);
          uint8_t* dst[1] = {pic.data()};
          int stride[1] = {frame->width * 4};
          sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, stride);
          sws_freeContext(sws);
        }
      }
      av_frame_unref(frame);
    }
  };
  while (av_read_frame(fmt, pkt) >= 0) {
    probe_detail::TDecoder* d = pkt->stream_index == video.stream ? &video : pkt->stream_index == audio.stream ? &audio : nullptr;
    if (d && avcodec_send_packet(d->ctx, pkt) >= 0) drain(*d);
    av_packet_unref(pkt);
  }
  for (probe_detail::TDecoder* d : {&video, &audio}) {
    avcodec_send_packet(d->ctx, nullptr);
    drain(*d);
  }
  addSound(nullptr, 0);
  av_frame_free(&frame);
  av_packet_free(&pkt);
  swr_free(&swr);
  return true;
}

// Peak signal-to-noise ratio (dB) of two BGRA pictures over their colour channels.
inline double PsnrBgra(const uint8_t* a, const uint8_t* b, size_t pixels) {
  double sum = 0;
  for (size_t i = 0; i < pixels; ++i)
    for (int c = 0; c < 3; ++c) {
      const double d = double(a[4 * i + c]) - double(b[4 * i + c]);
      sum += d * d;
    }
  const double mse = sum / (double(pixels) * 3);
  return mse <= 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace zem::test
