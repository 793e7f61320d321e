#include "render/frame_readback.h"

#include <epoxy/gl.h>

#include <cstring>

#include "foundation/log.h"
#include "render/gl_device.h"
#include "render/screen.h"

namespace zem {

struct TFrameReadback::TSlot {
  unsigned buffer = 0;
  GLsync fence = nullptr;
};

TFrameReadback::TFrameReadback(T3DScreen& screen) : screen_(screen), slots_(new TSlot[kSlots]) {}

TFrameReadback::~TFrameReadback() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (!store_ || !Acquire()) return;  // the context went with its device, and the names too
  for (int i = 0; i < kSlots; ++i) {
    if (slots_[i].fence) glDeleteSync(slots_[i].fence);
    if (slots_[i].buffer) glDeleteBuffers(1, &slots_[i].buffer);
  }
  Release();
}

// Under DeviceMutex(): makes the window's context current here.
bool TFrameReadback::Acquire() {
  auto* r = dynamic_cast<T3DRendererGL*>(screen_.Renderer());
  if (!r || r->State() != T3DRenderer::kUsable || !r->Store()) return false;
  TDevStore* store = r->Store();
  if (store_ && store_ != store) {
    // A new device: the buffers and fences died with the old context.
    for (int i = 0; i < kSlots; ++i) slots_[i] = TSlot{};
    pending_ = 0;
  }
  store_ = store;
  return store->Acquire();
}

void TFrameReadback::Release() {
  if (auto* r = dynamic_cast<T3DRendererGL*>(screen_.Renderer()); r && r->Store()) r->Store()->Release();
}

bool TFrameReadback::Request() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (pending_ >= kSlots || screen_.InScene() || !Acquire()) return false;
  auto* r = static_cast<T3DRendererGL*>(screen_.Renderer());
  if (width_ == 0) {
    int w = r->BackBuffer()->Width(), h = r->BackBuffer()->Height();
    if (w <= 0 || h <= 0) r->Store()->Context()->DrawableSize(w, h);
    width_ = w;
    height_ = h;
  }
  bool ok = width_ > 0 && height_ > 0;
  TSlot& slot = slots_[next_];
  if (ok && !slot.buffer) {
    glGenBuffers(1, &slot.buffer);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, slot.buffer);
    glBufferData(GL_PIXEL_PACK_BUFFER, GLsizeiptr(Bytes()), nullptr, GL_STREAM_READ);
  }
  if (ok) {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, slot.buffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glReadPixels(0, 0, width_, height_, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    slot.fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    glFlush();
    const GLenum err = glGetError();
    if (err != GL_NO_ERROR) {
      LogLine("TFrameReadback.Request: GL error " + std::to_string(err));
      ok = false;
    }
  }
  Release();
  if (!ok) return false;
  next_ = (next_ + 1) % kSlots;
  ++pending_;
  return true;
}

bool TFrameReadback::Take(uint8_t* out) {
  return Take([&](const uint8_t* pixels) { std::memcpy(out, pixels, Bytes()); });
}

bool TFrameReadback::Take(const std::function<void(const uint8_t* pixels)>& use) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (pending_ == 0 || !Acquire()) return false;
  TSlot& slot = slots_[(next_ - pending_ + kSlots) % kSlots];
  --pending_;
  bool ok = true;
  if (slot.fence) {
    ok = glClientWaitSync(slot.fence, GL_SYNC_FLUSH_COMMANDS_BIT, GLuint64(10'000'000'000)) != GL_WAIT_FAILED;
    glDeleteSync(slot.fence);
    slot.fence = nullptr;
  }
  glBindBuffer(GL_PIXEL_PACK_BUFFER, slot.buffer);
  const void* p = ok ? glMapBufferRange(GL_PIXEL_PACK_BUFFER, 0, GLsizeiptr(Bytes()), GL_MAP_READ_BIT) : nullptr;
  if (p) {
    use(static_cast<const uint8_t*>(p));
    glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
  }
  glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
  Release();
  return p != nullptr;
}

}  // namespace zem
