// The playback engine: one worker thread that owns the open show, decides in short steps which
// show time is current (the music clock while the show runs, frozen while it stands), keeps the
// slide loader and the music player in step with it, draws a frame whenever the picture changed
// and reports position, actions and other events to the user interface.
//
// Threads: built, configured and destroyed on the user-interface thread. Requests reach the
// engine thread as messages in its event list; reports go back through the application's queue
// under the engine's message id and run on the user-interface thread. Fields marked "UI" are
// written by the user interface and read by the engine without a lock (each a single word
// replaced whole); fields marked "engine" belong to the engine thread.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <memory>
#include <string>

#include "engine/application.h"
#include "engine/draw_controller.h"
#include "engine/engine_messages.h"
#include "engine/frame_interpolator.h"
#include "engine/frame_stats.h"
#include "engine/slide_loader.h"
#include "foundation/zem_thread.h"
#include "model/slide_source.h"
#include "render/drawer/root_item.h"
#include "sound/music/music_player.h"

namespace zem {

class TThirdSlide;

// The user-interface side of the engine: the message id, the request sequence and the three
// callbacks the reports go to.
class TCustomZemEngine : public TZemThread {
 public:
  using TOnFirstFrame = std::function<void()>;
  using TOnPosition = std::function<void(int32_t timeMs, bool end, int32_t durationMs)>;
  using TOnEvent = std::function<void(TZemEventData& data)>;

  // A null application is a programming error. UI thread.
  explicit TCustomZemEngine(TZemApplication* app);
  ~TCustomZemEngine() override;

  // UI thread.
  int32_t MessageId() const { return messageId_; }
  // The next request sequence (open and seek requests carry it).
  int32_t NextSequence() { return ++requestSequence_; }
  int32_t RequestSequence() const { return requestSequence_; }
  void SetOnFirstFrame(TOnFirstFrame f) { onFirstFrame_ = std::move(f); }
  void SetOnPosition(TOnPosition f) { onPosition_ = std::move(f); }
  void SetOnEvent(TOnEvent f) { onEvent_ = std::move(f); }

 protected:
  // Engine thread (any thread): queues a report for the user interface.
  void PostToUi(int32_t code, std::vector<int32_t> values, std::unique_ptr<TObj> object = {});

 private:
  void HandleUi(std::unique_ptr<TObj> message);

  TZemApplication* app_;
  int32_t messageId_;
  std::atomic<int32_t> requestSequence_{0};
  TOnFirstFrame onFirstFrame_;
  TOnPosition onPosition_;
  TOnEvent onEvent_;
};

class TZemEngine : public TCustomZemEngine {
 public:
  static constexpr int32_t kCacheWindow = 3;
  // A show with a section of more objects than this keeps only the current slide and the next
  // one built (kHeavyCacheWindow), not the one after as well: every built copy of a slide of
  // 100,000 objects costs about 120 MB. The next slide is still made while the current one
  // plays.
  static constexpr int64_t kHeavySlideObjects = 25000;
  static constexpr int32_t kHeavyCacheWindow = 2;
  static constexpr int32_t kForceReport = -2147483647;

  // UI thread. `window` may be null (nothing is drawn); with `ownsWindow` the engine frees it.
  TZemEngine(TZemApplication* app, TDrawDevice* window, uint8_t overlayOption, bool paused,
             bool ownsWindow);
  ~TZemEngine() override;

  // --- set up on the UI thread before the first open ---
  // How music devices are made (tests: none, the silent millisecond clock). Empty: the
  // process-wide sound device.
  void SetMusicDeviceFactory(TZemMusicPlayer::TDeviceFactory f) { musicFactory_ = std::move(f); }
  void SetSourceOptions(const TZemSourceOptions& o) { sourceOptions_ = o; }
  // The "cover" switch: slides fill the window and are cut, instead of fitting inside it.
  void SetCoverFit(bool on) { coverFit_ = on; }
  // Export: the engine thread never runs; the exporter's thread opens the show and drives it on
  // a virtual clock (BeginExport, ExportFrame, ExportMusicStep), the music player is stepped.
  void SetExportMode(bool on) { exportMode_ = on; }

  // --- UI thread ---
  // Before Start: opens synchronously. Afterwards the same request goes as message 102.
  void OpenShow(std::unique_ptr<TFileAccessor> files, std::unique_ptr<TIniStorage> storage, int32_t timeMs);
  // The same with a script shared read-only with the caller, which has applied its screen-saver
  // keys (ApplyScreenSaverKeys): a large show's script is then held once.
  void OpenShow(std::unique_ptr<TFileAccessor> files, TSharedScript script, int32_t timeMs);
  void Seek(int32_t timeMs);
  void SetPaused(bool paused);
  void PostMouse(const TMouseRecord& mouse, std::optional<TZemActionInfo> action = std::nullopt);
  void Capture();
  void CloseDialog();
  void ShowHelp();
  // At the end of the process: asks the engine thread and then its slide loader to end and
  // waits at most `ms` for both. The frame in progress leaves its remaining objects out and the
  // loader gives up the slide it is making, so both normally end within milliseconds. True
  // when they ended (destroying the engine is then quick); false when one is still inside a
  // frame or a slide it is making: the engine must then be left alone (not destroyed) until
  // the process ends.
  bool StopWithin(int32_t ms);
  void SetVolume(float v) { volume_ = v; }
  float Volume() const { return volume_; }
  void SetBarriersEnabled(bool on) { barriersEnabled_ = on; }
  void SetBackgroundOverride(bool on, uint32_t rgb) {
    backgroundColour_ = rgb;
    backgroundOverride_ = on;
  }
  // mode 0: from the show; 1: these values; 2: these values until the next open.
  void SetSharpenOverride(int32_t mode, float amount, uint8_t threshold) {
    sharpenAmount_ = amount;
    sharpenThreshold_ = threshold;
    sharpenMode_ = mode;
  }
  // A key press goes on past a "pause" barrier.
  void ClearStoppedAtBarrier() { stoppedAtBarrier_ = false; }
  bool StoppedAtBarrier() const { return stoppedAtBarrier_; }
  // The pointer is over an object with a link; the hovered object's class ("NavPanel" over the
  // navigation panel).
  bool HoverLink() const { return hoverLink_; }
  const char* HoverClassName() const { return hoverClass_; }

  // An open dialog holds playback (as of the engine's last step).
  bool DialogHoldsPlayback() const { return dialogHolds_; }
  // The open show's time line (slide times for the key handlers); null before the first open.
  TRef<TZemSource> CurrentSource() const {
    std::lock_guard<std::mutex> g(sourceLock_);
    return uiSource_;
  }

  // Any thread, for the shell and tests.
  bool IsActive() const { return active_; }
  double CurrentTime() const { return currentTimeCopy_; }
  int32_t CurrentSequence() const { return currentSequence_; }
  uint32_t FramesDrawn() const { return framesDrawn_; }
  // Drawn, late and skipped frames, the first picture (recorded on the engine thread).
  const TFrameStats& FrameStatistics() const { return frameStats_; }
  uint32_t Steps() const { return steps_; }
  TZemDrawController* DrawController() const { return controller_.get(); }

  // --- export, on the exporter's thread (the UI thread of an export) ---
  // After OpenShow: the show runs from `timeMs` without barriers or timed actions; frames stay
  // in the back buffer (no present) and leave the navigation panel out.
  void BeginExport(double timeMs);
  // Brings the show to exactly `timeMs`: waits (at most `waitMs`) until the slide loader holds
  // every slide on screen then, and draws the frame when anything changed. 1: drawn; 0: nothing
  // changed (the previous frame stands); -1: failed, with `error`.
  int32_t ExportFrame(double timeMs, uint32_t waitMs, std::string& error);
  // One music-player tick at the audio clock; false when channels were not opened in time.
  bool ExportMusicStep(uint32_t waitMs);

  // --- engine thread (public for the loader, the overlay callbacks and tests) ---
  void PreloadFromCallback(TDrawContainer& container);
  bool RunAction(const TZemActionInfo& action);

 protected:
  void HandleEvent(int32_t code, TObj* payload, bool& handled) override;
  void OnStart() override;
  void OnStop() override;
  void LoopStep() override;

 private:
  // The loop and its parts (engine thread).
  void MainLoop();
  double ShowTime();
  void SetActive(bool on);
  bool IsMusicReady();
  bool SlidesReadyToStart() const;
  bool SlidesReadyForTime() const;
  bool EndCheck();
  void NextBarrier(double x);
  void NextAction(double x);
  bool RenderFrame(bool force);
  // Whether show time t lies in a transition between two slides.
  bool InTransition(double t) const;
  void ApplyFrameSettings();
  void TrackMouse(const TMouseRecord& mouse, TZemActionInfo* action);
  void DoCapture();
  void Reinitialise();
  void ProcessAsyncOpen();
  void OpenShowInt(std::unique_ptr<TFileAccessor> files, std::shared_ptr<const TIniStorage> storage, int32_t timeMs);
  void OpenInt(TRef<TZemSource> source, bool reopen, double timeMs);
  void StopLoader();
  void AbandonShow();
  void MakeMusicPlayer();
  void ShowDialogNamed(const WideString& name);
  std::vector<TDrawContainer*> Slides() const;
  double LoaderCurrent() const;
  void SetLoaderCurrent(double t);
  void SetFrozen(double t);
  bool ExportSlidesReady(double t);

  // Set up on the UI thread before the thread starts.
  TZemMusicPlayer::TDeviceFactory musicFactory_;
  TZemSourceOptions sourceOptions_;
  bool coverFit_ = false;
  bool exportMode_ = false;
  int32_t exportHint_ = 0;  // exporter's thread: where the search for slides on screen begins
  uint8_t overlayOption_;

  // UI -> engine, read without a lock.
  std::atomic<float> volume_{1.0f};
  std::atomic<bool> barriersEnabled_{false};
  std::atomic<bool> backgroundOverride_{false};
  std::atomic<uint32_t> backgroundColour_{0};
  std::atomic<int32_t> sharpenMode_{0};
  std::atomic<float> sharpenAmount_{0};
  std::atomic<uint8_t> sharpenThreshold_{0};
  std::atomic<bool> stoppedAtBarrier_{false};
  bool lastPauseSent_;  // UI thread only

  // Engine -> UI, read without a lock.
  std::atomic<bool> hoverLink_{false};
  std::atomic<const char*> hoverClass_{""};
  std::atomic<bool> active_{false};
  std::atomic<bool> dialogHolds_{false};
  mutable std::mutex sourceLock_;
  TRef<TZemSource> uiSource_;  // guarded by sourceLock_
  std::atomic<double> currentTimeCopy_{0};
  std::atomic<int32_t> currentSequence_{0};
  std::atomic<uint32_t> framesDrawn_{0};
  std::atomic<uint32_t> steps_{0};

  // Engine thread (the UI thread before Start).
  TRef<TZemSource> source_;
  bool ownsSource_ = false;
  bool paused_;
  TFrameInterpolator interpolator_;
  std::unique_ptr<TOpenParams> pending_;
  std::unique_ptr<TOpenParams> processing_;
  std::unique_ptr<TZemDrawController> controller_;
  std::unique_ptr<TRootItem> root_;
  double timeBase_ = 0;  // frozen show time, or (active) music clock minus show time
  std::unique_ptr<TZemMusicPlayer> music_;
  std::unique_ptr<TThirdSlide> overlay_;
  std::unique_ptr<TZemSlideLoader> loader_;
  int32_t cacheWindow_ = kCacheWindow;  // the loader's window for the open show
  struct TSlides {
    std::array<TDrawContainer*, TSlideData::kMaxSlides> containers{};
    int32_t count = 0;
  } slides_;
  bool firstFrameReported_ = false;
  bool frameDrawn_ = false;
  TFrameStats frameStats_;
  // Playing in real time, a step composes its frame for show time + the lead (engine thread).
  TPresentLead presentLead_;
  bool leadApplied_ = false, leadTransition_ = false;
  double leadUsed_ = 0;
  int32_t lastReported_ = kForceReport;
  TMouseRecord lastMouse_;
  struct TBarrier {
    bool present = false;
    int32_t slide = 0;
    double time = 0;
    double loopLength = 0;
  } barrier_;
  struct TTimedAction {
    int32_t slide = 2147483646;
    double time = 3.4e38;
    WideString text;
  } action_;
  bool endReported_ = false;
  uint32_t lastStep_ = 0;
};

}  // namespace zem
