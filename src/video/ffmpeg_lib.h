// The video decoding library: our own layer over libavformat, libavcodec, libswscale and
// libswresample with the 24 routines the player looks up by name. It is linked into the
// program (never loaded from a show package); FFmpegLibrarySymbol stands in for the symbol
// lookup and FFmpegLibraryPresent for whether the library file exists.
//
// Everything a container or codec says is untrusted: sizes, counts and durations are capped,
// decoders get max_pixels, demuxers cannot open other files.
#pragma once
#include <cstdint>

#include "sound/stream_access.h"

namespace zem {

// The no-time-stamp value, also "no start time".
constexpr int64_t kNoPts = INT64_MIN;

// Limits on what a clip may claim.
constexpr int32_t kMaxVideoSide = 8192;
constexpr int64_t kMaxVideoPixels = int64_t(1) << 26;
constexpr int64_t kMaxFrameCount = int64_t(1) << 28;
constexpr int64_t kMaxDurationUs = int64_t(100) * 3600 * 1000000;  // 100 hours
constexpr int32_t kAudioBufferBytes = 192000;

// Pixel formats of decoded frames as the player knows them; others are numbered 100 and up.
enum : int32_t { kPixYuv420 = 0, kPixRgb24 = 2, kPixBgra = 6, kPixRgba = 30, kPixOther = 100 };
// Kinds of AllocBufferWithData: 0 planar YUV 4:2:0, 2 packed 24-bit RGB.
enum : int32_t { kBufYuv420 = 0, kBufRgb24 = 2 };
// SeekFile flags: backward, any frame (not only key frames), by frame (the frame at or before the
// time stamp).
enum : int32_t { kSeekBackward = 1, kSeekAny = 4, kSeekFrame = 8 };

struct TFFPrivate;  // the library's own state

// Media context (the library owns it; the program reads and writes the marked fields).
struct TMediaContext {
  int32_t lastVideoFrame = -1;  // program
  int32_t fpsNum = 0, fpsDen = 0;
  int64_t startTime = kNoPts;   // µs
  int32_t videoStream = -1;
  int32_t audioStream = -1;
  int64_t duration = 0;         // µs, the whole media
  int64_t videoDuration = 0;    // µs, the video stream when it says (0 unknown)
  int64_t audioDuration = 0;    // µs, the audio stream when it says (0 unknown)
  int32_t videoCodecId = 0;
  int32_t width = 0, height = 0;
  int32_t sarNum = 0, sarDen = 1;
  int64_t frameCount = 0;       // program
  int32_t pixelFormat = kPixYuv420;
  int32_t ticksPerFrame = 1;    // the average frame rate below is already per frame
  int32_t videoTbNum = 0, videoTbDen = 0;
  int32_t avgFpsNum = 0, avgFpsDen = 0;
  int32_t audioStreamCount = 0;
  uint8_t* audioBuffer = nullptr;  // kAudioBufferBytes, made when an audio stream opens
  int32_t audioTbNum = 0, audioTbDen = 0;
  int64_t audioSeekTarget = kNoPts;  // program: audio time stamp sought; earlier audio is dropped
  const char* videoTag = nullptr;  // text tag of the video stream
  void* programData = nullptr;     // program: its TVideoDataEx
  TFFPrivate* priv = nullptr;
};

// Frame buffer: plane pointers and strides first, then what the library keeps.
struct TFrameBuffer {
  uint8_t* data[3] = {nullptr, nullptr, nullptr};
  int32_t stride[3] = {0, 0, 0};
  int32_t pixelFormat = kPixYuv420;
  int32_t width = 0, height = 0;
  int32_t frameInfo = 0;  // after GetFrameInfo: 1 top field first, 0 otherwise
  int32_t ready = 0;      // after GetFrameInfo: the frame carries interlace information
  void* frame = nullptr;  // the library's AVFrame
  int32_t interlaced = 0, topFieldFirst = 0;  // of the last frame put in
};

struct TAudioInfo {
  int32_t sampleRate = 0;
  int32_t channels = 0;
  int32_t codecId = 0;
  int32_t bits = 0;  // 0 means 16
};

extern "C" {
using TOpenMediaFile = TMediaContext* (*)(const char* name, void* stream, const TStreamRoutines* routines);
using TOpenMediaFile2 = TMediaContext* (*)(const char* path);
using TCloseMediaFile = void (*)(TMediaContext* ctx);
using TAllocBuffer = TFrameBuffer* (*)(TMediaContext* ctx, int32_t pixelFormat);
using TAllocBufferWithData = TFrameBuffer* (*)(TMediaContext* ctx, int32_t kind);
using TFreeBuffer = void (*)(TFrameBuffer* buffer);
using TConvertFrame = int32_t (*)(TMediaContext* ctx, TFrameBuffer* source, int32_t targetKind, int32_t sourceFormat,
                                  TFrameBuffer* target);
// flag 1: only the time stamp is wanted, the picture is not put into the buffer.
using TGetNextVideoFrame = int64_t (*)(TMediaContext* ctx, TFrameBuffer* buffer, int32_t flag);
using TSeekFile = int32_t (*)(TMediaContext* ctx, int32_t stream, int64_t timestamp, int32_t flags);
using TGetFormatName = int32_t (*)(TMediaContext* ctx, char* buffer, int32_t size, int32_t reserved);
using TFlush = void (*)(TMediaContext* ctx);
using TFlushVideo = void (*)(TMediaContext* ctx);
using TGetFrameInfo = int32_t (*)(TFrameBuffer* buffer);
using TGetDtsPts = int64_t (*)(TMediaContext* ctx, int64_t* dts);
using TGetDtsPts2 = int64_t (*)(TMediaContext* ctx, int32_t stream, int64_t* dts);
using TGetAudioInfo = int32_t (*)(TMediaContext* ctx, int32_t track, TAudioInfo* info);
using TOpenAudioStream = int32_t (*)(TMediaContext* ctx, int32_t track);
using TCloseAudioStream = void (*)(TMediaContext* ctx);
using TGetNextAudioFrame = int32_t (*)(TMediaContext* ctx, uint8_t* buffer, int32_t* bytes);
using TAfterAudioSeek = void (*)(TMediaContext* ctx, int32_t flag);
using TGetCurrentPts = int64_t (*)(TMediaContext* ctx, int32_t stream);
// Writing clips (tests, the demo generator); the player never calls them.
struct TVideoFileSpec;
using TCreateVideoFile = int32_t (*)(const char* path, const TVideoFileSpec* clip);
using TCreateAudioFile = int32_t (*)(const char* path, const TVideoFileSpec* clip);
using TCreateVideoAudioFile = int32_t (*)(const char* path, const TVideoFileSpec* clip);
}

// The routine of that name, or null (the 24 names of the routine table).
void* FFmpegLibrarySymbol(const char* name);
// Whether the library is there to be loaded; tests switch it off.
bool FFmpegLibraryPresent();
void SetFFmpegLibraryPresent(bool present);
// Decoded-video pixel limit the decoders get (tests and the fuzzer lower it).
void SetFFmpegMaxPixels(int64_t pixels);

}  // namespace zem
