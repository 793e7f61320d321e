#include "model/effect_custom.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "foundation/log.h"
#include "package/file_accessor.h"
#include "script/ini_file.h"

namespace zem {

namespace {

// Effect files are small scripts; anything larger is not one.
constexpr int64_t kMaxEffectFileBytes = int64_t(16) << 20;

}  // namespace

WideString TCustomEffect::ChooseName(const WideString& text, TEffectRandom& random) {
  std::vector<WideString> names;
  size_t pos = 0;
  while (pos <= text.size()) {
    const size_t bar = text.find(u'|', pos);
    WideString item = text.substr(pos, bar == WideString::npos ? WideString::npos : bar - pos);
    if (!item.empty()) names.push_back(std::move(item));
    if (bar == WideString::npos) break;
    pos = bar + 1;
  }
  if (names.empty()) return {};
  if (names.size() == 1) return names[0];
  random.SeedFromClock();
  return names[size_t(random.Next(int32_t(names.size())))];
}

TCustomEffect::TCustomEffect() = default;

TCustomEffect::~TCustomEffect() {
  // The slide's host refers to the producer: the slide goes first.
  slide_.reset();
  producer_.reset();
}

bool TCustomEffect::Open(const TFileAccessor& files, const WideString& name, TPointI slideSize, float vsx,
                         float vsy) {
  if (name.empty()) return false;
  std::vector<uint8_t> bytes;
  if (!files.ReadWhole(WideToUtf8(name), bytes, kMaxEffectFileBytes) || bytes.empty()) return false;
  auto ini = std::make_unique<TIniFile>();
  if (!ini->LoadFromBytes(bytes.data(), bytes.size())) return false;
  if (const TIniSection* s = ini->FindSection(u"slide1")) {
    coverMode = s->ReadBool(u"CoverMode", false);
    transparentBg = s->ReadBool(u"TransparentBg", false);
    customEffBg = s->ReadInteger(u"CustomEffBg", 0);
  }
  viewScaleX_ = vsx > 0 && std::isfinite(vsx) ? vsx : 100;
  viewScaleY_ = vsy > 0 && std::isfinite(vsy) ? vsy : 100;
  try {
    TZemSourceOptions options;
    auto source = MakeRef<TZemSource>(std::move(ini), files.Clone(), options);
    producer_ = std::make_unique<TSlideProducer>(source);
    const TPointI out{int32_t(std::lround(slideSize.x * viewScaleX_ / 100)),
                      int32_t(std::lround(slideSize.y * viewScaleY_ / 100))};
    producer_->SetOutput(out, coverMode ? TSlideProducer::kFitCover : TSlideProducer::kFitInside, 100, 100);
  } catch (const std::exception&) {
    producer_.reset();
    return false;
  }
  return true;
}

bool TCustomEffect::Init() {
  if (!producer_ || producer_->Source().SlideCount() <= 0) return false;
  try {
    slide_ = producer_->CreateSlide(0, 0);
  } catch (const std::exception&) {
    slide_.reset();
  }
  if (!slide_) return false;
  const float kx = 100 / viewScaleX_, ky = 100 / viewScaleY_;
  for (int32_t n = 1; n <= 2; ++n) {
    for (show::TZemImage* image : BufferImages(n)) {
      TKeyPoints& keys = image->Keys();
      for (int32_t i = 0; i < keys.Count(); ++i) {
        TKeyPoint* k = keys.At(i);
        k->SetPosX(k->Values().posX * kx);
        k->SetPosY(k->Values().posY * ky);
      }
    }
  }
  return true;
}

double TCustomEffect::SetProgress(double p) {
  if (!slide_) return 0;
  if (!std::isfinite(p)) p = 0;
  p = std::clamp(p, 0.0, 1.0);
  const double begin = slide_->GetAnchorTime(kSlideBegin);
  const double t = begin + (slide_->GetAnchorTime(kNextEffectBegin) - begin) * p;
  LogLine("set slide eff. time: " + FormatFloat(t));
  slide_->SetTimeAndUpdate(true, t);
  return t;
}

void TCustomEffect::SetItems(TZemSlide* older, TZemSlide* newer, double progress) {
  if (!slide_) return;
  switch (customEffBg) {
    case 1:
      if (older) slide_->OwnBackground() = older->OwnBackground();
      break;
    case 2:
      if (newer) slide_->OwnBackground() = newer->OwnBackground();
      break;
    case 3:
      // Both: the newer background is laid over the older one by the progress.
      if (older) slide_->OwnBackground() = older->OwnBackground();
      if (newer) slide_->SetSecondBackground(newer->OwnBackground(), float(std::clamp(progress, 0.0, 1.0)));
      break;
    default:
      break;
  }
}

std::vector<show::TZemImage*> TCustomEffect::BufferImages(int32_t n) const {
  std::vector<show::TZemImage*> out;
  if (!slide_) return out;
  ForEachNode(slide_.get(), [&](TZemObject* node) {
    if (auto* image = dynamic_cast<show::TZemImage*>(node); image && image->EffectBuffer() == n) out.push_back(image);
  });
  return out;
}

void TCustomEffect::AttachCaptures(TRef<TDrawPicture> older, TRef<TDrawPicture> newer) {
  for (show::TZemImage* image : BufferImages(1)) image->SetPicture(older);
  for (show::TZemImage* image : BufferImages(2)) image->SetPicture(newer);
}

void TCustomEffect::Finish() {
  for (int32_t n = 1; n <= 2; ++n)
    for (show::TZemImage* image : BufferImages(n)) image->SetPicture({});
}

}  // namespace zem
