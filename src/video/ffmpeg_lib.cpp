#include "video/ffmpeg_lib.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>

#include "foundation/stream.h"
#include "video/video_writer.h"

namespace zem {

namespace {

std::atomic<bool> g_present{true};
std::atomic<int64_t> g_max_pixels{kMaxVideoPixels};

constexpr int kIoBufferSize = 32768;
// Packets kept for a stream nobody reads yet before the oldest are dropped.
constexpr size_t kMaxQueued = 512;
// Packets read while looking for one of a given stream before giving up.
constexpr int kMaxReadsForPacket = 4096;
// Containers the library opens; demuxers that reach out to other files are not among them.
constexpr const char* kFormatWhitelist =
    "avi,matroska,webm,mov,mp4,m4a,3gp,3g2,mj2,mpeg,mpegvideo,flv,mpegts,asf,ogg,wav,mp3,aac,flac,h264,hevc,"
    "m4v,ivf,mjpeg,dv,yuv4mpegpipe";

// Codec ids as the player numbers them; others are 1000 + FFmpeg's id.
int32_t PlayerCodecId(const AVCodecParameters* p) {
  switch (p->codec_id) {
    case AV_CODEC_ID_MPEG1VIDEO: return 1;
    case AV_CODEC_ID_MPEG2VIDEO: return 2;
    case AV_CODEC_ID_MPEG4:
      return p->codec_tag == MKTAG('X', 'V', 'I', 'D') || p->codec_tag == MKTAG('x', 'v', 'i', 'd') ? 63 : 13;
    case AV_CODEC_ID_MSMPEG4V1: return 15;
    case AV_CODEC_ID_MSMPEG4V2: return 16;
    case AV_CODEC_ID_MSMPEG4V3: return 17;
    case AV_CODEC_ID_H264: return 28;
    case AV_CODEC_ID_MSVIDEO1: return 47;
    default: return 1000 + int32_t(p->codec_id);
  }
}

AVPixelFormat AvFormatOf(int32_t f) {
  switch (f) {
    case kPixYuv420: return AV_PIX_FMT_YUV420P;
    case kPixRgb24: return AV_PIX_FMT_RGB24;
    case kPixBgra: return AV_PIX_FMT_BGRA;
    case kPixRgba: return AV_PIX_FMT_RGBA;
    default: return f >= kPixOther ? AVPixelFormat(f - kPixOther) : AV_PIX_FMT_NONE;
  }
}

// The pixel format the library delivers decoded frames in.
int32_t PlayerPixelFormat(int f) {
  if (f == AV_PIX_FMT_YUV420P) return kPixYuv420;
  if (f == AV_PIX_FMT_BGRA) return kPixBgra;
  if (f == AV_PIX_FMT_RGBA) return kPixRgba;
  if (f < 0) return kPixYuv420;
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(AVPixelFormat(f));
  // Pictures with an alpha channel arrive packed, so the drawer can show their transparency.
  if (d && (d->flags & AV_PIX_FMT_FLAG_ALPHA)) return kPixBgra;
  return kPixOther + f;
}

struct TPacketQueue {
  std::deque<AVPacket*> q;
  ~TPacketQueue() { Clear(); }
  void Clear() {
    for (AVPacket* p : q) av_packet_free(&p);
    q.clear();
  }
  void Push(AVPacket* p) {
    if (q.size() >= kMaxQueued) {
      av_packet_free(&q.front());
      q.pop_front();
    }
    q.push_back(p);
  }
};

}  // namespace

struct TFFPrivate {
  AVFormatContext* fmt = nullptr;
  AVIOContext* io = nullptr;
  void* stream = nullptr;
  const TStreamRoutines* routines = nullptr;
  std::unique_ptr<TStream> ownStream;  // OpenMediaFile2
  AVStream* vst = nullptr;
  AVCodecContext* vdec = nullptr;
  bool vdecFailed = false;
  bool vdrained = false;
  AVFrame* vframe = nullptr;
  int vpixfmt = AV_PIX_FMT_NONE;
  bool alpha = false;
  int audioIndex = -1;  // stream index of the open audio track
  AVCodecContext* adec = nullptr;
  bool adrained = false;
  AVFrame* aframe = nullptr;
  SwrContext* swr = nullptr;
  int outChannels = 0;
  int outRate = 0;
  // What the resampler was made for; a frame that differs (MPEG audio may switch between mono
  // and stereo) gets a new one.
  int swrFormat = -1, swrRate = 0;
  AVChannelLayout swrLayout{};
  int64_t audioCurrent = kNoPts;  // time stamp of the next audio packet
  int peekStream = -1;
  int wantIndex = -1;  // the stream Peek is reading for
  TPacketQueue vq, aq, pq;
  bool eof = false;
  int64_t lastPts = kNoPts, lastDts = kNoPts;
  int64_t lastVideoEnd = kNoPts;
  std::vector<int> audioStreams;
  std::string tag;
  std::map<std::tuple<int, int, int, int, int, int>, SwsContext*> sws;

  ~TFFPrivate() {
    for (auto& [k, s] : sws) sws_freeContext(s);
    swr_free(&swr);
    av_channel_layout_uninit(&swrLayout);
    avcodec_free_context(&adec);
    avcodec_free_context(&vdec);
    av_frame_free(&vframe);
    av_frame_free(&aframe);
    vq.Clear();
    aq.Clear();
    pq.Clear();
    avformat_close_input(&fmt);
    if (io) {
      av_freep(&io->buffer);
      avio_context_free(&io);
    }
  }

  SwsContext* Scaler(int sw, int sh, int sf, int dw, int dh, int df) {
    auto key = std::make_tuple(sw, sh, sf, dw, dh, df);
    auto it = sws.find(key);
    if (it != sws.end()) return it->second;
    SwsContext* c = sws_getContext(sw, sh, AVPixelFormat(sf), dw, dh, AVPixelFormat(df), SWS_BILINEAR, nullptr,
                                   nullptr, nullptr);
    if (c) sws.emplace(key, c);
    return c;
  }
};

namespace {

// ---------------------------------------------------------------------------------------------
// Stream access through the routines (32-bit offsets: long seeks go in steps)

int IoRead(void* opaque, uint8_t* buf, int size) {
  auto* p = static_cast<TFFPrivate*>(opaque);
  const int64_t got = p->routines->read(p->stream, buf, size);
  if (got <= 0) return AVERROR_EOF;
  return int(std::min<int64_t>(got, size));
}

int64_t SeekTo(TFFPrivate* p, int64_t pos) {
  // A position past the end (a broken index may ask for one) is refused: long seeks go in
  // 32-bit steps, and stepping towards a huge position would not end.
  if (pos < 0 || pos > p->routines->size(p->stream)) return -1;
  if (pos <= INT32_MAX) return p->routines->seek(p->stream, int32_t(pos), 0);
  int64_t at = p->routines->seek(p->stream, INT32_MAX, 0);
  while (at >= 0 && at < pos) {
    const int64_t step = std::min<int64_t>(pos - at, INT32_MAX);
    const int64_t next = p->routines->seek(p->stream, int32_t(step), 1);
    if (next <= at) return -1;
    at = next;
  }
  return at;
}

int64_t IoSeek(void* opaque, int64_t offset, int whence) {
  auto* p = static_cast<TFFPrivate*>(opaque);
  const int64_t size = p->routines->size(p->stream);
  switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return size;
    case SEEK_SET: return SeekTo(p, offset);
    case SEEK_CUR: return SeekTo(p, p->routines->tell(p->stream) + offset);
    case SEEK_END: return SeekTo(p, size + offset);
    default: return -1;
  }
}

// Demuxers never open other files on their own.
int RefuseOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) { return AVERROR(EPERM); }

// ---------------------------------------------------------------------------------------------
// Packets

bool Routed(TFFPrivate* p, int index) {
  return (p->vdec && p->vst && index == p->vst->index) || (p->adec && index == p->audioIndex) ||
         index == p->peekStream || index == p->wantIndex;
}

TPacketQueue* QueueOf(TFFPrivate* p, int index) {
  if (p->vst && index == p->vst->index) return &p->vq;
  if (index == p->audioIndex) return &p->aq;
  return &p->pq;
}

// Reads one packet into its stream's queue; false at the end or on a read error.
bool ReadOne(TFFPrivate* p) {
  if (p->eof) return false;
  AVPacket* pkt = av_packet_alloc();
  if (!pkt) return false;
  if (av_read_frame(p->fmt, pkt) < 0) {
    av_packet_free(&pkt);
    p->eof = true;
    return false;
  }
  if (!Routed(p, pkt->stream_index)) {
    av_packet_free(&pkt);
    return true;
  }
  if (p->vst && pkt->stream_index == p->vst->index) {
    p->lastPts = pkt->pts;
    p->lastDts = pkt->dts;
  }
  QueueOf(p, pkt->stream_index)->Push(pkt);
  return true;
}

// The next packet of a stream, left in its queue; null at the end.
AVPacket* Peek(TFFPrivate* p, int index) {
  TPacketQueue* q = QueueOf(p, index);
  if (q == &p->pq && p->peekStream != index) {
    p->pq.Clear();
    p->peekStream = index;
  }
  p->wantIndex = index;
  for (int n = 0; q->q.empty() && n < kMaxReadsForPacket; ++n)
    if (!ReadOne(p)) break;
  p->wantIndex = -1;
  return q->q.empty() ? nullptr : q->q.front();
}

void DropFront(TPacketQueue& q) {
  if (q.q.empty()) return;
  av_packet_free(&q.q.front());
  q.q.pop_front();
}

void ClearAfterSeek(TFFPrivate* p) {
  p->vq.Clear();
  p->aq.Clear();
  p->pq.Clear();
  p->eof = false;
  p->vdrained = p->adrained = false;
  if (p->vdec) avcodec_flush_buffers(p->vdec);
  if (p->adec) avcodec_flush_buffers(p->adec);
  p->audioCurrent = kNoPts;
  p->lastVideoEnd = kNoPts;
}

// Decodes the next frame of a decoder fed from its queue; false at the end.
bool DecodeNext(TFFPrivate* p, AVCodecContext* dec, int index, bool& drained, AVFrame* out) {
  int badPackets = 0;
  for (int guard = 0; guard < 100000; ++guard) {
    const int r = avcodec_receive_frame(dec, out);
    if (r == 0) return true;
    if (r == AVERROR_EOF) return false;
    if (r != AVERROR(EAGAIN)) {
      // A decoder that reports a hard error is restarted from the next packets.
      avcodec_flush_buffers(dec);
      if (++badPackets > 64) return false;
    }
    if (drained) return false;
    AVPacket* pkt = Peek(p, index);
    if (!pkt) {
      drained = true;
      avcodec_send_packet(dec, nullptr);
      continue;
    }
    const int s = avcodec_send_packet(dec, pkt);
    if (s == AVERROR(EAGAIN)) continue;  // output first; the packet stays queued
    if (index == p->audioIndex && pkt->pts != AV_NOPTS_VALUE) p->audioCurrent = pkt->pts;
    DropFront(*QueueOf(p, index));
    if (s < 0 && ++badPackets > 64) return false;  // broken packets are skipped, up to a point
  }
  return false;
}

bool OpenVideoDecoder(TMediaContext* ctx) {
  TFFPrivate* p = ctx->priv;
  if (p->vdec) return true;
  if (p->vdecFailed || !p->vst) return false;
  p->vdecFailed = true;
  const AVCodecParameters* par = p->vst->codecpar;
  const AVCodec* codec = nullptr;
  if (p->alpha) {
    if (par->codec_id == AV_CODEC_ID_VP9) codec = avcodec_find_decoder_by_name("libvpx-vp9");
    if (par->codec_id == AV_CODEC_ID_VP8) codec = avcodec_find_decoder_by_name("libvpx");
  }
  if (!codec) codec = avcodec_find_decoder(par->codec_id);
  if (!codec) return false;
  AVCodecContext* dec = avcodec_alloc_context3(codec);
  if (!dec) return false;
  if (avcodec_parameters_to_context(dec, par) < 0) {
    avcodec_free_context(&dec);
    return false;
  }
  dec->max_pixels = g_max_pixels.load();
  dec->thread_count = 0;
  dec->pkt_timebase = p->vst->time_base;
  AVDictionary* opts = nullptr;
  av_dict_set(&opts, "threads", "auto", 0);
  const int r = avcodec_open2(dec, codec, &opts);
  av_dict_free(&opts);
  if (r < 0) {
    avcodec_free_context(&dec);
    return false;
  }
  if (dec->thread_count > 4) dec->thread_count = 4;
  p->vdec = dec;
  p->vdecFailed = false;
  if (!p->vframe) p->vframe = av_frame_alloc();
  return p->vframe != nullptr;
}

// ---------------------------------------------------------------------------------------------
// Frame buffers

AVFrame* FrameOf(TFrameBuffer* b) { return static_cast<AVFrame*>(b->frame); }

void Expose(TFrameBuffer* b) {
  AVFrame* f = FrameOf(b);
  for (int i = 0; i < 3; ++i) {
    b->data[i] = f->data[i];
    b->stride[i] = f->linesize[i];
  }
}

// Gives the buffer its own picture memory of its format and the context's size.
bool OwnMemory(TMediaContext* ctx, TFrameBuffer* b) {
  AVFrame* f = FrameOf(b);
  const AVPixelFormat fmt = AvFormatOf(b->pixelFormat);
  if (fmt == AV_PIX_FMT_NONE) return false;
  if (f->buf[0] && f->format == fmt && f->width == ctx->width && f->height == ctx->height &&
      av_frame_is_writable(f))
    return true;
  av_frame_unref(f);
  f->format = fmt;
  f->width = ctx->width;
  f->height = ctx->height;
  if (av_frame_get_buffer(f, 0) < 0) return false;
  Expose(b);
  return true;
}

// Puts a decoded frame into the buffer: a reference when the format and size agree, else a
// conversion into the buffer's own memory.
bool PutFrame(TMediaContext* ctx, TFrameBuffer* b, AVFrame* src) {
  b->interlaced = src->interlaced_frame;
  b->topFieldFirst = src->top_field_first;
  const AVPixelFormat want = AvFormatOf(b->pixelFormat);
  if (src->format == want && src->width == ctx->width && src->height == ctx->height) {
    AVFrame* f = FrameOf(b);
    av_frame_unref(f);
    if (av_frame_ref(f, src) < 0) return false;
    Expose(b);
    return true;
  }
  if (src->width <= 0 || src->height <= 0 || !OwnMemory(ctx, b)) return false;
  SwsContext* s = ctx->priv->Scaler(src->width, src->height, src->format, ctx->width, ctx->height, want);
  if (!s) return false;
  AVFrame* f = FrameOf(b);
  sws_scale(s, src->data, src->linesize, 0, src->height, f->data, f->linesize);
  return true;
}

TFrameBuffer* NewBuffer(int32_t pixelFormat) {
  auto* b = new TFrameBuffer();
  b->pixelFormat = pixelFormat;
  b->frame = av_frame_alloc();
  if (!b->frame) {
    delete b;
    return nullptr;
  }
  return b;
}

// ---------------------------------------------------------------------------------------------
// The routines

extern "C" TMediaContext* OpenMediaFile(const char* name, void* stream, const TStreamRoutines* routines);

TMediaContext* OpenWith(TFFPrivate* p, const char* name) {
  auto* ctx = new TMediaContext();
  ctx->priv = p;
  uint8_t* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
  if (!buffer) {
    delete p;
    delete ctx;
    return nullptr;
  }
  p->io = avio_alloc_context(buffer, kIoBufferSize, 0, p, &IoRead, nullptr, &IoSeek);
  if (!p->io) {
    av_free(buffer);
    delete p;
    delete ctx;
    return nullptr;
  }
  p->fmt = avformat_alloc_context();
  if (!p->fmt) {
    delete p;
    delete ctx;
    return nullptr;
  }
  p->fmt->pb = p->io;
  p->fmt->io_open = &RefuseOpen;
  AVDictionary* opts = nullptr;
  av_dict_set(&opts, "format_whitelist", kFormatWhitelist, 0);
  av_dict_set(&opts, "max_streams", "64", 0);
  const int r = avformat_open_input(&p->fmt, name ? name : "", nullptr, &opts);
  av_dict_free(&opts);
  if (r < 0) {
    p->fmt = nullptr;  // freed by avformat_open_input
    delete p;
    delete ctx;
    return nullptr;
  }
  if (avformat_find_stream_info(p->fmt, nullptr) < 0) {
    delete p;
    delete ctx;
    return nullptr;
  }
  AVFormatContext* fmt = p->fmt;
  for (unsigned i = 0; i < fmt->nb_streams; ++i)
    if (fmt->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) p->audioStreams.push_back(int(i));
  ctx->audioStreamCount = int32_t(p->audioStreams.size());
  const int best = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  ctx->audioStream = best >= 0 ? best : (p->audioStreams.empty() ? -1 : p->audioStreams.front());
  if (ctx->audioStream >= 0) {
    const AVStream* a = fmt->streams[ctx->audioStream];
    ctx->audioTbNum = a->time_base.num;
    ctx->audioTbDen = a->time_base.den;
    if (a->duration != AV_NOPTS_VALUE && a->duration > 0)
      ctx->audioDuration =
          std::clamp<int64_t>(av_rescale_q(a->duration, a->time_base, AV_TIME_BASE_Q), 0, kMaxDurationUs);
  }
  const int v = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (v >= 0) {
    AVStream* st = fmt->streams[v];
    const AVCodecParameters* par = st->codecpar;
    // Cover pictures and absurd sizes are not video.
    const bool attached = (st->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
    if (!attached && par->width >= 2 && par->height >= 2 && par->width <= kMaxVideoSide &&
        par->height <= kMaxVideoSide && int64_t(par->width) * par->height <= g_max_pixels.load()) {
      p->vst = st;
      ctx->videoStream = v;
      ctx->width = par->width;
      ctx->height = par->height;
      ctx->videoCodecId = PlayerCodecId(par);
      ctx->fpsNum = st->r_frame_rate.num;
      ctx->fpsDen = st->r_frame_rate.den;
      ctx->avgFpsNum = st->avg_frame_rate.num;
      ctx->avgFpsDen = st->avg_frame_rate.den;
      ctx->videoTbNum = st->time_base.num;
      ctx->videoTbDen = st->time_base.den;
      const AVRational sar = st->sample_aspect_ratio.num > 0 ? st->sample_aspect_ratio : par->sample_aspect_ratio;
      ctx->sarNum = sar.num;
      ctx->sarDen = sar.den;
      const AVDictionaryEntry* alpha = av_dict_get(st->metadata, "alpha_mode", nullptr, 0);
      p->alpha = alpha && std::string_view(alpha->value) == "1" &&
                 (par->codec_id == AV_CODEC_ID_VP8 || par->codec_id == AV_CODEC_ID_VP9);
      p->vpixfmt = p->alpha ? AV_PIX_FMT_YUVA420P : par->format;
      ctx->pixelFormat = PlayerPixelFormat(p->vpixfmt);
      for (const char* key : {"title", "comment"}) {
        if (const AVDictionaryEntry* e = av_dict_get(st->metadata, key, nullptr, 0)) {
          p->tag = e->value;
          break;
        }
      }
      if (!p->tag.empty()) ctx->videoTag = p->tag.c_str();
      if (st->start_time != AV_NOPTS_VALUE)
        ctx->startTime = av_rescale_q(st->start_time, st->time_base, AV_TIME_BASE_Q);
      if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
        ctx->videoDuration =
            std::clamp<int64_t>(av_rescale_q(st->duration, st->time_base, AV_TIME_BASE_Q), 0, kMaxDurationUs);
    }
  }
  if (ctx->startTime == kNoPts && fmt->start_time != AV_NOPTS_VALUE) ctx->startTime = fmt->start_time;
  if (fmt->duration != AV_NOPTS_VALUE && fmt->duration > 0) ctx->duration = fmt->duration;
  if (ctx->duration <= 0) ctx->duration = ctx->videoDuration;
  ctx->duration = std::clamp<int64_t>(ctx->duration, 0, kMaxDurationUs);
  return ctx;
}

// FFmpeg's own messages stay out of the process log and off standard error.
void Quiet() {
  static const bool once = [] {
    av_log_set_level(AV_LOG_QUIET);
    return true;
  }();
  (void)once;
}

extern "C" TMediaContext* OpenMediaFile(const char* name, void* stream, const TStreamRoutines* routines) {
  Quiet();
  if (!stream || !routines) return nullptr;
  routines->seek(stream, 0, 0);
  auto* p = new TFFPrivate();
  p->stream = stream;
  p->routines = routines;
  return OpenWith(p, name);
}

extern "C" TMediaContext* OpenMediaFile2(const char* path) {
  Quiet();
  if (!path) return nullptr;
  std::unique_ptr<TFileStream> f = TFileStream::Open(path, TFileMode::Read);
  if (!f) return nullptr;
  auto* p = new TFFPrivate();
  p->ownStream = std::move(f);
  p->stream = p->ownStream.get();
  p->routines = SoundStreamRoutines();
  return OpenWith(p, path);
}

extern "C" void CloseMediaFile(TMediaContext* ctx) {
  if (!ctx) return;
  delete ctx->priv;
  av_free(ctx->audioBuffer);
  delete ctx;
}

extern "C" TFrameBuffer* AllocBuffer(TMediaContext* ctx, int32_t pixelFormat) {
  if (!ctx || AvFormatOf(pixelFormat) == AV_PIX_FMT_NONE) return nullptr;
  return NewBuffer(pixelFormat);
}

extern "C" TFrameBuffer* AllocBufferWithData(TMediaContext* ctx, int32_t kind) {
  if (!ctx || (kind != kBufYuv420 && kind != kBufRgb24)) return nullptr;
  TFrameBuffer* b = NewBuffer(kind == kBufYuv420 ? kPixYuv420 : kPixRgb24);
  if (b && !OwnMemory(ctx, b)) {
    av_frame_free(reinterpret_cast<AVFrame**>(&b->frame));
    delete b;
    return nullptr;
  }
  return b;
}

extern "C" void FreeBuffer(TFrameBuffer* buffer) {
  if (!buffer) return;
  av_frame_free(reinterpret_cast<AVFrame**>(&buffer->frame));
  delete buffer;
}

extern "C" int32_t ConvertFrame(TMediaContext* ctx, TFrameBuffer* source, int32_t targetKind, int32_t sourceFormat,
                                TFrameBuffer* target) {
  if (!ctx || !source || !target || !FrameOf(source)->data[0]) return 0;
  const AVPixelFormat from = AvFormatOf(sourceFormat);
  const AVPixelFormat to = AvFormatOf(targetKind == kBufRgb24 ? kPixRgb24 : kPixYuv420);
  if (from == AV_PIX_FMT_NONE || AvFormatOf(target->pixelFormat) != to || !OwnMemory(ctx, target)) return 0;
  AVFrame* s = FrameOf(source);
  if (s->width != ctx->width || s->height != ctx->height) return 0;
  SwsContext* c = ctx->priv->Scaler(ctx->width, ctx->height, from, ctx->width, ctx->height, to);
  if (!c) return 0;
  AVFrame* t = FrameOf(target);
  sws_scale(c, s->data, s->linesize, 0, ctx->height, t->data, t->linesize);
  target->interlaced = source->interlaced;
  target->topFieldFirst = source->topFieldFirst;
  return 1;
}

extern "C" int64_t GetNextVideoFrame(TMediaContext* ctx, TFrameBuffer* buffer, int32_t flag) {
  if (!ctx || !OpenVideoDecoder(ctx)) return kNoPts;
  TFFPrivate* p = ctx->priv;
  AVFrame* f = p->vframe;
  if (!DecodeNext(p, p->vdec, p->vst->index, p->vdrained, f)) return kNoPts;
  int64_t pts = f->best_effort_timestamp;
  int64_t dur = f->pkt_duration;
  if (dur <= 0 && ctx->fpsNum > 0 && ctx->fpsDen > 0 && ctx->videoTbNum > 0)
    dur = av_rescale_q(1, AVRational{ctx->fpsDen, ctx->fpsNum}, AVRational{ctx->videoTbNum, ctx->videoTbDen});
  if (dur <= 0) dur = 1;
  if (pts == AV_NOPTS_VALUE) pts = p->lastVideoEnd == kNoPts ? 0 : p->lastVideoEnd;
  const int64_t end = pts > INT64_MAX - dur ? pts : pts + dur;
  p->lastVideoEnd = end;
  bool ok = true;
  if (flag != 1 && buffer) ok = PutFrame(ctx, buffer, f);
  av_frame_unref(f);
  return ok ? end : kNoPts;
}

extern "C" int32_t SeekFile(TMediaContext* ctx, int32_t stream, int64_t timestamp, int32_t flags) {
  if (!ctx) return -1;
  TFFPrivate* p = ctx->priv;
  if (stream >= int32_t(p->fmt->nb_streams)) return -1;
  int avflags = 0;
  if (flags & (kSeekBackward | kSeekFrame)) avflags |= AVSEEK_FLAG_BACKWARD;
  if (flags & kSeekAny) avflags |= AVSEEK_FLAG_ANY;
  const int r = av_seek_frame(p->fmt, stream, timestamp, avflags);
  ClearAfterSeek(p);
  return r >= 0 ? 0 : -1;
}

extern "C" int32_t GetFormatName(TMediaContext* ctx, char* buffer, int32_t size, int32_t) {
  if (!ctx || !ctx->priv->fmt->iformat) return 0;
  const char* name = ctx->priv->fmt->iformat->name;
  const int32_t n = int32_t(std::strlen(name));
  if (buffer && size > 0) {
    const int32_t k = std::min(n, size - 1);
    std::memcpy(buffer, name, size_t(k));
    buffer[k] = 0;
  }
  return n;
}

extern "C" void Flush(TMediaContext* ctx) {
  if (ctx) ClearAfterSeek(ctx->priv);
}

extern "C" void FlushVideo(TMediaContext* ctx) {
  if (!ctx) return;
  TFFPrivate* p = ctx->priv;
  p->vq.Clear();
  p->vdrained = false;
  p->lastVideoEnd = kNoPts;
  if (p->vdec) avcodec_flush_buffers(p->vdec);
}

extern "C" int32_t GetFrameInfo(TFrameBuffer* buffer) {
  if (!buffer) return 0;
  buffer->ready = buffer->interlaced ? 1 : 0;
  buffer->frameInfo = buffer->topFieldFirst ? 1 : 0;
  return buffer->ready;
}

extern "C" int64_t GetDtsPts(TMediaContext* ctx, int64_t* dts) {
  if (!ctx) return kNoPts;
  if (dts) *dts = ctx->priv->lastDts;
  return ctx->priv->lastPts;
}

extern "C" int64_t GetDtsPts2(TMediaContext* ctx, int32_t stream, int64_t* dts) {
  if (!ctx) return kNoPts;
  AVPacket* pkt = Peek(ctx->priv, stream);
  if (dts) *dts = pkt ? pkt->dts : kNoPts;
  return pkt ? pkt->pts : kNoPts;
}

// A resampler from (layout, format, rate) to the track's output: interleaved 16-bit at the
// output rate, mixed down to at most two channels.
bool MakeResampler(TFFPrivate* p, const AVChannelLayout& given, int format, int rate) {
  if (given.nb_channels < 1 || given.nb_channels > 8 || rate < 1000 || rate > 384000 || format < 0) return false;
  AVChannelLayout in{};
  if (given.order == AV_CHANNEL_ORDER_UNSPEC)
    av_channel_layout_default(&in, given.nb_channels);
  else if (av_channel_layout_copy(&in, &given) < 0)
    return false;
  AVChannelLayout out{};
  av_channel_layout_default(&out, p->outChannels);
  SwrContext* swr = nullptr;
  const int r = swr_alloc_set_opts2(&swr, &out, AV_SAMPLE_FMT_S16, p->outRate, &in, AVSampleFormat(format), rate, 0,
                                    nullptr);
  av_channel_layout_uninit(&out);
  if (r < 0 || !swr || swr_init(swr) < 0) {
    swr_free(&swr);
    av_channel_layout_uninit(&in);
    return false;
  }
  swr_free(&p->swr);
  p->swr = swr;
  av_channel_layout_uninit(&p->swrLayout);
  p->swrLayout = in;
  p->swrFormat = format;
  p->swrRate = rate;
  return true;
}

const AVStream* AudioTrack(TMediaContext* ctx, int32_t track) {
  const TFFPrivate* p = ctx->priv;
  if (track < 0) return ctx->audioStream >= 0 ? p->fmt->streams[ctx->audioStream] : nullptr;
  if (track >= int32_t(p->audioStreams.size())) return nullptr;
  return p->fmt->streams[p->audioStreams[size_t(track)]];
}

bool UsableAudio(const AVCodecParameters* par) {
  return par->ch_layout.nb_channels >= 1 && par->ch_layout.nb_channels <= 8 && par->sample_rate >= 1000 &&
         par->sample_rate <= 384000;
}

extern "C" int32_t GetAudioInfo(TMediaContext* ctx, int32_t track, TAudioInfo* info) {
  if (!ctx || !info) return 0;
  const AVStream* st = AudioTrack(ctx, track);
  if (!st || !UsableAudio(st->codecpar)) return 0;
  info->sampleRate = st->codecpar->sample_rate;
  info->channels = std::min(st->codecpar->ch_layout.nb_channels, 2);  // delivered mixed down to stereo
  info->codecId = 1000 + int32_t(st->codecpar->codec_id);
  info->bits = 16;
  return 1;
}

extern "C" void CloseAudioStream(TMediaContext* ctx);

extern "C" int32_t OpenAudioStream(TMediaContext* ctx, int32_t track) {
  if (!ctx) return 0;
  CloseAudioStream(ctx);
  TFFPrivate* p = ctx->priv;
  const AVStream* st = AudioTrack(ctx, track);
  if (!st || !UsableAudio(st->codecpar)) return 0;
  const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
  if (!codec) return 0;
  AVCodecContext* dec = avcodec_alloc_context3(codec);
  if (!dec || avcodec_parameters_to_context(dec, st->codecpar) < 0) {
    avcodec_free_context(&dec);
    return 0;
  }
  dec->pkt_timebase = st->time_base;
  if (avcodec_open2(dec, codec, nullptr) < 0) {
    avcodec_free_context(&dec);
    return 0;
  }
  const int channels = dec->ch_layout.nb_channels > 0 ? dec->ch_layout.nb_channels : st->codecpar->ch_layout.nb_channels;
  p->outChannels = std::clamp(channels, 1, 2);
  p->outRate = dec->sample_rate > 0 ? dec->sample_rate : st->codecpar->sample_rate;
  AVChannelLayout layout{};
  if (dec->ch_layout.nb_channels > 0)
    av_channel_layout_copy(&layout, &dec->ch_layout);
  else
    av_channel_layout_default(&layout, channels);
  const bool made = MakeResampler(p, layout, dec->sample_fmt, p->outRate);
  av_channel_layout_uninit(&layout);
  if (!made) {
    avcodec_free_context(&dec);
    return 0;
  }
  ctx->audioBuffer = static_cast<uint8_t*>(av_malloc(kAudioBufferBytes));
  p->aframe = av_frame_alloc();
  if (!ctx->audioBuffer || !p->aframe) {
    swr_free(&p->swr);
    avcodec_free_context(&dec);
    return 0;
  }
  p->adec = dec;
  p->audioIndex = st->index;
  p->adrained = false;
  p->aq.Clear();
  ctx->audioStream = st->index;
  ctx->audioTbNum = st->time_base.num;
  ctx->audioTbDen = st->time_base.den;
  return 1;
}

extern "C" void CloseAudioStream(TMediaContext* ctx) {
  if (!ctx) return;
  TFFPrivate* p = ctx->priv;
  swr_free(&p->swr);
  avcodec_free_context(&p->adec);
  av_frame_free(&p->aframe);
  p->aq.Clear();
  p->audioIndex = -1;
  av_freep(&ctx->audioBuffer);
}

extern "C" int32_t GetNextAudioFrame(TMediaContext* ctx, uint8_t* buffer, int32_t* bytes) {
  if (bytes) *bytes = 0;
  if (!ctx || !ctx->priv->adec || !buffer || !bytes) return 0;
  TFFPrivate* p = ctx->priv;
  const int frameBytes = 2 * p->outChannels;
  const int capacity = kAudioBufferBytes / frameBytes;
  // Frames wholly before the time stamp sought give nothing: decoding goes on to the first that
  // gives audio.
  for (int guard = 0; guard < 100000; ++guard) {
    if (!DecodeNext(p, p->adec, p->audioIndex, p->adrained, p->aframe)) return 0;
    AVFrame* f = p->aframe;
    // Output samples (at the output rate) that lie before the time stamp sought.
    int64_t skip = 0;
    const int64_t pts = f->best_effort_timestamp;
    const int64_t target = ctx->audioSeekTarget;
    const bool trimming = target != kNoPts && pts != AV_NOPTS_VALUE;
    if (trimming && pts < target) {
      const AVStream* a = p->fmt->streams[p->audioIndex];
      skip = av_rescale_q(target - pts, a->time_base, AVRational{1, p->outRate});
    }
    if (f->nb_samples <= 0 || !f->extended_data) {
      av_frame_unref(f);
      continue;
    }
    if ((f->format != p->swrFormat || f->sample_rate != p->swrRate ||
         av_channel_layout_compare(&f->ch_layout, &p->swrLayout) != 0) &&
        !MakeResampler(p, f->ch_layout, f->format, f->sample_rate)) {
      av_frame_unref(f);
      continue;  // a frame no resampler takes is left out
    }
    uint8_t* out[1] = {buffer};
    const int n = swr_convert(p->swr, out, capacity, const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
    av_frame_unref(f);
    if (n < 0) return 0;
    if (trimming && skip < n) ctx->audioSeekTarget = kNoPts;
    const int k = int(std::clamp<int64_t>(skip, 0, n));
    if (k > 0) std::memmove(buffer, buffer + size_t(k) * frameBytes, size_t(n - k) * frameBytes);
    *bytes = (n - k) * frameBytes;
    if (*bytes > 0) return 1;
  }
  return 0;
}

// The time stamp of a packet (its dts when it has no pts).
int64_t StampOf(const AVPacket* pkt) { return pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts; }

extern "C" void AfterAudioSeek(TMediaContext* ctx, int32_t flag) {
  if (!ctx || ctx->priv->audioIndex < 0) return;
  TFFPrivate* p = ctx->priv;
  if (flag == 0 && p->adec) {
    avcodec_flush_buffers(p->adec);
    p->adrained = false;
  }
  // Steps over the next audio packet while two more still begin at or before the time sought:
  // decoding starts one packet ahead of the one that holds it, so decoders that prime on their
  // first packet deliver the target itself.
  if (!Peek(p, p->audioIndex)) return;
  for (int n = 0; p->aq.q.size() < 3 && n < kMaxReadsForPacket; ++n)
    if (!ReadOne(p)) break;
  if (p->aq.q.size() < 3) return;
  const int64_t third = StampOf(p->aq.q[2]);
  if (ctx->audioSeekTarget == kNoPts || third == AV_NOPTS_VALUE || third > ctx->audioSeekTarget) return;
  DropFront(p->aq);
  p->audioCurrent = StampOf(p->aq.q.front());
}

extern "C" int64_t GetCurrentPts(TMediaContext* ctx, int32_t stream) {
  if (!ctx || stream < 0 || stream >= int32_t(ctx->priv->fmt->nb_streams)) return kNoPts;
  AVPacket* pkt = Peek(ctx->priv, stream);
  return pkt ? StampOf(pkt) : kNoPts;
}

extern "C" int32_t CreateVideoFile(const char* path, const TVideoFileSpec* clip) {
  return WriteVideoFile(path, clip, true, false) ? 1 : 0;
}
extern "C" int32_t CreateAudioFile(const char* path, const TVideoFileSpec* clip) {
  return WriteVideoFile(path, clip, false, true) ? 1 : 0;
}
extern "C" int32_t CreateVideoAudioFile(const char* path, const TVideoFileSpec* clip) {
  return WriteVideoFile(path, clip, true, true) ? 1 : 0;
}

struct TSymbol {
  const char* name;
  void* address;
};

#define ZEM_SYMBOL(n) {#n, reinterpret_cast<void*>(&n)}
const TSymbol kSymbols[] = {
    ZEM_SYMBOL(OpenMediaFile),   ZEM_SYMBOL(OpenMediaFile2),     ZEM_SYMBOL(CloseMediaFile),
    ZEM_SYMBOL(AllocBuffer),     ZEM_SYMBOL(AllocBufferWithData), ZEM_SYMBOL(FreeBuffer),
    ZEM_SYMBOL(ConvertFrame),    ZEM_SYMBOL(GetNextVideoFrame),  ZEM_SYMBOL(SeekFile),
    ZEM_SYMBOL(GetFormatName),   ZEM_SYMBOL(Flush),              ZEM_SYMBOL(FlushVideo),
    ZEM_SYMBOL(GetFrameInfo),    ZEM_SYMBOL(GetDtsPts),          ZEM_SYMBOL(GetDtsPts2),
    ZEM_SYMBOL(GetAudioInfo),    ZEM_SYMBOL(OpenAudioStream),    ZEM_SYMBOL(CloseAudioStream),
    ZEM_SYMBOL(GetNextAudioFrame), ZEM_SYMBOL(AfterAudioSeek),   ZEM_SYMBOL(GetCurrentPts),
    ZEM_SYMBOL(CreateVideoFile), ZEM_SYMBOL(CreateAudioFile),    ZEM_SYMBOL(CreateVideoAudioFile),
};
#undef ZEM_SYMBOL

}  // namespace

void* FFmpegLibrarySymbol(const char* name) {
  if (!name) return nullptr;
  for (const TSymbol& s : kSymbols)
    if (std::strcmp(s.name, name) == 0) return s.address;
  return nullptr;
}

bool FFmpegLibraryPresent() { return g_present.load(); }
void SetFFmpegLibraryPresent(bool present) { g_present.store(present); }
void SetFFmpegMaxPixels(int64_t pixels) { g_max_pixels.store(std::clamp<int64_t>(pixels, 4, kMaxVideoPixels)); }

}  // namespace zem
