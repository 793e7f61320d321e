// The engine's loop step and what it calls: show time, start and stop, barriers, timed
// actions, the end check, drawing, mouse tracking, capture and device re-initialisation.
// Engine thread only.
#include <cmath>

#include "engine/engine.h"
#include "engine/third_slide.h"
#include "foundation/clock.h"
#include "foundation/log.h"
#include "model/zem_slide.h"
#include "package/load_throttle.h"
#include "transitions/slide_eff_filter.h"

namespace zem {

namespace {
constexpr double kNoTime = 3.4e38;
constexpr int32_t kNoSlide = 2147483646;
}  // namespace

std::vector<TDrawContainer*> TZemEngine::Slides() const {
  return {slides_.containers.begin(), slides_.containers.begin() + slides_.count};
}

double TZemEngine::LoaderCurrent() const { return loader_ ? loader_->Timing().current.load() : timeBase_; }

void TZemEngine::SetLoaderCurrent(double t) {
  if (loader_) loader_->Timing().current = t;
  currentTimeCopy_ = t;
}

void TZemEngine::SetFrozen(double t) { timeBase_ = t; }

double TZemEngine::ShowTime() {
  if (!active_ || !music_) return timeBase_;
  return interpolator_.Interpolate(music_->GetPosition() - timeBase_);
}

void TZemEngine::SetActive(bool on) {
  if (on == active_) return;
  T3DDrawer* drawer = controller_->Drawer();
  if (!on) {
    interpolator_.Reset(true);
    active_ = false;
    if (music_) music_->SetRunning(false);
    SetFrozen(LoaderCurrent());
    SetLoadMode(TLoadMode::Paused);
    // A player still playing an earlier show's music gives way to one on the current show.
    if (music_ && music_->OwnsSource() && source_ && ownsSource_) {
      music_->Stop();
      music_.reset();
      MakeMusicPlayer();
    }
    return;
  }
  if (drawer) {
    for (TDrawContainer* c : Slides()) {
      if (!c->slide) continue;
      c->slide->Prepare(*drawer);
      PrepareSlideTransition(c->transition.get(), c->slide.get(), *drawer);
      const double b = timeBase_ - c->info.start;
      CurrentLog().WriteFloat("PreloadEx Time: ", b);
      c->slide->Preload(*drawer, b);
    }
  }
  if (music_) {
    if (music_->LastLimit() != barrier_.time) music_->SetEndLimit(barrier_.time);
    music_->SetRunning(true);
  }
  active_ = true;
  // The interpolator still passes times through: this is music clock minus frozen time.
  timeBase_ = ShowTime();
  SetLoadMode(TLoadMode::Playing);
  interpolator_.Reset(false);
}

bool TZemEngine::IsMusicReady() {
  if (!music_) return false;
  if (!active_) {
    const double current = LoaderCurrent();
    if (music_->GetPosition() != current || music_->LastLimit() != barrier_.time)
      music_->SetTime(barrier_.time, current);
  }
  const bool ready = music_->IsReady();
  if (active_ && !ready) LogLine("TZemEngine.IsMusicReady: False");
  return ready;
}

bool TZemEngine::SlidesReadyToStart() const {
  if (active_) return true;
  if (slides_.count < cacheWindow_) return false;
  const double t = LoaderCurrent();
  const TSlideInfo& first = slides_.containers[0]->info;
  if (t < first.start + first.inLength) return false;
  return !(t > slides_.containers[size_t(slides_.count - 1)]->info.end);
}

bool TZemEngine::SlidesReadyForTime() const {
  if (active_) return true;
  const double t = LoaderCurrent();
  if (slides_.count == 1) {
    const TSlideInfo& a = slides_.containers[0]->info;
    return a.start + a.inLength <= t && t <= a.next;
  }
  if (slides_.count == 2) {
    const TSlideInfo& a = slides_.containers[0]->info;
    const TSlideInfo& b = slides_.containers[1]->info;
    return a.start + a.inLength <= t && t <= a.end && b.start <= t && t <= b.next;
  }
  return SlidesReadyToStart();
}

bool TZemEngine::EndCheck() {
  if (!loader_ || !source_ || source_->RepeatMode() == kRepeatShow) return false;
  const double duration = source_->TotalDuration();
  if (!(LoaderCurrent() > duration)) return false;
  SetLoaderCurrent(duration);
  if (!endReported_) {
    endReported_ = true;
    const int32_t d = int32_t(std::lround(duration));
    PostToUi(kUiPosition, {currentSequence_.load(), d, d, 1});
  }
  return true;
}

void TZemEngine::NextBarrier(double x) {
  const TBarrier present = barrier_;
  barrier_ = TBarrier{};
  const bool ends = source_ && source_->RepeatMode() != kRepeatShow;
  barrier_.slide = source_ ? std::max(0, source_->SlideCount() - 1) : kNoSlide;
  if (!ends) barrier_.slide = kNoSlide;
  barrier_.time = ends ? source_->TotalDuration() : kNoTime;
  if (!barriersEnabled_ || !source_ || source_->SlideCount() <= 0) return;
  const int32_t count = source_->SlideCount();
  int32_t i = (present.present && x == present.time) ? present.slide : std::max(0, source_->SlideAtTime(x));
  for (int32_t looked = 0; looked < count; ++looked, ++i) {
    if (ends && i >= count) break;
    TSlideInfo info;
    source_->GetSlideInfo(i, info);
    if (!(info.next > x)) continue;
    double loop = 0;
    const TEndAction a = source_->GetEndAction(i, loop);
    if (a == TEndAction::None) continue;
    barrier_.present = true;
    barrier_.slide = i;
    barrier_.time = info.next;
    barrier_.loopLength = a == TEndAction::Loop ? loop : 0;
    return;
  }
}

void TZemEngine::NextAction(double x) {
  const TTimedAction present = action_;
  action_ = TTimedAction{};
  if (!barriersEnabled_ || !source_ || source_->SlideCount() <= 0) return;
  const int32_t count = source_->SlideCount();
  int32_t i = x == present.time ? present.slide + 1 : std::max(0, source_->SlideAtTime(x));
  for (int32_t looked = 0; looked < count; ++looked, ++i) {
    TSlideInfo info;
    source_->GetSlideInfo(i, info);
    WideString file;
    if (source_->GetRunApp(i, file) && !file.empty() && info.start + 1 > x) {
      action_.slide = i;
      action_.time = info.start + 1;
      action_.text = file;
      return;
    }
  }
}

bool TZemEngine::InTransition(double t) const {
  const int32_t i = source_->SlideAtTime(t);
  if (i < 0) return false;
  TSlideInfo info;
  source_->GetSlideInfo(i, info);
  // Two slides are drawn; the first slide's entry draws one, like a still frame.
  return (i > 0 && t < info.start + info.inLength) || t >= info.next;
}

void TZemEngine::MainLoop() {
  ++steps_;
  if (music_ && music_->GetMasterVolume() != volume_.load()) music_->SetMasterVolume(volume_);
  if (EventList().IsClosed()) return;
  EventList().Process();
  if (pending_) ProcessAsyncOpen();
  if (loader_ && !loader_->IsStarted() && !Terminated()) {
    // Played in real time, decoding the coming slides must not take the processor from the
    // frames of the present one: the loader runs a step below the engine and the rasterizer.
    loader_->SetPriority(TThreadPriority::Lower);
    loader_->Start();
  }

  int32_t state = controller_->GetState();
  dialogHolds_ = overlay_ && overlay_->DialogHoldsPlayback();
  bool newActive = false;
  if (!paused_ && !stoppedAtBarrier_) {
    if (overlay_ && overlay_->DialogHoldsPlayback()) newActive = false;
    else if (SlidesReadyToStart()) newActive = IsMusicReady();
  }
  if (!source_ || (source_->pauseWhenInactive && !(state & TZemDrawController::kWindowActive))) newActive = false;
  if (active_ && EndCheck()) newActive = false;
  if (!newActive) {
    if (active_) {
      LogLine("TZemEngine.MainLoop: SetActive(False) - Stop by not NewActive");
      state |= TZemDrawController::kForceRedraw;
    }
    SetActive(false);
  }
  if ((state & TZemDrawController::kRenderLost) && (state & TZemDrawController::kReady)) Reinitialise();
  if (newActive && !active_) {
    LogLine("TZemEngine.MainLoop: SetActive(True) - Start by NewActive");
    SetActive(true);
  }
  if (Terminated()) return;

  double t = ShowTime();
  leadApplied_ = active_ && music_ && source_;
  leadUsed_ = 0;
  if (leadApplied_) {
    leadTransition_ = InTransition(t + presentLead_.Lead(false));
    leadUsed_ = presentLead_.Next(leadTransition_);
    t += leadUsed_;
  }
  if (overlay_) overlay_->UpdateTime(t);
  if (loader_) loader_->Timing().requested = t;
  if (active_ && barrier_.present && t >= barrier_.time) {
    LogLine("TZemEngine.MainLoop: SetActive(False) - Stop by Barrier");
    SetActive(false);
    double current = t;
    if (barrier_.loopLength != 0) {
      while (current >= barrier_.time) current -= barrier_.loopLength;
    } else {
      stoppedAtBarrier_ = true;
      current = barrier_.time;
      NextBarrier(barrier_.time);
    }
    SetLoaderCurrent(current);
    SetFrozen(current);
    if (music_) music_->SetTime(barrier_.time, current);
  } else {
    SetLoaderCurrent(t);
  }
  EndCheck();

  if (active_ && LoaderCurrent() >= action_.time) {
    const WideString text = action_.text;
    NextAction(action_.time);
    if (!text.empty()) RunAction(TZemActionInfo{TZemActionKind::RunApp, 0, text});
  }

  if (slides_.count > 0 && SlidesReadyForTime()) {
    RenderFrame((state & (TZemDrawController::kForceRedraw | TZemDrawController::kRenderLost)) != 0);
  } else {
    frameStats_.NothingDrawn();
    // A redraw asked for (or a device made again) while the slides are not ready: composing
    // nothing makes the first ready frame count as changed, so it is drawn then.
    if (slides_.count > 0 && (state & (TZemDrawController::kForceRedraw | TZemDrawController::kRenderLost)))
      root_->Compose(nullptr, 0, nullptr);
  }

  const uint32_t now = TimeGetTime();
  SleepMs(now - lastStep_ <= 16 ? 3 : 1);
  lastStep_ = TimeGetTime();

  const double current = LoaderCurrent();
  currentTimeCopy_ = current;
  if (std::fabs(current - lastReported_) > 20) {
    lastReported_ = int32_t(std::lround(current));
    const int32_t duration = source_ ? int32_t(std::lround(source_->TotalDuration())) : 0;
    PostToUi(kUiPosition, {currentSequence_.load(), lastReported_, duration, 0});
  }
}

void TZemEngine::ApplyFrameSettings() {
  T3DDrawer* drawer = controller_->Drawer();
  if (loader_) drawer->SetClipRect(loader_->ShowRect());
  root_->backgroundColour = backgroundOverride_ ? (backgroundColour_.load() & 0xFFFFFF)
                                                : (source_ ? ColourCodeToArgb(source_->hiderColour) & 0xFFFFFFu : 0);
  if (sharpenMode_ != 0) {
    root_->sharpenAmount = sharpenAmount_;
    root_->sharpenThreshold = sharpenThreshold_;
  } else if (source_) {
    root_->sharpenAmount = float(source_->unsharpAmount);
    root_->sharpenThreshold = uint8_t(std::clamp(source_->unsharpThreshold, 0, 255));
  }
}

bool TZemEngine::RenderFrame(bool force) {
  std::vector<TDrawContainer*> list = Slides();
  // The containers are composed at the loader's current time: the frame's show time.
  const double showTime = LoaderCurrent();
  if (!root_->Compose(list.data(), int32_t(list.size()), overlay_.get()) || (!force && !root_->IsChanged())) {
    frameStats_.NothingDrawn();
    return false;
  }
  TrackMouse(lastMouse_, nullptr);
  T3DDrawer* drawer = controller_->Drawer();
  if (!drawer) return false;
  try {
    ApplyFrameSettings();
    if (drawer->DrawItem(root_.get())) {
      frameDrawn_ = true;
      ++framesDrawn_;
      const double presented = TimeGetTimeExact();
      const bool running = active_ && music_;
      const double clock = running ? music_->GetPosition() - timeBase_ : showTime;
      const bool picture = drawer->ImagesDrawn() > 0;
      // What the lead had to cover: the time to the present and what the smoothed clock lagged.
      if (running && leadApplied_) presentLead_.Measured(leadTransition_, clock - (showTime - leadUsed_));
      if (frameStats_.FrameDrawn(showTime, clock, presented, running, picture, 1000.0 / drawer->RefreshRate()))
        CurrentLog().WriteInt("TZemEngine: first picture, ms since the program started: ", int64_t(presented));
    }
    if (!firstFrameReported_ && frameDrawn_) {
      PostToUi(kUiFirstFrame, {});
      firstFrameReported_ = true;
    }
  } catch (const std::exception& e) {
    LogLine(std::string("TZemEngine.RenderFrame: ") + e.what());
    return false;
  }
  return true;
}

void TZemEngine::TrackMouse(const TMouseRecord& mouse, TZemActionInfo* out) {
  hoverLink_ = false;
  hoverClass_ = "";
  TZemActionInfo action;
  bool handled = false;
  // The button of the event (1 left, 4 right, 5 middle); moves count as the left button.
  const int32_t button = mouse.flag ? mouse.flag : 1;
  if (overlay_) {
    TThirdSlide::TMouseResult r = overlay_->HandleMouse(uint8_t(mouse.state), mouse.x, mouse.y, mouse.kind, button);
    handled = r.handled;
    action = r.action;
    if (r.handled && r.hovered && !r.hovered->ActionText().empty()) {
      hoverLink_ = true;
      hoverClass_ = r.hovered->ClassName();
    } else if (overlay_->NavHoverState() == 2) {
      hoverClass_ = "NavPanel";
    }
  }
  if (!handled) {
    double t = LoaderCurrent();
    if (t == 0) t = 0.1;
    for (int32_t i = slides_.count - 1; i >= 0; --i) {
      TDrawContainer* c = slides_.containers[size_t(i)];
      if (!c->slide || !(c->info.start < t && t <= c->info.end)) continue;
      TZemActionInfo a;
      TZemObject* hovered = c->slide->HandleMouse(uint32_t(mouse.state), float(mouse.x), float(mouse.y), true, a,
                                                  mouse.kind, button);
      if (hovered && !hovered->ActionText().empty()) {
        hoverLink_ = true;
        hoverClass_ = hovered->ClassName();
      }
      if (!a.IsNone()) {
        action = a;
        break;
      }
    }
  }
  if (out) *out = action;
  RunAction(action);
}

void TZemEngine::DoCapture() {
  const bool previous = overlay_ ? overlay_->CaptureMode() : false;
  if (overlay_) overlay_->SetCaptureMode(true);
  TRef<TDrawPicture> picture;
  T3DDrawer* drawer = controller_->Drawer();
  std::vector<TDrawContainer*> list = Slides();
  if (drawer && root_->Compose(list.data(), int32_t(list.size()), overlay_.get())) {
    try {
      ApplyFrameSettings();
      drawer->SetNoPresent(true);
      if (drawer->DrawItem(root_.get())) picture = drawer->Snapshot();
    } catch (const std::exception& e) {
      LogLine(std::string("TZemEngine.Capture: ") + e.what());
    }
    drawer->SetNoPresent(false);
  }
  if (overlay_) overlay_->SetCaptureMode(previous);
  if (picture) {
    LogLine("********************* Image " + std::to_string(picture->Width()) + " " + std::to_string(picture->Height()));
    PostToUi(kUiCaptured, {}, std::make_unique<TPictureValue>(picture));
  } else {
    LogLine("********************* Image not Assigned");
  }
}

void TZemEngine::Reinitialise() {
  firstFrameReported_ = false;
  if (active_) LogLine("TZemEngine.MainLoop: SetActive(False) - Stop by Reinited");
  SetActive(false);
  T3DDrawer* drawer = controller_->Drawer();
  for (TDrawContainer* c : Slides())
    if (c->slide && drawer) c->slide->Release(*drawer);
  // A new window size needs a back buffer of that size.
  if (controller_->WindowSizeDiffers()) controller_->InitDrawer();
  const TPointI win = controller_->WindowSize();
  if (loader_ && (loader_->outputSize.x != win.x || loader_->outputSize.y != win.y)) {
    LogLine("OpenInt on diff size: " + std::to_string(win.x) + " " + std::to_string(win.y));
    OpenInt(source_, true, LoaderCurrent());
  }
  const std::vector<TDrawContainer*> list = Slides();
  for (size_t i = 1; i < list.size(); ++i)
    if (list[i]->slide && drawer) {
      list[i]->slide->Prepare(*drawer);
      PrepareSlideTransition(list[i]->transition.get(), list[i]->slide.get(), *drawer);
    }
  LogLine("DrawDevice Reinited (Slides:" + std::to_string(list.size()) + ")");
}

}  // namespace zem
