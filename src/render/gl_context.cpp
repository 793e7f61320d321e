#include "render/gl_context.h"

#include <SDL2/SDL.h>

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace zem {

namespace {
std::atomic<int> g_live{0};
}  // namespace

bool EnsureSdlVideo(bool headless) {
  static std::mutex lock;
  std::lock_guard<std::mutex> g(lock);
  if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
  // A headless run without an explicit driver choice uses the offscreen driver (EGL, no display).
  if (headless && !std::getenv("SDL_VIDEODRIVER")) SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
  return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
}

std::unique_ptr<TGLContext> TGLContext::Create(SDL_Window* window, std::string* error) {
  if (!window) {
    if (error) *error = "no window";
    return nullptr;
  }
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
  SDL_GLContext ctx = SDL_GL_CreateContext(window);
  if (!ctx) {
    if (error) *error = SDL_GetError();
    return nullptr;
  }
  g_live.fetch_add(1);
  return std::unique_ptr<TGLContext>(new TGLContext(window, ctx));
}

TGLContext::~TGLContext() {
  if (SDL_GL_GetCurrentContext() == ctx_) SDL_GL_MakeCurrent(nullptr, nullptr);
  SDL_GL_DeleteContext(static_cast<SDL_GLContext>(ctx_));
  g_live.fetch_sub(1);
}

int TGLContext::LiveCount() { return g_live.load(); }

bool TGLContext::MakeCurrent() { return SDL_GL_MakeCurrent(window_, ctx_) == 0; }

void TGLContext::DoneCurrent() {
  if (SDL_GL_GetCurrentContext() == ctx_) SDL_GL_MakeCurrent(nullptr, nullptr);
}

void TGLContext::SwapBuffers() { SDL_GL_SwapWindow(window_); }

void TGLContext::SetSwapInterval(int interval) { SDL_GL_SetSwapInterval(interval); }

void TGLContext::DrawableSize(int& w, int& h) const { SDL_GL_GetDrawableSize(window_, &w, &h); }

}  // namespace zem
