// The window-system helpers the main window uses to pass the foreground between the player and
// its start-up child. They need an X server: under the offscreen driver of the unit run these
// cases skip, and the window suite runs them again under Xvfb.
#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <vector>

#include "platform/native_window.h"
#include "render/gl_context.h"

namespace zem {
namespace {

class WindowSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (!EnsureSdlVideo(true)) GTEST_SKIP() << "no SDL video";
    if (!NativeWindowsAvailable()) GTEST_SKIP() << "not on X11 (" << SDL_GetCurrentVideoDriver() << ")";
  }
  void TearDown() override {
    for (SDL_Window* w : windows_) SDL_DestroyWindow(w);
  }
  SDL_Window* Make(const char* title, int x) {
    SDL_Window* w = SDL_CreateWindow(title, x, 10, 120, 90, SDL_WINDOW_BORDERLESS);
    if (w) windows_.push_back(w);
    return w;
  }
  // A window manager carries requests out after they return: wait for it (up to 2 s).
  static bool Eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 200 && !done(); ++i) {
      SDL_PumpEvents();
      SDL_Delay(10);
    }
    return done();
  }
  std::vector<SDL_Window*> windows_;
};

TEST_F(WindowSystem, FindsTheProcessWindowInFrontAndMovesTheForeground) {
  SDL_Window* first = Make("zem-first", 10);
  SDL_Window* second = Make("zem-second", 200);
  ASSERT_TRUE(first && second) << SDL_GetError();
  const uint64_t a = NativeWindowNumber(first), b = NativeWindowNumber(second);
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);

  ASSERT_TRUE(BringWindowToForeground(a));
  EXPECT_TRUE(Eventually([&] { return IsForegroundNativeWindow(a); }));
  EXPECT_FALSE(IsForegroundNativeWindow(b));
  EXPECT_EQ(ForegroundNativeWindow(), a);
  EXPECT_TRUE(Eventually([&] { return FirstVisibleWindowOfProcess(getpid()) == a; }))
      << "the raised window is the first one";

  ASSERT_TRUE(BringWindowToForeground(b));
  EXPECT_TRUE(Eventually([&] { return IsForegroundNativeWindow(b); }));
  EXPECT_FALSE(IsForegroundNativeWindow(a));
  EXPECT_EQ(ForegroundNativeWindow(), b);
  EXPECT_TRUE(Eventually([&] { return FirstVisibleWindowOfProcess(getpid()) == b; }));

  // A hidden window is no candidate; a process without windows has none.
  SDL_HideWindow(second);
  EXPECT_TRUE(Eventually([&] { return FirstVisibleWindowOfProcess(getpid()) == a; }));
  SDL_HideWindow(first);
  EXPECT_TRUE(Eventually([&] { return FirstVisibleWindowOfProcess(getpid()) == 0; }));
  EXPECT_EQ(FirstVisibleWindowOfProcess(getppid()), 0u);
  EXPECT_EQ(FirstVisibleWindowOfProcess(0), 0u);
}

// The main window's title bar while the start-up child works: the window manager may not
// activate it; afterwards it may again. Raising puts a window above the other one.
TEST_F(WindowSystem, ActivationHintAndRaising) {
  SDL_Window* main_window = Make("zem-main", 10);
  SDL_Window* other = Make("zem-other", 200);
  ASSERT_TRUE(main_window && other) << SDL_GetError();
  const uint64_t a = NativeWindowNumber(main_window), b = NativeWindowNumber(other);
  EXPECT_TRUE(NativeWindowActivatable(a));
  ASSERT_TRUE(SetNativeWindowActivatable(a, false));
  EXPECT_FALSE(NativeWindowActivatable(a));
  ASSERT_TRUE(SetNativeWindowActivatable(a, true));
  EXPECT_TRUE(NativeWindowActivatable(a));
  ASSERT_TRUE(BringWindowToForeground(a));
  EXPECT_TRUE(Eventually([&] { return FirstVisibleWindowOfProcess(getpid()) == a; }));
  ASSERT_TRUE(RaiseNativeWindow(b));
  EXPECT_TRUE(Eventually([&] { return FirstVisibleWindowOfProcess(getpid()) == b; })) << "b is on top now";
  EXPECT_FALSE(RaiseNativeWindow(0));
}

TEST_F(WindowSystem, WindowsThatAreGoneAreAnswersNotCrashes) {
  SDL_Window* w = Make("zem-gone", 10);
  ASSERT_TRUE(w) << SDL_GetError();
  const uint64_t id = NativeWindowNumber(w);
  ASSERT_TRUE(BringWindowToForeground(id));
  SDL_DestroyWindow(w);
  windows_.clear();
  // The X server reports an error for a destroyed window; it is a result, not the end.
  EXPECT_FALSE(BringWindowToForeground(id));
  EXPECT_FALSE(IsForegroundNativeWindow(id));
  EXPECT_FALSE(BringWindowToForeground(0));
  EXPECT_FALSE(IsForegroundNativeWindow(0));
}

}  // namespace
}  // namespace zem
