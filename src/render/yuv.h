// T3DYUVGL: the drawer's video surface on the OpenGL device. Decoder threads write frames into the CPU staging copies
// of its textures (OpenPlane / CommitPlane); the drawing thread uploads them before it draws.
//
// Lock order: the surface's lock, then DeviceMutex(). The drawing side never enters the
// surface lock while it holds the device mutex.
#pragma once
#include <condition_variable>
#include <memory>

#include "render/textures.h"
#include "model/draw_interface.h"
#include "model/yuv_image.h"

namespace zem {

class T3DYUVGL;

// The drawer keeps its live surfaces; a surface that is closed tells it.
class TVideoSurfaceOwner {
 public:
  virtual ~TVideoSurfaceOwner() = default;
  virtual void SurfaceClosed(T3DYUVGL* surface) = 0;
};

class T3DYUVGL : public T3DYUV, public TYUVTextureOwner {
 public:
  // Chooses the layout: three planes with pixel programs (neither RGBA nor mask), one RGBA
  // texture, one luminance texture for a mask, else one 5-6-5 grey texture.
  T3DYUVGL(T3DScreen* screen, TVideoSurfaceOwner* owner, int32_t width, int32_t height, bool rgba, bool mask);
  ~T3DYUVGL() override;

  // The smaller of size + 8 and the next power of two of the size.
  static int32_t PaddedSize(int32_t size);

  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  bool IsRgba() const override { return rgba_; }
  bool IsMask() const override { return mask_; }
  int32_t PaddedWidth() const { return padded_w_; }
  int32_t PaddedHeight() const { return padded_h_; }
  bool Rgba() const { return rgba_; }
  bool Mask() const { return mask_; }
  // 1 when the surface holds a grey picture only (the luminance of a mask, or 5-6-5 grey
  // without pixel programs), else 0.
  int GreyOnly() const { return layout_ == TYUVLayout::Gray || layout_ == TYUVLayout::Grey565 ? 1 : 0; }

  TVideoTexture* Luma() const { return luma_.get(); }
  TVideoTexture* ChromaU() const { return u_.get(); }
  TVideoTexture* ChromaV() const { return v_.get(); }
  TRGBATexture* RgbaTexture() const { return rgba_tex_.get(); }
  TGrayScaleTexture* Grey() const { return grey_.get(); }

  bool OpenPlane(int kind, TYUVPlane& plane) override;
  bool CommitPlane(int kind, TYUVPlane& plane) override;
  // Drops the device copies; the picture must be delivered again (needs-picture flag and the
  // invalidation callback).
  void Invalidate() override;

  // Set when a texture lost its device copy; the decoder is asked for the frame again.
  bool TexturesLost() const { return lost_; }
  void ClearTexturesLost() { lost_ = false; }
  void TextureLost() override;

  // Waits until no plane is open, frees the textures and tells the owner. Idempotent.
  void Close();
  bool Closed() const { return closed_; }
  int OpenPlanes() const { return open_; }

 private:
  TVideoTexture* TextureFor(int kind) const;

  T3DScreen* screen_;
  TVideoSurfaceOwner* owner_;
  int32_t width_, height_, padded_w_, padded_h_;
  bool rgba_, mask_;
  std::unique_ptr<TVideoTexture> luma_, u_, v_;
  std::unique_ptr<TRGBATexture> rgba_tex_;
  std::unique_ptr<TGrayScaleTexture> grey_;
  std::atomic<bool> lost_{false};
  std::atomic<bool> quiet_{false};  // set by Invalidate: it reports once for all textures
  bool closed_ = false;  // under the monitor
  int open_ = 0;         // under the monitor
  bool opened_[5] = {};  // under the monitor
  std::condition_variable_any planes_done_;
};

}  // namespace zem
