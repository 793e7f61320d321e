// The encoder on a thread of its own, fed by the exporter through a queue: a picture (converted
// for the encoder already, the queue takes it over), a repeat of the previous picture, or a piece
// of sound. At most `maxPictures` pictures wait; beyond that the producer blocks, which bounds
// memory when encoding is slower than drawing. Encoded pictures come back through TakeBuffer
// for the next conversion.
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

#include "video/encode/media_encoder.h"

namespace zem {

class TEncodeThread {
 public:
  // `encoder` is open and outlives this object.
  explicit TEncodeThread(TMediaEncoder& encoder, size_t maxPictures = 3);
  // Close, ignoring the result.
  ~TEncodeThread();
  TEncodeThread(const TEncodeThread&) = delete;
  TEncodeThread& operator=(const TEncodeThread&) = delete;

  // A picture made by a converter of the encoder. False once the encoder failed (the job is
  // dropped).
  bool Picture(TEncoderPicture picture);
  bool Repeat();
  // Interleaved stereo at 44100 Hz.
  bool Sound(std::vector<int16_t> samples);
  // An encoded picture to convert the next one into, the longest done first (the encoder
  // keeps the latest for repeats); empty when none is free.
  TEncoderPicture TakeBuffer();
  // Encodes what is queued and ends the thread. False with the encoder's message when it
  // failed at any point.
  bool Close(std::string& error);
  bool Failed() const;

 private:
  enum class TKind { Picture, Repeat, Sound };
  struct TJob {
    TKind kind;
    TEncoderPicture picture;
    std::vector<int16_t> samples;
  };
  bool Push(TJob job);
  void Run();

  TMediaEncoder& encoder_;
  size_t maxPictures_;
  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::deque<TJob> queue_;                 // guarded by lock_
  size_t pictures_ = 0;                    // pictures queued or being encoded; lock_
  std::deque<TEncoderPicture> free_;       // lock_
  bool closing_ = false;                   // lock_
  bool failed_ = false;                    // lock_
  std::string error_;                      // lock_
  std::thread thread_;
};

}  // namespace zem
