#include "render/drawer/snapshot.h"

#include <vector>

#include "foundation/log.h"
#include "model/slide_producer.h"
#include "model/slide_source.h"
#include "model/zem_slide.h"
#include "render/drawer/drawer.h"
#include "render/drawer/headless_window.h"
#include "render/drawer/root_item.h"
#include "transitions/slide_eff_filter.h"

namespace zem {

namespace {
bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}
}  // namespace

bool RenderShowSnapshot(const TRef<TZemSource>& source, double timeMs, int32_t width, int32_t height,
                        TBitmap& out, std::string* error) {
  if (!source) return Fail(error, "no show");
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return Fail(error, "bad output size");
  auto window = THeadlessWindow::Create(width, height);
  if (!window) return Fail(error, "no offscreen window");
  T3DDrawer drawer;
  drawer.SetNotify([](TDeviceDrawer&, TDrawItem*, int) {});
  drawer.Init(window->Window());
  if (!drawer.IsReady()) return Fail(error, "no drawing device");

  bool ok = false;
  {
    TSlideProducer producer(source);
    producer.SetOutput({width, height}, TSlideProducer::kFitInside, 100, 100);
    auto timing = MakeRef<TTiming>();
    timing->current = timeMs;
    timing->requested = timeMs;
    producer.SetCurrentTiming(timing);
    TSlideCache cache(producer, 2);
    // Loads one slide per step; the window holds at most a few.
    for (int i = 0; i < TSlideCache::kMaxContainers + 1 && cache.Update(timeMs); ++i) {
    }
    std::vector<TDrawContainer*> list;
    for (const auto& c : cache.Containers()) {
      list.push_back(c.get());
      if (!c->slide) continue;
      c->slide->Prepare(drawer);
      PrepareSlideTransition(c->transition.get(), c->slide.get(), drawer);
    }
    TRootItem root(true);
    root.backgroundColour = ColourCodeToArgb(source->hiderColour) & 0xFFFFFFu;
    root.sharpenAmount = float(source->unsharpAmount);
    root.sharpenThreshold = uint8_t(std::clamp(source->unsharpThreshold, 0, 255));
    drawer.SetClipRect(producer.GetViewRect());
    if (root.Compose(list.data(), int32_t(list.size()), nullptr, timeMs)) {
      drawer.SetNoPresent(true);
      ok = drawer.DrawItem(&root) && drawer.CopyToBitmap(out) && !out.Empty();
      if (!ok && error) *error = "drawing failed";
    } else if (error) {
      *error = "nothing on screen at that time";
    }
    // Textures live on the pictures: freed while the drawer still exists.
    for (TDrawContainer* c : list)
      if (c->slide) c->slide->Release(drawer);
  }
  LogLine("Snapshot at " + std::to_string(int64_t(timeMs)) + (ok ? " done" : " failed"));
  return ok;
}

}  // namespace zem
