// The sound device as the music player sees it: the device facade (clock, master volume,
// logical channels) and the logical channel. All operations may be called from any thread.
#pragma once
#include <cstdint>
#include <memory>

#include "foundation/refobj.h"
#include "foundation/strings.h"
#include "sound/stream_access.h"

namespace zem {

class TChannel;

class TMusicPlayer : public TObj {
 public:
  virtual bool Init() = 0;
  virtual float GetVolume() { return master_volume_; }
  virtual void SetVolume(float volume) { master_volume_ = volume; }
  // Set by the music loader before any channel is opened; every source is opened through them.
  virtual void SetFreeStreamCallback(TFreeStreamCallback cb) { free_stream_ = std::move(cb); }
  virtual void SetOpenStreamCallback(TOpenStreamCallback cb) { open_stream_ = std::move(cb); }
  virtual const TOpenStreamCallback& GetOpenStreamCallback() const { return open_stream_; }
  virtual const TFreeStreamCallback& GetFreeStreamCallback() const { return free_stream_; }
  // The device clock in ms; 0 when no device is ready.
  virtual double Clock() = 0;
  // A logical channel positioned at `offset_ms` (-1: not sought), or nullptr when the device is
  // not ready or the source cannot be opened or recognised.
  virtual std::unique_ptr<TChannel> OpenChannel(const WideString& name, int32_t offset_ms) = 0;

 protected:
  float master_volume_ = 1.0f;
  TOpenStreamCallback open_stream_;
  TFreeStreamCallback free_stream_;
};

class TChannel : public TObj {
 public:
  virtual TMusicPlayer* Player() const = 0;
  virtual WideString Name() const = 0;
  virtual float GetVolume() = 0;
  virtual void SetVolume(float volume) = 0;
  virtual int32_t Length() const = 0;  // ms, from the media information
  virtual int32_t Position() = 0;      // ms
  virtual void Seek(int32_t t_ms) = 0;
  virtual float GetMasterFactor() { return master_factor_; }
  // Stores the factor and re-applies own volume x master factor.
  virtual void SetMasterFactor(float factor) = 0;
  // True when playback started (false when it was already playing); fades linearly.
  virtual bool Play(int32_t fade_ms) = 0;
  // True when it was playing.
  virtual bool Stop(int32_t fade_ms) = 0;
  virtual bool IsPlaying() = 0;

 protected:
  float master_factor_ = 1.0f;
};

// The process-wide factory: the device facade, or nullptr when even a test clock fails.
std::unique_ptr<TMusicPlayer> CreateMusicPlayerDevice();

}  // namespace zem
