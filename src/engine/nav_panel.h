// The navigation panel: one themed bar placed in the window (or the show rectangle), its
// picture and exit box handed to the overlay's picture list, mouse events mapped into the
// bar's pixels, and the bar's button clicks turned into actions.
//
// Threads: engine thread only (owned by the overlay).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/nav_bar.h"
#include "engine/placement.h"
#include "foundation/refobj.h"
#include "model/draw_interface.h"
#include "script/action_info.h"

namespace zem {

class TFileAccessor;
class TIniFile;

struct TNavPanelConfig {
  TRectI area;               // where the bar is placed (window pixels)
  TPlacement placement;      // "opt_cp" with "opt_nav_offset"
  float viewScale = 10;      // percent of the area height the classic bar takes
  std::vector<WideString> customNames;  // "opt_newnavbutton" keys, in order
  bool showBackground = false;
  int32_t hue = 0;           // degrees
  std::function<void(float)> setVolume;
  std::function<void(float)> seek;
  std::function<bool()> isPlaying;
  TFileAccessor* files = nullptr;  // theme and its pictures; outlives the panel
  bool videoExit = true;           // video bars show an exit box
  bool useVideoScale = false;      // size the bar by the view scale instead of the screen
  float volume = 1;
  double durationMs = 0;
  float screenScale = 1;           // the screen's vertical pixels per inch / 96
};

class TNavPanel : public TObj {
 public:
  // Hands a panel picture to the overlay: index < 0 appends, else replaces that entry (keeping
  // its image parameters). Answers the entry's index.
  using TPlacePicture = std::function<int32_t(int32_t index, TRef<TDrawPicture> picture, const TRectI& rect)>;

  TNavPanel(TNavPanelConfig config, TPlacePicture place);
  ~TNavPanel() override;

  // Opens the theme member, makes the bar of its kind and sets it up. A member that cannot be
  // opened or read, a bar kind that cannot be made, or a theme the bar refuses (malformed or
  // absurd values, pictures or rectangles that do not fit) leaves the panel without a bar; a
  // refused theme is logged in one line.
  void LoadTheme(const WideString& memberName);

  // One mouse event of kind 0 (move), 1 (down) or 2 (up); true when it produced an action.
  bool HandleEvent(uint8_t state, int32_t x, int32_t y, uint8_t kind, int32_t button);
  void Update(double timeMs);

  TCustomNavBar* Bar() const { return bar_.get(); }
  bool VideoStyle() const { return videoStyle_; }
  bool HasExitBox() const { return videoStyle_ && config_.videoExit; }
  const TNavPanelConfig& Config() const { return config_; }
  const TZemActionInfo& Action() const { return action_; }
  bool Hovered() const { return hovered_; }
  bool Pressed() const { return pressed_; }
  bool UpperHalf() const { return upperHalf_; }
  int32_t BarIndex() const { return barIndex_; }
  int32_t ExitIndex() const { return exitIndex_; }
  const TRectI& BarRect() const { return barRect_; }
  const TRectI& ExitRect() const { return exitRect_; }

  // The action of a bar button index (the click callback), or kind None.
  TZemActionInfo ActionForButton(int32_t index) const;

 private:
  void BarPictureChanged();
  void DropBar();
  void ExitPictureChanged();
  bool Inside(int32_t x, int32_t y) const;

  TNavPanelConfig config_;
  TPlacePicture place_;
  std::unique_ptr<TIniFile> theme_;  // read by the bar for as long as it lives
  std::unique_ptr<TCustomNavBar> bar_;
  bool videoStyle_ = false;
  TRectI barRect_, exitRect_;
  TPointI barSize_, exitSize_;  // pixel sizes of the pictures last handed on
  int32_t barIndex_ = -1, exitIndex_ = -1;
  bool pressed_ = false;    // a left button went down on the panel and is not yet released
  bool hovered_ = false;    // the pointer was over the panel at the last event
  bool upperHalf_ = false;  // the last event went to the exit box
  TZemActionInfo action_;
};

// The screen's vertical pixels per inch divided by 96 (1 when no display can be asked).
float ScreenPixelsPerInchScale();

}  // namespace zem
