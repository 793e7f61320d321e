// The slide loader: a thread that keeps the slide cache filled around the current show time,
// hands every change of the cached list to the engine synchronously, and passes every newly
// built slide through the engine's preload callback. It also reads the show's window settings.
//
// Threads: built, configured and stopped by the engine; the loop step, the preload callback and
// the reports run on the loader thread. The engine writes the shared timing.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "foundation/event_list.h"
#include "foundation/zem_thread.h"
#include "model/geometry.h"
#include "model/slide_producer.h"
#include "model/slide_source.h"

namespace zem {

// The primary screen's size; a common desktop size when no display can be asked.
TPointI PrimaryScreenSize();

// One report to the engine: the cached containers in position order (owned by the cache).
class TSlideData : public TObj {
 public:
  static constexpr int32_t kMaxSlides = 3;
  std::array<TDrawContainer*, kMaxSlides> containers{};
  int32_t count = 0;
};

// The window settings of a show.
class TSlideShowParams : public TZemThread {
 public:
  explicit TSlideShowParams(TPointI screen) : outputSize(screen) {}
  // 0: full screen; 1: window with border; 2: window without border.
  int32_t WindowMode() const { return fullScreen == 1 ? 0 : (withBorder ? 1 : 2); }

  TPointI outputSize;      // the engine replaces it by the window size before SetOutput
  bool withBorder = false;
  int32_t fullScreen = 1;  // "opt_scr_full"
};

class TZemSlideLoader : public TSlideShowParams {
 public:
  static constexpr int32_t kReportCode = 101;

  // A null source is a programming error. `host` null: the producer's own slide host.
  TZemSlideLoader(TRef<TZemSource> source, int32_t window_size, bool owns_source,
                  TRef<TZemSlideHost> host = {}, TPointI screen = PrimaryScreenSize());
  ~TZemSlideLoader() override;

  // Engine thread, before Start: the producer's output with fit mode cover or inside.
  void SetOutput(bool fit_to_cover);
  TRectI ShowRect() const { return producer_->GetViewRect(); }

  // Before Start: where and with which code reports go (null: not reported).
  void SetReportTarget(TPostEventList* target, int32_t code = kReportCode) {
    target_.store(target);
    code_ = code;
  }
  // Reports call the target's handlers on the loader thread instead of being sent.
  void SetDirectReport(bool direct) { direct_ = direct; }
  // Before Start: every new container passes through it on the loader thread.
  void SetPreloadCallback(TSlideCache::TLoaded callback) { cache_->SetOnLoaded(std::move(callback)); }

  TTiming& Timing() { return *timing_; }
  const TRef<TTiming>& TimingRef() const { return timing_; }
  TSlideProducer& Producer() { return *producer_; }
  // Loader thread (or the owner while the thread is not running).
  TSlideCache& Cache() { return *cache_; }
  TZemSource& Source() const { return *source_; }
  bool OwnsSource() const { return ownsSource_; }

  // One step: bring the cache up to date with the current time, then sleep 10 ms.
  void LoopStep() override;

 private:
  void Report();

  TRef<TZemSource> source_;
  bool ownsSource_;
  TRef<TTiming> timing_;
  std::unique_ptr<TSlideProducer> producer_;
  std::unique_ptr<TSlideCache> cache_;
  std::atomic<TPostEventList*> target_{nullptr};
  int32_t code_ = kReportCode;
  std::atomic<bool> direct_{false};
};

}  // namespace zem
