// The triangle controller and cell tiles on the OpenGL device layer: a filter's triangles are
// drawn textured with the capture of the item being revealed, blended over the target. The
// filters only see the abstract controller and tile of transitions/tri_pipeline.h.
//
// Threads: engine thread, inside a frame (the screen's rules apply).
#pragma once
#include <memory>

#include "render/screen.h"
#include "transitions/tri_pipeline.h"

namespace zem {

// The device vertex of a filter vertex: positions on the output rectangle's left or top edge
// move 2 pixels outwards so no background line shows there; texture positions are relative to
// the cell origin; white with alpha = the opacity rounded.
TVertex MakeTileVertex(const TEffVertex& v, const TRectI& output, TPointI origin, float invW, float invH);
// Grey at the source brightness, opaque; texture from the source minus the cell origin.
TVertex MakeMapVertex(const TEffVertex& src, const TVec3& dst, TPointI origin, float invW, float invH);

class TD3DTriTile;

class TD3DTriController : public TEffController {
 public:
  // The screen is required.
  explicit TD3DTriController(T3DScreen* screen);
  ~TD3DTriController() override;

  std::unique_ptr<TEffTile> CreateCell(const TRectI& rect, TPointI position) override;
  TRectI GetClipRect() const override { return clip_; }

  // The output rectangle: one cell covering it.
  void SetRect(const TRectI& output);
  void SetClipRect(const TRectI& clip) { clip_ = clip; }
  // The capture textured triangles read (texel (0, 0) = the output's top-left corner).
  void SetCapture(TCustomTexture* capture) { capture_ = capture; }

  T3DScreen* Screen() const { return screen_; }
  TCustomTexture* Capture() const { return capture_; }
  const TRectI& Output() const { return output_; }

  // The batch of a tile between Begin and End (textured with the capture, or untextured).
  void OpenBatch(bool textured);
  void Add(const TVertex& a, const TVertex& b, const TVertex& c);
  // Draws what is pending and closes the open tile (also after a filter raised mid-tile).
  void FlushBatch();

 private:
  friend class TD3DTriTile;
  T3DScreen* screen_;
  TRectI output_, clip_;
  TCustomTexture* capture_ = nullptr;
  TVertexBuffer textured_, untextured_;
  TVertexBuffer* open_ = nullptr;
  TD3DTriTile* openTile_ = nullptr;  // between a tile's Begin and End
};

class TD3DTriTile : public TEffTile {
 public:
  TD3DTriTile(TD3DTriController* owner, const TRectI& rect, TPointI position);

  void Begin(bool textured, uint8_t option) override;
  void DrawTriangle(const TEffVertex& a, const TEffVertex& b, const TEffVertex& c) override;
  void FillTriangle(const TVec3 (&pos)[3], const uint32_t (&colours)[3]) override;
  void MapTriangle(const TEffVertex (&src)[3], const TPointF (&dst)[3]) override;
  void FillTriangleDepth(const TVec3 (&pos)[3], const uint32_t (&colours)[3]) override;
  void MapTriangleDepth(const TEffVertex (&src)[3], const TVec3 (&dst)[3]) override;
  void End() override;

 private:
  friend class TD3DTriController;
  float InvW() const;
  float InvH() const;

  TD3DTriController* ctl_;
  bool open_ = false;  // between Begin and End
  uint8_t option_ = 0;
};

}  // namespace zem
