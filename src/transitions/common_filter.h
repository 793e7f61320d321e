// Distance-band wipes: the visible part grows from a centre (or a line) outwards, with a soft
// edge of up to 14 bands whose opacity falls along the S-shaped curve.
#pragma once
#include "transitions/draw_filter.h"

namespace zem {

class TCommonFilter : public TDrawFilter {
 public:
  TCommonFilter(float centreX, float centreY) : fx_(centreX), fy_(centreY) {}

  void Init(const TRectI& rect, float smoothWidth, float duration) override;
  void Draw(TEffController* controller) override;

  float MaxDistance() const { return maxDist_; }
  TPointF Centre() const { return {cx_, cy_}; }
  // The band position p at the current time (reverse: from the maximum down to 0).
  float BandPosition() const;

 protected:
  virtual void UpdateGeometry() = 0;
  // The band between distance r0 (opacity a0) and r1 (opacity a1); index −1 is the interior.
  virtual void DrawBand(int32_t index, float r0, float r1, float a0, float a1) = 0;

  void DrawBands(float inner, float outer);
  // Maps a filter-rectangle triangle onto the clip rectangle and hands it to the multi-tile.
  void EmitTriangle(TEffVertex a, TEffVertex b, TEffVertex c);
  // The quadrilateral (tl, tr, bl, br) as two triangles.
  void EmitQuad(const TEffVertex& tl, const TEffVertex& tr, const TEffVertex& bl, const TEffVertex& br);

  float fx_, fy_;
  float cx_ = 0, cy_ = 0;
  float maxDist_ = 0;
  TMultiTile* multi_ = nullptr;  // only during Draw
};

class TCircleFilter : public TCommonFilter {
 public:
  using TCommonFilter::TCommonFilter;
  int32_t Segments() const { return segments_; }
  float EdgeDistance() const { return edge_; }

 protected:
  void UpdateGeometry() override;
  void DrawBand(int32_t index, float r0, float r1, float a0, float a1) override;

 private:
  float edge_ = 0;     // centre to the rectangle (0 inside)
  float corner_ = 0;   // centre to the farthest corner
  int32_t segments_ = 128;
};

class THLines : public TCommonFilter {
 public:
  using TCommonFilter::TCommonFilter;

 protected:
  void UpdateGeometry() override;
  void DrawBand(int32_t index, float r0, float r1, float a0, float a1) override;
};

class TVLines : public TCommonFilter {
 public:
  using TCommonFilter::TCommonFilter;

 protected:
  void UpdateGeometry() override;
  void DrawBand(int32_t index, float r0, float r1, float a0, float a1) override;
};

class TRhombFilter : public TCommonFilter {
 public:
  using TCommonFilter::TCommonFilter;

 protected:
  void UpdateGeometry() override;
  void DrawBand(int32_t index, float r0, float r1, float a0, float a1) override;
};

class TSquareFilter : public TCommonFilter {
 public:
  using TCommonFilter::TCommonFilter;

 protected:
  void UpdateGeometry() override;
  void DrawBand(int32_t index, float r0, float r1, float a0, float a1) override;

 private:
  float aspect_ = 1;
};

// Slanted strips parallel to a base line; class 8 opens from the diagonal, class 10 sweeps
// from a corner.
class TDiagLines : public TCommonFilter {
 public:
  TDiagLines(int32_t effectClass, int32_t effectType);
  int32_t Mode() const { return mode_; }
  bool Flip() const { return flip_; }

 protected:
  void UpdateGeometry() override;
  void DrawBand(int32_t index, float r0, float r1, float a0, float a1) override;

 private:
  int32_t mode_ = 0;
  bool flip_ = false;
  float topOffset_ = 0, bottomOffset_ = 0;  // x of the base line at the top and the bottom
};

}  // namespace zem
