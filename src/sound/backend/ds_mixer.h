// The DirectSound stand-in: a small software mixer over one audio output. Secondary buffers are
// looping rings of PCM in their own format (any rate, 1 or 2 channels, 8 or 16 bits) with a
// play cursor that the output's callback advances as it mixes, a write cursor one device period
// ahead, Lock/Unlock, Play/Stop, cursor get/set and volume in hundredths of a decibel.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "foundation/refobj.h"
#include "sound/backend/audio_output.h"
#include "sound/sound_format.h"

namespace zem {

// Result codes and flags with their DirectSound values.
constexpr int32_t DS_OK = 0;
constexpr int32_t DSERR_BUFFERLOST = static_cast<int32_t>(0x88780096u);
constexpr int32_t DSERR_INVALIDPARAM = static_cast<int32_t>(0x80070057u);
constexpr int32_t DSERR_GENERIC = static_cast<int32_t>(0x80004005u);
constexpr uint32_t DSBCAPS_LOCSOFTWARE = 0x8;
constexpr uint32_t DSBCAPS_CTRLVOLUME = 0x80;
constexpr uint32_t DSBCAPS_GLOBALFOCUS = 0x8000;
constexpr uint32_t DSBCAPS_GETCURRENTPOSITION2 = 0x10000;
constexpr uint32_t DSBPLAY_LOOPING = 1;
constexpr int32_t DSBVOLUME_MIN = -10000;
constexpr int32_t DSBVOLUME_MAX = 0;
constexpr int32_t DSSCL_PRIORITY = 2;

struct TDSBufferDesc {
  uint32_t size = 36;
  uint32_t flags = 0;
  uint32_t buffer_bytes = 0;
  TWaveFormat format;
};

struct TDSCore;
struct TDSBufferState;

// A secondary buffer. Any thread; every operation takes the mixer's lock briefly. The bytes a
// Lock hands out are written without the lock: as with DirectSound, callers write only between
// the write cursor and the play cursor, which the mixer does not read.
class TDSBuffer : public TObj {
 public:
  ~TDSBuffer() override;
  int32_t Lock(uint32_t offset, uint32_t bytes, void** p1, uint32_t* n1, void** p2, uint32_t* n2);
  int32_t Unlock(void* p1, uint32_t n1, void* p2, uint32_t n2);
  int32_t Play(uint32_t flags);
  int32_t Stop();
  int32_t Restore() { return DS_OK; }
  int32_t GetCurrentPosition(uint32_t* play, uint32_t* write);
  int32_t SetCurrentPosition(uint32_t position);
  // Hundredths of a decibel, -10000 (silence) .. 0 (full level).
  int32_t SetVolume(int32_t volume);
  int32_t GetVolume(int32_t* volume);
  bool IsPlaying() const;
  uint32_t Bytes() const;

 private:
  friend class TDSDevice;
  TDSBuffer(std::shared_ptr<TDSCore> core, std::shared_ptr<TDSBufferState> state)
      : core_(std::move(core)), state_(std::move(state)) {}
  std::shared_ptr<TDSCore> core_;
  std::shared_ptr<TDSBufferState> state_;
};

// The device object: owns the audio output and mixes the playing buffers into it.
class TDSDevice : public TObj {
 public:
  // Opens the output of the selected backend; nullptr when no device opens.
  static std::unique_ptr<TDSDevice> Create();
  // Over a given output (tests).
  static std::unique_ptr<TDSDevice> Create(std::unique_ptr<TAudioOutput> output);
  ~TDSDevice() override;

  int32_t SetCooperativeLevel(int32_t level);
  // Buffers may outlive the device: they then stay silent.
  int32_t CreateSoundBuffer(const TDSBufferDesc& desc, std::unique_ptr<TDSBuffer>& buffer);

  // Audio thread of the output (or a test driving the null backend): mixes `frames` stereo
  // frames of every playing buffer and advances their play cursors. Takes the mixer's lock.
  void Mix(int16_t* out, int32_t frames);
  int32_t PeriodFrames() const;
  // Buffers playing now (diagnostics and tests).
  int32_t PlayingBuffers() const;
  // Frames mixed since the device opened (any thread).
  int64_t MixedFrames() const;
  TAudioOutput& Output() { return *output_; }

 private:
  TDSDevice() = default;
  std::shared_ptr<TDSCore> core_;
  std::unique_ptr<TAudioOutput> output_;
};

// Gain factor of a volume in hundredths of a decibel (-10000 is silence).
double DsVolumeToGain(int32_t hundredths_db);

}  // namespace zem
