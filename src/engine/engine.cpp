#include "engine/engine.h"

#include <SDL.h>

#include <cmath>

#include "engine/third_slide.h"
#include "foundation/assert.h"
#include "foundation/clock.h"
#include "foundation/log.h"
#include "model/draw_interface.h"
#include "model/show_limits.h"
#include "model/transition_catalogue.h"
#include "package/load_throttle.h"
#include "transitions/slide_eff_filter.h"

namespace zem {

// ---------------------------------------------------------------- TCustomZemEngine

TCustomZemEngine::TCustomZemEngine(TZemApplication* app) : app_(app) {
  if (!app_) ZEM_FAIL("No application for ZemEngine");
  messageId_ = app_->AllocateMessageId();
  app_->RegisterHandler(messageId_, [this](std::unique_ptr<TObj> m) { HandleUi(std::move(m)); });
}

TCustomZemEngine::~TCustomZemEngine() { app_->UnregisterHandler(messageId_); }

void TCustomZemEngine::PostToUi(int32_t code, std::vector<int32_t> values, std::unique_ptr<TObj> object) {
  app_->PostMessage(messageId_, std::make_unique<TZemEventData>(code, std::move(values), std::move(object)));
}

void TCustomZemEngine::HandleUi(std::unique_ptr<TObj> message) {
  auto* data = dynamic_cast<TZemEventData*>(message.get());
  if (!data) return;
  switch (data->code) {
    case kUiFirstFrame:
      if (onFirstFrame_) onFirstFrame_();
      break;
    case kUiPosition:
      // Reports from before the latest open or seek are dropped.
      if (data->Value(0) == requestSequence_.load() && onPosition_)
        onPosition_(data->Value(1), data->Value(3) != 0, data->Value(2));
      break;
    default:
      if (onEvent_) onEvent_(*data);
  }
}

// ---------------------------------------------------------------- TZemEngine: user interface

TZemEngine::TZemEngine(TZemApplication* app, TDrawDevice* window, uint8_t overlayOption, bool paused,
                       bool ownsWindow)
    : TCustomZemEngine(app), overlayOption_(overlayOption), lastPauseSent_(paused), paused_(paused) {
  controller_ = std::make_unique<TZemDrawController>(window, ownsWindow);
  root_ = std::make_unique<TRootItem>(true);
}

TZemEngine::~TZemEngine() {
  Stop();
  StopLoader();
  if (music_) {
    music_->Stop();
    music_.reset();
  }
  overlay_.reset();
  source_.reset();
  root_.reset();
  controller_.reset();
  SetLoadMode(TLoadMode::Paused);
  InstallCustomEffectMaker({});
}

void TZemEngine::OpenShow(std::unique_ptr<TFileAccessor> files, std::unique_ptr<TIniStorage> storage,
                          int32_t timeMs) {
  if (!storage) ZEM_FAIL("OpenShow without a show script");
  ApplyScreenSaverKeys(*storage, sourceOptions_.screenSaver);
  OpenShow(std::move(files), TSharedScript{std::move(storage)}, timeMs);
}

void TZemEngine::OpenShow(std::unique_ptr<TFileAccessor> files, TSharedScript script, int32_t timeMs) {
  std::shared_ptr<const TIniStorage> storage = std::move(script.storage);
  if (!storage) ZEM_FAIL("OpenShow without a show script");
  if (!IsStarted()) {
    // Before the thread runs, the UI thread is the only one touching the engine.
    currentSequence_ = NextSequence();
    try {
      OpenShowInt(std::move(files), std::move(storage), timeMs);
    } catch (...) {
      AbandonShow();
      throw;
    }
    return;
  }
  auto p = std::make_unique<TOpenParams>();
  p->sequence = NextSequence();
  p->files = std::move(files);
  p->storage = std::move(storage);
  p->startTime = timeMs;
  EventList().Post(kEngineOpen, std::move(p));
}

void TZemEngine::Seek(int32_t timeMs) {
  if (timeMs < 0) return;
  auto p = std::make_unique<TOpenParams>();
  p->sequence = NextSequence();
  p->startTime = timeMs;
  EventList().Post(kEngineOpen, std::move(p));
}

void TZemEngine::SetPaused(bool paused) {
  if (paused == lastPauseSent_) return;
  lastPauseSent_ = paused;
  EventList().Post(kEnginePause, std::make_unique<TModeData>(paused ? 1 : 0));
}

void TZemEngine::PostMouse(const TMouseRecord& mouse, std::optional<TZemActionInfo> action) {
  if (!IsStarted()) return;
  auto m = std::make_unique<TMouseData>();
  m->mouse = mouse;
  m->action = std::move(action);
  EventList().Post(kEngineMouse, std::move(m));
}

void TZemEngine::Capture() {
  if (IsStarted()) EventList().Post(kEngineCapture, nullptr);
}
void TZemEngine::CloseDialog() { EventList().Post(kEngineCloseDialog, nullptr); }
void TZemEngine::ShowHelp() { EventList().Post(kEngineShowHelp, nullptr); }

// ---------------------------------------------------------------- messages (engine thread)

void TZemEngine::HandleEvent(int32_t code, TObj* payload, bool& handled) {
  handled = true;
  switch (code) {
    case kEngineSlideList: {
      auto* d = dynamic_cast<TSlideData*>(payload);
      ZEM_ASSERT(d);
      slides_.containers = d->containers;
      slides_.count = d->count;
      std::string line = ">>>>>>>>>>>>> slide list synched : ";
      for (int32_t i = 0; i < slides_.count; ++i) {
        const TSlideInfo& s = slides_.containers[size_t(i)]->info;
        line += "  " + std::to_string(std::llround(s.start)) + "-" + std::to_string(std::llround(s.end));
      }
      LogLine(line);
      break;
    }
    case kEngineOpen: {
      auto* p = dynamic_cast<TOpenParams*>(payload);
      ZEM_ASSERT(p);
      const uint8_t state = pending_ ? pending_->pause : uint8_t(paused_ ? 1 : 0);
      if (p->storage) {
        LogLine("TZemEngine: OpenShow Async");
        pending_ = std::make_unique<TOpenParams>(std::move(*p));
      } else {
        LogLine("TZemEngine: SetPosition Async");
        if (pending_) {
          // An open followed by a seek opens at the seek time.
          pending_->sequence = p->sequence;
          pending_->startTime = p->startTime;
        } else {
          pending_ = std::make_unique<TOpenParams>(std::move(*p));
        }
      }
      pending_->pause = state;
      CurrentLog().WriteBool("TZemEngine: Current Pause Status: ", paused_);
      CurrentLog().WriteBool("TZemEngine: Async Pause Status: ", state != 0);
      break;
    }
    case kEnginePause: {
      auto* m = dynamic_cast<TModeData*>(payload);
      ZEM_ASSERT(m);
      TOpenParams* req = pending_ ? pending_.get() : processing_.get();
      if (req) {
        req->pause = m->pause;
        CurrentLog().WriteBool("TZemEngine: SetPauseEvent Async: ", m->pause != 0);
      } else {
        CurrentLog().WriteBool("TZemEngine: Before Pause Status: ", paused_);
        paused_ = m->pause != 0;
        CurrentLog().WriteBool("TZemEngine: SetPauseEvent Direct: ", paused_);
      }
      break;
    }
    case kEngineMouse: {
      auto* m = dynamic_cast<TMouseData*>(payload);
      ZEM_ASSERT(m);
      lastMouse_ = m->mouse;
      // Later hover tests never repeat a click: they replay the position as a move, with the
      // left button still held after a press (a held button keeps its click look).
      lastMouse_.state = m->mouse.kind == kMouseUp ? 0 : (m->mouse.state & 16);
      lastMouse_.flag = 0;
      lastMouse_.kind = kMouseMove;
      TZemActionInfo action;
      TrackMouse(m->mouse, &action);
      if (action.IsNone() && m->action) RunAction(*m->action);
      break;
    }
    case kEngineCapture:
      DoCapture();
      break;
    case kEngineCloseDialog:
      if (overlay_) overlay_->BeginCloseDialog(-1);
      break;
    case kEngineShowHelp:
      ShowDialogNamed(u"help");
      break;
    default:
      ZEM_FAIL("TZemEngine: unknown message");
  }
}

void TZemEngine::ShowDialogNamed(const WideString& name) {
  if (!overlay_ || !loader_) return;
  // The producer belongs to the loader thread; dialogs are made by a producer of their own.
  TSlideProducer producer(source_, loader_->Producer().HostRef());
  producer.SetOutput(loader_->Producer().OutputSize(), loader_->Producer().FitMode(), 100, 100);
  producer.SetCurrentTiming(loader_->TimingRef());
  overlay_->ShowDialog(producer.CreateDialog(name));
}

bool TZemEngine::RunAction(const TZemActionInfo& action) {
  using K = TZemActionKind;
  if (action.kind == K::None) return false;
  if (overlay_ && (action.kind == K::PrevSlide || action.kind == K::NextSlide || action.kind == K::GotoSlide ||
                   action.kind == K::RunPresentation))
    overlay_->CloseHoldingDialogs();
  switch (action.kind) {
    case K::Help:
      ShowDialogNamed(u"help");
      return true;
    case K::OpenDialog:
      ShowDialogNamed(action.text);
      return true;
    case K::CloseDialog:
      if (overlay_ && overlay_->TopDialog()) {
        overlay_->BeginCloseDialog(-1);
        return true;
      }
      break;
    default:
      break;
  }
  std::unique_ptr<TObj> text;
  if (!action.text.empty()) text = std::make_unique<TStrValue>(action.text);
  PostToUi(kUiAction, {int32_t(action.kind), action.number}, std::move(text));
  return true;
}

// ---------------------------------------------------------------- opening (engine thread)

void TZemEngine::ProcessAsyncOpen() {
  processing_ = std::move(pending_);
  LogLine("TZemEngine: Begin ProcessAsyncOpen");
  if (processing_->storage) {
    LogLine("TZemEngine: Process AsyncEvent Open");
    try {
      OpenShowInt(std::move(processing_->files), std::move(processing_->storage), processing_->startTime);
    } catch (const std::exception& e) {
      // A show that cannot be opened leaves the engine without one; the loop goes on.
      LogLine(std::string("TZemEngine: Open failed: ") + e.what());
      AbandonShow();
    }
  } else {
    LogLine("TZemEngine: Process AsyncEvent SetPosition");
    SetActive(false);
    SetFrozen(processing_->startTime);
    SetLoaderCurrent(processing_->startTime);
    lastReported_ = kForceReport;
    NextAction(processing_->startTime);
    NextBarrier(processing_->startTime);
    stoppedAtBarrier_ = false;
  }
  currentSequence_ = processing_->sequence;
  CurrentLog().WriteBool("TZemEngine: Process AsyncEvent Curren Pause Status: ", paused_);
  paused_ = processing_->pause != 0;
  CurrentLog().WriteBool("TZemEngine: Process AsyncEvent New Pause Status: ", paused_);
  processing_.reset();
}

void TZemEngine::OpenShowInt(std::unique_ptr<TFileAccessor> files, std::shared_ptr<const TIniStorage> storage,
                             int32_t timeMs) {
  if (!storage) ZEM_FAIL("OpenShow without a show script");
  auto source = MakeRef<TZemSource>(TSharedScript{std::move(storage)}, std::move(files), sourceOptions_);
  TRef<TZemSource> previous = source_;
  const bool hadOwned = ownsSource_;
  // While playing, the music player goes on from the previous source and keeps it.
  if (previous && hadOwned && !(paused_ || (music_ && music_->OwnsSource()))) {
    if (music_) music_->SetOwnsSource(true);
  }
  OpenInt(source, false, timeMs);
  ownsSource_ = true;
  previous.reset();
}

void TZemEngine::AbandonShow() {
  // Nothing half-open stays behind: a later open starts from scratch.
  SetActive(false);
  StopLoader();
  overlay_.reset();
  if (music_) {
    music_->Stop();
    music_.reset();
  }
  source_.reset();
  ownsSource_ = false;
  std::lock_guard<std::mutex> g(sourceLock_);
  uiSource_.reset();
}

bool TZemEngine::StopWithin(int32_t ms) {
  const uint32_t until = TimeGetTime() + static_cast<uint32_t>(ms < 0 ? 0 : ms);
  const auto left = [&] {
    const int32_t l = static_cast<int32_t>(until - TimeGetTime());
    return l > 0 ? l : 0;
  };
  // Nothing the threads would still make is shown: the frame and the slide in progress are cut
  // short (process-wide; the process is ending).
  AbandonShowWork();
  SetLoadMode(TLoadMode::GiveUp);
  Terminate();
  if (!WaitFor(left())) return false;
  // The engine thread has ended: its members are ours now. (Its end set the load mode back.)
  if (loader_) {
    SetLoadMode(TLoadMode::GiveUp);
    loader_->Terminate();
    if (!loader_->WaitFor(left())) return false;
  }
  return true;
}

void TZemEngine::StopLoader() {
  if (!loader_) return;
  // The loader's slides are thrown away: it gives up instead of finishing the slide it reads.
  const TLoadMode mode = LoadMode();
  SetLoadMode(TLoadMode::GiveUp);
  loader_->Terminate();
  // A loader blocked in its report to us is released by handling our own messages.
  while (!loader_->WaitFor(0)) {
    if (IsStarted()) EventList().Process();
    SleepMs(3);
  }
  loader_.reset();
  slides_ = TSlides{};
  SetLoadMode(mode);
}

void TZemEngine::MakeMusicPlayer() {
  music_ = std::make_unique<TZemMusicPlayer>(source_, false, musicFactory_);
  if (exportMode_) music_->StartStepped();
  else music_->Start();
  music_->SetRunning(false);
}

void TZemEngine::OpenInt(TRef<TZemSource> source, bool reopen, double timeMs) {
  if (sharpenMode_ == 2) sharpenMode_ = 0;
  endReported_ = false;
  CurrentLog().WriteFloat(reopen ? "Reopen from new position>>>>>>>> " : "Open from new position>>>>>>>> ", timeMs);
  const uint32_t started = TimeGetTime();
  const bool p = paused_;
  if (p) SetActive(false);
  StopLoader();
  if (p && music_) {
    music_->SetRunning(false);
    music_->Stop();
    music_.reset();
  }
  overlay_.reset();
  source_ = std::move(source);
  {
    std::lock_guard<std::mutex> g(sourceLock_);
    uiSource_ = source_;
  }
  if (!source_) return;
  // Custom transition effects read their effect files from this show.
  if (!reopen) {
    std::shared_ptr<const TFileAccessor> files;
    if (source_->Files()) files = source_->Files()->Clone();
    InstallCustomEffectMaker(MakeCustomEffectMaker(files));
  }

  cacheWindow_ = LargestSectionObjects(source_->Storage()) > kHeavySlideObjects ? kHeavyCacheWindow : kCacheWindow;
  if (cacheWindow_ != kCacheWindow)
    LogLine("TZemEngine: a section holds more than " + std::to_string(kHeavySlideObjects) + " objects; " +
            std::to_string(cacheWindow_) + " slides are kept built");
  loader_ = std::make_unique<TZemSlideLoader>(source_, cacheWindow_, false);
  loader_->SetPreloadCallback([this](TDrawContainer& c) { PreloadFromCallback(c); });
  loader_->SetReportTarget(&EventList(), kEngineSlideList);
  if (p || !music_) MakeMusicPlayer();
  if (!reopen) {
    const TPointI out = loader_->outputSize;
    PostToUi(kUiWindowMode, {out.x, out.y, loader_->WindowMode()});
    controller_->InitDrawer();
  }
  loader_->outputSize = controller_->WindowSize();
  loader_->SetOutput(coverFit_);

  const TRectI showRect = loader_->ShowRect();
  const TPointI win = controller_->WindowSize();
  const TPointI showSize{showRect.right - showRect.left, showRect.bottom - showRect.top};
  overlay_ = std::make_unique<TThirdSlide>(
      source_->Files(), source_->Storage(), showRect, root_.get(), overlayOption_,
      [this](float v) { volume_ = v; },
      [this](float t) { RunAction(TZemActionInfo{TZemActionKind::GotoTime, int32_t(std::lround(t)), {}}); },
      [this] { return !paused_; }, win, showSize, volume_.load(), source_->TotalDuration());

  if (p) {
    SetFrozen(timeMs);
    SetLoaderCurrent(timeMs);
    lastReported_ = kForceReport;
    NextAction(timeMs);
    NextBarrier(timeMs);
    stoppedAtBarrier_ = false;
  }
  LogLine("Loader Inited To Time : " + std::to_string(TimeGetTime() - started));
}

void TZemEngine::PreloadFromCallback(TDrawContainer& container) {
  T3DDrawer* drawer = controller_ ? controller_->Drawer() : nullptr;
  if (!drawer || !container.slide) return;
  // Prepared here also while the show stands: decoding then happens on this thread, not at the
  // engine's start (which would otherwise prepare every cached slide on the drawing thread).
  container.slide->Prepare(*drawer);
  PrepareSlideTransition(container.transition.get(), container.slide.get(), *drawer);
  if (active_) LogLine("preload from callback.............");
  container.slide->Preload(*drawer, 0);
}

// ---------------------------------------------------------------- thread

void TZemEngine::OnStart() {
  // Linux timers already have millisecond resolution: nothing to ask for.
  lastStep_ = TimeGetTime();
}

void TZemEngine::OnStop() {
  SetLoadMode(TLoadMode::Paused);
  TCustomZemEngine::OnStop();
  // Engine thread: SDL keeps per-thread data for a thread that made a GL context current.
  SDL_TLSCleanup();
}

void TZemEngine::LoopStep() { MainLoop(); }

}  // namespace zem
