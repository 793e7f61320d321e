// Reading finished frames back from a screen's back buffer through two pixel-pack buffers: a
// request starts the copy of the frame just drawn (and not presented) and returns; the pixels
// are taken one frame later, so that copying frame k out of the device overlaps drawing frame
// k + 1. Used by the exporter.
//
// Threads: the drawing thread, between frames; each call takes the window's context briefly
// under DeviceMutex().
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace zem {

class T3DScreen;

class TFrameReadback {
 public:
  static constexpr int kSlots = 2;

  explicit TFrameReadback(T3DScreen& screen);
  ~TFrameReadback();
  TFrameReadback(const TFrameReadback&) = delete;
  TFrameReadback& operator=(const TFrameReadback&) = delete;

  // Starts copying the back buffer into a free slot. False when every slot waits to be taken
  // or the device cannot (no usable context).
  bool Request();
  // Requests not yet taken.
  int Pending() const { return pending_; }
  // The oldest request's pixels: width × height 32-bit BGRA, rows tightly packed from the
  // bottom row up, into `out` (at least Bytes() long). Waits for the device when needed.
  bool Take(uint8_t* out);
  // The same pixels, lent to `use` where the device left them (no copy); `use` runs on this
  // thread under DeviceMutex() and must not keep the pointer.
  bool Take(const std::function<void(const uint8_t* pixels)>& use);

  // Size of the frames (the back buffer's at the first request).
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  size_t Bytes() const { return size_t(width_) * size_t(height_) * 4; }

 private:
  struct TSlot;
  bool Acquire();
  void Release();

  T3DScreen& screen_;
  std::unique_ptr<TSlot[]> slots_;
  const void* store_ = nullptr;  // the device store the buffers were made on
  int32_t width_ = 0, height_ = 0;
  int next_ = 0;     // slot of the next request
  int pending_ = 0;  // requests not yet taken (the oldest is next_ - pending_)
};

}  // namespace zem
