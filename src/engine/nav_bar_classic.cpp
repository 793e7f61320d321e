#include "engine/nav_bar_classic.h"

#include <algorithm>

#include "engine/nav_bar_pictures.h"
#include "foundation/assert.h"
#include "script/ini_file.h"

namespace zem {

namespace {

constexpr WideView kActionNames[] = {u"home", u"backward", u"forward", u"pause", u"print", u"help", u"exit"};
constexpr WideView kStateNames[] = {u"Normal", u"Hover", u"Pressed", u"Disabled"};

WideString Num(int64_t v) { return Utf8ToWide(std::to_string(v)); }

// Comma-separated values of a key; a value that is no number counts as `bad`.
std::vector<int32_t> ReadValues(const TIniStorage& theme, WideView section, WideView key, int32_t bad) {
  std::vector<int32_t> out;
  const TIniSection* s = theme.FindSection(section);
  if (!s) return out;
  std::vector<WideString> items;
  s->ReadStrings(key, items);
  for (const WideString& item : items) {
    int32_t v = bad;
    if (!TryParseIniInteger(TrimBlanks(item), v)) v = bad;
    out.push_back(v);
  }
  return out;
}

TRectI BoundsRect(const std::vector<int32_t>& v) {
  // x, y, width, height; the sums are checked against the picture later.
  const int64_t right = int64_t(v[0]) + v[2], bottom = int64_t(v[1]) + v[3];
  if (v[2] < 0 || v[3] < 0 || right > INT32_MAX || bottom > INT32_MAX)
    throw ENavThemeError("Bounds out of range: " + std::to_string(v[0]) + "," + std::to_string(v[1]) + "," +
                         std::to_string(v[2]) + "," + std::to_string(v[3]));
  return {v[0], v[1], int32_t(right), int32_t(bottom)};
}

int32_t ReadMeasure(const TIniStorage& theme, WideView section, WideView key) {
  const int32_t v = theme.ReadInteger(section, key, 0);
  if (v < 0 || v > kNavMaxMeasure)
    throw ENavThemeError("[" + WideToUtf8(section) + "] " + WideToUtf8(key) + " out of range: " + std::to_string(v));
  return v;
}

}  // namespace

std::shared_ptr<const TBitmap> TBmpCache::Part(const WideString& name, const TRectI& r, TNavCutVariant variant) {
  const WideString key = LowerCase(name);
  auto it = items_.find(key);
  if (it == items_.end()) {
    auto item = std::make_unique<TBmpCacheItem>();
    if (load_) item->picture = load_(name);
    if (item->picture.Empty()) throw ENavThemeError("theme picture missing: " + WideToUtf8(name));
    if (item->picture.Format() != TPixelFormat::Argb32) item->picture.ConvertTo(TPixelFormat::Argb32);
    it = items_.emplace(key, std::move(item)).first;
  }
  TBmpCacheItem& item = *it->second;
  if (!RectInside(r, item.picture))
    throw ENavThemeError("rectangle " + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
                         std::to_string(r.Width()) + "," + std::to_string(r.Height()) + " outside " +
                         WideToUtf8(name) + " (" + std::to_string(item.picture.Width()) + "x" +
                         std::to_string(item.picture.Height()) + ")");
  const auto partKey = std::make_tuple(r.left, r.top, r.right, r.bottom, uint8_t(variant));
  auto p = item.parts.find(partKey);
  if (p != item.parts.end()) return p->second;
  TBitmap cut = CutPicture(item.picture, r);
  if (variant != TNavCutVariant::Plain) GreyPicture(cut, variant == TNavCutVariant::Disabled);
  auto shared = std::make_shared<const TBitmap>(std::move(cut));
  item.parts.emplace(partKey, shared);
  return shared;
}

size_t TBmpCache::PartCount() const {
  size_t n = 0;
  for (const auto& [name, item] : items_) n += item->parts.size();
  return n;
}

TNavBar::TNavBar() = default;
TNavBar::~TNavBar() = default;

const TNavCell& TNavBar::Cell(int32_t col, int32_t row) const {
  ZEM_ASSERT(col >= 1 && col <= cols_ && row >= 1 && row <= rows_);
  return cells_[size_t(col - 1) * size_t(rows_) + size_t(row - 1)];
}

WideString TNavBar::PictureName(const WideString& file) const { return folder_.empty() ? file : folder_ + file; }

void TNavBar::LoadTheme(const TIniStorage& storage, const WideString& folder) {
  theme_ = &storage;
  folder_ = folder;
  loaded_ = false;
  cache_ = std::make_unique<TBmpCache>(loadPicture);
  actionNames.clear();
  actionSections_.clear();
  for (const WideString& section : storage.SectionNames()) {
    WideString name = TrimBlanks(section);
    if (name.size() >= 7 && SameTextNoCase(WideView(name).substr(0, 7), u"ACTION-")) name = name.substr(7);
    for (WideView known : kActionNames)
      if (name == known) {
        actionNames.push_back(name);
        actionSections_.push_back(section);
      }
  }

  cols_ = storage.ReadInteger(u"Common", u"ColsCount", 0);
  rows_ = storage.ReadInteger(u"Common", u"RowsCount", 0);
  if (cols_ < 0 || rows_ < 0 || cols_ > kNavMaxGridSide || rows_ > kNavMaxGridSide)
    throw ENavThemeError("grid of " + std::to_string(cols_) + "x" + std::to_string(rows_) + " cells out of range");
  const std::vector<int32_t> cell = ReadValues(storage, u"CellWithObjects", u"Cell", 1);
  if (cell.size() != 2) throw ENavThemeError("Incorrect number of parameters in field \"Cell\"");
  objectCol_ = cell[0];
  objectRow_ = cell[1];
  if (cols_ > 0 && rows_ > 0 && (objectCol_ < 1 || objectCol_ > cols_ || objectRow_ < 1 || objectRow_ > rows_))
    throw ENavThemeError("the cell with objects lies outside the grid");
  leftOffset_ = ReadMeasure(storage, u"CellWithObjects", u"LeftOffset");
  topOffset_ = ReadMeasure(storage, u"CellWithObjects", u"TopOffset");
  rightOffset_ = ReadMeasure(storage, u"CellWithObjects", u"RightOffset");
  bottomOffset_ = ReadMeasure(storage, u"CellWithObjects", u"BottomOffset");

  cells_.assign(size_t(cols_) * size_t(rows_), TNavCell{});
  for (int32_t c = 1; c <= cols_; ++c)
    for (int32_t r = 1; r <= rows_; ++r) {
      const WideString section = u"Cell(" + Num(c) + u":" + Num(r) + u")";
      const std::vector<int32_t> b = ReadValues(storage, section, u"Bounds", 0);
      if (b.size() != 4)
        throw ENavThemeError("Incorrect number of parameters in field \"Bounds\" in [" + WideToUtf8(section) + "]");
      const TRectI rect = BoundsRect(b);
      TNavCell& cellRef = cells_[size_t(c - 1) * size_t(rows_) + size_t(r - 1)];
      cellRef.texture = cache_->Part(PictureName(storage.ReadString(section, u"flnm_Texture", u"")), rect,
                                     TNavCutVariant::Plain);
      cellRef.naturalWidth = rect.Width();
      cellRef.naturalHeight = rect.Height();
    }
  loaded_ = true;
}

void TNavBar::ReadButton(int32_t k, const WideString& section, TNavObject& o) {
  const TIniStorage& t = *theme_;
  const WideString object = u"Object" + Num(k + 1);
  o.shift = ReadMeasure(t, object, u"ShiftPressed");
  o.greyNormal = t.ReadBool(object, u"GrayNormal", false);
  o.greyDisabled = t.ReadBool(object, u"GrayDisabled", false);
  o.space = ReadMeasure(t, object, u"Space");

  auto bounds = [&](const WideString& key, const TRectI* fallback) {
    const TIniSection* s = t.FindSection(section);
    if (fallback && (!s || !s->FindKey(key))) return *fallback;
    const std::vector<int32_t> v = ReadValues(t, section, key, 0);
    if (v.size() != 4)
      throw ENavThemeError(
          "Bounds should contains 4 values. For example: BtnTextureNormalBounds=0,0,20,20. But ZEM found only " +
          std::to_string(v.size()) + " values.");
    return BoundsRect(v);
  };
  auto file = [&](const WideString& key, const WideString& fallback) {
    const WideString f = t.ReadString(section, key, u"");
    return f.empty() ? fallback : f;
  };

  const TRectI btnNormal = bounds(u"BtnTextureNormalBounds", nullptr);
  const TRectI bgNormal = bounds(u"BgTextureNormalBounds", nullptr);
  const WideString btnFile = file(u"flnm_BtnTextureNormal", u"");
  const WideString bgFile = file(u"flnm_BgTextureNormal", u"");
  const WideString playFile = file(u"flnm_BtnTextureNormalPlay", u"");
  o.hasPlay = !playFile.empty();
  for (int s = 0; s < 4; ++s) {
    const WideString state(kStateNames[s]);
    const TRectI btnRect = s == 0 ? btnNormal : bounds(u"BtnTexture" + state + u"Bounds", &btnNormal);
    const TRectI bgRect = s == 0 ? bgNormal : bounds(u"BgTexture" + state + u"Bounds", &bgNormal);
    TNavCutVariant variant = TNavCutVariant::Plain;
    if (s == TNavObject::Normal && o.greyNormal) variant = TNavCutVariant::Grey;
    if (s == TNavObject::Disabled && o.greyDisabled) variant = TNavCutVariant::Disabled;
    o.button[size_t(s)] = cache_->Part(
        PictureName(s == 0 ? btnFile : file(u"flnm_BtnTexture" + state, btnFile)), btnRect, variant);
    if (o.hasPlay)
      o.play[size_t(s)] = cache_->Part(
          PictureName(s == 0 ? playFile : file(u"flnm_BtnTexture" + state + u"Play", playFile)), btnRect, variant);
    o.background[size_t(s)] = cache_->Part(
        PictureName(s == 0 ? bgFile : file(u"flnm_BgTexture" + state, bgFile)), bgRect, TNavCutVariant::Plain);
  }
  o.rect = {0, 0, bgNormal.Width(), bgNormal.Height()};
}

void TNavBar::SetButtons(std::span<const int32_t> indexes) {
  buttonIndexes.assign(indexes.begin(), indexes.end());
  if (!loaded_) return;
  const int32_t most = theme_->ReadInteger(u"Objects", u"Count", 0);
  if (most < 0 || most > kNavMaxButtons)
    throw ENavThemeError("[Objects] Count out of range: " + std::to_string(most));
  const size_t count = std::min(indexes.size(), size_t(most));
  std::vector<TNavObject> objects(count);
  for (size_t k = 0; k < count; ++k) {
    const int32_t a = indexes[k];
    ZEM_ASSERT(a >= 0 && size_t(a) < actionNames.size());
    // The "Action-" section the name came from (as written, blanks and all).
    ReadButton(int32_t(k), actionSections_[size_t(a)], objects[k]);
  }
  objects_ = std::move(objects);
  pressed_ = false;
  pressedIndex_ = -1;
  Layout();
  dirty_ = {0, 0, size_.x, size_.y};
  Render();
}

void TNavBar::Layout() {
  int64_t objW = int64_t(leftOffset_) + rightOffset_;
  for (const TNavObject& o : objects_) objW += int64_t(o.rect.Width()) + o.space;
  int64_t objH = int64_t(topOffset_) + bottomOffset_ + (objects_.empty() ? 0 : objects_[0].rect.Height());
  if (objW > kNavMaxBarSide || objH > kNavMaxBarSide) throw ENavThemeError("the cell with objects is too large");
  if (cols_ == 0 || rows_ == 0) {
    // No grid: an empty bar (nothing is drawn).
    size_ = {0, 0};
    return;
  }
  auto width = [&](int32_t c, int32_t r) { return c == objectCol_ ? int32_t(objW) : Cell(c, r).naturalWidth; };
  auto height = [&](int32_t c, int32_t r) { return r == objectRow_ ? int32_t(objH) : Cell(c, r).naturalHeight; };
  std::vector<int64_t> colX(size_t(cols_) + 1, 0), rowY(size_t(rows_) + 1, 0);
  for (int32_t c = 1; c <= cols_; ++c) colX[size_t(c)] = colX[size_t(c - 1)] + width(c, 1);
  for (int32_t r = 1; r <= rows_; ++r) rowY[size_t(r)] = rowY[size_t(r - 1)] + height(1, r);
  if (colX.back() > kNavMaxBarSide || rowY.back() > kNavMaxBarSide) throw ENavThemeError("the bar is too large");
  for (int32_t c = 1; c <= cols_; ++c)
    for (int32_t r = 1; r <= rows_; ++r) {
      TNavCell& cell = cells_[size_t(c - 1) * size_t(rows_) + size_t(r - 1)];
      const int32_t x = int32_t(colX[size_t(c - 1)]), y = int32_t(rowY[size_t(r - 1)]);
      cell.rect = {x, y, x + width(c, r), y + height(c, r)};
    }
  size_ = {int32_t(colX.back()), int32_t(rowY.back())};
  const TRectI& objectCell = Cell(objectCol_, objectRow_).rect;
  int32_t x = objectCell.left + leftOffset_;
  const int32_t y = objectCell.top + topOffset_;
  for (TNavObject& o : objects_) {
    const int32_t w = o.rect.Width(), h = o.rect.Height();
    o.rect = {x, y, x + w, y + h};
    x += w + o.space;
  }
}

void TNavBar::SetState(size_t index, uint8_t state) {
  TNavObject& o = objects_[index];
  if (o.state == state) return;
  TRectI r = o.rect;
  if (o.state == TNavObject::Pressed || state == TNavObject::Pressed) {
    r.right += o.shift;
    r.bottom += o.shift;
  }
  o.state = state;
  dirty_ = UnionRect(dirty_, r);
}

void TNavBar::SetButtonDisabled(int32_t index, bool disabled) {
  if (index < 0 || size_t(index) >= objects_.size()) return;
  SetState(size_t(index), disabled ? TNavObject::Disabled : TNavObject::Normal);
  Render();
}

void TNavBar::Render() {
  if (!loaded_ || dirty_.IsEmpty() || cols_ == 0 || rows_ == 0) return;
  if (picture.Width() != size_.x || picture.Height() != size_.y) {
    picture.Clear();
    if (size_.x < 1 || size_.y < 1 || !picture.Allocate(size_.x, size_.y, TPixelFormat::Argb32)) {
      dirty_ = {};
      return;
    }
  }
  const TRectI clip = IntersectRect(dirty_, PictureRect(picture));
  dirty_ = {};
  if (clip.IsEmpty()) return;
  ClearRect(picture, clip);
  if (showBackground)
    for (const TNavCell& cell : cells_)
      if (cell.texture && !IntersectRect(cell.rect, clip).IsEmpty()) TileOver(picture, *cell.texture, cell.rect, clip);
  const bool playing = lastPlaying_;
  for (const TNavObject& o : objects_) {
    TRectI reach = o.rect;
    reach.right += o.shift;
    reach.bottom += o.shift;
    if (IntersectRect(reach, clip).IsEmpty()) continue;
    const size_t s = o.state;
    if (const TBitmap* bg = o.background[s].get(); bg && !bg->Empty()) {
      if (bg->Width() == o.rect.Width() && bg->Height() == o.rect.Height())
        DrawOver(picture, *bg, o.rect.left, o.rect.top, clip);
      else
        DrawOver(picture, StretchPicture(*bg, o.rect.Width(), o.rect.Height()), o.rect.left, o.rect.top, clip);
    }
    const TBitmap* tex = (o.hasPlay && !playing ? o.play[s] : o.button[s]).get();
    const TBitmap* normal = (o.hasPlay && !playing ? o.play[0] : o.button[0]).get();
    if (!tex || tex->Empty() || !normal || normal->Empty()) continue;
    const int32_t w = normal->Width(), h = normal->Height();
    int32_t x = o.rect.left + (o.rect.Width() - w) / 2, y = o.rect.top + (o.rect.Height() - h) / 2;
    if (o.state == TNavObject::Pressed) {
      x += o.shift;
      y += o.shift;
    }
    if (tex->Width() == w && tex->Height() == h)
      DrawOver(picture, *tex, x, y, clip);
    else
      DrawOver(picture, StretchPicture(*tex, w, h), x, y, clip);
  }
  if (hue != 0) ShiftHue(picture, clip, hue);
  if (onPictureChanged) onPictureChanged(clip);
}

int32_t TNavBar::HitButton(int32_t x, int32_t y) const {
  for (size_t i = 0; i < objects_.size(); ++i) {
    const TNavObject& o = objects_[i];
    if (o.state == TNavObject::Disabled) continue;
    if (x >= o.rect.left && x < o.rect.right && y >= o.rect.top && y < o.rect.bottom) return int32_t(i);
  }
  return -1;
}

void TNavBar::HandleMove(uint8_t state, bool inside, int32_t hit) {
  if (pressed_ || inside) {
    // The left button held over the bar without a press that began on it.
    if ((state & 16) && !pressed_) return;
    inside_ = true;
    for (size_t i = 0; i < objects_.size(); ++i) {
      if (objects_[i].state == TNavObject::Disabled) continue;
      uint8_t s = TNavObject::Normal;
      if (!pressed_ && int32_t(i) == hit) s = TNavObject::Hover;
      if (pressed_ && int32_t(i) == pressedIndex_ && hit == pressedIndex_) s = TNavObject::Pressed;
      SetState(i, s);
    }
    Render();
  } else if (inside_) {
    inside_ = false;
    for (size_t i = 0; i < objects_.size(); ++i)
      if (objects_[i].state != TNavObject::Disabled) SetState(i, TNavObject::Normal);
    Render();
  }
}

void TNavBar::MouseEvent(int32_t button, uint8_t state, uint8_t kind, int32_t y, int32_t x) {
  if (!loaded_) return;
  const bool inside = x >= 0 && y >= 0 && x < size_.x && y < size_.y;
  const int32_t hit = HitButton(x, y);
  switch (kind) {
    case 1:
      if (button != 1 || !inside) return;
      pressed_ = true;
      inside_ = true;
      pressedIndex_ = hit;
      for (size_t i = 0; i < objects_.size(); ++i)
        if (objects_[i].state != TNavObject::Disabled)
          SetState(i, int32_t(i) == hit ? TNavObject::Pressed : TNavObject::Normal);
      Render();
      break;
    case 0:
      HandleMove(state, inside, hit);
      break;
    case 2: {
      if (button != 1) return;
      if (!inside) {
        if (!inside_) return;
        inside_ = false;
      }
      const int32_t clicked = pressed_ && pressedIndex_ >= 0 && hit == pressedIndex_ ? hit : -1;
      pressed_ = false;
      pressedIndex_ = -1;
      // The button is up now, whatever the state byte still says.
      HandleMove(uint8_t(state & ~16), inside, hit);
      // A release off the bar leaves no button pressed.
      if (!inside)
        for (size_t i = 0; i < objects_.size(); ++i)
          if (objects_[i].state != TNavObject::Disabled) SetState(i, TNavObject::Normal);
      Render();
      if (clicked >= 0 && onClick) onClick(clicked);
      break;
    }
    default:
      break;
  }
}

void TNavBar::Update(double) {
  const bool playing = isPlaying ? isPlaying() : true;
  if (!firstUpdate_ && playing == lastPlaying_) return;
  firstUpdate_ = false;
  lastPlaying_ = playing;
  for (size_t i = 0; i < objects_.size(); ++i)
    if (objects_[i].hasPlay) {
      const TNavObject& o = objects_[i];
      dirty_ = UnionRect(dirty_, {o.rect.left, o.rect.top, o.rect.right + o.shift, o.rect.bottom + o.shift});
      break;
    }
  Render();
}

}  // namespace zem
