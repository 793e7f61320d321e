// TWinVideoSource: a frame source over the video decoding library. A request for frame n
// becomes decoded planes copied into a TYUVImage in the layout the image asks for.
//
// Threads: made on the loader thread; GetFrame and GetFrame24 run on the decoding worker of its
// extractor, one call at a time.
#pragma once
#include <cstdint>
#include <memory>

#include "model/frame_source.h"
#include "video/ffmpeg_dll.h"

namespace zem {

class TWinVideoSource : public TFrameSource {
 public:
  // Takes the library and opens the media; Usable() says whether that worked.
  TWinVideoSource(TStream* stream, bool ownsStream, const WideString& name);
  ~TWinVideoSource() override;

  bool Usable() const { return ctx_ != nullptr && decode_ != nullptr; }
  bool GetFrame(int64_t index, TYUVImage& image) override;
  bool GetFrame24(int64_t index, TBitmap& bitmap) override;

  // The 5-6-5 grey pixel of a luma value.
  static uint16_t GreyPixel(uint8_t v);
  // The codec name of a player codec id.
  static const char* CodecName(int32_t codecId);
  int32_t PixelFormat() const { return ctx_ ? ctx_->pixelFormat : 0; }
  uint8_t Container() const;

 private:
  // Makes frame n the one in the buffers; false logs and leaves the picture as it was.
  bool Fetch(int64_t n);

  std::unique_ptr<TStream> owned_;
  TStream* stream_;
  WideString name_;
  TFFMpegDll* dll_ = nullptr;
  TMediaContext* ctx_ = nullptr;
  TFrameBuffer* decode_ = nullptr;
  TFrameBuffer* convert_ = nullptr;
  TFrameBuffer* rgb24_ = nullptr;
  int64_t held_ = -1;
  int64_t failures_ = 0;
  uint16_t grey_[256];
};

}  // namespace zem
