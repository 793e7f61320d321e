// TFFMpegDll: the video decoding library bound through its routine table, shared by the whole
// process, and the program's own logic on top of it: media analysis (container, frame rate
// repair, frame count, aspect, interlace), frame index of a time stamp, seeking to frame n and
// the three audio seek strategies.
//
// Locks: the first lock guards the use count (acquire, release); the second guards opening,
// closing and every audio call. Decoding video for one media happens on one thread at a time
// (its frame source's worker) without a lock.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>

#include "video/ffmpeg_lib.h"

namespace zem {

// Container codes.
enum : uint8_t {
  kContainerOther = 0,
  kContainerAvi = 1,
  kContainerMatroska = 2,
  kContainerMov = 3,
  kContainerMpeg = 4,
  kContainerFlv = 5,
  kContainerMpegTs = 6,
  kContainerAsf = 7,
};
// Audio seek strategies.
enum : uint8_t { kAudioSeekUnchosen = 0, kAudioSeekDirect = 1, kAudioSeekForward = 2, kAudioSeekIterative = 3 };

// The program's record attached to each media.
struct TVideoDataEx {
  uint8_t container = kContainerOther;
  std::string scratch;
  uint8_t audioSeek = kAudioSeekUnchosen;
  bool noFpsRepair = false;
  int32_t first = 0, next = 0;  // the frames [first, next) the current picture holds
};

class TFFMpegDll {
 public:
  // The shared library with one more use; null when it is absent or incomplete (logged).
  static TFFMpegDll* Acquire();
  static void Release(TFFMpegDll* dll);
  // Whether the library is loaded now (some user holds it).
  static bool Loaded();

  // The routine table.
  TOpenMediaFile openMediaFile = nullptr;
  TOpenMediaFile2 openMediaFile2 = nullptr;
  TCloseMediaFile closeMediaFile = nullptr;
  TAllocBuffer allocBuffer = nullptr;
  TAllocBufferWithData allocBufferWithData = nullptr;
  TFreeBuffer freeBuffer = nullptr;
  TConvertFrame convertFrame = nullptr;
  TGetNextVideoFrame getNextVideoFrame = nullptr;
  TSeekFile seekFile = nullptr;
  TGetFormatName getFormatName = nullptr;
  TFlush flush = nullptr;
  TFlushVideo flushVideo = nullptr;
  TGetFrameInfo getFrameInfo = nullptr;
  TGetDtsPts getDtsPts = nullptr;
  TGetDtsPts2 getDtsPts2 = nullptr;
  TGetAudioInfo getAudioInfo = nullptr;
  TOpenAudioStream openAudioStream = nullptr;
  TCloseAudioStream closeAudioStream = nullptr;
  TGetNextAudioFrame getNextAudioFrame = nullptr;
  TAfterAudioSeek afterAudioSeek = nullptr;
  TGetCurrentPts getCurrentPts = nullptr;
  TCreateVideoFile createVideoFile = nullptr;
  TCreateAudioFile createAudioFile = nullptr;
  TCreateVideoAudioFile createVideoAudioFile = nullptr;

  // The second lock: opening, closing and audio calls.
  std::recursive_mutex& AudioLock() { return audioLock_; }

  // Opens and analyses media read from `stream` through the stream routines; none when it has
  // neither video nor audio or cannot be opened.
  TMediaContext* OpenMedia(const std::string& name, void* stream, const TStreamRoutines* routines);
  void CloseMedia(TMediaContext* ctx);

  // Frame index of a video time stamp (-1 for none).
  static int64_t FrameIndexOf(const TMediaContext* ctx, int64_t pts);
  // Seeks the video stream to frame n (backward to a key frame, or to any frame).
  void SeekToFrame(TMediaContext* ctx, int64_t n, bool backward);
  // Puts frame n into the decode buffer; false when it cannot be had.
  bool DecodeFrame(TMediaContext* ctx, TFrameBuffer* buffer, int64_t n);
  // Audio seek to t ms with the media's strategy (chosen on first use).
  void AudioSeek(TMediaContext* ctx, double t_ms);

  // Analysis steps, exposed for tests.
  static uint8_t ContainerCode(const std::string& formatName);
  static void RepairFrameRate(TMediaContext* ctx, const TVideoDataEx& ex);
  static uint8_t AspectCode(int32_t width, int32_t height, int32_t sarNum, int32_t sarDen);
  // (known, field flag) from the tag, the container, or decoding up to three frames.
  void InterlaceInfo(TMediaContext* ctx, bool& known, bool& fieldFlag);

 private:
  TFFMpegDll() = default;
  bool Bind();
  int64_t DecodeOne(TMediaContext* ctx, TFrameBuffer* buffer, int32_t flag);

  std::recursive_mutex audioLock_;
};

// The data a media carries for the program.
inline TVideoDataEx* DataEx(const TMediaContext* ctx) { return static_cast<TVideoDataEx*>(ctx->programData); }

}  // namespace zem
