#include "video/encode/media_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <utility>

#include "foundation/assert.h"
#include "video/encode/bgra_to_yuv.h"

namespace zem {

namespace {

constexpr int kInputRate = 44100;

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

std::string LowerExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

const char* FirstEncoder(std::initializer_list<const char*> names) {
  for (const char* n : names)
    if (avcodec_find_encoder_by_name(n)) return n;
  return nullptr;
}

// Constant-quality values: Q 80 gives x264's CRF 19 and VP9's CRF 23.
int X264Crf(int q) { return int(std::lround(51 - 0.4 * q)); }
int Vp9Crf(int q) { return int(std::lround(63 - 0.5 * q)); }

}  // namespace

bool ChooseContainer(const std::string& path, TContainerChoice& choice, std::string& error) {
  const std::string ext = LowerExtension(path);
  const char* video = nullptr;
  const char* audio = nullptr;
  if (ext == "mp4" || ext == "m4v" || ext == "mov") {
    choice.format = ext == "mov" ? "mov" : "mp4";
    video = FirstEncoder({"libx264"});
    audio = FirstEncoder({"aac"});
  } else if (ext == "mkv") {
    choice.format = "matroska";
    video = FirstEncoder({"libx264", "libvpx-vp9"});
    audio = FirstEncoder({"libopus", "libvorbis", "aac"});
  } else if (ext == "webm") {
    choice.format = "webm";
    video = FirstEncoder({"libvpx-vp9"});
    audio = FirstEncoder({"libopus", "libvorbis"});
  } else {
    error = "\"" + path + "\" is not a video type that can be written (use .mp4, .mkv or .webm)";
    return false;
  }
  if (!av_guess_format(choice.format.c_str(), nullptr, nullptr)) {
    error = "this FFmpeg cannot write " + choice.format + " files";
    return false;
  }
  if (!video || !audio) {
    error = std::string("this FFmpeg has no ") + (video ? "audio" : "video") + " encoder for ." + ext + " files";
    return false;
  }
  choice.videoCodec = video;
  choice.audioCodec = audio;
  return true;
}

std::string PartialPath(const std::string& path) { return path + ".part"; }

struct TMediaEncoder::TImpl {
  AVFormatContext* fmt = nullptr;
  AVCodecContext* video = nullptr;
  AVCodecContext* audio = nullptr;
  AVStream* vstream = nullptr;
  AVStream* astream = nullptr;
  SwrContext* swr = nullptr;
  AVAudioFifo* fifo = nullptr;
  AVFrame* last = nullptr;  // the last picture, sent again for repeats
  AVPacket* packet = nullptr;
  int64_t vpts = 0, apts = 0;
  int audioFrame = 1024;
  bool smallLast = true;  // the audio encoder takes a short last frame

  ~TImpl() {
    av_frame_free(&last);
    av_packet_free(&packet);
    if (fifo) av_audio_fifo_free(fifo);
    swr_free(&swr);
    avcodec_free_context(&video);
    avcodec_free_context(&audio);
    if (fmt) {
      if (fmt->pb) avio_closep(&fmt->pb);
      avformat_free_context(fmt);
    }
  }
};

TEncoderPicture::TEncoderPicture() = default;
TEncoderPicture::~TEncoderPicture() { av_frame_free(&frame_); }
TEncoderPicture::TEncoderPicture(TEncoderPicture&& other) noexcept : frame_(std::exchange(other.frame_, nullptr)) {}
TEncoderPicture& TEncoderPicture::operator=(TEncoderPicture&& other) noexcept {
  if (this != &other) {
    av_frame_free(&frame_);
    frame_ = std::exchange(other.frame_, nullptr);
  }
  return *this;
}
bool TEncoderPicture::Empty() const { return !frame_ || !frame_->buf[0]; }

struct TPictureConverter::TImpl {
  int width = 0, height = 0;
  AVColorSpace colorspace = AVCOL_SPC_UNSPECIFIED;
  AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
  AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
  AVColorTransferCharacteristic trc = AVCOL_TRC_UNSPECIFIED;
};

TPictureConverter::TPictureConverter(const TMediaEncoder& encoder) : impl_(std::make_unique<TImpl>()) {
  ZEM_ASSERT(encoder.impl_ && encoder.impl_->video && encoder.impl_->video->pix_fmt == AV_PIX_FMT_YUV420P);
  const AVCodecContext* v = encoder.impl_->video;
  TImpl& c = *impl_;
  c.width = v->width;
  c.height = v->height;
  c.colorspace = v->colorspace;
  c.range = v->color_range;
  c.primaries = v->color_primaries;
  c.trc = v->color_trc;
}

TPictureConverter::~TPictureConverter() = default;

bool TPictureConverter::Convert(const uint8_t* first, int64_t stride, TEncoderPicture& into) {
  TImpl& c = *impl_;
  if (!into.frame_ && !(into.frame_ = av_frame_alloc())) return false;
  AVFrame* f = into.frame_;
  // The planes are filled in place when nobody else holds them (the encoder has copied them
  // by now): no fresh 3 MB, zeroed by the kernel, per frame.
  if (!f->buf[0] || !av_frame_is_writable(f) || f->width != c.width || f->height != c.height) {
    av_frame_unref(f);
    f->format = AV_PIX_FMT_YUV420P;
    f->width = c.width;
    f->height = c.height;
    f->colorspace = c.colorspace;
    f->color_range = c.range;
    f->color_primaries = c.primaries;
    f->color_trc = c.trc;
    if (av_frame_get_buffer(f, 0) < 0) {
      av_frame_unref(f);
      return false;
    }
  }
  BgraToI420(first, stride, c.width, c.height, f->data[0], f->linesize[0], f->data[1], f->linesize[1], f->data[2],
             f->linesize[2]);
  return true;
}

TMediaEncoder::TMediaEncoder() = default;

TMediaEncoder::~TMediaEncoder() { Abort(); }

bool TMediaEncoder::Open(const std::string& path, const TEncodeSettings& s, std::string& error) {
  if (impl_) {
    error = "the encoder is already open";
    return false;
  }
  if (s.width < 2 || s.height < 2 || s.width > 16384 || s.height > 16384 || (s.width | s.height) & 1) {
    error = "the video size must be even, from 2 to 16384 on each side";
    return false;
  }
  if (s.fps < 1 || s.fps > 240 || s.quality < 1 || s.quality > 100) {
    error = "frame rate or quality out of range";
    return false;
  }
  if (!ChooseContainer(path, choice_, error)) return false;
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    // Found now rather than when the finished file is to be renamed.
    error = "cannot write \"" + path + "\": it is a folder";
    return false;
  }
  // FFmpeg's own chatter stays out of the player's standard error; failures come as results.
  av_log_set_level(AV_LOG_ERROR);
  path_ = path;
  partial_ = PartialPath(path);
  impl_ = std::make_unique<TImpl>();
  TImpl& m = *impl_;
  auto fail = [&](const std::string& what, int code) {
    error = what + (code < 0 ? ": " + AvError(code) : std::string());
    Abort();
    return false;
  };

  int r = avformat_alloc_output_context2(&m.fmt, nullptr, choice_.format.c_str(), partial_.c_str());
  if (r < 0 || !m.fmt) return fail("cannot set up a " + choice_.format + " file", r);
  const bool globalHeader = (m.fmt->oformat->flags & AVFMT_GLOBALHEADER) != 0;

  // Video.
  const AVCodec* vc = avcodec_find_encoder_by_name(choice_.videoCodec.c_str());
  m.video = avcodec_alloc_context3(vc);
  m.video->width = s.width;
  m.video->height = s.height;
  m.video->pix_fmt = AV_PIX_FMT_YUV420P;
  m.video->time_base = AVRational{1, s.fps};
  m.video->framerate = AVRational{s.fps, 1};
  m.video->colorspace = AVCOL_SPC_BT709;
  m.video->color_primaries = AVCOL_PRI_BT709;
  m.video->color_trc = AVCOL_TRC_BT709;
  m.video->color_range = AVCOL_RANGE_MPEG;
  m.video->thread_count = 0;
  if (globalHeader) m.video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  AVDictionary* vopts = nullptr;
  if (choice_.videoCodec == "libx264") {
    av_dict_set(&vopts, "preset", "medium", 0);
    av_dict_set_int(&vopts, "crf", X264Crf(s.quality), 0);
  } else {
    m.video->bit_rate = 0;
    av_dict_set_int(&vopts, "crf", Vp9Crf(s.quality), 0);
    av_dict_set(&vopts, "deadline", "good", 0);
    av_dict_set(&vopts, "cpu-used", "4", 0);
    av_dict_set(&vopts, "row-mt", "1", 0);
  }
  r = avcodec_open2(m.video, vc, &vopts);
  av_dict_free(&vopts);
  if (r < 0) return fail("the video encoder " + choice_.videoCodec + " does not start", r);
  m.vstream = avformat_new_stream(m.fmt, nullptr);
  if (!m.vstream) return fail("cannot add a video stream", AVERROR(ENOMEM));
  m.vstream->time_base = m.video->time_base;
  m.vstream->avg_frame_rate = m.video->framerate;
  avcodec_parameters_from_context(m.vstream->codecpar, m.video);

  // Audio: the encoder's preferred float or 16-bit format and 44100 Hz where it can (Opus
  // cannot: 48000 Hz).
  const AVCodec* ac = avcodec_find_encoder_by_name(choice_.audioCodec.c_str());
  m.audio = avcodec_alloc_context3(ac);
  m.audio->sample_fmt = ac->sample_fmts ? ac->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
  int rate = kInputRate;
  if (ac->supported_samplerates) {
    rate = ac->supported_samplerates[0];
    for (const int* p = ac->supported_samplerates; *p; ++p)
      if (*p == kInputRate || (*p == 48000 && rate != kInputRate)) rate = *p;
  }
  m.audio->sample_rate = rate;
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  av_channel_layout_copy(&m.audio->ch_layout, &stereo);
  m.audio->bit_rate = choice_.audioCodec == "libopus" ? 160000 : 192000;
  m.audio->time_base = AVRational{1, rate};
  if (globalHeader) m.audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  r = avcodec_open2(m.audio, ac, nullptr);
  if (r < 0) return fail("the audio encoder " + choice_.audioCodec + " does not start", r);
  const bool variable = (ac->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0;
  m.audioFrame = variable || m.audio->frame_size <= 0 ? 1024 : m.audio->frame_size;
  m.smallLast = variable || (ac->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0;
  m.astream = avformat_new_stream(m.fmt, nullptr);
  if (!m.astream) return fail("cannot add an audio stream", AVERROR(ENOMEM));
  m.astream->time_base = m.audio->time_base;
  avcodec_parameters_from_context(m.astream->codecpar, m.audio);

  r = swr_alloc_set_opts2(&m.swr, &m.audio->ch_layout, m.audio->sample_fmt, rate, &stereo, AV_SAMPLE_FMT_S16,
                          kInputRate, 0, nullptr);
  if (r < 0 || swr_init(m.swr) < 0) return fail("cannot convert the sound for " + choice_.audioCodec, r);
  m.fifo = av_audio_fifo_alloc(m.audio->sample_fmt, 2, m.audioFrame * 4);
  m.last = av_frame_alloc();
  m.packet = av_packet_alloc();
  converter_ = std::make_unique<TPictureConverter>(*this);
  if (!m.fifo || !m.last || !m.packet) return fail("out of memory", AVERROR(ENOMEM));

  r = avio_open(&m.fmt->pb, partial_.c_str(), AVIO_FLAG_WRITE);
  if (r < 0) return fail("cannot write \"" + path + "\"", r);
  AVDictionary* mopts = nullptr;
  if (choice_.format == "mp4" || choice_.format == "mov") av_dict_set(&mopts, "movflags", "+faststart", 0);
  r = avformat_write_header(m.fmt, &mopts);
  av_dict_free(&mopts);
  if (r < 0) return fail("cannot write \"" + path + "\"", r);
  return true;
}

bool TMediaEncoder::Drain(AVCodecContext* ctx, AVStream* stream, std::string& error) {
  TImpl& m = *impl_;
  for (;;) {
    int r = avcodec_receive_packet(ctx, m.packet);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
    if (r < 0) {
      error = "the " + std::string(ctx == m.video ? choice_.videoCodec : choice_.audioCodec) + " encoder failed: " + AvError(r);
      return false;
    }
    av_packet_rescale_ts(m.packet, ctx->time_base, stream->time_base);
    m.packet->stream_index = stream->index;
    r = av_interleaved_write_frame(m.fmt, m.packet);
    if (r < 0) {
      error = "cannot write \"" + path_ + "\": " + AvError(r);
      return false;
    }
  }
}

bool TMediaEncoder::SendVideo(AVFrame* frame, std::string& error) {
  TImpl& m = *impl_;
  frame->pts = m.vpts++;
  const int r = avcodec_send_frame(m.video, frame);
  av_frame_free(&frame);
  if (r < 0) {
    error = "the " + choice_.videoCodec + " encoder failed: " + AvError(r);
    return false;
  }
  ++frames_;
  return Drain(m.video, m.vstream, error);
}

bool TMediaEncoder::AddPicture(const uint8_t* first, int64_t stride, std::string& error) {
  if (!impl_ || finished_) return false;
  // Two pictures in turn: the encoder keeps the last one's planes for repeats.
  TEncoderPicture& own = own_[ownNext_];
  ownNext_ ^= 1;
  if (!converter_->Convert(first, stride, own)) {
    error = "out of memory";
    return false;
  }
  return AddPicture(own, error);
}

bool TMediaEncoder::AddPicture(const TEncoderPicture& picture, std::string& error) {
  if (!impl_ || finished_) return false;
  TImpl& m = *impl_;
  const AVFrame* p = picture.frame_;
  if (picture.Empty() || p->width != m.video->width || p->height != m.video->height || p->format != m.video->pix_fmt) {
    error = "the picture does not have the video's size";
    return false;
  }
  av_frame_unref(m.last);
  AVFrame* f = av_frame_ref(m.last, p) == 0 ? av_frame_clone(m.last) : nullptr;
  if (!f) {
    error = "out of memory";
    return false;
  }
  return SendVideo(f, error);
}

bool TMediaEncoder::RepeatPicture(std::string& error) {
  if (!impl_ || finished_) return false;
  TImpl& m = *impl_;
  if (!m.last->buf[0]) {
    error = "no picture to repeat";
    return false;
  }
  return SendVideo(av_frame_clone(m.last), error);
}

bool TMediaEncoder::SendAudioFrames(bool flush, std::string& error) {
  TImpl& m = *impl_;
  for (;;) {
    const int have = av_audio_fifo_size(m.fifo);
    if (have <= 0 || (have < m.audioFrame && !flush)) return true;
    const int n = std::min(have, m.audioFrame);
    AVFrame* f = av_frame_alloc();
    f->nb_samples = n < m.audioFrame && !m.smallLast ? m.audioFrame : n;
    f->format = m.audio->sample_fmt;
    f->sample_rate = m.audio->sample_rate;
    av_channel_layout_copy(&f->ch_layout, &m.audio->ch_layout);
    if (av_frame_get_buffer(f, 0) < 0) {
      av_frame_free(&f);
      error = "out of memory";
      return false;
    }
    if (f->nb_samples > n) av_samples_set_silence(f->data, n, f->nb_samples - n, 2, m.audio->sample_fmt);
    av_audio_fifo_read(m.fifo, reinterpret_cast<void**>(f->data), n);
    f->pts = m.apts;
    m.apts += f->nb_samples;
    const int r = avcodec_send_frame(m.audio, f);
    av_frame_free(&f);
    if (r < 0) {
      error = "the " + choice_.audioCodec + " encoder failed: " + AvError(r);
      return false;
    }
    if (!Drain(m.audio, m.astream, error)) return false;
  }
}

bool TMediaEncoder::AddAudio(const int16_t* samples, int32_t frames, std::string& error) {
  if (!impl_ || finished_) return false;
  TImpl& m = *impl_;
  const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(samples)};
  const int room = swr_get_out_samples(m.swr, frames);
  uint8_t** out = nullptr;
  if (room < 0 || av_samples_alloc_array_and_samples(&out, nullptr, 2, std::max(room, 1), m.audio->sample_fmt, 0) < 0) {
    error = "out of memory";
    return false;
  }
  const int got = samples ? swr_convert(m.swr, out, room, in, frames) : swr_convert(m.swr, out, room, nullptr, 0);
  if (got > 0) av_audio_fifo_write(m.fifo, reinterpret_cast<void**>(out), got);
  av_freep(&out[0]);
  av_freep(&out);
  if (got < 0) {
    error = "cannot convert the sound: " + AvError(got);
    return false;
  }
  if (samples) audioIn_ += frames;
  return SendAudioFrames(false, error);
}

bool TMediaEncoder::Finish(std::string& error) {
  if (!impl_ || finished_) {
    error = "the encoder is not open";
    return false;
  }
  TImpl& m = *impl_;
  auto fail = [&](const std::string& e) {
    error = e;
    Abort();
    return false;
  };
  std::string e;
  // What the resampler still holds, the short last frame, then each encoder's delayed output.
  if (!AddAudio(nullptr, 0, e) || !SendAudioFrames(true, e)) return fail(e);
  int r = avcodec_send_frame(m.audio, nullptr);
  if ((r < 0 && r != AVERROR_EOF) || !Drain(m.audio, m.astream, e)) return fail(e.empty() ? AvError(r) : e);
  r = avcodec_send_frame(m.video, nullptr);
  if ((r < 0 && r != AVERROR_EOF) || !Drain(m.video, m.vstream, e)) return fail(e.empty() ? AvError(r) : e);
  r = av_write_trailer(m.fmt);
  if (r < 0) return fail("cannot write \"" + path_ + "\": " + AvError(r));
  r = avio_closep(&m.fmt->pb);
  if (r < 0) return fail("cannot write \"" + path_ + "\": " + AvError(r));
  if (std::rename(partial_.c_str(), path_.c_str()) != 0)
    return fail("cannot name the finished file \"" + path_ + "\": " + std::strerror(errno));
  finished_ = true;
  impl_.reset();
  return true;
}

void TMediaEncoder::Abort() {
  if (finished_ || !impl_) return;
  impl_.reset();  // closes the file
  std::remove(partial_.c_str());
}

}  // namespace zem
