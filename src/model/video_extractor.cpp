#include "model/video_extractor.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <mutex>

#include "foundation/log.h"

namespace zem {

namespace {

// Marks an entry whose image lost its picture: never a real frame, and the farthest from any.
constexpr int64_t kImpossible = -(int64_t(1) << 40);
// Prepare with wait gives up after this long, so a stuck decode never stalls the engine.
constexpr int32_t kPrepareWaitMs = 3000;

int64_t Distance(int64_t a, int64_t b) { return a > b ? a - b : b - a; }

}  // namespace

struct TZemVideoExtractor::TLink {
  std::mutex m;
  TZemVideoExtractor* target = nullptr;  // under m
};

TZemVideoExtractor::TZemVideoExtractor(std::unique_ptr<TFrameSource> source)
    : link_(std::make_shared<TLink>()), source_(std::move(source)) {
  if (source_) params_ = source_->Params();
  link_->target = this;
}

TZemVideoExtractor::~TZemVideoExtractor() {
  std::lock_guard<std::mutex> g(link_->m);
  link_->target = nullptr;
}

TRef<TZemVideoExtractor> TZemVideoExtractor::Create(std::unique_ptr<TFrameSource> source) {
  TRef<TZemVideoExtractor> x(new TZemVideoExtractor(std::move(source)));
  TZemVideoExtractor* p = x.get();
  p->StartWorker([p] { p->Run(); });
  return x;
}

void TZemVideoExtractor::SetLoop(bool loop) {
  std::lock_guard<TMonitor> g(*this);
  loop_ = loop;
}

int64_t TZemVideoExtractor::FrameOf(double t) const {
  const double fps = params_.fps;
  if (!(fps > 0) || !std::isfinite(t)) return 0;
  // Halves go to the even neighbour: 4100 ms at 25 fps is frame 102.
  double f = std::nearbyint(t * fps / 1000.0);
  if (!(f > 0)) f = 0;
  const int64_t count = params_.frameCount;
  if (count > 0 && f >= double(count)) {
    if (loop_) return int64_t(std::fmod(f, double(count)));
    return count - 1;
  }
  return f > 9e15 ? int64_t(9e15) : int64_t(f);
}

void TZemVideoExtractor::FrameWindow(int64_t n, double& start, double& end) const {
  const double fps = params_.fps > 0 ? params_.fps : 1;
  start = (double(n) - 0.5) * 1000.0 / fps;
  end = (double(n) + 0.5) * 1000.0 / fps;
}

bool TZemVideoExtractor::PoolHolds(int64_t n) const {
  for (const TEntry& e : pool_)
    if (e.held == n) return true;
  return false;
}

void TZemVideoExtractor::AddImage(TRef<TYUVImage> image) {
  if (!image) return;
  std::shared_ptr<TLink> link = link_;
  image->on_invalidated = [link](TYUVImage* img) {
    std::lock_guard<std::mutex> g(link->m);
    if (link->target) link->target->Invalidated(img);
  };
  std::lock_guard<TMonitor> g(*this);
  if (stop_) return;
  pool_.push_back({std::move(image), kNone, kNone});
}

void TZemVideoExtractor::Invalidated(TYUVImage* image) {
  std::lock_guard<TMonitor> g(*this);
  for (TEntry& e : pool_) {
    if (e.image.get() != image) continue;
    if (e.held >= 0) wanted_ = e.held;
    e.held = kNone;
    break;
  }
}

void TZemVideoExtractor::Prepare(double t, bool wait) {
  std::lock_guard<TMonitor> g(*this);
  for (TEntry& e : pool_)
    if (e.image->needs_picture) e.held = kImpossible;
  const int64_t f = FrameOf(t);
  if (!PoolHolds(f)) wanted_ = f;
  if (!wait) return;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPrepareWaitMs);
  while (!stop_ && state_ != kDone && !pool_.empty() && !PoolHolds(f)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      LogLine("TZemVideoExtractor: frame " + std::to_string(f) + " not ready in time");
      break;
    }
    Wait(int32_t(left.count()));
  }
}

bool TZemVideoExtractor::Take(double rate, double t, TEntry& out, bool* exact) {
  std::lock_guard<TMonitor> g(*this);
  if (pool_.empty()) return false;
  const int64_t c = FrameOf(t);
  size_t best = 0;
  for (size_t i = 1; i < pool_.size(); ++i) {
    const int64_t d = Distance(pool_[i].held, c), bd = Distance(pool_[best].held, c);
    if (d < bd || (d == bd && pool_[i].held < c && pool_[best].held >= c)) best = i;
  }
  out = std::move(pool_[best]);
  pool_.erase(pool_.begin() + std::ptrdiff_t(best));
  out.requested = c;
  if (exact) *exact = out.held == c;
  int64_t next = c + 1;
  if (rate > 0 && std::isfinite(rate)) {
    next = FrameOf(t + 1000.0 / rate);
    if (next == c) next = c + 1;
  }
  const int64_t count = params_.frameCount;
  if (count > 0 && next >= count) next = loop_ ? next % count : count - 1;
  if (next != out.held && !PoolHolds(next)) wanted_ = next;
  return true;
}

void TZemVideoExtractor::GiveBack(TEntry entry) {
  if (!entry.image) return;
  {
    std::lock_guard<TMonitor> g(*this);
    if (!stop_) {
      pool_.push_back(std::move(entry));
      return;
    }
  }
  // Stopped: the image is let go outside the monitor (freeing a surface may take the device).
  entry.image.reset();
}

void TZemVideoExtractor::Stop() {
  std::vector<TEntry> drop;
  {
    std::lock_guard<TMonitor> g(*this);
    stop_ = true;
    drop.swap(pool_);
  }
  {
    std::lock_guard<std::mutex> g(link_->m);
    link_->target = nullptr;
  }
  drop.clear();
}

int64_t TZemVideoExtractor::Wanted() {
  std::lock_guard<TMonitor> g(*this);
  return wanted_;
}

int64_t TZemVideoExtractor::DecodedFrames() {
  std::lock_guard<TMonitor> g(*this);
  return decoded_;
}

void TZemVideoExtractor::Run() {
  LowerWorkerPriority();
  bool first = true;
  Enter();
  state_ = kRunning;
  while (true) {
    while (!stop_ && !(wanted_ >= 0 && !pool_.empty())) Wait();
    if (stop_) break;
    const int64_t w = wanted_;
    if (PoolHolds(w)) {
      wanted_ = kNone;
      continue;
    }
    // The entry whose frame is farthest from w; on equal distance the one above w.
    size_t pick = 0;
    for (size_t i = 1; i < pool_.size(); ++i) {
      const int64_t d = Distance(pool_[i].held, w), bd = Distance(pool_[pick].held, w);
      if (d > bd || (d == bd && pool_[i].held > w && pool_[pick].held <= w)) pick = i;
    }
    TEntry e = std::move(pool_[pick]);
    pool_.erase(pool_.begin() + std::ptrdiff_t(pick));
    Leave();
    bool ok = false;
    try {
      ok = source_ && source_->GetFrame(w, *e.image);
    } catch (...) {
      ok = false;  // the image keeps its previous picture
    }
    if (ok) e.image->needs_picture = false;
    if (first) {
      RestoreWorkerPriority();
      first = false;
    }
    Enter();
    // Also after a failed decode the entry counts as holding w (its previous picture stays), so a
    // broken frame is not retried without end.
    e.held = w;
    ++decoded_;
    if (wanted_ == w) wanted_ = kNone;
    if (!stop_) {
      pool_.push_back(std::move(e));
    } else {
      Leave();
      e.image.reset();
      Enter();
    }
  }
  Leave();
}

}  // namespace zem
