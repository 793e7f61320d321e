// The drawer's view of the device layer. The drawer's own sources see the show model's
// geometry types; the device layer has vectors of its own, so everything that touches the
// screen, textures and programs lives behind this small interface with plain records.
//
// Threads: drawing calls come from the drawing thread inside the frame lock; PrepareImage /
// ReleaseImage from any thread under the drawer's resource mutex.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/bitmap.h"
#include "foundation/refobj.h"

namespace zem {

class T3DScreen;
class T3DYUVGL;
class TDrawDevice;
class TRenderTargetTexture;

class TBoxAntiTexture;

// Owning handle of a pooled target whose type the drawer does not see.
struct TTargetDeleter {
  void operator()(TRenderTargetTexture* t) const;
};
using TTargetPtr = std::unique_ptr<TRenderTargetTexture, TTargetDeleter>;

struct TBVec {
  float x = 0, y = 0, z = 0;
};
struct TBRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool Empty() const { return right <= left || bottom <= top; }
};
struct TBRectF {
  float left = 0, top = 0, right = 0, bottom = 0;
  bool Empty() const { return !(right > left) || !(bottom > top); }
};

// Pixel programs of the drawer, in the order they are made.
enum TProgramId : int {
  kPrgUnsharp = 0, kPrgYuvLum, kPrgYuvDeinterlaceLum, kPrgChromakey, kPrgChromaDeinter,
  kPrgVideomask, kPrgColorCorrection, kPrgPremul, kPrgPremul2, kPrgPremul3, kPrgGaussBlurH7,
  kPrgGaussBlurV7, kPrgGaussMix, kPrgCount
};
const char* ProgramName(int id);

// What an image draw needs of the image parameters.
struct TBImageDraw {
  int32_t mipLevel = 0;
  int32_t shownWidth = 0, shownHeight = 0;      // the reduced copy stays larger (0: the level's size)
  int32_t pictureWidth = 0, pictureHeight = 0;  // the picture's nominal size
  int32_t columns = 1, rows = 1;
  bool reserved = false;
  bool nearest = false;
  bool anisotropic = false;  // "Default" filtering: mip chain and anisotropic minification

  float mipBias = 0;
  int32_t border = 0;
  bool antialiased = false;
  uint32_t colour = 0xFFFFFFFFu;  // vertex colour
  float colorise = 0;             // colour-correction amount, 0 = off
  bool premulOutput = false;      // the program set writes premultiplied colour
  TBRectF source;                 // picture pixels (the texture's own scale is applied when drawn)
};

// Which pool a target came from.
enum : int { kPoolFull = 0, kPoolHalf = 1 };

// The box edge antialiaser (one per drawer, made on first use): a 256 x 256 opaque white
// texture; a box is one quadrilateral textured with it, tinted by its corner colours, with the
// flagged edges (1 left, 2 top, 4 right, 8 bottom) antialiased by the screen.
class TBoxAntialiaser {
 public:
  static constexpr int32_t kSize = 256;
  explicit TBoxAntialiaser(T3DScreen* screen);
  ~TBoxAntialiaser();
  // Corners TL, TR, BL, BR in design space.
  void DrawAntialiasedBox(const TBVec c[4], const uint32_t colours[4], uint8_t edges);
  TBoxAntiTexture* Texture() const { return texture_.get(); }

 private:
  T3DScreen* screen_;
  std::unique_ptr<TBoxAntiTexture> texture_;
};

class TGLBackend {
 public:
  TGLBackend();
  ~TGLBackend();

  void Assign(TDrawDevice* device);
  void ReleaseDevice();
  bool HasScreen() const;
  // For drawing code that works on the screen directly (transition triangles); null before
  // the first Assign.
  T3DScreen* Screen() const;
  bool IsReady() const;
  int ShaderLevel();
  int DeviceState() const;  // 0 usable, 1 requested, 2 lost, 3 none
  int RefreshRate() const;  // Hz, 60 without a renderer
  // Drawing thread's texture uploads: ms in all, the most in one frame.
  double UploadMsTotal() const;
  double UploadMsMaxFrame() const;
  // Makes the programs that do not exist yet.
  void CreatePrograms();
  // Back-buffer rectangle (0, 0, w, h); empty without a device.
  TBRect BackBufferRect() const;
  TBRect CurrentTargetRect() const;
  // Makes or resizes the two pools for a target of w × h.
  void RefreshPools(int32_t w, int32_t h);

  bool BeginScene();
  void EndScene();
  bool Present();
  bool InScene() const;
  void WaitIdle();

  void Clear(uint32_t argb, bool depth);
  void ClearRect(uint32_t argb, const TBRect& r);
  void SetMapping(const TBRect& designRect, int32_t w, int32_t h);
  // Drawing on the current target is confined to `r` (the mapping stays).
  void Confine(const TBRect& r);
  TBRect ConfineRect() const;
  // Plain drawing: blend mode 0 and no pixel program set.
  bool PlainState() const;
  // The quad (corners TL, TR, BL, BR, design space) shows texelsX × texelsY texels smaller
  // than one pixel each somewhere, so it samples the mip chain.
  bool Minified(const TBVec c[4], float texelsX, float texelsY) const;
  bool OnBackBuffer() const;
  // Target pixel of a design point; false behind the camera.
  bool Project(const TBVec& p, float& x, float& y) const;

  // Corners TL, TR, BL, BR in design space.
  void ColoredQuad(const TBVec c[4], const uint32_t colours[4]);
  // Through the box antialiaser (made on first use).
  void AntialiasedQuad(const TBVec c[4], const uint32_t colours[4], uint8_t edges);
  bool HasAntialiaser() const { return antiTexture_ != nullptr; }

  // Render-target pools.
  TTargetPtr Take(int pool);
  void Return(int pool, TTargetPtr t);
  static int32_t TargetWidth(TRenderTargetTexture* t);
  static int32_t TargetHeight(TRenderTargetTexture* t);
  static int32_t AllocWidth(TRenderTargetTexture* t);
  static int32_t AllocHeight(TRenderTargetTexture* t);
  // Whether the target's colour counts as premultiplied when it is drawn (flushes first).
  void SetPremultiplied(TRenderTargetTexture* t, bool on);
  // A target of its own size, outside the pools (scratch copies).
  TTargetPtr MakeTarget(int32_t w, int32_t h, bool alpha);
  // Offset: the target pixel of the current mapping's origin is shifted by (-ox, -oy).
  void PushTarget(TRenderTargetTexture* t, int32_t ox = 0, int32_t oy = 0);
  void PopTarget();
  // Draws target `a` (source in texels) onto dest (in current mapping units), optionally with a
  // second texture `b` read over `sourceB`.
  void DrawTarget(TRenderTargetTexture* a, const TBRectF& source, const TBRectF& dest,
                  uint32_t colour = 0xFFFFFFFFu, TRenderTargetTexture* b = nullptr,
                  const TBRectF* sourceB = nullptr);
  void SetProgram(int id);  // -1: none
  void SetConstant(int reg, float x, float y = 0, float z = 0, float w = 0);
  void SetBlendMode(int mode);
  void Flush();

  // Images: the texture store kept in `cache` (on the picture), one multi-texture per key of
  // `d`. Lookups, publishing and drawing run under the drawer's resource lock; making a
  // multi-texture (tiles filled from the picture's level, uploads queued) runs off it.
  static std::string ImageKey(const TBImageDraw& d);
  bool HasImage(const std::unique_ptr<TObj>& cache, const TBImageDraw& d) const;
  // Tiles for `level` (the picture at d.mipLevel, any thread); null without a screen.
  std::unique_ptr<TObj> MakeImage(const TBitmap& level, const TBImageDraw& d);
  // Adds what MakeImage made unless the key arrived meanwhile (then `made` is dropped).
  void PublishImage(std::unique_ptr<TObj>& cache, const TBImageDraw& d, std::unique_ptr<TObj> made);
  // Picture point (u, v) lands at origin + u·x + v·y; the picture's reduced copy is drawn at
  // whatever scale it was made. False when the picture has no textures for this key.
  bool DrawImage(std::unique_ptr<TObj>& cache, const TBImageDraw& d, const TBVec& origin, const TBVec& x,
                 const TBVec& y);
  static void ReleaseImage(std::unique_ptr<TObj>& cache);
  // Every pixel of the picture's textures for this key is opaque (false without them).
  bool ImageOpaque(const std::unique_ptr<TObj>& cache, const TBImageDraw& d) const;
  // The image through its multi-texture with `mask` (a target of the current target's size) as
  // second texture, read at each vertex's target pixel. Only for layers without depth, whose
  // projection is affine. False when the picture has no textures for this key.
  bool DrawImageOverMask(std::unique_ptr<TObj>& cache, const TBImageDraw& d, const TBVec& origin, const TBVec& x,
                         const TBVec& y, TRenderTargetTexture* mask);
  // A capture (texels `source`) as one quad over design-space corners TL, TR, BL, BR.
  void TargetQuad(TRenderTargetTexture* t, const TBRectF& source, const TBVec c[4], uint32_t colour,
                  uint8_t edges);

  // Video surfaces: the surface's textures over corners TL, TR, BL, BR: three planes (the
  // chroma planes read the source rectangle halved), or its one RGBA, luminance or grey
  // texture. False when it has no textures (closed).
  bool VideoQuad(T3DYUVGL* surface, const TBVec c[4], uint32_t colour, const TBRectF& source, uint8_t edges);
  // Rows of the luminance texture as the deinterlacing programs address them; 0 without one.
  static int32_t VideoLumaRows(T3DYUVGL* surface);
  int MultiTextureCount() const;

  bool CopyBackBuffer(TBitmap& out);
  bool ReadTarget(TBitmap& out);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
  void* antiTexture_ = nullptr;  // set once the antialiaser's texture exists
};

}  // namespace zem
