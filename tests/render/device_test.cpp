// The device layer's policies: present pacing, capability levels, pools, renderer requests
// from other threads and surviving a lost device.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "foundation/assert.h"
#include "render/tiling.h"
#include "render_rig.h"

namespace zem::test {
namespace {

TEST(DevicePolicies, PresentSleepKeepsOneFramePerRefresh) {
  EXPECT_EQ(PresentSleepMs(60, 5), 8u);   // P = 16: clamp(11) − 3
  EXPECT_EQ(PresentSleepMs(60, 20), 1u);  // late frame: at least 1 ms
  EXPECT_EQ(PresentSleepMs(60, 0), 13u);
  EXPECT_EQ(PresentSleepMs(0, 5), 8u);    // unknown refresh rate: 60 Hz
  EXPECT_EQ(PresentSleepMs(100, 2), 5u);
  EXPECT_EQ(PresentSleepMs(240, 0), 1u);  // period 4: never below 1 ms
}

TEST(DevicePolicies, ShaderLevelFromVendorAndVersion) {
  EXPECT_EQ(ShaderLevelFor(32902, 0x0200), 1);  // Intel, model 2.0: video programs only
  EXPECT_EQ(ShaderLevelFor(32902, 0x0300), 2);
  EXPECT_EQ(ShaderLevelFor(0x10DE, 0x0200), 2);
  EXPECT_EQ(ShaderLevelFor(0x10DE, 0x0104), 0);
  EXPECT_EQ(ShaderLevelFor(32902, 0x0100), 0);
}

TEST(DevicePolicies, RenderTargetPoolReusesTargetsOfItsSize) {
  TRig rig(32, 32);
  if (!rig.Ok()) GTEST_SKIP() << "no OpenGL context";
  TRenderTargetManager pool(rig.screen.get(), 300, 100, true);
  EXPECT_EQ(pool.Width(), 300);
  EXPECT_EQ(pool.Height(), 100);
  auto a = pool.Take();
  EXPECT_EQ(a->Width(), 300);
  EXPECT_EQ(a->AllocWidth(), 300);  // targets are made at their own size
  TRenderTargetTexture* raw = a.get();
  pool.Return(std::move(a));
  EXPECT_EQ(pool.FreeCount(), 1u);
  auto b = pool.Take();
  EXPECT_EQ(b.get(), raw);
  // A target of another size or alpha does not belong to the pool.
  auto other = std::make_unique<TRenderTargetTexture>(rig.screen.get(), 300, 100, false);
  EXPECT_THROW(pool.Return(std::move(other)), EAssertionFailed);
  pool.Return(std::move(b));
  pool.SetSize(300, 100);
  EXPECT_EQ(pool.FreeCount(), 1u);  // same size: kept
  pool.SetSize(600, 100);
  EXPECT_EQ(pool.FreeCount(), 0u);
  EXPECT_EQ(pool.Width(), 600);
}

TEST(DevicePolicies, CapabilitiesAndForcedLevels) {
  TRig rig(32, 32);
  if (!rig.Ok()) GTEST_SKIP() << "no OpenGL context";
  auto& engine = T3DEngineGL::Instance();
  EXPECT_GE(engine.GetCaps("PixelShaderVersion", 0), 0x0300);
  EXPECT_GE(engine.GetCaps("maxtexwidth", 0), 2048);
  EXPECT_EQ(engine.GetCaps("MAXTEXHEIGHT", 0), engine.GetCaps("maxtexwidth", 0));
  EXPECT_NE(engine.GetCaps("raster", 0) & (1 << 13), 0);
  EXPECT_EQ(rig.screen->ShaderLevel(), 2);
  engine.ForceShaderLevel(1);
  EXPECT_EQ(rig.screen->ShaderLevel(), 1);
  engine.ForceShaderLevel(0);
  EXPECT_EQ(rig.screen->ShaderLevel(), 0);
  engine.ForceShaderLevel(-1);
  EXPECT_EQ(rig.screen->ShaderLevel(), 2);
}

TEST(DeviceLifecycle, AssigningTheSameWindowAgainDoesNothing) {
  TLogCapture log;
  TRig rig(32, 32);
  if (!rig.Ok()) GTEST_SKIP() << "no OpenGL context";
  T3DRenderer* r = rig.screen->Renderer();
  rig.screen->AssignDevice(rig.device.get());
  EXPECT_TRUE(log.Has("T3DScreen.AssignDevice, bounds= 0,0,32,32"));
  EXPECT_TRUE(log.Has("T3DScreen.AssignDevice, Exit By Same FullScreen Or Same Windowed"));
  EXPECT_EQ(rig.screen->Renderer(), r);
  T3DScreen lonely;
  lonely.AssignDevice(nullptr);
  EXPECT_FALSE(lonely.BeginScene());
}

TEST(DeviceLifecycle, RendererRequestedOffTheUiThreadWaitsForIt) {
  TRig rig(32, 32);
  if (!rig.Ok()) GTEST_SKIP() << "no OpenGL context";
  auto& engine = T3DEngineGL::Instance();
  TDisplayMode mode;
  ASSERT_TRUE(engine.GetDisplayMode(0, mode));
  auto other = THeadlessDevice::Create(16, 16);
  ASSERT_TRUE(other);
  std::unique_ptr<T3DRenderer> r;
  std::thread t([&] { r = engine.CreateRenderer(other.get(), mode, 0); });
  t.join();
  ASSERT_TRUE(r);
  EXPECT_EQ(r->State(), T3DRenderer::kRequested);
  EXPECT_GE(engine.RunPendingRequests(), 1);
  EXPECT_EQ(r->State(), T3DRenderer::kUsable);
  // A renderer freed before its request ran leaves the request harmless.
  std::unique_ptr<T3DRenderer> gone;
  std::thread t2([&] { gone = engine.CreateRenderer(other.get(), mode, 0); });
  t2.join();
  gone.reset();
  engine.RunPendingRequests();
  r.reset();
}

// The user-interface thread reaches the device layer and its request queue while the drawing
// thread holds the device mutex through a long frame.
TEST(DeviceLifecycle, TheUiThreadNeverWaitsForAFrame) {
  std::promise<void> held, release;
  std::shared_future<void> release_done = release.get_future().share();
  std::thread frame([&] {
    std::lock_guard<std::recursive_mutex> g(DeviceMutex());
    held.set_value();
    release_done.wait();
  });
  held.get_future().wait();
  auto ui = std::async(std::launch::async, [] {
    T3DEngineGL& engine = T3DEngineGL::Instance();
    engine.PostRequest([] {});
    return engine.RunPendingRequests();
  });
  const bool answered = ui.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
  release.set_value();
  frame.join();
  EXPECT_TRUE(answered) << "the instance or its queue waited for the device mutex";
  EXPECT_GE(ui.get(), 1);
}

TEST(DeviceLifecycle, LostDeviceComesBackWithTexturesAndPrograms) {
  TLogCapture log;
  TRig rig(48, 32);
  if (!rig.Ok()) GTEST_SKIP() << "no OpenGL context";
  T3DScreen* s = rig.screen.get();
  int released = 0;
  s->SetReleaseHandler([&] { ++released; });
  TTextureManager6 manager(s);
  TBitmap pic;
  pic.Allocate(40, 24, TPixelFormat::Rgb24);
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 40; ++x) pic.SetPixel(x, y, 0xFF000000u | uint32_t(x * 6) << 16 | uint32_t(y * 10) << 8 | 77);
  TMultiTexture6 mt(&manager, pic);
  auto tint = s->CreateShader("color_correction");
  auto frame = [&](TBitmap& out) {
    if (!s->BeginScene()) return false;
    s->Clear(0xFF000000, false);
    s->SetShader(tint.get());
    s->SetShaderConstant(0, 0.5f);
    mt.Draw(s, {}, {4, 4, 0}, {1, 0, 0}, {0, 1, 0}, 0xFF3080C0, false);
    s->SetShader(nullptr);
    bool ok = s->CopyToBitmap(out);
    s->EndScene();
    return ok;
  };
  TBitmap before, after;
  ASSERT_TRUE(frame(before));
  ASSERT_NE(tint->Device(), nullptr);
  ASSERT_TRUE(mt.Tiles()[0].texture->HasDeviceTexture());

  s->SimulateDeviceLoss();
  EXPECT_FALSE(s->BeginScene());  // the loss shows at the next device call
  EXPECT_TRUE(log.Has("T3DRenderer9: DEVICE LOST!"));
  EXPECT_TRUE(log.Has("Dx Error = 3"));
  EXPECT_EQ(released, 1);
  EXPECT_EQ(tint->Device(), nullptr);
  EXPECT_FALSE(mt.Tiles()[0].texture->HasDeviceTexture());

  // Nothing but the next frame: device, programs and textures are made again.
  ASSERT_TRUE(frame(after));
  EXPECT_NE(tint->Device(), nullptr);
  EXPECT_TRUE(mt.Tiles()[0].texture->HasDeviceTexture());
  ASSERT_EQ(before.DataSize(), after.DataSize());
  EXPECT_EQ(0, std::memcmp(before.Data(), after.Data(), before.DataSize()));
  // The tinted picture really is in the frame.
  EXPECT_NE(after.GetPixel(10, 10), 0xFF000000u);
}

TEST(DeviceLifecycle, DyingWindowReleasesTheScreensDevice) {
  auto dev = THeadlessDevice::Create(32, 32);
  if (!dev) GTEST_SKIP() << "no video";
  T3DScreen s;
  s.AssignDevice(dev.get());
  if (!s.IsReady()) GTEST_SKIP() << "no OpenGL context";
  PinDriverModules();
  TTextureTile tile(&s, 64, 64);
  ASSERT_TRUE(s.BeginScene());
  EXPECT_NE(tile.DeviceTexture(), nullptr);
  s.EndScene();
  dev.reset();
  EXPECT_FALSE(s.IsReady());
  EXPECT_EQ(s.Device(), nullptr);
  EXPECT_FALSE(tile.HasDeviceTexture());
  EXPECT_FALSE(s.BeginScene());
}

}  // namespace
}  // namespace zem::test

namespace zem::test {
namespace {

TEST(DeviceLifecycle, LoaderThreadPreparesAndTheNextSceneUploads) {
  TRig rig(32, 32);
  if (!rig.Ok()) GTEST_SKIP() << "no OpenGL context";
  TTextureManager6 manager(rig.screen.get());
  TBitmap pic;
  pic.Allocate(100, 80, TPixelFormat::Argb32);
  pic.Fill(0xFF336699);
  std::unique_ptr<TMultiTexture6> mt;
  // Preparation on another thread touches staging memory only.
  std::thread loader([&] { mt = std::make_unique<TMultiTexture6>(&manager, pic); });
  loader.join();
  EXPECT_FALSE(mt->Tiles()[0].texture->HasDeviceTexture());
  ASSERT_TRUE(rig.screen->BeginScene());
  EXPECT_TRUE(mt->Tiles()[0].texture->HasDeviceTexture());  // queued upload ran
  rig.screen->EndScene();
  mt.reset();
}

TEST(DeviceLifecycle, KeptVertexListsSurviveALoss) {
  TRig rig(16, 16);
  if (!rig.Ok()) GTEST_SKIP() << "no OpenGL context";
  T3DScreen* s = rig.screen.get();
  std::vector<TVertex> v(6);
  float pts[6][2] = {{0, 0}, {16, 0}, {0, 16}, {16, 0}, {0, 16}, {16, 16}};
  for (int i = 0; i < 6; ++i) {
    v[i].x = pts[i][0];
    v[i].y = pts[i][1];
    v[i].color = 0xFF20C040;
  }
  TVertexList list(s, v);
  for (int round = 0; round < 2; ++round) {
    if (round == 1) {
      s->SimulateDeviceLoss();
      EXPECT_FALSE(s->BeginScene());
      EXPECT_FALSE(list.HasDevice());
    }
    ASSERT_TRUE(s->BeginScene());
    s->Clear(0xFF000000, false);
    s->DrawVertexList(&list, nullptr, 0);
    TBitmap shot;
    ASSERT_TRUE(s->CopyToBitmap(shot));
    s->EndScene();
    EXPECT_EQ(shot.GetPixel(8, 8), 0xFF20C040u) << "round " << round;
    EXPECT_TRUE(list.HasDevice());
  }
}

}  // namespace
}  // namespace zem::test

namespace zem::test {
namespace {

// A device lost on the drawing thread: its objects go there, but its context is freed on the
// user-interface thread; until then the engine's check calls the device not reset.
TEST(DeviceLifecycle, ALossOffTheUiThreadIsResetOnTheUiThread) {
  TRig rig(32, 32);
  if (!rig.Ok()) GTEST_SKIP() << "no OpenGL context";
  auto& engine = T3DEngineGL::Instance();
  engine.SetUiThread(std::this_thread::get_id());
  T3DScreen* s = rig.screen.get();
  const int live = TGLContext::LiveCount();
  int live_after_loss = -1;
  bool check_there = true;
  std::thread drawing([&] {
    ASSERT_TRUE(s->BeginScene());
    s->EndScene();
    s->SimulateDeviceLoss();
    EXPECT_FALSE(s->BeginScene());
    live_after_loss = TGLContext::LiveCount();
    check_there = engine.InitCheck();
    SDL_TLSCleanup();  // SDL's per-thread data of this thread (made current a context)
  });
  drawing.join();
  EXPECT_EQ(live_after_loss, live) << "the context is not freed on the drawing thread";
  EXPECT_FALSE(check_there) << "not reset yet";
  EXPECT_TRUE(engine.InitCheck()) << "the user-interface thread resets it";
  EXPECT_EQ(TGLContext::LiveCount(), live - 1);
  engine.RunPendingRequests();  // the posted release finds nothing left
  ASSERT_TRUE(s->BeginScene());
  s->EndScene();
  EXPECT_EQ(TGLContext::LiveCount(), live);
}

// Shader level 0 disables every pixel program: draws happen as without one.
TEST(DevicePolicies, ShaderLevelZeroDrawsWithoutPrograms) {
  TRig rig(32, 32);
  if (!rig.Ok()) GTEST_SKIP() << "no OpenGL context";
  std::vector<uint8_t> grey(32 * 32 * 4, 100);
  auto texture = MakeTexture(rig.screen.get(), 32, 32, kFmtArgb32, grey);
  auto tint = rig.screen->CreateShader("color_correction");
  const auto draw = [&](TShader* program) {
    TBitmap out;
    EXPECT_TRUE(DrawProgram(rig, program, {texture.get()}, 0xFFFF0000, 32, 32, out,
                            [&](T3DScreen* s) { s->SetShaderConstant(0, 1.0f); }));
    return out.GetPixel(16, 16);
  };
  const uint32_t plain = draw(nullptr);
  EXPECT_NE(plain, 0u);
  EXPECT_NE(draw(tint.get()), plain);
  T3DEngineGL::Instance().ForceShaderLevel(0);
  EXPECT_EQ(draw(tint.get()), plain);
  T3DEngineGL::Instance().ForceShaderLevel(-1);
}

// A window device whose activity the test switches.
class TSwitchedDevice : public TDrawDevice {
 public:
  explicit TSwitchedDevice(SDL_Window* w) : window_(w) {}
  ~TSwitchedDevice() override { NotifyDying(); }
  SDL_Window* Window() const override { return window_; }
  bool IsActive() const override { return active; }
  bool Paced() const override { return false; }
  bool active = true;

 private:
  SDL_Window* window_;
};

// In exclusive full screen, the change to inactive restacks the window (on the user-interface
// thread); the change back to active starts over with a fresh device.
TEST(DeviceLifecycle, AnInactiveExclusiveWindowIsRestacked) {
  auto probe = THeadlessDevice::Create(16, 16);  // brings up video and pins the driver
  if (!probe) GTEST_SKIP() << "no video";
  SDL_Window* w = SDL_CreateWindow("zem-exclusive", 0, 0, 64, 48, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  ASSERT_TRUE(w) << SDL_GetError();
  auto& engine = T3DEngineGL::Instance();
  engine.SetUiThread(std::this_thread::get_id());
  std::vector<uint32_t> restacked;
  engine.SetRestackHook([&](uint32_t id) { restacked.push_back(id); });
  engine.SetExclusiveAllowed(true);
  struct TCleanUp {
    SDL_Window* w;
    ~TCleanUp() {
      T3DEngineGL::Instance().SetExclusiveAllowed(false);
      T3DEngineGL::Instance().SetRestackHook({});
      SDL_DestroyWindow(w);
    }
  } clean_up{w};
  {
    TSwitchedDevice dev(w);
    dev.SetBounds({0, 0, 64, 48}, {0, 0}, true);
    T3DScreen s;
    s.AssignDevice(&dev);
    if (!s.IsReady()) GTEST_SKIP() << "no OpenGL context";
    EXPECT_TRUE(s.Renderer()->Exclusive());
    std::thread drawing([&] {
      ASSERT_TRUE(s.BeginScene());
      s.EndScene();
      dev.active = false;
      ASSERT_TRUE(s.BeginScene());
      s.EndScene();
      ASSERT_TRUE(s.BeginScene());  // still inactive: nothing more
      s.EndScene();
      SDL_TLSCleanup();
    });
    drawing.join();
    EXPECT_TRUE(restacked.empty()) << "window work waits for the user-interface thread";
    engine.RunPendingRequests();
    EXPECT_EQ(restacked, (std::vector<uint32_t>{SDL_GetWindowID(w)}));
    dev.active = true;
    EXPECT_FALSE(s.BeginScene()) << "back to active: the device is released";
    ASSERT_TRUE(s.BeginScene());
    s.EndScene();
  }
}

}  // namespace
}  // namespace zem::test
