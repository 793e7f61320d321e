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

struct TShowSnapshot::TImpl {
  TRef<TZemSource> source;
  int32_t width, height;
  std::unique_ptr<THeadlessWindow> window;
  std::unique_ptr<T3DDrawer> drawer;
  std::unique_ptr<TSlideProducer> producer;
  TRef<TTiming> timing;
  std::unique_ptr<TSlideCache> cache;
  std::unique_ptr<TRootItem> root;

  ~TImpl() {
    // Textures live on the pictures: freed while the drawer still exists.
    if (cache && drawer)
      for (const auto& c : cache->Containers())
        if (c->slide) c->slide->Release(*drawer);
    root.reset();
    cache.reset();
    producer.reset();
    drawer.reset();
    window.reset();
  }
};

TShowSnapshot::TShowSnapshot(TRef<TZemSource> source, int32_t width, int32_t height)
    : impl_(std::make_unique<TImpl>()) {
  impl_->source = std::move(source);
  impl_->width = width;
  impl_->height = height;
}

TShowSnapshot::~TShowSnapshot() = default;

bool TShowSnapshot::Open(std::string* error) {
  TImpl& m = *impl_;
  if (m.drawer) return true;
  if (!m.source) return Fail(error, "no show");
  if (m.width <= 0 || m.height <= 0 || m.width > 16384 || m.height > 16384) return Fail(error, "bad output size");
  m.window = THeadlessWindow::Create(m.width, m.height);
  if (!m.window) return Fail(error, "no offscreen window");
  m.drawer = std::make_unique<T3DDrawer>();
  m.drawer->SetNotify([](TDeviceDrawer&, TDrawItem*, int) {});
  m.drawer->Init(m.window->Window());
  if (!m.drawer->IsReady()) {
    m.drawer.reset();
    return Fail(error, "no drawing device");
  }
  m.producer = std::make_unique<TSlideProducer>(m.source);
  m.producer->SetOutput({m.width, m.height}, TSlideProducer::kFitInside, 100, 100);
  m.timing = MakeRef<TTiming>();
  m.producer->SetCurrentTiming(m.timing);
  m.cache = std::make_unique<TSlideCache>(*m.producer, 2);
  m.root = std::make_unique<TRootItem>(true);
  m.root->backgroundColour = ColourCodeToArgb(m.source->hiderColour) & 0xFFFFFFu;
  m.root->sharpenAmount = float(m.source->unsharpAmount);
  m.root->sharpenThreshold = uint8_t(std::clamp(m.source->unsharpThreshold, 0, 255));
  m.drawer->SetClipRect(m.producer->GetViewRect());
  return true;
}

bool TShowSnapshot::Render(double timeMs, TBitmap& out, std::string* error) {
  if (!Open(error)) return false;
  TImpl& m = *impl_;
  m.timing->current = timeMs;
  m.timing->requested = timeMs;
  // Loads one slide per step; the window holds at most a few.
  for (int i = 0; i < TSlideCache::kMaxContainers + 1 && m.cache->Update(timeMs); ++i) {
  }
  std::vector<TDrawContainer*> list;
  for (const auto& c : m.cache->Containers()) {
    list.push_back(c.get());
    if (!c->slide) continue;
    c->slide->Prepare(*m.drawer);  // once per slide
    PrepareSlideTransition(c->transition.get(), c->slide.get(), *m.drawer);
  }
  bool ok = false;
  if (m.root->Compose(list.data(), int32_t(list.size()), nullptr, timeMs)) {
    m.drawer->SetNoPresent(true);
    ok = m.drawer->DrawItem(m.root.get()) && m.drawer->CopyToBitmap(out) && !out.Empty();
    m.drawer->SetNoPresent(false);
    if (!ok && error) *error = "drawing failed";
  } else if (error) {
    *error = "nothing on screen at that time";
  }
  LogLine("Snapshot at " + std::to_string(int64_t(timeMs)) + (ok ? " done" : " failed"));
  return ok;
}

bool RenderShowSnapshot(const TRef<TZemSource>& source, double timeMs, int32_t width, int32_t height,
                        TBitmap& out, std::string* error) {
  TShowSnapshot snapshot(source, width, height);
  return snapshot.Render(timeMs, out, error);
}

}  // namespace zem
