// The engine on a virtual clock, for exports. The exporter's thread made the window and the
// drawer (it is the user-interface thread of an export) and asks for one frame time after the
// other: nothing waits for real time, and each frame waits for the slide loader instead, so no
// frame ever shows a slide that is not ready. The music player is stepped by the exporter at the
// clock of the audio it pulls.
#include <algorithm>
#include <cmath>

#include "engine/engine.h"
#include "engine/third_slide.h"
#include "foundation/assert.h"
#include "foundation/clock.h"
#include "foundation/log.h"

namespace zem {

void TZemEngine::BeginExport(double timeMs) {
  ZEM_ASSERT(exportMode_ && !IsStarted());
  if (!source_) return;
  SetFrozen(timeMs);
  SetLoaderCurrent(timeMs);
  if (loader_) loader_->Timing().requested = timeMs;
  // The picture of the show, as a capture has it: dialogs and logo, no navigation panel.
  if (overlay_) overlay_->SetCaptureMode(true);
  if (T3DDrawer* drawer = controller_->Drawer()) drawer->SetNoPresent(true);
  // Barriers are off (never enabled here), so the music's limit is the show's end.
  if (music_) {
    music_->SetTime(barrier_.time, timeMs);
    music_->SetRunning(true);
  }
  // Slides are prepared as the loader makes them, as while playing; the load mode stays 0 so
  // that the loader never yields.
  active_ = true;
  exportHint_ = std::max(-2, source_->SlideAtTime(timeMs));
  LogLine("TZemEngine: export from " + FormatFloat(timeMs));
}

bool TZemEngine::ExportSlidesReady(double t) {
  if (!source_ || slides_.count == 0) return false;
  int32_t first = 0, last = 0;
  exportHint_ = ActiveSlidePositions(*source_, t, exportHint_, first, last);
  const auto end = slides_.containers.begin() + slides_.count;
  for (int32_t p = first; p <= last; ++p) {
    if (std::any_of(slides_.containers.begin(), end, [p](TDrawContainer* c) { return c->position == p; })) continue;
    // A slide whose end is exactly now shows nothing any more; the loader, which searched from
    // another place, may have left it out.
    TSlideInfo info;
    source_->GetSlideInfo(p, info);
    if (std::llround(info.end) != std::llround(t)) return false;
  }
  return true;
}

int32_t TZemEngine::ExportFrame(double timeMs, uint32_t waitMs, std::string& error) {
  ZEM_ASSERT(exportMode_ && !IsStarted());
  ++steps_;
  T3DDrawer* drawer = controller_->Drawer();
  if (!source_ || !loader_ || !drawer) {
    error = "no show is open";
    return -1;
  }
  EventList().Process();
  if (!loader_->IsStarted()) loader_->Start();
  if (overlay_) overlay_->UpdateTime(timeMs);
  loader_->Timing().requested = timeMs;
  SetLoaderCurrent(timeMs);
  const uint32_t begin = TimeGetTime();
  while (!ExportSlidesReady(timeMs)) {
    if (TimeGetTime() - begin > waitMs) {
      error = "the slides at " + FormatFloat(timeMs) + " ms were not loaded within " + std::to_string(waitMs / 1000) + " s";
      return -1;
    }
    SleepMs(1);
    // The loader's report of a new slide list waits for this.
    EventList().Process();
  }
  const int32_t state = controller_->GetState();
  if ((state & TZemDrawController::kRenderLost) || !drawer->IsReady()) {
    error = "the drawing device is not usable";
    return -1;
  }
  const uint32_t before = framesDrawn_;
  RenderFrame(before == 0 || (state & TZemDrawController::kForceRedraw) != 0);
  return framesDrawn_ != before ? 1 : 0;
}

bool TZemEngine::ExportMusicStep(uint32_t waitMs) { return !music_ || music_->Step(waitMs); }

}  // namespace zem
