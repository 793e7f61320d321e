#include "engine/slide_loader.h"

#include <SDL.h>

#include "foundation/assert.h"
#include "foundation/clock.h"
#include "package/load_throttle.h"
#include "script/ini_file.h"

namespace zem {

TPointI PrimaryScreenSize() {
  // Only asked when the window code already started the video subsystem: starting it here, off
  // the user-interface thread, is not allowed.
  SDL_DisplayMode mode;
  if (SDL_WasInit(SDL_INIT_VIDEO) && SDL_GetNumVideoDisplays() > 0 && SDL_GetDesktopDisplayMode(0, &mode) == 0 &&
      mode.w > 0 && mode.h > 0) {
    return {mode.w, mode.h};
  }
  return {1920, 1080};
}

TZemSlideLoader::TZemSlideLoader(TRef<TZemSource> source, int32_t window_size, bool owns_source,
                                 TRef<TZemSlideHost> host, TPointI screen)
    : TSlideShowParams(screen), source_(std::move(source)), ownsSource_(owns_source) {
  if (!source_) ZEM_FAIL("No ZemSource for ZemSlideLoader");
  timing_ = MakeRef<TTiming>();
  producer_ = std::make_unique<TSlideProducer>(source_, std::move(host));
  producer_->SetCurrentTiming(timing_);
  cache_ = std::make_unique<TSlideCache>(*producer_, window_size);
  cache_->SetOnChange([this] { Report(); });

  if (const TIniSection* main = source_->Main()) {
    fullScreen = main->ReadInteger(u"opt_scr_full", 1);
    if (fullScreen == 0) withBorder = !main->ReadBool(u"opt_withoutborder", true);
    if (fullScreen == 0 || fullScreen == 3) {
      outputSize = {main->ReadInteger(u"opt_scr_width", 640), main->ReadInteger(u"opt_scr_height", 480)};
    }
  }
}

TZemSlideLoader::~TZemSlideLoader() {
  Shutdown();
  // Containers hold slides made by the producer: the cache goes first.
  cache_.reset();
  producer_.reset();
  source_.reset();
}

void TZemSlideLoader::SetOutput(bool fit_to_cover) {
  producer_->SetOutput(outputSize, fit_to_cover ? TSlideProducer::kFitCover : TSlideProducer::kFitInside, 100.0f,
                       100.0f);
}

void TZemSlideLoader::LoopStep() {
  // Told to give up (the engine is stopping this loader): no new slide is started.
  if (!LoadGivenUp()) cache_->Update(timing_->current.load());
  SleepMs(10);
}

void TZemSlideLoader::Report() {
  TPostEventList* target = target_.load();
  if (!target) return;
  TSlideData data;
  const auto& items = cache_->Containers();
  ZEM_ASSERT(items.size() <= size_t(TSlideData::kMaxSlides));
  for (const auto& c : items) data.containers[size_t(data.count++)] = c.get();
  if (direct_.load()) target->Dispatch(code_, this, &data);
  else target->Send(code_, &data);
}

}  // namespace zem
