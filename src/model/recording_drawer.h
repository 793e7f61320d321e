// A drawer without a device: every call is written as one text line with its arguments, so
// the show model (and anything else that draws) can be tested headless.
#pragma once
#include <string>
#include <vector>

#include "model/draw_interface.h"

namespace zem {

// A video surface in memory (what the recording drawer hands out): planes of the exact frame
// size, read back by tests. Decoder threads write under the surface's monitor.
class TMemoryVideoSurface : public T3DYUV {
 public:
  TMemoryVideoSurface(int32_t width, int32_t height, bool rgba, bool mask);
  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  bool IsRgba() const override { return rgba_; }
  bool IsMask() const override { return mask_; }
  bool OpenPlane(int kind, TYUVPlane& plane) override;
  bool CommitPlane(int kind, TYUVPlane& plane) override;
  void Invalidate() override { PictureLost(); }
  void Finish() override { ++finished_; }

  // A copy of a plane's bytes (rows of its width x bytes per texel); empty when the layout has
  // none. Frames finished so far.
  std::vector<uint8_t> Plane(int kind);
  int32_t PlaneWidth(int kind) const;
  int32_t PlaneHeight(int kind) const;
  int32_t Finished();

 private:
  int32_t width_, height_;
  bool rgba_, mask_;
  std::vector<uint8_t> planes_[5];  // under the monitor
  int32_t finished_ = 0;            // under the monitor
};

class TRecordingDrawer : public TDeviceDrawer {
 public:
  // The target is width x height; an owner notification that records "Notify N" is installed.
  TRecordingDrawer(int32_t width = 800, int32_t height = 600);

  void BeginFrame() override;
  void EndFrame() override;
  bool Present() override;
  bool IsReady() override;
  void SetClipRect(const TRectI& rect) override;
  void Init(TDeviceWindow* window) override;
  void Close() override;
  void PrepareImage(TDrawPicture* image, const TImageParams& params) override;
  void ReleaseImage(TDrawPicture* image) override;
  void SetDesignSize(int32_t width, int32_t height) override;
  int32_t CheckDevice() override;
  void Clear(uint32_t colour, bool withDepth) override;
  void ClearRect(uint32_t colour, const TRectI& rect) override;
  bool SetOffset(float dx, float dy) override;
  bool DrawItem(TDrawItem* item) override;
  void DrawTransition(TDrawItem* first, TDrawItem* second, TZemFilter* filter) override;
  void DrawImage(TDrawPicture* image, const TVec3& position, const TPointF& offset,
                 const TVec3& axisX, const TVec3& axisY, const TImageParams& params) override;
  void DrawBox(const TVec3& position, const TPointF& offset, const TVec3& axisX,
               const TVec3& axisY, const TBoxParams& params) override;
  void DrawFrame(const TVec3& position, const TVec3& axisX, const TVec3& axisY,
                 const TPointF& offset, const TPointF& borders, const TPointF& outerSize,
                 uint32_t colour, float opacity, bool antialias) override;
  TRef<T3DYUV> CreateVideoSurface(int32_t width, int32_t height, bool rgba,
                                             bool mask) override;
  void DrawVideo(T3DYUV* surface, const TVec3& position, const TPointF& offset,
                 const TVec3& axisX, const TVec3& axisY, const TVideoParams& params) override;
  void FillQuad(const TPointF& corner1, const TPointF& corner2, uint32_t colour) override;
  void DrawMasked(TDrawItem* maskItem, std::span<const TMaskedLayer> layers,
                  TDrawPicture* tileImage) override;
  void BeginOffscreen() override;
  void EndOffscreen(uint8_t threshold, float amount) override;
  bool CopyToBitmap(TBitmap& bitmap) override;
  TRef<TDrawPicture> Snapshot() override;
  void SetViewport(const TRectI& designRect, const TPointI& designSize) override;

  void SetReady(bool ready) { ready_ = ready; }
  const std::vector<std::string>& Lines() const { return lines_; }
  // All lines joined with "\n".
  std::string Text() const;
  void ClearLog() { lines_.clear(); }
  // Number of lines that start with `prefix`.
  size_t Count(const std::string& prefix) const;
  // Number of whole frames drawn (outermost DrawItem calls).
  int32_t Frames() const { return frames_; }

  // Formatting used in the lines, exposed for tests that build expected text.
  static std::string Num(double v);
  static std::string Vec(const TVec3& v);
  static std::string Pt(const TPointF& p);
  static std::string Hex(uint32_t v);

 private:
  void Log(std::string line) { lines_.push_back(std::move(line)); }

  std::vector<std::string> lines_;
  bool ready_ = true;
  bool inScene_ = false;
  int32_t frames_ = 0;
  int32_t offscreen_ = 0;
};

}  // namespace zem
