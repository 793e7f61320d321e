#include "video/win_video_source.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "foundation/log.h"

namespace zem {

namespace {

// A plane that a frame needs and that was handed out is committed unchanged when another one is
// missing; the frame is then not delivered.
struct TPlanes {
  TYUVImage& image;
  TYUVPlane p[5];
  bool open[5] = {};
  explicit TPlanes(TYUVImage& i) : image(i) {}
  bool Open(int kind) {
    open[kind] = image.OpenPlane(kind, p[kind]);
    return open[kind];
  }
  void CommitAll() {
    for (int k = 0; k < 5; ++k)
      if (open[k]) {
        image.CommitPlane(k, p[k]);
        open[k] = false;
      }
  }
  ~TPlanes() { CommitAll(); }
};

}  // namespace

uint16_t TWinVideoSource::GreyPixel(uint8_t v) {
  const int e = int(std::trunc(v * 219.0 / 255.0 + 16.0));
  return uint16_t((e / 4) * 32 + (e / 8) * 2049);
}

const char* TWinVideoSource::CodecName(int32_t id) {
  switch (id) {
    case 2: return "MPEG2";
    case 13: return "MPEG4";
    case 28: return "H264";
    case 63: return "XVID";
    default: return "OTHER";
  }
}

TWinVideoSource::TWinVideoSource(TStream* stream, bool ownsStream, const WideString& name)
    : stream_(stream), name_(name) {
  if (ownsStream) owned_.reset(stream);
  for (int v = 0; v < 256; ++v) grey_[v] = GreyPixel(uint8_t(v));
  dll_ = TFFMpegDll::Acquire();
  if (!dll_ || !stream_) return;
  ctx_ = dll_->OpenMedia(WideToUtf8(name), stream_, SoundStreamRoutines());
  if (!ctx_) return;
  if (ctx_->videoStream < 0) {
    dll_->CloseMedia(ctx_);
    ctx_ = nullptr;
    return;
  }
  params_.width = ctx_->width;
  params_.height = ctx_->height;
  params_.fps = ctx_->fpsDen > 0 ? double(ctx_->fpsNum) / ctx_->fpsDen : 0;
  params_.frameCount = ctx_->frameCount;
  params_.aspectCode = TFFMpegDll::AspectCode(ctx_->width, ctx_->height, ctx_->sarNum, ctx_->sarDen);
  dll_->InterlaceInfo(ctx_, params_.interlaceKnown, params_.fieldFlag);
  params_.codecName = CodecName(ctx_->videoCodecId);
  const int32_t fmt = ctx_->pixelFormat;
  params_.rgb = fmt == kPixBgra || fmt == kPixRgba;
  decode_ = dll_->allocBuffer(ctx_, fmt);
  if (fmt != kPixYuv420 && !params_.rgb) {
    convert_ = dll_->allocBufferWithData(ctx_, kBufYuv420);
    if (!convert_) {
      dll_->freeBuffer(decode_);
      decode_ = nullptr;
    }
  }
}

TWinVideoSource::~TWinVideoSource() {
  if (dll_) {
    if (decode_) dll_->freeBuffer(decode_);
    if (convert_) dll_->freeBuffer(convert_);
    if (rgb24_) dll_->freeBuffer(rgb24_);
    if (ctx_) dll_->CloseMedia(ctx_);
    TFFMpegDll::Release(dll_);
  }
}

uint8_t TWinVideoSource::Container() const {
  const TVideoDataEx* ex = ctx_ ? DataEx(ctx_) : nullptr;
  return ex ? ex->container : uint8_t(kContainerOther);
}

bool TWinVideoSource::Fetch(int64_t n) {
  if (n == held_) return true;
  bool ok = dll_->DecodeFrame(ctx_, decode_, n);
  if (ok && convert_) ok = dll_->convertFrame(ctx_, decode_, kBufYuv420, ctx_->pixelFormat, convert_) != 0;
  if (!ok) {
    // A clip that breaks mid-stream keeps showing its last good frame; told once.
    if (failures_++ == 0)
      LogLine("GetFrame " + std::to_string(n) + " of file " + WideToUtf8(name_) + " Error= 1");
    held_ = -1;
    return false;
  }
  held_ = n;
  return true;
}

bool TWinVideoSource::GetFrame(int64_t index, TYUVImage& image) {
  if (!Usable() || !Fetch(index)) return false;
  const TFrameBuffer* src = convert_ ? convert_ : decode_;
  const int32_t w = ctx_->width, h = ctx_->height;
  TPlanes planes(image);
  switch (image.Layout()) {
    case TYUVLayout::Gray: {
      if (params_.rgb || !src->data[0]) {
        LogLine("Y data not found");
        return false;
      }
      if (!planes.Open(kPlaneY)) return false;
      TYUVPlane& p = planes.p[kPlaneY];
      const int32_t rows = std::min(h, p.height), cols = std::min(w, p.width);
      for (int32_t y = 0; y < rows; ++y) std::memcpy(p.rows[size_t(y)], src->data[0] + int64_t(y) * src->stride[0], size_t(cols));
      break;
    }
    case TYUVLayout::Rgba: {
      if (!params_.rgb || !src->data[0]) {
        LogLine("RGBA data not found");
        return false;
      }
      if (!planes.Open(kPlaneRgba)) return false;
      TYUVPlane& p = planes.p[kPlaneRgba];
      const int32_t rows = std::min(h, p.height), cols = std::min(w, p.width);
      const bool swap = ctx_->pixelFormat == kPixRgba;  // the texture takes B, G, R, A
      for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* s = src->data[0] + int64_t(y) * src->stride[0];
        uint8_t* d = p.rows[size_t(y)];
        if (!swap) {
          std::memcpy(d, s, size_t(cols) * 4);
        } else {
          for (int32_t x = 0; x < cols; ++x) {
            d[4 * x] = s[4 * x + 2];
            d[4 * x + 1] = s[4 * x + 1];
            d[4 * x + 2] = s[4 * x];
            d[4 * x + 3] = s[4 * x + 3];
          }
        }
      }
      break;
    }
    case TYUVLayout::Grey565: {
      if (params_.rgb || !src->data[0]) {
        LogLine("Y data not found");
        return false;
      }
      if (!planes.Open(kPlaneGrey565)) return false;
      TYUVPlane& p = planes.p[kPlaneGrey565];
      const int32_t rows = std::min(h, p.height), cols = std::min(w, p.width);
      for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* s = src->data[0] + int64_t(y) * src->stride[0];
        auto* d = reinterpret_cast<uint16_t*>(p.rows[size_t(y)]);
        for (int32_t x = 0; x < cols; ++x) d[x] = grey_[s[x]];
      }
      break;
    }
    case TYUVLayout::Planar420: {
      if (params_.rgb || !src->data[0] || !src->data[1] || !src->data[2]) {
        LogLine("YUV data not found");
        return false;
      }
      if (!planes.Open(kPlaneY) || !planes.Open(kPlaneU) || !planes.Open(kPlaneV)) return false;
      TYUVPlane &py = planes.p[kPlaneY], &pu = planes.p[kPlaneU], &pv = planes.p[kPlaneV];
      const int32_t cols = std::min(w, py.width), half = std::min(w / 2, std::min(pu.width, pv.width));
      for (int32_t k = 0; 2 * k < h; ++k) {
        for (int32_t r = 2 * k; r < std::min(2 * k + 2, std::min(h, py.height)); ++r)
          std::memcpy(py.rows[size_t(r)], src->data[0] + int64_t(r) * src->stride[0], size_t(cols));
        if (k < pu.height && k < pv.height && k < (h + 1) / 2) {
          std::memcpy(pu.rows[size_t(k)], src->data[1] + int64_t(k) * src->stride[1], size_t(half));
          std::memcpy(pv.rows[size_t(k)], src->data[2] + int64_t(k) * src->stride[2], size_t(half));
        }
      }
      break;
    }
  }
  planes.CommitAll();
  image.Finish();
  return true;
}

bool TWinVideoSource::GetFrame24(int64_t index, TBitmap& bitmap) {
  if (!Usable()) return false;
  if (!rgb24_) rgb24_ = dll_->allocBufferWithData(ctx_, kBufRgb24);
  bool ok = rgb24_ && Fetch(index);
  const TFrameBuffer* src = decode_;
  if (ok && ctx_->pixelFormat != kPixRgb24) {
    ok = dll_->convertFrame(ctx_, decode_, kBufRgb24, ctx_->pixelFormat, rgb24_) != 0;
    src = rgb24_;
  }
  if (!ok) {
    LogLine("GetFrame24 Error");
    return false;
  }
  if (!src->data[0]) {
    LogLine("RGB data not found");
    return false;
  }
  const int32_t w = ctx_->width, h = ctx_->height;
  if (!bitmap.Allocate(w, h, TPixelFormat::Rgb24)) return false;
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* s = src->data[0] + int64_t(y) * src->stride[0];
    uint8_t* d = bitmap.Row(y);
    for (int32_t x = 0; x < w; ++x) {
      d[3 * x] = s[3 * x + 2];  // the bitmap keeps blue, green, red
      d[3 * x + 1] = s[3 * x + 1];
      d[3 * x + 2] = s[3 * x];
    }
  }
  return true;
}

}  // namespace zem
