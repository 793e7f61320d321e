// The frame extractor over a scripted frame source: time to frame, the pool (Prepare, Take,
// prefetch, give back), pictures lost on the device, and stopping while a frame is decoded.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "model/recording_drawer.h"
#include "model/video_extractor.h"

namespace zem::test {
namespace {

// Writes the frame index into the first luma byte; may hold a decode until released.
class TScriptedSource : public TFrameSource {
 public:
  TScriptedSource(double fps, int64_t count) {
    params_.width = 16;
    params_.height = 16;
    params_.fps = fps;
    params_.frameCount = count;
  }
  bool GetFrame(int64_t index, TYUVImage& image) override {
    {
      std::unique_lock<std::mutex> g(m);
      decoding = true;
      cv.notify_all();
      cv.wait(g, [&] { return !hold; });
      requests.push_back(index);
    }
    TYUVPlane p;
    if (!image.OpenPlane(kPlaneY, p)) return false;
    p.rows[0][0] = uint8_t(index);
    image.CommitPlane(kPlaneY, p);
    image.Finish();
    std::lock_guard<std::mutex> g(m);
    decoding = false;
    return !fail;
  }
  bool GetFrame24(int64_t, TBitmap&) override { return false; }

  std::mutex m;
  std::condition_variable cv;
  bool hold = false, decoding = false, fail = false;
  std::vector<int64_t> requests;
};

struct TRig {
  TScriptedSource* src;
  TRef<TZemVideoExtractor> x;
  TRef<TMemoryVideoSurface> a, b;
  TRig(double fps, int64_t count) {
    auto s = std::make_unique<TScriptedSource>(fps, count);
    src = s.get();
    x = TZemVideoExtractor::Create(std::move(s));
    a = TRef<TMemoryVideoSurface>(new TMemoryVideoSurface(16, 16, false, false));
    b = TRef<TMemoryVideoSurface>(new TMemoryVideoSurface(16, 16, false, false));
    x->AddImage(TRef<TYUVImage>(a.get()));
    x->AddImage(TRef<TYUVImage>(b.get()));
  }
  ~TRig() {
    {
      std::lock_guard<std::mutex> g(src->m);
      src->hold = false;
      src->cv.notify_all();
    }
    if (x) x->Stop();
    x.reset();
    EXPECT_TRUE(WaitForActiveThreads(5000));
  }
  static int FirstByte(const TZemVideoExtractor::TEntry& e) {
    return static_cast<TMemoryVideoSurface*>(e.image.get())->Plane(kPlaneY)[0];
  }
};

TEST(VideoExtractor, TimeToFrameAndFrameWindow) {
  TRig r(25, 100);
  EXPECT_EQ(r.x->FrameOf(1000), 25);
  EXPECT_EQ(r.x->FrameOf(1019), 25);
  EXPECT_EQ(r.x->FrameOf(1021), 26);
  EXPECT_EQ(r.x->FrameOf(-50), 0);
  EXPECT_EQ(r.x->FrameOf(4100), 99);  // held on the last frame
  r.x->SetLoop(true);
  EXPECT_EQ(r.x->FrameOf(4100), 2);   // 102.5 goes to the even 102
  double s = 0, e = 0;
  r.x->FrameWindow(25, s, e);
  EXPECT_DOUBLE_EQ(s, 980);
  EXPECT_DOUBLE_EQ(e, 1020);
}

TEST(VideoExtractor, PrepareTakePrefetchAndGiveBack) {
  TRig r(25, 100);
  r.x->Prepare(1000, true);
  TZemVideoExtractor::TEntry e;
  bool exact = false;
  ASSERT_TRUE(r.x->Take(60, 1000, e, &exact));
  EXPECT_TRUE(exact);
  EXPECT_EQ(e.held, 25);
  EXPECT_EQ(e.requested, 25);
  EXPECT_EQ(TRig::FirstByte(e), 25);
  EXPECT_FALSE(e.image->needs_picture);
  // 1000 + 1000/60 ms is still frame 25: the next one is prefetched into the other picture.
  r.x->Prepare(1040, true);
  TZemVideoExtractor::TEntry f;
  ASSERT_TRUE(r.x->Take(60, 1040, f, &exact));
  EXPECT_TRUE(exact);
  EXPECT_EQ(TRig::FirstByte(f), 26);
  EXPECT_NE(e.image.get(), f.image.get());
  // Both pictures are out: nothing to take until one comes back.
  TZemVideoExtractor::TEntry none;
  EXPECT_FALSE(r.x->Take(60, 1080, none));
  // A returned picture goes to the wanted frame (27); while that decode runs, the other picture
  // (26) is the nearest one to take.
  {
    std::lock_guard<std::mutex> g(r.src->m);
    r.src->hold = true;
  }
  r.x->GiveBack(std::move(e));
  {
    std::unique_lock<std::mutex> g(r.src->m);
    r.src->cv.wait(g, [&] { return r.src->decoding; });
  }
  r.x->GiveBack(std::move(f));
  ASSERT_TRUE(r.x->Take(60, 1080, none, &exact));
  EXPECT_FALSE(exact);
  EXPECT_EQ(none.held, 26);
  r.x->GiveBack(std::move(none));
  {
    std::lock_guard<std::mutex> g(r.src->m);
    r.src->hold = false;
    r.src->cv.notify_all();
  }
  r.x->Prepare(1080, true);
  ASSERT_TRUE(r.x->Take(60, 1080, none, &exact));
  EXPECT_TRUE(exact);
  EXPECT_EQ(TRig::FirstByte(none), 27);
  r.x->GiveBack(std::move(none));
  std::lock_guard<std::mutex> g(r.src->m);
  EXPECT_EQ(r.src->requests.front(), 25);
}

TEST(VideoExtractor, LostPictureIsDecodedAgain) {
  TRig r(25, 100);
  r.x->Prepare(400, true);  // frame 10
  const int64_t before = r.x->DecodedFrames();
  TMemoryVideoSurface* holder = r.a->needs_picture ? r.b.get() : r.a.get();
  ASSERT_FALSE(holder->needs_picture);
  holder->Invalidate();
  EXPECT_TRUE(holder->needs_picture);
  // The invalidated picture's frame is wanted again and decoded.
  r.x->Prepare(400, true);
  EXPECT_GT(r.x->DecodedFrames(), before);
  TZemVideoExtractor::TEntry e;
  bool exact = false;
  ASSERT_TRUE(r.x->Take(0, 400, e, &exact));
  EXPECT_TRUE(exact);
  EXPECT_FALSE(e.image->needs_picture);
  r.x->GiveBack(std::move(e));
}

TEST(VideoExtractor, StopDoesNotWaitForAFrameBeingDecoded) {
  TRig r(25, 100);
  {
    std::lock_guard<std::mutex> g(r.src->m);
    r.src->hold = true;
  }
  r.x->Prepare(0, false);
  {
    std::unique_lock<std::mutex> g(r.src->m);
    ASSERT_TRUE(r.src->cv.wait_for(g, std::chrono::seconds(5), [&] { return r.src->decoding; }));
  }
  // The owner lets go while the worker is inside the source: nothing waits for it.
  r.x->Stop();
  r.x.reset();
  std::lock_guard<std::mutex> g(r.src->m);
  EXPECT_TRUE(r.src->decoding);
  EXPECT_GE(RunningActiveThreads(), 1);
  // The rig's destructor releases the decode; the worker then ends and frees the extractor.
}

TEST(VideoExtractor, AFailedDecodeIsNotRetriedWithoutEnd) {
  TRig r(25, 100);
  {
    std::lock_guard<std::mutex> g(r.src->m);
    r.src->fail = true;
  }
  r.x->Prepare(200, true);
  r.x->Prepare(200, true);
  TZemVideoExtractor::TEntry e;
  ASSERT_TRUE(r.x->Take(60, 200, e));
  EXPECT_EQ(e.held, 5);
  EXPECT_TRUE(e.image->needs_picture);  // it never got a picture
  r.x->GiveBack(std::move(e));
  std::lock_guard<std::mutex> g(r.src->m);
  EXPECT_LE(r.src->requests.size(), 3u);
}

}  // namespace
}  // namespace zem::test
