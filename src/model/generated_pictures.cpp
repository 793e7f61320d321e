#include "model/generated_pictures.h"

#include <algorithm>
#include <memory>

#include "foundation/log.h"
#include "model/button_theme.h"
#include "model/shadow.h"
#include "model/slide_host.h"
#include "resources/generated/preset_mask.h"
#include "script/ini_file.h"

namespace zem {

namespace {

bool Starts(WideView name, WideView prefix) { return name.substr(0, prefix.size()) == prefix; }

WideString Num(int64_t v) { return Utf8ToWide(std::to_string(v)); }

// Generated pictures may name other pictures (a shadow its silhouette, a mask its picture);
// nesting deeper than this is refused, so a hostile name cannot recurse without end.
constexpr int kMaxNesting = 4;
thread_local int t_nesting = 0;

}  // namespace

WideString ButtonPictureName(const TButtonRequest& r) {
  return WideString(kButtonPrefix) + Num(r.state) + u":" + Num(r.width) + u":" + Num(r.hue) + u":" +
         Num(r.saturation) + u":" + Num(r.lightness) + u":" + r.theme;
}

bool ParseButtonPictureName(WideView name, TButtonRequest& out) {
  if (!Starts(name, kButtonPrefix)) return false;
  WideView rest = name.substr(WideView(kButtonPrefix).size());
  int32_t v[5] = {};
  for (int32_t& x : v) {
    const size_t colon = rest.find(u':');
    if (colon == WideView::npos || !TryParseIniInteger(rest.substr(0, colon), x)) return false;
    rest.remove_prefix(colon + 1);
  }
  out = {v[0], v[1], v[2], v[3], v[4], WideString(rest)};
  return true;
}

TGeneratedPictures::TGeneratedPictures() = default;
TGeneratedPictures::~TGeneratedPictures() = default;

bool TGeneratedPictures::Handles(WideView name) {
  return Starts(name, kButtonPrefix) || Starts(name, kShadowPrefix) || Starts(name, kPresetMaskPrefix);
}

size_t TGeneratedPictures::Count() const {
  std::lock_guard<std::mutex> g(lock_);
  return pictures_.size();
}

void TGeneratedPictures::Prune() {
  for (auto it = pictures_.begin(); it != pictures_.end();)
    it = it->second->RefCount() == 1 ? pictures_.erase(it) : std::next(it);
}

TRef<TButtonProducer> TGeneratedPictures::Theme(const WideString& name, TZemSlideHost& host) {
  const WideString key = LowerCase(name);
  {
    std::lock_guard<std::mutex> g(lock_);
    auto it = themes_.find(key);
    if (it != themes_.end()) return it->second;
  }
  TRef<TButtonProducer> theme;
  if (TFileAccessor* files = host.Files()) theme = TButtonProducer::Load(*files, host.ButtonsFolder() + name + u"\\", name);
  std::lock_guard<std::mutex> g(lock_);
  return themes_.emplace(key, theme).first->second;  // another thread's, when it was quicker
}

TRef<TDrawPicture> TGeneratedPictures::Get(const WideString& name, TZemSlideHost& host) {
  {
    std::lock_guard<std::mutex> g(lock_);
    auto it = pictures_.find(name);
    if (it != pictures_.end()) return it->second;
  }
  if (t_nesting >= kMaxNesting) {
    LogLine("TGeneratedPictures: nested too deep, refused");
    return {};
  }
  ++t_nesting;
  TRef<TDrawPicture> picture;
  try {
    picture = Build(name, host);
  } catch (...) {
    --t_nesting;
    throw;
  }
  --t_nesting;
  if (!picture) return {};
  std::lock_guard<std::mutex> g(lock_);
  // Shared while objects show them; the map alone keeps none alive for long.
  if (++added_ % 64 == 0) Prune();
  return pictures_.emplace(name, picture).first->second;
}

TRef<TDrawPicture> TGeneratedPictures::Build(const WideString& name, TZemSlideHost& host) {
  const TKeepGoing keepGoing = [&host] { return host.ContinueLoading(); };
  TBitmap bmp;
  if (TPresetMask mask; ParsePresetMaskName(name, mask)) {
    bmp = MakePresetMask(mask);
  } else if (TButtonRequest button; ParseButtonPictureName(name, button)) {
    TRef<TButtonProducer> theme = Theme(button.theme, host);
    if (theme) bmp = theme->Build(button.state, button.width, button.hue, button.saturation, button.lightness,
                                  host.Files(), keepGoing);
  } else if (TShadowParams p; ParseShadowPictureName(name, p)) {
    const TShadowLayout layout = ComputeShadowLayout(p.ExtentWidth(), p.ExtentHeight(), p.size);
    if (!layout.Valid()) {
      LogLine("TGeneratedPictures: shadow of size " + std::to_string(p.ExtentWidth()) + "x" +
              std::to_string(p.ExtentHeight()) + " refused");
      return {};
    }
    TAlphaPlane silhouette;
    if (p.IsRectangle()) {
      BoxSilhouette(p.rect.right - p.rect.left, p.rect.bottom - p.rect.top, p.marginX, p.marginY,
                    uint8_t(p.marginAlpha), uint8_t(p.boxAlpha1), uint8_t(p.boxAlpha2),
                    uint8_t(std::clamp(p.boxFill, 0, 255)), layout, silhouette);
    } else {
      if (Starts(p.source, kShadowPrefix)) return {};  // a shadow of a shadow is none
      // The picture at its mip level, as the drawer has it: a file picture decodes at the
      // reduced size and never keeps its full-size pixels for this.
      TRef<TDrawPicture> source = host.GetPicture(p.source);
      const std::shared_ptr<const TBitmap> pixels = source ? source->LevelPixels(p.level) : nullptr;
      if (!pixels || !PictureSilhouette(*pixels, 0, p.rect, p.marginX, p.marginY, uint8_t(p.marginAlpha), layout,
                                        silhouette, keepGoing))
        return {};
    }
    const TShadowStyle style{p.spreadIndex, p.red, p.green, p.blue, p.opacity};
    if (!RenderShadow(silhouette, layout, style, bmp, keepGoing)) return {};
  }
  if (bmp.Empty()) return {};
  return MakeRef<TGeneratedPicture>(std::move(bmp), name);
}

}  // namespace zem
