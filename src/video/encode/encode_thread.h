// The encoder on a thread of its own, fed by the exporter through a queue: a picture (pixels the
// queue takes over), a repeat of the previous picture, or a piece of sound. At most `maxPictures`
// pictures wait; beyond that the producer blocks, which bounds memory when encoding is slower
// than drawing. Used pixel buffers come back through TakeBuffer.
//
// Threads: the producer calls every operation; the encoding thread runs the encoder from
// construction to Close. The queue is guarded by lock_.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zem {

class TMediaEncoder;

class TEncodeThread {
 public:
  // `encoder` is open and outlives this object; pictures are width × height.
  TEncodeThread(TMediaEncoder& encoder, int32_t width, int32_t height, size_t maxPictures = 3);
  // Close, ignoring the result.
  ~TEncodeThread();
  TEncodeThread(const TEncodeThread&) = delete;
  TEncodeThread& operator=(const TEncodeThread&) = delete;

  // BGRA rows from the bottom row up, as read back from the device. False once the encoder
  // failed (the job is dropped).
  bool Picture(std::vector<uint8_t> pixels);
  bool Repeat();
  // Interleaved stereo at 44100 Hz.
  bool Sound(std::vector<int16_t> samples);
  // A pixel buffer of an encoded picture for the next one; empty when none is free.
  std::vector<uint8_t> TakeBuffer();
  // Encodes what is queued and ends the thread. False with the encoder's message when it
  // failed at any point.
  bool Close(std::string& error);
  bool Failed() const;

 private:
  enum class TKind { Picture, Repeat, Sound };
  struct TJob {
    TKind kind;
    std::vector<uint8_t> pixels;
    std::vector<int16_t> samples;
  };
  bool Push(TJob job);
  void Run();

  TMediaEncoder& encoder_;
  int32_t width_, height_;
  size_t maxPictures_;
  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::deque<TJob> queue_;                 // guarded by lock_
  size_t pictures_ = 0;                    // pictures queued or being encoded; lock_
  std::vector<std::vector<uint8_t>> free_;  // lock_
  bool closing_ = false;                   // lock_
  bool failed_ = false;                    // lock_
  std::string error_;                      // lock_
  std::thread thread_;
};

}  // namespace zem
