// The drawer's frame handling, effects, resources and snapshots on a headless device.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "drawer_support.h"
#include "foundation/assert.h"
#include "foundation/log.h"
#include "model/transition_choice.h"
#include "render/gl_device.h"
#include "render/screen.h"

namespace zem::test {
namespace {

class CapturedLog {
 public:
  CapturedLog() {
    auto log = std::make_unique<TLog>();
    log->SetOutputRoutine([this](const std::string& l) { lines.push_back(l); });
    InstallLog(std::move(log));
  }
  ~CapturedLog() { InstallLog(nullptr); }
  int Count(const std::string& s) const {
    return int(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(s) != std::string::npos; }));
  }
  std::vector<std::string> lines;
};

TFnItem Solid(uint32_t colour, float blur = 0) {
  return TFnItem([colour](TDeviceDrawer& d) {
    TBoxParams p;
    p.colour1 = colour;
    p.width = 30;
    p.height = 20;
    d.DrawBox({20, 20, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, p);
  }, blur);
}

TEST(DrawerFrames, NotificationsAndFrameDoneBracketEachFrame) {
  CapturedLog log;
  TDrawerRig rig;
  ZEM_REQUIRE_DRAWER(rig);
  EXPECT_EQ(log.Count("T3DDrawer.Init"), 1);
  TFnItem item([](TDeviceDrawer& d) { d.Clear(0xFF000000u, true); });
  rig.Render(item);
  EXPECT_EQ(rig.notifications, (std::vector<int>{kDrawNotifyFrameBegin, kDrawNotifyFrameEnd}));
  EXPECT_EQ(item.framesDone, 1);
  rig.drawer->Close();
  EXPECT_EQ(log.Count("T3DDrawer.Close"), 1);
}

TEST(DrawerFrames, DrawingWithoutOwnerNotificationIsAProgrammingError) {
  TDrawerRig rig;
  ZEM_REQUIRE_DRAWER(rig);
  rig.drawer->SetNotify(nullptr);
  TFnItem item([](TDeviceDrawer&) {});
  EXPECT_THROW(rig.drawer->DrawItem(&item), EAssertionFailed);
}

TEST(DrawerFrames, AnExceptionEndsTheFrameAndTheNextFrameDraws) {
  TDrawerRig rig;
  ZEM_REQUIRE_DRAWER(rig);
  TFnItem bad([](TDeviceDrawer& d) {
    d.BeginOffscreen();
    throw std::runtime_error("broken item");
  });
  rig.drawer->SetNoPresent(true);
  EXPECT_THROW(rig.drawer->DrawItem(&bad), std::runtime_error);
  EXPECT_EQ(bad.framesDone, 1);
  EXPECT_FALSE(rig.drawer->OffscreenOpen());
  EXPECT_EQ(rig.drawer->Depth(), 0);
  TFnItem red = Solid(0xFFFF0000u);
  TBitmap b = rig.Render(red);
  EXPECT_EQ(Px(b, 30, 30), 0xFFFF0000u);
}

TEST(DrawerFrames, BadFillStyleRaisesInsideTheFrame) {
  TDrawerRig rig;
  ZEM_REQUIRE_DRAWER(rig);
  TFnItem item([](TDeviceDrawer& d) {
    TBoxParams p;
    p.fillStyle = 9;
    d.DrawBox({0, 0, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, p);
  });
  EXPECT_THROW(rig.drawer->DrawItem(&item), EAssertionFailed);
}

TEST(DrawerSnapshots, CopyToBitmapOutsideCaptureModeCopiesNothing) {
  TDrawerRig rig;
  ZEM_REQUIRE_DRAWER(rig);
  TBitmap b;
  b.Allocate(4, 4, TPixelFormat::Argb32);
  b.Fill(0x12345678u);
  rig.drawer->SetNoPresent(false);
  EXPECT_TRUE(rig.drawer->CopyToBitmap(b));
  EXPECT_EQ(b.Width(), 4);
  EXPECT_EQ(b.GetPixel(2, 2), 0x12345678u);
}

TEST(DrawerSnapshots, SnapshotHasTheTargetSize) {
  TDrawerRig rig(64, 48);
  ZEM_REQUIRE_DRAWER(rig);
  TFnItem red = Solid(0xFFFF0000u);
  rig.Render(red);
  TRef<TDrawPicture> pic = rig.drawer->Snapshot();
  ASSERT_TRUE(pic);
  EXPECT_EQ(pic->Width(), 64);
  EXPECT_EQ(pic->Height(), 48);
  ASSERT_NE(pic->Pixels(), nullptr);
  EXPECT_EQ(pic->Pixels()->GetPixel(25, 25) | 0xFF000000u, 0xFFFF0000u);
}

TEST(DrawerEffects, TinyOrZeroBlurDrawsPlainly) {
  TDrawerRig rig;
  ZEM_REQUIRE_DRAWER(rig);
  for (float blur : {0.0f, 0.000005f}) {
    rig.notifications.clear();
    TFnItem child = Solid(0xFFFF0000u, blur);
    TFnItem root([&](TDeviceDrawer& d) { d.DrawItem(&child); });
    TBitmap b = rig.Render(root);
    EXPECT_EQ(std::count(rig.notifications.begin(), rig.notifications.end(), kDrawNotifyItemEffect), 0);
    EXPECT_EQ(Px(b, 20, 20), 0xFFFF0000u) << blur;  // hard corner kept
  }
}

TEST(DrawerEffects, BlurSpreadsTheItemOverItsDrawnBounds) {
  TDrawerRig rig;
  ZEM_REQUIRE_DRAWER(rig);
  TFnItem child = Solid(0xFFFFFFFFu, 100);  // radius 8 pixels
  TFnItem root([&](TDeviceDrawer& d) {
    d.Clear(0xFF000000u, true);
    d.DrawItem(&child);
    EXPECT_FALSE(rig.drawer->ItemEffectRunning());
    TRectI bounds = rig.drawer->DrawnBounds();
    EXPECT_EQ(bounds.left, 20);
    EXPECT_EQ(bounds.right, 50);
  });
  TBitmap b = rig.Render(root);
  EXPECT_EQ(std::count(rig.notifications.begin(), rig.notifications.end(), kDrawNotifyItemEffect), 1);
  int inside = int(Px(b, 35, 30) & 255), edge = int(Px(b, 20, 30) & 255), outside = int(Px(b, 16, 30) & 255);
  EXPECT_GT(inside, 200);
  EXPECT_GT(edge, 60);
  EXPECT_LT(edge, 200);
  EXPECT_GT(outside, 5);
}

TEST(DrawerEffects, NegativeBlurInsideASharpeningPassIsDrawnPlainly) {
  CapturedLog log;
  TDrawerRig rig;
  ZEM_REQUIRE_DRAWER(rig);
  TFnItem child = Solid(0xFF808080u, -50);
  TFnItem root([&](TDeviceDrawer& d) {
    d.BeginOffscreen();
    d.DrawItem(&child);
    d.EndOffscreen(0, 20);
  });
  rig.Render(root);
  EXPECT_EQ(std::count(rig.notifications.begin(), rig.notifications.end(), kDrawNotifyItemEffect), 0);
  EXPECT_EQ(log.Count("apply unsharp, amount= "), 1);
  EXPECT_EQ(log.Count("apply unsharp, amount= 20"), 1);
}

TEST(DrawerEffects, SharpenAmountScalesWithTheClipWidth) {
  CapturedLog log;
  TDrawerRig rig(80, 60);
  ZEM_REQUIRE_DRAWER(rig);
  TFnItem child = Solid(0xFF808080u, -25);
  TFnItem root([&](TDeviceDrawer& d) { d.DrawItem(&child); });
  rig.Render(root);
  EXPECT_EQ(log.Count("apply unsharp, amount= 20"), 1);  // 25 / 100 × 80
}

TEST(DrawerGeometry, FixedDesignSizeIsCentredAndTheBorderPaintedAroundIt) {
  TDrawerRig rig(80, 60);
  ZEM_REQUIRE_DRAWER(rig);
  rig.drawer->SetDesignSize(40, 30);
  TFnItem root([&](TDeviceDrawer& d) {
    d.Clear(0xFF000000u, true);
    rig.drawer->PaintBorder(0x0000FF);  // blue as RGB
  });
  TBitmap b = rig.Render(root);
  EXPECT_EQ(rig.drawer->FrameClipRect(), (TRectI{20, 15, 60, 45}));
  EXPECT_EQ(Px(b, 5, 5), 0xFF0000FFu);
  EXPECT_EQ(Px(b, 18, 30), 0xFF0000FFu);
  EXPECT_EQ(Px(b, 19, 30), 0xFF000000u);  // the one-pixel margin stays
  EXPECT_EQ(Px(b, 40, 30), 0xFF000000u);
  EXPECT_EQ(Px(b, 40, 58), 0xFF0000FFu);
}

TEST(DrawerGeometry, ViewportMapsTheDesignSizeOntoTheDesignRectangle) {
  TDrawerRig rig(80, 60);
  ZEM_REQUIRE_DRAWER(rig);
  TFnItem root([&](TDeviceDrawer& d) {
    d.Clear(0xFF000000u, true);
    d.SetViewport({40, 0, 80, 30}, {160, 120});  // quarter scale into the top right
    TBoxParams p;
    p.colour1 = 0xFF00FF00u;
    p.width = 80;
    p.height = 60;
    d.DrawBox({80, 60, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, p);
    d.SetViewport({}, {});
  });
  TBitmap b = rig.Render(root);
  EXPECT_EQ(Px(b, 70, 22), 0xFF00FF00u);
  EXPECT_EQ(Px(b, 50, 10), 0xFF000000u);
}

TEST(DrawerImages, TexturesArePreparedPerKeyAndReleased) {
  TDrawerRig rig;
  ZEM_REQUIRE_DRAWER(rig);
  auto pic = Checker(40, 30);
  int before = rig.drawer->Backend().MultiTextureCount();
  TImageParams p;
  rig.drawer->PrepareImage(pic.get(), p);
  EXPECT_TRUE(pic->textureCache);
  EXPECT_EQ(rig.drawer->Backend().MultiTextureCount(), before + 1);
  rig.drawer->PrepareImage(pic.get(), p);  // same key: found
  EXPECT_EQ(rig.drawer->Backend().MultiTextureCount(), before + 1);
  p.mipLevel = 1;
  rig.drawer->PrepareImage(pic.get(), p);  // another key
  EXPECT_EQ(rig.drawer->Backend().MultiTextureCount(), before + 2);
  TBImageDraw key;
  key.mipLevel = 1;
  EXPECT_EQ(TGLBackend::ImageKey(key), "MultiTexID: 1:1:1:False");
  rig.drawer->ReleaseImage(pic.get());
  EXPECT_FALSE(pic->textureCache);
  EXPECT_EQ(rig.drawer->Backend().MultiTextureCount(), before);
}

TEST(DrawerImages, MipLevelDrawsAtTheSameSize) {
  TDrawerRig rig;
  ZEM_REQUIRE_DRAWER(rig);
  auto pic = Checker(32, 32, 0xFFFFFFFFu, 0xFF000000u);
  TFnItem root([&](TDeviceDrawer& d) {
    d.Clear(0xFF0000FFu, true);
    TImageParams p;
    p.mipLevel = 1;
    p.filtering = 0;
    d.DrawImage(pic.get(), {10, 10, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, p);
  });
  TBitmap b = rig.Render(root);
  EXPECT_NE(Px(b, 40, 40), 0xFF0000FFu);  // covered up to 42
  EXPECT_EQ(Px(b, 43, 20), 0xFF0000FFu);
  EXPECT_EQ(Px(b, 13, 13), 0xFFFFFFFFu);  // 8-pixel squares survive halving
  EXPECT_EQ(Px(b, 21, 13), 0xFF000000u);

  // A reduced copy at a scale between the levels (a JPEG decoded at 3/8 for its shown size)
  // still covers the picture's own rectangle.
  class TScaledPicture : public TBitmapPicture {
   public:
    using TBitmapPicture::TBitmapPicture;
    std::shared_ptr<const TBitmap> LevelPixels(int32_t, int32_t, int32_t) const override {
      auto b = std::make_shared<TBitmap>();
      b->Allocate(12, 12, TPixelFormat::Argb32);
      b->Fill(0xFF00FF00u);
      return b;
    }
  };
  TBitmap full;
  full.Allocate(32, 32, TPixelFormat::Argb32);
  auto scaled = MakeRef<TScaledPicture>(std::move(full));
  TFnItem root2([&](TDeviceDrawer& d) {
    d.Clear(0xFF0000FFu, true);
    TImageParams p;
    p.mipLevel = 1;
    p.filtering = 0;
    p.shownWidth = p.shownHeight = 10;
    d.DrawImage(scaled.get(), {10, 10, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, p);
  });
  b = rig.Render(root2);
  EXPECT_EQ(Px(b, 11, 11), 0xFF00FF00u);
  EXPECT_EQ(Px(b, 41, 41), 0xFF00FF00u);
  EXPECT_EQ(Px(b, 43, 30), 0xFF0000FFu);
  EXPECT_EQ(Px(b, 30, 43), 0xFF0000FFu);
  rig.drawer->ReleaseImage(scaled.get());
  rig.drawer->ReleaseImage(pic.get());
}

// Filtering "Default" samples pictures from their mip chain, anisotropically (at most 4) on a
// graphics processor: a one-pixel checkerboard drawn at 0.27 of its size becomes an even grey.
// Bilinear filtering, or a strongly negative MipLodBias (level 0 again), shows the checkers'
// moiré instead.
TEST(DrawerImages, DefaultFilteringMinifiesFromTheMipChain) {
  TDrawerRig rig(80, 80);
  ZEM_REQUIRE_DRAWER(rig);
  auto* renderer = dynamic_cast<T3DRendererGL*>(rig.drawer->Backend().Screen()->Renderer());
  ASSERT_NE(renderer, nullptr);
  const int64_t maxAniso = T3DEngineGL::Instance().GetCaps("maxanisotropy", 0);
  if (!(T3DEngineGL::Instance().GetCaps("raster", 0) & (1 << 17))) GTEST_SKIP() << "no anisotropic filtering here";
  const bool software = T3DEngineGL::Instance().Caps(0).software;
  EXPECT_EQ(renderer->Anisotropy(), software ? 1 : std::min<int64_t>(maxAniso, 4));
  TBitmap b;
  b.Allocate(256, 256, TPixelFormat::Argb32);
  for (int32_t y = 0; y < 256; ++y)
    for (int32_t x = 0; x < 256; ++x) b.SetPixel(x, y, (x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u);
  auto spread = [&](uint8_t filtering, float bias) {
    auto pic = MakeRef<TBitmapPicture>(b);
    TFnItem root([&](TDeviceDrawer& d) {
      TImageParams p;
      p.filtering = filtering;
      p.mipBias = bias;
      d.DrawImage(pic.get(), {4, 4, 0}, {0, 0}, {0.27f, 0, 0}, {0, 0.27f, 0}, p);
    });
    TBitmap out = rig.Render(root);
    rig.drawer->ReleaseImage(pic.get());
    double sum = 0, sq = 0;
    int n = 0;
    for (int32_t y = 8; y < 64; ++y)
      for (int32_t x = 8; x < 64; ++x, ++n) {
        const double v = double(Px(out, x, y) & 0xFF);
        sum += v;
        sq += v * v;
      }
    return std::sqrt(std::max(0.0, sq / n - (sum / n) * (sum / n)));
  };
  EXPECT_LT(spread(2, 0), 12.0);
  EXPECT_GT(spread(1, 0), 30.0);
  EXPECT_GT(spread(2, -4), 30.0);
}

// Uploaded picture tiles keep no pixels of their own; a lost device still brings the picture
// back, made again from the picture by the drawer itself.
TEST(DrawerImages, PicturesComeBackAfterADeviceLossWithoutKeptPixels) {
  TDrawerRig rig(64, 48);
  ZEM_REQUIRE_DRAWER(rig);
  auto pic = Checker(40, 30, 0xFFFFFFFFu, 0xFF2060C0u);
  TImageParams p;
  p.filtering = 1;
  TFnItem root([&](TDeviceDrawer& d) {
    d.Clear(0xFF000000u, false);
    d.DrawImage(pic.get(), {4, 4, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, p);
  });
  rig.drawer->PrepareImage(pic.get(), p);
  const TBitmap before = rig.Render(root);
  EXPECT_EQ(Px(before, 14, 6), 0xFF2060C0u);
  rig.drawer->Backend().Screen()->SimulateDeviceLoss();
  rig.drawer->SetNoPresent(true);
  rig.drawer->DrawItem(&root);  // meets the loss
  TBitmap after;
  for (int i = 0; i < 3 && (after.Empty() || Px(after, 14, 6) != 0xFF2060C0u); ++i) after = rig.Render(root);
  EXPECT_EQ(Px(after, 14, 6), 0xFF2060C0u);
  EXPECT_EQ(Px(after, 6, 6), 0xFFFFFFFFu);
  rig.drawer->ReleaseImage(pic.get());
}

// Preparing a picture decodes and fills its tiles without the resource lock: frames go on
// while a slow picture is prepared on another thread.
TEST(DrawerImages, FramesAreDrawnWhileAPictureIsPrepared) {
  TDrawerRig rig(32, 32);
  ZEM_REQUIRE_DRAWER(rig);
  class TSlowPicture : public TBitmapPicture {
   public:
    using TBitmapPicture::TBitmapPicture;
    std::shared_ptr<const TBitmap> LevelPixels(int32_t level, int32_t w, int32_t h) const override {
      entered = true;
      while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return TBitmapPicture::LevelPixels(level, w, h);
    }
    mutable std::atomic<bool> entered{false}, release{false};
  };
  TBitmap b;
  b.Allocate(16, 16, TPixelFormat::Argb32);
  b.Fill(0xFF00FF00u);
  auto slow = MakeRef<TSlowPicture>(std::move(b));
  std::thread loader([&] { rig.drawer->PrepareImage(slow.get(), TImageParams{}); });
  while (!slow->entered) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  auto other = Checker(16, 16);
  TFnItem root([&](TDeviceDrawer& d) { d.DrawImage(other.get(), {0, 0, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, TImageParams{}); });
  const TBitmap frame = rig.Render(root);  // would wait for the loader if it held the lock
  EXPECT_EQ(Px(frame, 1, 1), 0xFFFFFFFFu);
  slow->release = true;
  loader.join();
  EXPECT_TRUE(slow->textureCache);
  rig.drawer->ReleaseImage(slow.get());
  rig.drawer->ReleaseImage(other.get());
}

TEST(DrawerTransitions, DescriptorStatesPickTheSlide) {
  TDrawerRig rig;
  ZEM_REQUIRE_DRAWER(rig);
  TFnItem older = Solid(0xFFFF0000u), newer = Solid(0xFF00FF00u);
  TZemFilter f;
  f.effectClass = 3;
  f.duration = 1000;
  auto draw = [&](TZemFilter* filter) {
    TFnItem root([&](TDeviceDrawer& d) {
      d.Clear(0xFF000000u, true);
      d.DrawTransition(&older, &newer, filter);
    });
    return Px(rig.Render(root), 30, 30);
  };
  EXPECT_EQ(draw(nullptr), 0xFFFF0000u);
  f.progressTime = 1000;  // reached its duration: the newer only
  EXPECT_EQ(draw(&f), 0xFF00FF00u);
  f.progressTime = -1;
  EXPECT_EQ(draw(&f), 0xFF00FF00u);
  f.progressTime = 500;  // no filter can be made: the older stays
  EXPECT_EQ(draw(&f), 0xFFFF0000u);
}

}  // namespace
}  // namespace zem::test

namespace zem::test {
namespace {

TEST(DrawerImages, PicturesOutlivingTheDrawerLoseTheirTexturesSafely) {
  auto pic = Checker(40, 30);
  {
    TDrawerRig rig;
    ZEM_REQUIRE_DRAWER(rig);
    TFnItem root([&](TDeviceDrawer& d) {
      d.DrawImage(pic.get(), {0, 0, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, TImageParams{});
    });
    rig.Render(root);
    ASSERT_TRUE(pic->textureCache);
  }
  // The drawer is gone: freeing the picture's (now empty) store must not touch it.
  pic->textureCache.reset();
  // A second drawer replaces a store made by another one.
  TDrawerRig a, b;
  ZEM_REQUIRE_DRAWER(a);
  a.drawer->PrepareImage(pic.get(), TImageParams{});
  int before = b.drawer->Backend().MultiTextureCount();
  b.drawer->PrepareImage(pic.get(), TImageParams{});
  EXPECT_EQ(b.drawer->Backend().MultiTextureCount(), before + 1);
  b.drawer->ReleaseImage(pic.get());
}

}  // namespace
}  // namespace zem::test

namespace zem::test {
namespace {

// Reads a capture texture back by drawing it over the frame.
TBitmap ShowCapture(TDrawerRig& rig, TDrawItem& slide, bool pair) {
  TFnItem root([&](TDeviceDrawer& d) {
    d.Clear(0xFF000000u, true);
    TCustomD3DEffecter* e = rig.drawer->Effecter();
    e->SetCaptureMode(pair);
    TRenderTargetTexture* t = nullptr;
    if (pair) {
      e->CapturePair(&slide);
      t = e->Capture(0);
    } else {
      t = e->CaptureForTriangles(true, &slide);
    }
    ASSERT_NE(t, nullptr);
    TGLBackend& gl = rig.drawer->Backend();
    gl.Confine({0, 0, 80, 60});  // show all of it, also outside the frame's clip rectangle
    gl.SetBlendMode(3);
    TBRectF r{0, 0, 80, 60};
    gl.DrawTarget(t, r, r);
    gl.SetBlendMode(0);
    e->ReleaseCaptures();
  });
  return rig.Render(root);
}

TEST(TransitionCaptures, EdgesAreExtendedBeyondTheClipArea) {
  TDrawerRig rig(80, 60);
  ZEM_REQUIRE_DRAWER(rig);
  rig.drawer->SetClipRect({0, 0, 50, 40});
  TFnItem slide([](TDeviceDrawer& d) {
    TBoxParams p;
    p.fillStyle = 5;  // red at the top, blue at the bottom
    p.colour1 = 0xFFFF0000u;
    p.colour2 = 0xFF0000FFu;
    p.width = 80;
    p.height = 60;
    d.DrawBox({0, 0, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, p);
  });
  // One column and one row for triangle filters; the rest stays the grey clear colour.
  TBitmap one = ShowCapture(rig, slide, false);
  EXPECT_EQ(Px(one, 50, 5), Px(one, 49, 5));
  EXPECT_EQ(Px(one, 20, 40), Px(one, 20, 39));
  EXPECT_EQ(Px(one, 50, 40), Px(one, 49, 39));
  EXPECT_EQ(Px(one, 52, 5) & 0xFFFFFFu, 0x808080u);
  // The pair capture repeats the last column up to 31 pixels out (room: 31), the last row
  // 15 (room 21: 1 + 2 + 4 + 8), and clears the rest to transparent black.
  TBitmap pair = ShowCapture(rig, slide, true);
  for (int x : {50, 51, 60, 79}) EXPECT_EQ(Px(pair, x, 20), Px(pair, 49, 20)) << x;
  for (int y : {40, 45, 54}) EXPECT_EQ(Px(pair, 10, y), Px(pair, 10, 39)) << y;
  EXPECT_EQ(Px(pair, 10, 56), 0xFF000000u);
  EXPECT_EQ(Px(pair, 70, 50), Px(pair, 49, 39));  // the widened rows include the new columns
}

}  // namespace
}  // namespace zem::test

namespace zem::test {
namespace {

TEST(DrawerGeometry, PrimitivesStayInsideTheClipRectangle) {
  TDrawerRig rig(80, 60);
  ZEM_REQUIRE_DRAWER(rig);
  rig.drawer->SetClipRect({10, 10, 50, 40});
  TFnItem child = Solid(0xFFFFFFFFu, -20);  // sharpened: through an offscreen pass and back
  TFnItem root([&](TDeviceDrawer& d) {
    d.Clear(0xFF000000u, true);
    TBoxParams p;
    p.colour1 = 0xFFFF0000u;
    p.width = 80;
    p.height = 60;
    d.DrawBox({0, 0, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, p);
    d.DrawItem(&child);
    d.DrawBox({0, 0, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, p);
  });
  TBitmap b = rig.Render(root);
  EXPECT_EQ(Px(b, 20, 20), 0xFFFF0000u);
  EXPECT_EQ(Px(b, 5, 5), 0xFF000000u);
  EXPECT_EQ(Px(b, 55, 20), 0xFF000000u);
  EXPECT_EQ(Px(b, 20, 45), 0xFF000000u);
}

}  // namespace
}  // namespace zem::test
