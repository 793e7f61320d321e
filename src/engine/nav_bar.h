// The interface of a navigation bar: the themed strip of buttons that the navigation panel
// shows above the slides. A bar renders itself into a 32-bit picture with alpha (and, for the
// video kind, a separate exit box) and reports clicks, seeks and volume changes through the
// callbacks the panel installs. The panel drives it only through the operations below.
//
// Threads: engine thread only (created, fed and freed with the overlay).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <vector>

#include "foundation/bitmap.h"
#include "foundation/geometry.h"
#include "foundation/refobj.h"
#include "foundation/strings.h"

namespace zem {

class TIniStorage;

// A theme the bar cannot use: a malformed value (with the theme's own message), a count or
// measure out of range, a picture rectangle outside its picture.
class ENavThemeError : public std::runtime_error {
 public:
  explicit ENavThemeError(const std::string& what) : std::runtime_error(what) {}
};

class TCustomNavBar : public TObj {
 public:
  using TPictureChanged = std::function<void(const TRectI& changed)>;
  using TClick = std::function<void(int32_t buttonIndex)>;
  using TIsPlaying = std::function<bool()>;
  // A theme picture by file name (folder already in front) as a 32-bit picture with alpha;
  // a missing file gives the placeholder picture.
  using TLoadPicture = std::function<TBitmap(const WideString& name)>;
  using TDuration = std::function<double()>;  // ms
  using TSeek = std::function<void(float timeMs)>;
  using TSetVolume = std::function<void(float volume)>;
  using TExitHalf = std::function<bool()>;

  ~TCustomNavBar() override = default;
  // Reads the theme; the storage stays alive (owned by the panel) as long as the bar.
  // Malformed values raise ENavThemeError (SetButtons too, for the buttons' own sections).
  virtual void LoadTheme(const TIniStorage& storage, const WideString& folder) = 0;
  // The custom buttons to show: indexes into actionNames, in order.
  virtual void SetButtons(std::span<const int32_t> indexes) = 0;
  // One mouse event in bar pixels (kind 0 move, 1 down, 2 up; button 1 is the left one).
  virtual void MouseEvent(int32_t button, uint8_t state, uint8_t kind, int32_t y, int32_t x) = 0;
  virtual void Update(double timeMs) = 0;
  virtual void SetVolume(float volume) = 0;
  virtual void SetWidth(int32_t width) = 0;
  virtual void SetHeight(int32_t height) = 0;
  virtual void SetScale(float scale) = 0;

  // The action names the theme offers, in theme order (lower case).
  std::vector<WideString> actionNames;
  // Indexes into actionNames of the buttons shown (kept by SetButtons).
  std::vector<int32_t> buttonIndexes;
  TBitmap picture;      // the bar (32-bit with alpha)
  TBitmap exitPicture;  // the exit box (video bars only)
  bool showBackground = false;  // draw the theme's cell textures behind the buttons
  int32_t hue = 0;              // degrees added to every pixel's hue (0 = none)

  // Installed by the panel before LoadTheme; any may be empty.
  TPictureChanged onPictureChanged;
  TPictureChanged onExitPictureChanged;  // video style with an exit box only
  TClick onClick;
  TIsPlaying isPlaying;
  TLoadPicture loadPicture;
  TDuration duration;
  TSeek seek;
  TSetVolume setVolume;
  TExitHalf exitHalf;  // video style with an exit box only: the event is for the exit box
};

// Makes the bar for a theme: the video-player kind or the classic button kind. Null when that
// kind cannot be made; the panel is then shown without a bar.
using TNavBarFactory = std::function<std::unique_ptr<TCustomNavBar>(bool videoStyle)>;

// Installs the process-wide factory (set at start-up, before shows open) and returns the one
// it replaces. The initial factory makes the classic TNavBar or the video TVideoNavBar.
TNavBarFactory SetNavBarFactory(TNavBarFactory factory);
// A bar from the installed factory, or null.
std::unique_ptr<TCustomNavBar> MakeNavBar(bool videoStyle);

}  // namespace zem
