// TZemVideoExtractor: one decoding worker per clip that keeps a small pool of decoded pictures
// and decodes the frame wanted next ahead of need.
//
// Threads: the video object (loader or engine thread) and the drawing thread call Prepare, Take,
// GiveBack and Stop; they all run under the extractor's monitor. The worker decodes outside it.
// The worker holds a reference to the extractor, so dropping the owner's reference never waits
// for a decode in progress and never kills the worker.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/monitor.h"
#include "model/frame_source.h"

namespace zem {

class TZemVideoExtractor : public TActiveMonitor {
 public:
  static constexpr int64_t kNone = -2;

  // A pool entry handed out by Take.
  struct TEntry {
    TRef<TYUVImage> image;
    int64_t requested = kNone;
    int64_t held = kNone;
  };

  // Starts the worker (not waiting for it) one priority step below normal.
  static TRef<TZemVideoExtractor> Create(std::unique_ptr<TFrameSource> source);
  ~TZemVideoExtractor() override;

  const video::TVideoParams& Params() const { return params_; }
  void SetLoop(bool loop);

  // Time (ms) and frame index.
  int64_t FrameOf(double t) const;
  void FrameWindow(int64_t n, double& start, double& end) const;

  // Adds an image to the pool, holding no frame; binds its invalidation callback.
  void AddImage(TRef<TYUVImage> image);
  // Books frame(t) for decoding; with wait, returns once it is decoded or the extractor stops.
  void Prepare(double t, bool wait);
  // The pool entry nearest to frame(t), taken out of the pool; false when the pool is empty.
  // `exact` says whether it holds frame(t). rate: per second, how often the caller asks again.
  bool Take(double rate, double t, TEntry& out, bool* exact = nullptr);
  void GiveBack(TEntry entry);
  // Asks the worker to end and lets go of the pool images.
  void Stop();

  // Under the monitor; for tests and statistics.
  int64_t Wanted();
  int64_t DecodedFrames();

 private:
  explicit TZemVideoExtractor(std::unique_ptr<TFrameSource> source);
  void Run();
  void Invalidated(TYUVImage* image);
  bool PoolHolds(int64_t n) const;

  // Lets invalidation callbacks outlive the extractor safely.
  struct TLink;
  std::shared_ptr<TLink> link_;
  std::unique_ptr<TFrameSource> source_;  // used by the worker only, after construction
  video::TVideoParams params_;
  bool loop_ = false;             // under the monitor
  std::vector<TEntry> pool_;      // under the monitor
  int64_t wanted_ = kNone;        // under the monitor
  int64_t decoded_ = 0;           // under the monitor
};

}  // namespace zem
