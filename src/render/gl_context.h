// OpenGL context creation, apart from the device layer that draws: a 3.3 core context for an
// SDL window (shown on screen, or a hidden window of SDL's offscreen driver, which gives an
// EGL pbuffer with no display at all).
//
// Threads: a context is current on at most one thread. Create makes it current on the calling
// thread and leaves it current; MakeCurrent / DoneCurrent move it between threads. The caller
// (TDevStore) keeps the record of which thread holds it, under DeviceMutex().
#pragma once
#include <memory>
#include <string>

struct SDL_Window;

namespace zem {

class TGLContext {
 public:
  // Makes a context for the window; none (with `error` set) on failure.
  static std::unique_ptr<TGLContext> Create(SDL_Window* window, std::string* error = nullptr);
  ~TGLContext();
  TGLContext(const TGLContext&) = delete;
  TGLContext& operator=(const TGLContext&) = delete;

  bool MakeCurrent();
  void DoneCurrent();
  void SwapBuffers();
  // Vertical-retrace synchronisation (1) or none (0); best effort.
  void SetSwapInterval(int interval);
  void DrawableSize(int& w, int& h) const;
  SDL_Window* Window() const { return window_; }
  // Contexts made and not yet freed, process-wide (diagnostics and tests).
  static int LiveCount();

 private:
  TGLContext(SDL_Window* w, void* ctx) : window_(w), ctx_(ctx) {}
  SDL_Window* window_;
  void* ctx_;
};

// Brings up SDL's video subsystem once per process: with the offscreen driver when `headless`
// and no driver is running yet. True when video is available.
bool EnsureSdlVideo(bool headless);

}  // namespace zem
