#include "model/button_theme.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <vector>

#include "foundation/log.h"
#include "package/file_accessor.h"
#include "resources/file_access.h"
#include "resources/placeholder.h"
#include "resources/text/text_layout.h"
#include "script/ini_file.h"

namespace zem {

namespace {

// "btn.ini" is a small script; anything larger is not a theme.
constexpr int64_t kMaxThemeBytes = 1 << 20;

const char16_t* const kStateSections[3] = {u"NormalState", u"HoverState", u"ClickState"};
const char16_t* const kPieceKeys[kPieceCount] = {u"LeftTop",     u"Top",        u"RightTop", u"Right", u"RightBottom",
                                                 u"Bottom",      u"LeftBottom", u"Left",     u"Center"};

WideView Trim(WideView v) {
  while (!v.empty() && (v.front() == u' ' || v.front() == u'\t')) v.remove_prefix(1);
  while (!v.empty() && (v.back() == u' ' || v.back() == u'\t')) v.remove_suffix(1);
  return v;
}

// "file, left, top, right, bottom": the four ints default to 0.
TButtonPieceSource ReadPiece(const TIniSection* section, const char16_t* key) {
  TButtonPieceSource piece;
  const TIniIdent* ident = section ? section->FindKey(key) : nullptr;
  if (!ident) return piece;
  const WideView value = ident->ValueView();
  int32_t numbers[4] = {0, 0, 0, 0};
  size_t pos = 0;
  for (int part = 0; part < 5 && pos <= value.size(); ++part) {
    const size_t comma = value.find(u',', pos);
    const WideView item = Trim(value.substr(pos, comma == WideView::npos ? WideView::npos : comma - pos));
    if (part == 0) {
      piece.file = WideString(item);
    } else {
      int32_t v = 0;
      if (TryParseIniInteger(item, v)) numbers[part - 1] = v;
    }
    if (comma == WideView::npos) break;
    pos = comma + 1;
  }
  piece.rect = {numbers[0], numbers[1], numbers[2], numbers[3]};
  return piece;
}

float FiniteIn(double v, double lo, double hi, double def) {
  return float(std::isfinite(v) ? std::clamp(v, lo, hi) : def);
}

}  // namespace

TRef<TButtonProducer> TButtonProducer::Load(const TFileAccessor& files, const WideString& folder,
                                            const WideString& name) {
  std::vector<uint8_t> bytes;
  if (!files.ReadWhole(WideToUtf8(folder + u"btn.ini"), bytes, kMaxThemeBytes)) return {};
  TIniFile ini;
  try {
    if (!ini.LoadFromBytes(bytes.data(), bytes.size())) return {};
  } catch (const std::exception&) {
    LogLine("TButtonProducer: btn.ini of " + WideToUtf8(name) + " cannot be read");
    return {};
  }
  return MakeRef<TButtonProducer>(ini, folder, name);
}

TButtonProducer::TButtonProducer(const TIniStorage& ini, WideString folder, WideString name)
    : name_(std::move(name)), folder_(std::move(folder)) {
  for (int s = 0; s < 3; ++s) {
    const TIniSection* section = ini.FindSection(kStateSections[s]);
    for (int p = 0; p < kPieceCount; ++p) pieces_[s][p] = ReadPiece(section, kPieceKeys[p]);
  }
  // The nominal button: the normal state's right piece ends it, its bottom piece closes it.
  nominalWidth_ = pieces_[0][kPieceRight].rect.right;
  height_ = pieces_[0][kPieceBottom].rect.bottom;
  const TIniSection* text = ini.FindSection(u"TextParams");
  if (text) {
    const TIniRGB c = text->ReadRGB(u"Color", TIniRGB{});
    textColour_ = uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | c.blue;
    btnOffset_ = FiniteIn(text->ReadFloat(u"BtnOffset", 0), 0, 100, 0);
    btnMinWidth_ = FiniteIn(text->ReadFloat(u"BtnMinWidth", 0), 0, 1e6, 0);
    filtering_ = uint8_t(text->ReadChoiceNoCase(u"Filtering", {u"Nearest", u"Bilinear", u"Default"}, kFilterDefault));
  }
  valid_ = height_ >= 1 && height_ <= kMaxHeight && nominalWidth_ >= 1 && nominalWidth_ <= kMaxWidth;
  if (!valid_)
    LogLine("TButtonProducer: theme " + WideToUtf8(name_) + " has no usable size (" + std::to_string(nominalWidth_) +
            "x" + std::to_string(height_) + ")");
}

TRef<TBitmapStore> TButtonProducer::PiecePicture(const TFileAccessor& files, const WideString& file) {
  {
    std::lock_guard<std::mutex> g(lock_);
    auto it = loaded_.find(file);
    if (it != loaded_.end()) return it->second;
  }
  TRef<TBitmapStore> store;
  auto image = LoadPicture(files, folder_ + file);
  // The picture cache answers a missing file with a placeholder: that is no piece.
  if (image && image->Store() && !dynamic_cast<TPlaceholderStore*>(image->Store())) store = image->Store();
  std::lock_guard<std::mutex> g(lock_);
  return loaded_.emplace(file, store).first->second;
}

TBitmap TButtonProducer::TextPicture(const WideString& text) const {
  const float em = float(std::clamp(height_ > 0 ? height_ / 2 : 16, 8, 200));
  return RenderTextBlock({WideString(CapNameForDisplay(text))}, u"Arial", em, 0xFF000000u, 0xFFFFFFFFu, 2);
}

TBitmap TButtonProducer::Build(int32_t state, int32_t width, int32_t hue, int32_t saturation, int32_t lightness,
                               const TFileAccessor* files, const TKeepGoing& keepGoing) {
  if (!valid_ || state < 0 || state > 2) return {};
  if (width < 1 || width > kMaxWidth || int64_t(width) * height_ > kMaxPixels) {
    LogLine("TButtonProducer: button of " + WideToUtf8(name_) + " refused at width " + std::to_string(width));
    return {};
  }
  if (!files) return TextPicture(u"FileOpenError");
  TButtonPieceImage images[kPieceCount];
  for (int p = 0; p < kPieceCount; ++p) {
    const TButtonPieceSource& piece = pieces_[state][p];
    if (piece.file.empty()) continue;
    if (keepGoing && !keepGoing()) return {};
    TRef<TBitmapStore> store = PiecePicture(*files, piece.file);
    if (!store) {
      LogLine("TButtonProducer: Incorrect Image: " + WideToUtf8(folder_ + piece.file));
      return TextPicture(u"Incorrect Image: " + piece.file);
    }
    images[p] = {&store->Bitmap(), piece.rect};
  }
  TBitmap out;
  if (!ComposeButton(images, width, height_, out)) return {};
  AdjustHsl(out, hue, saturation, lightness);
  return out;
}

}  // namespace zem
