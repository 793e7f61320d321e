#include "transitions/flip_effects.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "foundation/assert.h"

namespace zem {

namespace {

constexpr double kPi = std::numbers::pi;

TRectF Bounds(const TEffController& c) {
  const TRectI b = c.GetBounds();
  return {float(b.left), float(b.top), float(b.right), float(b.bottom)};
}

bool Meets(const TRectI& cell, const TRectI& clip) {
  return cell.right > clip.left && cell.left < clip.right && cell.bottom > clip.top && cell.top < clip.bottom;
}

// Every cell of the grid in opaque black, untextured.
void FillBlack(TEffController& controller) {
  const uint32_t black[3] = {kTransitionBlack, kTransitionBlack, kTransitionBlack};
  for (int32_t row = 0; row < controller.RowCount(); ++row)
    for (int32_t col = 0; col < controller.ColumnCount(); ++col) {
      const TRectI r = controller.CellRect(col, row);
      const float l = float(r.left), t = float(r.top), rt = float(r.right), b = float(r.bottom);
      TEffTile* tile = controller.GetCell(col, row);
      tile->Begin(false, 0);
      tile->FillTriangle({{l, t, 0}, {rt, t, 0}, {l, b, 0}}, black);
      tile->FillTriangle({{rt, t, 0}, {l, b, 0}, {rt, b, 0}}, black);
      tile->End();
    }
}

TVec3 Lerp(const TVec3& a, const TVec3& b, float f) {
  return {a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f, a.z + (b.z - a.z) * f};
}

}  // namespace

// ---------------------------------------------------------------------------------------------

double TOverturnEffect::Turn() const {
  const double p = Progress();
  return kPi * (smooth_ ? Ease(p) : p);
}

int32_t TOverturnEffect::Brightness() const { return int32_t(std::lround(std::abs(std::cos(Turn())) * 155 + 100)); }

TFlipPage TOverturnEffect::Page(int32_t variant, double a, const TRectF& bounds, float curving) {
  const bool horizontal = variant == 1 || variant == 2 || variant == 5 || variant == 6;
  const double half = (horizontal ? bounds.right - bounds.left : bounds.bottom - bounds.top) / 2.0;
  const double centre = horizontal ? (bounds.left + bounds.right) / 2.0 : (bounds.top + bounds.bottom) / 2.0;
  // After the half turn the page is taken from its other side, so it ends unmirrored.
  const double s = std::abs(a) < kPi / 2 ? 1 : -1;
  const float off = float(std::cos(a) * half * s);
  const float e = float(std::sin(a) * half * curving * s);
  float nearDepth, farDepth;  // the right (bottom) and the left (top) corners
  if (variant >= 5) {
    nearDepth = -e;
    farDepth = e;
  } else {
    nearDepth = std::abs(e) - e;
    farDepth = e + std::abs(e);
  }
  const float lo = float(centre) - off, hi = float(centre) + off;
  TFlipPage p;
  if (horizontal) {
    p.topLeft = {lo, bounds.top, farDepth};
    p.bottomLeft = {lo, bounds.bottom, farDepth};
    p.topRight = {hi, bounds.top, nearDepth};
    p.bottomRight = {hi, bounds.bottom, nearDepth};
  } else {
    p.topLeft = {bounds.left, lo, farDepth};
    p.topRight = {bounds.right, lo, farDepth};
    p.bottomLeft = {bounds.left, hi, nearDepth};
    p.bottomRight = {bounds.right, hi, nearDepth};
  }
  return p;
}

void TOverturnEffect::Draw(TEffController* controller) {
  if (!controller) return;
  if (variant_ < 1 || variant_ > 8) ZEM_FAIL("flip variant outside 1..8");
  const double theta = Turn();
  const double a = variant_ % 2 == 1 ? -theta : theta;
  const TRectF bounds = Bounds(*controller);
  FillBlack(*controller);
  const TFlipPage page = Page(variant_, a, bounds, curving_);
  const float k = float(Brightness());
  const float bw = bounds.right - bounds.left, bh = bounds.bottom - bounds.top;
  // A point of the bounds on the turned page: the corners interpolated by its place.
  auto onPage = [&](float x, float y) {
    const float fx = bw != 0 ? (x - bounds.left) / bw : 0, fy = bh != 0 ? (y - bounds.top) / bh : 0;
    return Lerp(Lerp(page.topLeft, page.topRight, fx), Lerp(page.bottomLeft, page.bottomRight, fx), fy);
  };
  const TRectI clip = controller->GetClipRect();
  for (int32_t row = 0; row < controller->RowCount(); ++row)
    for (int32_t col = 0; col < controller->ColumnCount(); ++col) {
      const TRectI r = controller->CellRect(col, row);
      if (!Meets(r, clip)) continue;
      const float l = float(r.left), t = float(r.top), rt = float(r.right), b = float(r.bottom);
      TEffTile* tile = controller->GetCell(col, row);
      tile->Begin(true, 1);
      tile->MapTriangleDepth({{l, t, k}, {rt, t, k}, {l, b, k}}, {onPage(l, t), onPage(rt, t), onPage(l, b)});
      tile->MapTriangleDepth({{rt, t, k}, {l, b, k}, {rt, b, k}}, {onPage(rt, t), onPage(l, b), onPage(rt, b)});
      tile->End();
    }
}

// ---------------------------------------------------------------------------------------------

TVec3 TTwoSlidesEffect::Displace(float x0, float y0, double x, double a, double b, const TRectF& bounds) const {
  const double d = std::abs(b) * depth_;
  switch (variant_) {
    case 1: b = 0; break;
    case 2: a = -a; b = 0; break;
    case 3: a = 0; break;
    case 4: a = 0; b = -b; break;
    default: ZEM_FAIL("swap variant outside 1..4");
  }
  const double m = std::sin(x * kPi) * width_;
  const double l = std::sin(x * maxAngle_);
  // The slide turns away about the edge it moves towards; distances from the bounds' corner.
  const double rx = double(x0) - bounds.left, ry = double(y0) - bounds.top;
  double z = x * d;
  if (a > 0) z += (a - rx) * l;
  if (a < 0) z += rx * l;
  if (b > 0) z += (b - ry) * l;
  if (b < 0) z += ry * l;
  return {float(x0 + a * m), float(y0 + b * m), float(z)};
}

void TTwoSlidesEffect::FrameDone(TDeviceDrawer&) {
  // Frames draw both slides; a frame that drew one must not swap the roles of the next.
  draws_ += draws_ % 2;
}

void TTwoSlidesEffect::Draw(TEffController* controller) {
  if (!controller) return;
  if (variant_ < 1 || variant_ > 4) ZEM_FAIL("swap variant outside 1..4");
  ++draws_;
  const bool first = draws_ % 2 == 1;
  const double p = Progress();
  const double q = Ease(p);
  if (first) FillBlack(*controller);
  const TRectF bounds = Bounds(*controller);
  const double w = bounds.right - bounds.left, h = bounds.bottom - bounds.top;
  // The slide drawn first (behind) is near x = 1 at both ends, the second near 0; the order
  // changes at half-way.
  double a = w, b = h, x = q;
  if ((p >= 0.5) != first) {
    a = -w;
    b = -h;
    x = 1 - q;
  }
  const TRectI clip = controller->GetClipRect();
  const float clipTop = float(clip.top), clipH = float(clip.Height()), bottom = float(clip.bottom);
  const float mirrorFrom = clipTop + 0.33f * clipH;
  for (int32_t row = 0; row < controller->RowCount(); ++row)
    for (int32_t col = 0; col < controller->ColumnCount(); ++col) {
      const TRectI r = controller->CellRect(col, row);
      if (!Meets(r, clip)) continue;
      const float l = float(r.left), t = float(r.top), rt = float(r.right), btm = float(r.bottom);
      auto at = [&](float px, float py) { return Displace(px, py, x, a, b, bounds); };
      TEffTile* tile = controller->GetCell(col, row);
      tile->Begin(true, 1);
      tile->MapTriangleDepth({{l, t, 255}, {rt, t, 255}, {l, btm, 255}}, {at(l, t), at(rt, t), at(l, btm)});
      tile->MapTriangleDepth({{rt, t, 255}, {l, btm, 255}, {rt, btm, 255}}, {at(rt, t), at(l, btm), at(rt, btm)});
      const float top = std::max(t, mirrorFrom);
      if ((variant_ == 1 || variant_ == 2) && btm > top && clipH > 0) {
        // The lower part mirrored about the clip's bottom edge, half bright there and fading
        // out upwards.
        auto mirrored = [&](float px, float py) {
          TVec3 v = at(px, py);
          v.y = 2 * bottom - v.y;
          return v;
        };
        auto shade = [&](float py) { return (py - clipTop) * 192 / clipH - 64; };
        tile->MapTriangleDepth({{l, top, shade(top)}, {rt, top, shade(top)}, {l, btm, shade(btm)}},
                               {mirrored(l, top), mirrored(rt, top), mirrored(l, btm)});
        tile->MapTriangleDepth({{rt, top, shade(top)}, {l, btm, shade(btm)}, {rt, btm, shade(btm)}},
                               {mirrored(rt, top), mirrored(l, btm), mirrored(rt, btm)});
      }
      tile->End();
    }
}

}  // namespace zem
