// Shared set-up of the render tests: a headless device with a screen, and helpers that draw a
// quad through a program into an offscreen target and read it back.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <random>
#include <vector>

#include "foundation/log.h"
#include "render/draw_device.h"
#include "render/gl_device.h"
#include "render/screen.h"
#include "render/shaders.h"
#include "render/textures.h"

namespace zem::test {

// Keeps the GL driver's modules loaded until exit (leak reports of sanitizer runs).
void PinDriverModules();

struct TRig {
  std::unique_ptr<THeadlessDevice> device;
  std::unique_ptr<T3DScreen> screen;

  explicit TRig(int32_t w = 64, int32_t h = 64) {
    device = THeadlessDevice::Create(w, h);
    if (!device) return;
    screen = std::make_unique<T3DScreen>();
    screen->AssignDevice(device.get());
    PinDriverModules();
  }
  ~TRig() {
    screen.reset();
    device.reset();
  }
  bool Ok() const { return screen && screen->IsReady(); }
};

// Collects the process log's lines while it lives.
class TLogCapture {
 public:
  TLogCapture() {
    auto log = std::make_unique<TLog>();
    log->SetOutputRoutine([this](const std::string& line) {
      std::lock_guard<std::mutex> g(lock_);
      lines_.push_back(line);
    });
    InstallLog(std::move(log));
  }
  ~TLogCapture() { InstallLog(nullptr); }
  bool Has(const std::string& text) const {
    std::lock_guard<std::mutex> g(lock_);
    for (auto& l : lines_)
      if (l.find(text) != std::string::npos) return true;
    return false;
  }

 private:
  mutable std::mutex lock_;
  std::vector<std::string> lines_;
};

// RGBA as floats 0..1 read from a 32-bit pixel (ARGB word).
struct TColorF {
  float r = 0, g = 0, b = 0, a = 0;
};
inline TColorF FromArgb(uint32_t p) {
  return {((p >> 16) & 255) / 255.0f, ((p >> 8) & 255) / 255.0f, (p & 255) / 255.0f, (p >> 24) / 255.0f};
}
inline float Sat(float x) { return std::clamp(x, 0.0f, 1.0f); }

// Expects the pixel to match within `tol` per channel (8-bit targets quantise the result).
inline void ExpectColor(uint32_t got, TColorF want, float tol, const char* what, int x, int y) {
  TColorF g = FromArgb(got);
  EXPECT_NEAR(g.r, Sat(want.r), tol) << what << " r at " << x << "," << y;
  EXPECT_NEAR(g.g, Sat(want.g), tol) << what << " g at " << x << "," << y;
  EXPECT_NEAR(g.b, Sat(want.b), tol) << what << " b at " << x << "," << y;
  EXPECT_NEAR(g.a, Sat(want.a), tol) << what << " a at " << x << "," << y;
}

// A texture of exactly w × h (a power of two, at least 32) filled from bytes of its format.
inline std::unique_ptr<TCustomTexture> MakeTexture(T3DScreen* s, int32_t w, int32_t h, int format,
                                                   const std::vector<uint8_t>& texels) {
  std::unique_ptr<TCustomTexture> t;
  if (format == kFmtArgb32) t = std::make_unique<TTextureTile>(s, w, h);
  else if (format == kFmtLuminance8) t = std::make_unique<TVideoTexture>(s, w, h, nullptr);
  else t = std::make_unique<TGrayScaleTexture>(s, w, h, nullptr);
  t->nearest = true;
  t->SetPixels(texels.data(), int64_t(t->AllocWidth()) * BytesPerTexel(format));
  return t;
}

inline std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng() & 255);
  return v;
}

// Draws one quad over the whole w × h target with the given textures (whole textures), vertex
// colour and program, blending off, and reads the target back.
inline bool DrawProgram(TRig& rig, TShader* program, std::vector<TCustomTexture*> textures,
                        uint32_t vertex_color, int32_t w, int32_t h, TBitmap& out,
                        const std::function<void(T3DScreen*)>& constants = {}) {
  T3DScreen* s = rig.screen.get();
  if (!s->BeginScene()) return false;
  TRenderTargetManager pool(s, w, h, true);
  auto target = pool.Take();
  s->PushRenderTarget(target.get());
  s->SetProjection({0, 0, w, h}, w, h);
  s->Clear(0, false);
  s->SetBlendMode(T3DRenderer::kBlendCopy);
  s->SetShader(program);
  if (constants) constants(s);
  TVec3 c[4] = {{0, 0, 0}, {float(w), 0, 0}, {0, float(h), 0}, {float(w), float(h), 0}};
  uint32_t colors[4] = {vertex_color, vertex_color, vertex_color, vertex_color};
  TQuadTexture q[3];
  for (size_t i = 0; i < textures.size(); ++i)
    q[i] = {textures[i], {0, 0, float(textures[i]->Width()), float(textures[i]->Height())}};
  s->DrawTexturedQuad(c, q, int(textures.size()), colors);
  bool ok = s->ReadTarget(out);
  s->SetShader(nullptr);
  s->SetBlendMode(0);
  s->PopRenderTarget();
  s->EndScene();
  pool.Return(std::move(target));
  return ok;
}

}  // namespace zem::test
