// The same drawing code rendering into a real SDL window (run under xvfb-run).
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include "render/draw_device.h"
#include "render/gl_context.h"
#include "render/screen.h"

namespace zem::test {
void PinDriverModules();
namespace {

TEST(WindowDevice, DrawsIntoAnSdlWindow) {
  ASSERT_TRUE(EnsureSdlVideo(false)) << SDL_GetError();
  ASSERT_STRNE(SDL_GetCurrentVideoDriver(), "offscreen");
  SDL_Window* w = SDL_CreateWindow("zem window test", 20, 20, 160, 120, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
  ASSERT_NE(w, nullptr) << SDL_GetError();
  {
    TSdlWindowDevice device(w);
    int refreshes = 0;
    device.SetRefreshCallback([&] { ++refreshes; });
    EXPECT_EQ(device.Bounds().Width(), 160);
    EXPECT_EQ(device.Bounds().Height(), 120);
    T3DScreen screen;
    screen.AssignDevice(&device);
    ASSERT_TRUE(screen.IsReady());
    PinDriverModules();
    for (int frame = 0; frame < 3; ++frame) {
      SDL_Event e;
      while (SDL_PollEvent(&e)) device.HandleEvent(e);
      ASSERT_TRUE(screen.BeginScene());
      screen.Clear(0xFF0000FF, false);
      TVec3 c[4] = {{0, 0, 0}, {80, 0, 0}, {0, 60, 0}, {80, 60, 0}};
      uint32_t red[4] = {0xFFFF0000, 0xFFFF0000, 0xFFFF0000, 0xFFFF0000};
      screen.DrawColoredQuad(c, red);
      if (frame == 2) {
        TBitmap shot;
        ASSERT_TRUE(screen.CopyToBitmap(shot));
        EXPECT_EQ(shot.Width(), 160);
        EXPECT_EQ(shot.GetPixel(10, 10), 0xFFFF0000u);
        EXPECT_EQ(shot.GetPixel(120, 100), 0xFF0000FFu);
      }
      EXPECT_TRUE(screen.Present());
    }
    // A resized window reports new bounds and asks for a repaint.
    SDL_SetWindowSize(w, 200, 150);
    SDL_Event e;
    for (int i = 0; i < 50; ++i) {
      while (SDL_PollEvent(&e)) device.HandleEvent(e);
      if (device.Bounds().Width() == 200) break;
      SDL_Delay(5);
    }
    device.ApplyWindowBounds();
    EXPECT_EQ(device.Bounds().Width(), 200);
    EXPECT_GE(refreshes, 1);
    ASSERT_TRUE(screen.BeginScene());
    EXPECT_EQ(screen.TargetRect().Width(), 200);
    screen.EndScene();
  }
  SDL_DestroyWindow(w);
}

}  // namespace
}  // namespace zem::test
