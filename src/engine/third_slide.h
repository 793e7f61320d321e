// The overlay: the layer drawn above the slides in every frame. It holds the stack of open
// custom dialogs (with their 200 ms fades), the show's logo and the navigation panel (with
// auto-hide), offers mouse events to them before the slides, and paints the letterbox border
// of the root item between its own layers.
//
// Threads: created, updated, asked and drawn on the engine thread only; the user interface
// reaches it through engine messages.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/mouse_move_detector.h"
#include "engine/nav_panel.h"
#include "model/draw_interface.h"
#include "model/slide_producer.h"
#include "script/action_info.h"

namespace zem {

class TFileAccessor;
class TIniStorage;
class TRootItem;
class TZemObject;

// Building options that only tests change.
struct TThirdSlideOptions {
  TMouseMoveDetector::TClock clock;  // the millisecond counter; null: TimeGetTime
  float screenScale = 0;             // pixels per inch / 96; 0: asked from the display
};

class TThirdSlide : public TDrawItem {
 public:
  using TSetVolume = std::function<void(float volume)>;
  using TSeek = std::function<void(float timeMs)>;
  using TIsPlaying = std::function<bool()>;

  static constexpr int64_t kDialogFadeMs = 200;

  // One entry of the picture list: drawn scaled into its rectangle.
  struct TPictureEntry {
    TRef<TDrawPicture> picture;
    TImageParams params;
    TRectI rect;
  };

  // `files` and `script` belong to the show source and outlive the overlay; `root` is the
  // engine's root item (border painting; may be null). showRect is in window pixels;
  // showSize is the show's size in pixels (the logo's scale; empty: the show rectangle's).
  // Theme errors propagate as exceptions.
  TThirdSlide(TFileAccessor* files, const TIniStorage& script, const TRectI& showRect,
              TRootItem* root, uint8_t option, TSetVolume setVolume, TSeek seek,
              TIsPlaying isPlaying, TPointI windowSize, TPointI showSize, float volume,
              double durationMs, TThirdSlideOptions options = {});
  ~TThirdSlide() override;

  // Puts a dialog on top, or closes the open dialog of the same name (null: nothing happens).
  void ShowDialog(std::unique_ptr<TZemDialog> dialog);
  // Starts the closing fade of a dialog; -1 or an index out of range means the top one.
  void BeginCloseDialog(int32_t index = -1);
  // Removes every dialog that holds playback but the topmost such one, which begins closing.
  void CloseHoldingDialogs();
  TZemDialog* TopDialog() const;
  bool DialogHoldsPlayback() const;
  // Dialog fades, the bar's time, the panel's auto-hide.
  void UpdateTime(double t);

  struct TMouseResult {
    bool handled = false;
    TZemObject* hovered = nullptr;
    TZemActionInfo action;
  };
  // kind: 0 move, 1 button down, 2 button up, 3 double click; button 1 is the left one.
  TMouseResult HandleMouse(uint8_t state, int32_t x, int32_t y, uint8_t kind, int32_t button);
  // 0 without panel; 2 while the pointer is over the panel; else 1 while the pointer moved
  // within the idle interval, else 0.
  int32_t NavHoverState() const;
  // Set by the engine while it captures the picture for printing: the panel is left out.
  bool CaptureMode() const { return captureMode_; }
  void SetCaptureMode(bool on);

  bool IsChanged() const override;
  void Draw(TDeviceDrawer& drawer) override;

  // Inspection.
  const std::vector<TPictureEntry>& Pictures() const { return pictures_; }
  int32_t LogoIndex() const { return logoIndex_; }
  TNavPanel* Panel() const { return panel_.get(); }
  int32_t DialogCount() const { return int32_t(dialogs_.size()); }
  TZemDialog* Dialog(int32_t index) const;
  bool Closing() const { return closing_; }
  float FadeValue() const { return fadeValue_; }
  bool AutoHide() const { return autoHide_; }
  bool Hidden() const { return hidden_; }
  float PanelOpacity() const { return panelOpacity_; }
  const TMouseMoveDetector& Detector() const { return detector_; }

  // Appends a picture (index < 0) or replaces the picture and rectangle of an entry, keeping
  // its image parameters; answers the entry's index.
  int32_t SetPicture(int32_t index, TRef<TDrawPicture> picture, const TRectI& rect);

 private:
  struct TDialogEntry {
    std::unique_ptr<TZemDialog> dialog;
    bool drawn = false;  // drawn at least once (its fade starts then)
  };

  int64_t Now() const;
  void CreateLogo(const TIniStorage& script);
  void CreatePanel(const TIniStorage& script, float volume, double durationMs, float screenScale);
  void UpdateDialogFade();
  void UpdateAutoHide();
  void MoveAnimationTo(TZemDialog* dialog);
  void RemoveDialog(size_t index);
  int32_t IndexOf(const TZemDialog* dialog) const;
  bool IsPanelPicture(int32_t index) const;
  void MarkChanged() { changedProps_ = true; }

  TMouseMoveDetector::TClock clock_;
  TFileAccessor* files_;
  TRectI showRect_;
  TPointI windowSize_;
  TPointI showSize_;
  TRootItem* root_;
  TSetVolume setVolume_;
  TSeek seek_;
  TIsPlaying isPlaying_;

  // Dialogs bottom to top and the one fade that runs at a time.
  std::vector<TDialogEntry> dialogs_;
  bool closing_ = false;
  bool startPending_ = false;
  int64_t dialogFadeStart_ = 0, dialogFadeEnd_ = 0;  // ms of the clock
  TZemDialog* animated_ = nullptr;
  float fadeValue_ = 0;  // the fade value last set

  std::vector<TPictureEntry> pictures_;
  int32_t logoIndex_ = -1;

  std::unique_ptr<TNavPanel> panel_;
  // Asking for the hover state takes a pending idle reset, as the auto-hide step does.
  mutable TMouseMoveDetector detector_;

  // Auto-hide of the panel.
  bool autoHide_ = false;
  bool hideOnStartup_ = false;
  bool hidden_ = false;
  int64_t fadeOutMs_ = 1000, fadeInMs_ = 500;
  int64_t panelFadeStart_ = 0, panelFadeEnd_ = 0;  // ms of the clock
  float panelOpacity_ = 100;                        // percent

  bool captureMode_ = false;
};

}  // namespace zem
