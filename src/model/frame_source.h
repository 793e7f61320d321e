// Frame sources: decoded pictures of a video clip by frame index. The video layer (src/video)
// implements them over its decoding library and installs the factory at start-up; the show
// model reaches video only through this interface.
#pragma once
#include <cstdint>
#include <memory>

#include "foundation/bitmap.h"
#include "foundation/refobj.h"
#include "foundation/stream.h"
#include "foundation/strings.h"
#include "model/yuv_image.h"

namespace zem {

namespace video {

// What a clip is. (The drawer's record of the same name in zem::TVideoParams is something else:
// how a frame is drawn.)
struct TVideoParams {
  int32_t width = 0, height = 0;
  uint8_t aspectCode = 0;          // 0 none, 1 4:3, 2 16:9
  bool interlaceKnown = false;     // interlace information: a known flag ...
  bool fieldFlag = true;           // ... and the field flag
  double fps = 0;
  bool rgb = false;                // decoded frames are packed RGB
  int64_t frameCount = 0;
  std::string codecName;           // "MPEG2", "MPEG4", "H264", "XVID" or "OTHER"
};

}  // namespace video

class TFrameSource : public TObj {
 public:
  const video::TVideoParams& Params() const { return params_; }
  // Decodes frame `index` into the image in the layout it asks for; false when the frame could
  // not be had (the image keeps its previous picture). Decoder worker thread.
  virtual bool GetFrame(int64_t index, TYUVImage& image) = 0;
  // The frame as a 24-bit picture (allocated by the source to the frame size).
  virtual bool GetFrame24(int64_t index, TBitmap& bitmap) = 0;

 protected:
  video::TVideoParams params_;
};

// (stream handed over, display name, file date as time_t or 0) -> a source or none.
using TFrameSourceFactory = std::unique_ptr<TFrameSource> (*)(std::unique_ptr<TStream> stream,
                                                              const WideString& name, int64_t fileDate);
// Installs the factory (null removes it); the video layer does this once at start-up.
void SetFrameSourceFactory(TFrameSourceFactory factory);
// None when no factory is installed or the clip cannot be decoded.
std::unique_ptr<TFrameSource> CreateFrameSource(std::unique_ptr<TStream> stream, const WideString& name,
                                                int64_t fileDate = 0);

}  // namespace zem
