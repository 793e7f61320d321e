#include "render/drawer/effecter.h"

#include <algorithm>

#include "foundation/assert.h"
#include "render/drawer/drawer.h"
#include "render/drawer/drawer_math.h"

namespace zem {

namespace {
constexpr int32_t kScratch = 256;
constexpr uint32_t kTriangleClear = 0x00808080u;  // grey 128, alpha 0
}

TCustomD3DEffecter::~TCustomD3DEffecter() { ReleaseCaptures(); }

void TCustomD3DEffecter::SetCaptureMode(bool pair) {
  if (!captures_[0]) captures_[0] = gl_.Take(kPoolFull);
  if (pair && !captures_[1]) captures_[1] = gl_.Take(kPoolFull);
  current_ = false;
}

void TCustomD3DEffecter::ReleaseCaptures() {
  for (auto& c : captures_) gl_.Return(kPoolFull, std::move(c));
  current_ = false;
}

TRenderTargetTexture* TCustomD3DEffecter::Capture(int index) const {
  ZEM_ASSERT(index == 0 || index == 1);
  return captures_[index].get();
}

TBRect TCustomD3DEffecter::BeginRender(TRenderTargetTexture* t, uint32_t clear) {
  int32_t w = TGLBackend::TargetWidth(t), h = TGLBackend::TargetHeight(t);
  TBRect area{output_.left, output_.top, output_.left + w, output_.top + h};
  if (!clip_.Empty())
    area = {std::max(area.left, clip_.left), std::max(area.top, clip_.top), std::min(area.right, clip_.right),
            std::min(area.bottom, clip_.bottom)};
  // In texels of the capture. The item is confined to the area, so one clear of the whole
  // capture (the fast kind) leaves the rest in the clear colour.
  TBRect texels{area.left - output_.left, area.top - output_.top, area.right - output_.left, area.bottom - output_.top};
  gl_.PushTarget(t, output_.left, output_.top);
  gl_.Clear(clear, false);
  drawer_.RemapDesign();
  gl_.Confine(texels);
  return texels;
}

void TCustomD3DEffecter::EndRender(TRenderTargetTexture* t, const TBRect& texels, uint32_t clear) {
  int32_t w = TGLBackend::TargetWidth(t), h = TGLBackend::TargetHeight(t);
  const TBRect confined = gl_.ConfineRect();
  gl_.PopTarget();
  if (confined.left != texels.left || confined.top != texels.top || confined.right != texels.right ||
      confined.bottom != texels.bottom) {
    // An item effect inside changed the target and left the confinement: clear around.
    gl_.PushTarget(t);
    for (const TBRect& band : BorderBands({0, 0, w, h}, texels)) gl_.ClearRect(clear, band);
    gl_.PopTarget();
  }
  drawer_.RemapDesign();
}

TBRect TCustomD3DEffecter::Render(TRenderTargetTexture* t, TDrawItem* item, uint32_t clear) {
  const TBRect texels = BeginRender(t, clear);
  drawer_.DrawItem(item);
  EndRender(t, texels, clear);
  return texels;
}

void TCustomD3DEffecter::Copy(TRenderTargetTexture* t, const TBRect& from, int32_t dx, int32_t dy) {
  if (from.Empty()) return;
  if (!scratch_) scratch_ = gl_.MakeTarget(kScratch, kScratch, true);
  if (!scratch_) return;  // no scratch target: the capture is used without the copy
  gl_.SetBlendMode(3);    // replace, alpha included
  for (int32_t y = from.top; y < from.bottom; y += kScratch)
    for (int32_t x = from.left; x < from.right; x += kScratch) {
      float pw = float(std::min(kScratch, from.right - x)), ph = float(std::min(kScratch, from.bottom - y));
      TBRectF src{float(x), float(y), float(x) + pw, float(y) + ph};
      TBRectF piece{0, 0, pw, ph};
      gl_.PushTarget(scratch_.get());
      gl_.SetMapping(gl_.CurrentTargetRect(), kScratch, kScratch);
      gl_.DrawTarget(t, src, piece);
      gl_.PopTarget();
      gl_.PushTarget(t);
      TBRect whole = gl_.CurrentTargetRect();
      gl_.SetMapping(whole, whole.Width(), whole.Height());
      gl_.DrawTarget(scratch_.get(), piece, {src.left + float(dx), src.top + float(dy), src.right + float(dx), src.bottom + float(dy)});
      gl_.PopTarget();
    }
  gl_.SetBlendMode(0);
  drawer_.RemapDesign();
}

TRenderTargetTexture* TCustomD3DEffecter::CaptureForTriangles(bool extend, TDrawItem* item) {
  if (!BeginTriangleCapture()) return nullptr;
  drawer_.DrawItem(item);
  EndTriangleCapture(extend);
  return captures_[0].get();
}

TRenderTargetTexture* TCustomD3DEffecter::BeginTriangleCapture() {
  TRenderTargetTexture* t = captures_[0].get();
  if (!t) return nullptr;
  triangleTexels_ = BeginRender(t, kTriangleClear);
  return t;
}

void TCustomD3DEffecter::EndTriangleCapture(bool extend) {
  TRenderTargetTexture* t = captures_[0].get();
  if (!t) return;
  EndRender(t, triangleTexels_, kTriangleClear);
  area_ = triangleTexels_;
  if (extend && !area_.Empty()) {
    int32_t w = TGLBackend::TargetWidth(t), h = TGLBackend::TargetHeight(t);
    bool column = area_.right < w;
    if (column) Copy(t, {area_.right - 1, area_.top, area_.right, area_.bottom}, 1, 0);
    if (area_.bottom < h)
      Copy(t, {area_.left, area_.bottom - 1, area_.right + (column ? 1 : 0), area_.bottom}, 0, 1);
  }
}

void TCustomD3DEffecter::CapturePair(TDrawItem* item) {
  TRenderTargetTexture* t = captures_[current_ ? 1 : 0].get();
  if (!t) return;
  area_ = Render(t, item, 0);
  if (area_.Empty()) return;
  int32_t w = TGLBackend::TargetWidth(t), h = TGLBackend::TargetHeight(t);
  int32_t b = std::min(w - area_.right + 1, 32);
  int32_t right = area_.right;
  for (int32_t k = 1; 2 * k - 1 <= b; k *= 2) {
    int32_t from = area_.right - 1;
    int32_t count = std::min(k, w - (from + k));
    if (count <= 0) break;
    Copy(t, {from, area_.top, from + count, area_.bottom}, k, 0);
    right = std::max(right, from + k + count);
  }
  int32_t c = std::min(h - area_.bottom + 1, 32);
  for (int32_t k = 1; 2 * k - 1 <= c; k *= 2) {
    int32_t from = area_.bottom - 1;
    int32_t count = std::min(k, h - (from + k));
    if (count <= 0) break;
    Copy(t, {area_.left, from, right, from + count}, 0, k);
  }
}

}  // namespace zem
