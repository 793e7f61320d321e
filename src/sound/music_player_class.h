// The device facade and its logical channels over the DirectSound stand-in.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "sound/sound_device.h"
#include "sound/sound_format.h"
#include "sound/wave_out.h"

namespace zem {

class TMusicChannel;
class TMusicPlayerClass;

class TCustomChannel : public TChannel {
 public:
  TMusicPlayer* Player() const override;
  WideString Name() const override { return name_; }
  int32_t Length() const override { return static_cast<int32_t>(info_.duration); }
  const TMediaInfo& MediaInfo() const { return info_; }

 protected:
  TMediaInfo info_;
  std::atomic<TMusicPlayerClass*> player_{nullptr};
  WideString name_;
  std::recursive_mutex lock_;
};

// A named source that can be played, stopped and sought; each (re)start makes a physical
// playback. Any thread; every operation takes the channel's lock.
class TChannelMusic : public TCustomChannel {
 public:
  TChannelMusic(TMusicPlayerClass& player, const WideString& name);
  // Stops every playback with a 10 ms fade and waits until the killer has freed them (at most
  // 3 s; a stuck playback is left to the killer); then leaves the facade's list.
  ~TChannelMusic() override;
  bool Opened() const { return opened_; }

  float GetVolume() override;
  void SetVolume(float volume) override;
  int32_t Position() override;
  void Seek(int32_t t_ms) override;
  void SetMasterFactor(float factor) override;
  bool Play(int32_t fade_ms) override;
  bool Stop(int32_t fade_ms) override;
  bool IsPlaying() override;

  // Killer thread: the playback has drained and is about to be freed.
  void PlaybackFreed(TMusicChannel* playback, int32_t position_ms);
  // Facade destruction: stops and frees every playback and forgets the facade.
  void Detach();
  int32_t PlaybackCount();
  // Diagnostics: the newest playback has reached its end (a stop fade or the source's end).
  bool CurrentEnded();

 private:
  // Under lock_: a new current playback (algorithm of the physical playback), or nullptr.
  TMusicChannel* NewPlayback();
  TMusicChannel* Current();
  void ApplyVolume(TMusicChannel* playback);
  // Stops every playback and waits (10 ms steps, at most kCloseSteps) until the killer freed
  // them; what is left then is handed to the killer and forgotten.
  void CloseAll();
  void LeaveToKiller();
  static constexpr int kCloseSteps = 300;

  std::vector<std::shared_ptr<TMusicChannel>> playbacks_;  // guarded by lock_; newest last
  std::atomic<int32_t> live_{0};                           // playbacks not yet destroyed
  int32_t remembered_ = 0;
  float volume_ = 1.0f;
  bool opened_ = false;
  std::string last_failure_;  // why the last playback could not be made (under lock_)
};

class TMusicPlayerClass : public TMusicPlayer {
 public:
  explicit TMusicPlayerClass(std::unique_ptr<TWaveOutDevice> device);
  TMusicPlayerClass();
  // Detaches and closes every open channel, then frees the clock and the device.
  ~TMusicPlayerClass() override;

  bool Init() override;
  void SetVolume(float volume) override;
  double Clock() override;
  std::unique_ptr<TChannel> OpenChannel(const WideString& name, int32_t offset_ms) override;

  TWaveOutDevice* Device() const { return device_.get(); }
  TTimerChannel* TimerChannel();
  // TChannelMusic destruction.
  void RemoveChannel(TChannelMusic* channel);

 private:
  std::unique_ptr<TWaveOutDevice> device_;
  std::recursive_mutex lock_;                 // guards timer_ and channels_
  std::unique_ptr<TTimerChannel> timer_;
  std::vector<TChannelMusic*> channels_;
};

}  // namespace zem
