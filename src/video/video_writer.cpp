#include "video/video_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <vector>

namespace zem {

namespace {

struct TOut {
  AVFormatContext* fmt = nullptr;
  AVCodecContext* venc = nullptr;
  AVCodecContext* aenc = nullptr;
  AVStream* vst = nullptr;
  AVStream* ast = nullptr;
  SwrContext* swr = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* pkt = nullptr;
  ~TOut() {
    av_packet_free(&pkt);
    av_frame_free(&frame);
    swr_free(&swr);
    avcodec_free_context(&venc);
    avcodec_free_context(&aenc);
    if (fmt) {
      if (fmt->pb) avio_closep(&fmt->pb);
      avformat_free_context(fmt);
    }
  }
};

bool Drain(TOut& o, AVCodecContext* enc, AVStream* st) {
  while (true) {
    const int r = avcodec_receive_packet(enc, o.pkt);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
    if (r < 0) return false;
    av_packet_rescale_ts(o.pkt, enc->time_base, st->time_base);
    o.pkt->stream_index = st->index;
    if (av_interleaved_write_frame(o.fmt, o.pkt) < 0) return false;
  }
}

bool OpenVideo(TOut& o, const TVideoFileSpec& s) {
  const AVCodec* c = avcodec_find_encoder_by_name(s.videoCodec ? s.videoCodec : "mpeg4");
  if (!c || s.width < 2 || s.height < 2 || s.fpsNum <= 0 || s.fpsDen <= 0) return false;
  o.venc = avcodec_alloc_context3(c);
  o.vst = avformat_new_stream(o.fmt, nullptr);
  if (!o.venc || !o.vst) return false;
  AVCodecContext* e = o.venc;
  e->width = s.width;
  e->height = s.height;
  e->pix_fmt = AV_PIX_FMT_YUV420P;
  e->time_base = AVRational{s.fpsDen, s.fpsNum};
  e->framerate = AVRational{s.fpsNum, s.fpsDen};
  e->gop_size = std::max(1, s.gop);
  e->max_b_frames = 0;
  e->flags |= AV_CODEC_FLAG_QSCALE;
  e->global_quality = FF_QP2LAMBDA * std::max(1, s.quality);
  if (s.sarNum > 0 && s.sarDen > 0) e->sample_aspect_ratio = AVRational{s.sarNum, s.sarDen};
  if (s.fieldOrder != 0) {
    e->flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
    e->field_order = s.fieldOrder == 1 ? AV_FIELD_TT : AV_FIELD_BB;
  }
  if (o.fmt->oformat->flags & AVFMT_GLOBALHEADER) e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (avcodec_open2(e, c, nullptr) < 0) return false;
  if (avcodec_parameters_from_context(o.vst->codecpar, e) < 0) return false;
  o.vst->time_base = e->time_base;
  o.vst->avg_frame_rate = e->framerate;
  o.vst->sample_aspect_ratio = e->sample_aspect_ratio;
  if (s.title) av_dict_set(&o.vst->metadata, "title", s.title, 0);
  return true;
}

bool OpenAudio(TOut& o, const TVideoFileSpec& s) {
  const AVCodec* c = avcodec_find_encoder_by_name(s.audioCodec ? s.audioCodec : "pcm_s16le");
  if (!c || s.audioRate <= 0 || s.audioChannels < 1 || s.audioChannels > 2) return false;
  o.aenc = avcodec_alloc_context3(c);
  o.ast = avformat_new_stream(o.fmt, nullptr);
  if (!o.aenc || !o.ast) return false;
  AVCodecContext* e = o.aenc;
  e->sample_rate = s.audioRate;
  av_channel_layout_default(&e->ch_layout, s.audioChannels);
  e->sample_fmt = c->sample_fmts ? c->sample_fmts[0] : AV_SAMPLE_FMT_S16;
  e->time_base = AVRational{1, s.audioRate};
  if (c->id != AV_CODEC_ID_PCM_S16LE) e->bit_rate = 128000;
  if (o.fmt->oformat->flags & AVFMT_GLOBALHEADER) e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (avcodec_open2(e, c, nullptr) < 0) return false;
  if (avcodec_parameters_from_context(o.ast->codecpar, e) < 0) return false;
  o.ast->time_base = e->time_base;
  AVChannelLayout in{};
  av_channel_layout_default(&in, s.audioChannels);
  const int r = swr_alloc_set_opts2(&o.swr, &e->ch_layout, e->sample_fmt, e->sample_rate, &in, AV_SAMPLE_FMT_S16,
                                    s.audioRate, 0, nullptr);
  av_channel_layout_uninit(&in);
  return r >= 0 && o.swr && swr_init(o.swr) >= 0;
}

bool WriteVideoFrame(TOut& o, const TVideoFileSpec& s, int32_t n) {
  AVFrame* f = o.frame;
  av_frame_unref(f);
  f->format = AV_PIX_FMT_YUV420P;
  f->width = s.width;
  f->height = s.height;
  if (av_frame_get_buffer(f, 0) < 0) return false;
  uint8_t* const planes[3] = {f->data[0], f->data[1], f->data[2]};
  const int32_t strides[3] = {f->linesize[0], f->linesize[1], f->linesize[2]};
  if (s.picture) s.picture(s.user, n, planes, strides);
  f->pts = n;
  if (s.fieldOrder != 0) {
    f->interlaced_frame = 1;
    f->top_field_first = s.fieldOrder == 1;
  }
  if (avcodec_send_frame(o.venc, f) < 0) return false;
  return Drain(o, o.venc, o.vst);
}

bool WriteAudioFrame(TOut& o, const TVideoFileSpec& s, int64_t first, int32_t count) {
  std::vector<int16_t> pcm(size_t(count) * size_t(s.audioChannels), 0);
  if (s.sound) s.sound(s.user, first, count, pcm.data());
  AVFrame* f = o.frame;
  av_frame_unref(f);
  f->format = o.aenc->sample_fmt;
  f->nb_samples = count;
  f->sample_rate = o.aenc->sample_rate;
  if (av_channel_layout_copy(&f->ch_layout, &o.aenc->ch_layout) < 0 || av_frame_get_buffer(f, 0) < 0) return false;
  const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(pcm.data())};
  if (swr_convert(o.swr, f->data, count, in, count) < 0) return false;
  f->pts = first;
  if (avcodec_send_frame(o.aenc, f) < 0) return false;
  return Drain(o, o.aenc, o.ast);
}

}  // namespace

bool WriteVideoFile(const char* path, const TVideoFileSpec* clip, bool video, bool audio) {
  av_log_set_level(AV_LOG_QUIET);
  if (!path || !clip || (!video && !audio)) return false;
  const TVideoFileSpec& s = *clip;
  TOut o;
  if (avformat_alloc_output_context2(&o.fmt, nullptr, s.format, path) < 0 || !o.fmt) return false;
  o.frame = av_frame_alloc();
  o.pkt = av_packet_alloc();
  if (!o.frame || !o.pkt) return false;
  if (video && !OpenVideo(o, s)) return false;
  if (audio && !OpenAudio(o, s)) return false;
  if (!(o.fmt->oformat->flags & AVFMT_NOFILE) && avio_open(&o.fmt->pb, path, AVIO_FLAG_WRITE) < 0) return false;
  if (avformat_write_header(o.fmt, nullptr) < 0) return false;
  const int32_t chunk = audio ? (o.aenc->frame_size > 0 ? o.aenc->frame_size : 1024) : 0;
  int32_t n = 0;
  int64_t sample = 0;
  const int64_t samples = audio ? std::max<int64_t>(0, s.audioSamples) : 0;
  const int32_t frames = video ? std::max(0, s.frames) : 0;
  // Both streams in time order, so the file interleaves them.
  while (n < frames || sample < samples) {
    const double tv = n < frames ? double(n) * s.fpsDen / s.fpsNum : 1e300;
    const double ta = sample < samples ? double(sample) / s.audioRate : 1e300;
    if (tv <= ta) {
      if (!WriteVideoFrame(o, s, n++)) return false;
    } else {
      const int32_t count = int32_t(std::min<int64_t>(chunk, samples - sample));
      // Encoders with a fixed frame size take a short last frame only when they allow it.
      const bool fixed = o.aenc->frame_size > 0 &&
                         !(o.aenc->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
      if (!WriteAudioFrame(o, s, sample, fixed ? chunk : count)) return false;
      sample += count;
    }
  }
  if (o.venc && (avcodec_send_frame(o.venc, nullptr) < 0 || !Drain(o, o.venc, o.vst))) return false;
  if (o.aenc && (avcodec_send_frame(o.aenc, nullptr) < 0 || !Drain(o, o.aenc, o.ast))) return false;
  return av_write_trailer(o.fmt) >= 0;
}

}  // namespace zem
