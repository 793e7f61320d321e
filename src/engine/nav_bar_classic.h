// The classic navigation bar: a grid of textured cells with one cell holding a row of buttons
// whose pictures change on hover and press, drawn into a 32-bit picture with alpha. The theme
// names its pictures relative to its folder; every cut-out is checked against its picture and
// made once.
//
// Threads: engine thread only (owned by the navigation panel).
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "engine/nav_bar.h"

namespace zem {

// Limits on what a theme may ask for; beyond them the theme is refused.
inline constexpr int32_t kNavMaxGridSide = 64;    // columns, rows
inline constexpr int32_t kNavMaxButtons = 64;     // "Objects" "Count"
inline constexpr int32_t kNavMaxMeasure = 4096;   // offsets, spaces, press shifts
inline constexpr int32_t kNavMaxBarSide = 8192;   // the bar picture

enum class TNavCutVariant : uint8_t { Plain = 0, Grey = 1, Disabled = 2 };

// One theme picture and the parts cut from it, each keyed by its rectangle and variant.
struct TBmpCacheItem {
  TBitmap picture;
  std::map<std::tuple<int32_t, int32_t, int32_t, int32_t, uint8_t>, std::shared_ptr<const TBitmap>> parts;
};

// The theme's pictures, one entry per file (keyed by the lower-case name).
class TBmpCache {
 public:
  explicit TBmpCache(TCustomNavBar::TLoadPicture load) : load_(std::move(load)) {}
  // The part r of the named picture in a variant; raises ENavThemeError when the picture cannot
  // be had or r does not lie inside it. An empty r gives an empty picture.
  std::shared_ptr<const TBitmap> Part(const WideString& name, const TRectI& r, TNavCutVariant variant);
  size_t PictureCount() const { return items_.size(); }
  size_t PartCount() const;

 private:
  TCustomNavBar::TLoadPicture load_;
  std::map<WideString, std::unique_ptr<TBmpCacheItem>> items_;
};

struct TNavCell {
  std::shared_ptr<const TBitmap> texture;
  int32_t naturalWidth = 0, naturalHeight = 0;
  TRectI rect;  // in the bar
};

struct TNavObject {
  enum TState : uint8_t { Normal = 0, Hover = 1, Pressed = 2, Disabled = 3 };
  TRectI rect;  // in the bar
  uint8_t state = Normal;
  int32_t shift = 0;  // pixels right and down while pressed
  bool greyNormal = false, greyDisabled = false;
  int32_t space = 0;  // pixels after the button
  std::array<std::shared_ptr<const TBitmap>, 4> button, play, background;
  bool hasPlay = false;
};

class TNavBar : public TCustomNavBar {
 public:
  TNavBar();
  ~TNavBar() override;

  void LoadTheme(const TIniStorage& storage, const WideString& folder) override;
  void SetButtons(std::span<const int32_t> indexes) override;
  void MouseEvent(int32_t button, uint8_t state, uint8_t kind, int32_t y, int32_t x) override;
  void Update(double timeMs) override;
  // The classic bar is scaled by the panel.
  void SetVolume(float) override {}
  void SetWidth(int32_t) override {}
  void SetHeight(int32_t) override {}
  void SetScale(float) override {}

  // The theme's disabled state (the player itself never disables a button).
  void SetButtonDisabled(int32_t index, bool disabled);

  // Inspection.
  bool Loaded() const { return loaded_; }
  int32_t ColsCount() const { return cols_; }
  int32_t RowsCount() const { return rows_; }
  const TNavCell& Cell(int32_t col, int32_t row) const;  // 1-based
  const std::vector<TNavObject>& Buttons() const { return objects_; }
  int32_t PressedIndex() const { return pressedIndex_; }
  const TBmpCache* Cache() const { return cache_.get(); }

 private:
  WideString PictureName(const WideString& file) const;
  void ReadButton(int32_t k, const WideString& section, TNavObject& o);
  void Layout();
  void SetState(size_t index, uint8_t state);
  void Render();
  void HandleMove(uint8_t state, bool inside, int32_t hit);
  int32_t HitButton(int32_t x, int32_t y) const;

  const TIniStorage* theme_ = nullptr;
  WideString folder_;
  std::vector<WideString> actionSections_;  // the section of each action name
  std::unique_ptr<TBmpCache> cache_;
  bool loaded_ = false;
  int32_t cols_ = 0, rows_ = 0;
  std::vector<TNavCell> cells_;  // column-major: (col - 1) * rows + (row - 1)
  int32_t objectCol_ = 1, objectRow_ = 1;
  int32_t leftOffset_ = 0, topOffset_ = 0, rightOffset_ = 0, bottomOffset_ = 0;
  std::vector<TNavObject> objects_;
  TPointI size_;
  bool pressed_ = false;
  int32_t pressedIndex_ = -1;
  bool inside_ = false;
  bool lastPlaying_ = false;
  bool firstUpdate_ = true;
  TRectI dirty_;
};

}  // namespace zem
