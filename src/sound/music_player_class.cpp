#include "sound/music_player_class.h"

#include <algorithm>
#include <stdexcept>

#include "foundation/clock.h"
#include "foundation/log.h"
#include "sound/composite_params.h"
#include "sound/media_info.h"
#include "sound/music_channel.h"

namespace zem {

TMusicPlayer* TCustomChannel::Player() const { return player_.load(); }

// ------------------------------------------------------------------------------------------
// TChannelMusic

TChannelMusic::TChannelMusic(TMusicPlayerClass& player, const WideString& name) {
  player_.store(&player);
  name_ = name;
  const char* reason = "not found (or its member is damaged)";
  if (IsCompositeText(name)) {
    TCompositeParams params;
    reason = "its composite description is not valid";
    if (params.LoadFromText(name) && params.Valid()) params.FillMediaInfo(info_);
  } else {
    const TOpenStreamCallback& open = player.GetOpenStreamCallback();
    const TFreeStreamCallback& free = player.GetFreeStreamCallback();
    if (TStream* s = StreamWrapper().Open(FilePartOfName(name), &open)) {
      reason = "its sound format is not recognised";
      TMediaInfoExtractor::Extract(*s, ExtensionOfName(name), info_, name);
      StreamWrapper().Free(s, &free);
    }
  }
  if (info_.format_code == kMediaUnknown) {
    LogMediaFailure("Sound", WideToUtf8(name), reason);
    return;
  }
  std::lock_guard lock(lock_);
  opened_ = NewPlayback() != nullptr;
  if (!opened_) LogMediaFailure("Sound", WideToUtf8(name), last_failure_);
}

TChannelMusic::~TChannelMusic() {
  CloseAll();
  if (TMusicPlayerClass* p = player_.exchange(nullptr)) p->RemoveChannel(this);
}

void TChannelMusic::CloseAll() {
  {
    std::lock_guard lock(lock_);
    for (auto it = playbacks_.begin(); it != playbacks_.end();) {
      TMusicChannel* pb = it->get();
      if (pb->State() == TMusicChannel::kPrepared) {
        it = playbacks_.erase(it);  // freed at once
      } else {
        pb->Stop(10);
        ++it;
      }
    }
  }
  // The killer frees the rest once their fades have drained.
  for (int step = 0; live_.load() > 0; ++step) {
    if (step == kCloseSteps) {
      LeaveToKiller();
      return;
    }
    SleepMs(10);
  }
}

void TChannelMusic::LeaveToKiller() {
  // A playback that never drains (a stalled output) must not hold up closing: it is the
  // assertion failure of a stuck channel, reported here instead of raised from a destructor.
  LogLine("TChannelMusic.CloseAll: Assertion failure: playbacks not freed after " +
          std::to_string(kCloseSteps * 10) + " ms, left to the channel killer");
  std::vector<std::shared_ptr<TMusicChannel>> rest;
  {
    std::lock_guard lock(lock_);
    rest.swap(playbacks_);
  }
  // Without the channel's lock: the killer reports freed playbacks under their own lock first.
  for (auto& pb : rest) pb->LeaveToKiller();
}

void TChannelMusic::Detach() {
  CloseAll();
  player_.store(nullptr);
  opened_ = false;
}

int32_t TChannelMusic::PlaybackCount() {
  std::lock_guard lock(lock_);
  return static_cast<int32_t>(playbacks_.size());
}

bool TChannelMusic::CurrentEnded() {
  std::lock_guard lock(lock_);
  TMusicChannel* cur = Current();
  return cur && cur->DrainDelay() >= 0;
}

TMusicChannel* TChannelMusic::Current() { return playbacks_.empty() ? nullptr : playbacks_.back().get(); }

TMusicChannel* TChannelMusic::NewPlayback() {
  TMusicPlayerClass* player = player_.load();
  if (!player) return nullptr;
  auto pb = std::make_shared<TMusicChannel>(this, *player, name_, info_, &live_);
  if (!pb->Usable()) {
    last_failure_ = pb->FailReason();
    return nullptr;
  }
  ApplyVolume(pb.get());
  playbacks_.push_back(std::move(pb));
  return playbacks_.back().get();
}

void TChannelMusic::ApplyVolume(TMusicChannel* playback) {
  if (playback) playback->SetBufferVolume(volume_ * master_factor_);
}

float TChannelMusic::GetVolume() {
  std::lock_guard lock(lock_);
  return volume_;
}

void TChannelMusic::SetVolume(float volume) {
  std::lock_guard lock(lock_);
  volume_ = volume;
  ApplyVolume(Current());
}

void TChannelMusic::SetMasterFactor(float factor) {
  std::lock_guard lock(lock_);
  master_factor_ = factor;
  ApplyVolume(Current());
}

int32_t TChannelMusic::Position() {
  std::lock_guard lock(lock_);
  if (TMusicChannel* cur = Current()) remembered_ = static_cast<int32_t>(cur->Position());
  return remembered_;
}

bool TChannelMusic::IsPlaying() {
  std::lock_guard lock(lock_);
  TMusicChannel* cur = Current();
  return cur && cur->State() == TMusicChannel::kPlaying;
}

bool TChannelMusic::Play(int32_t fade_ms) {
  std::lock_guard lock(lock_);
  TMusicChannel* cur = Current();
  if (cur && cur->State() == TMusicChannel::kPlaying) return false;
  if (!cur || cur->State() != TMusicChannel::kPrepared) {
    cur = NewPlayback();
    if (!cur) return false;
    cur->Seek(remembered_);
  }
  cur->Start(fade_ms);
  return true;
}

bool TChannelMusic::Stop(int32_t fade_ms) {
  std::lock_guard lock(lock_);
  TMusicChannel* cur = Current();
  if (!cur || cur->State() != TMusicChannel::kPlaying) return false;
  remembered_ = static_cast<int32_t>(cur->Position());
  cur->Stop(fade_ms);
  return true;
}

void TChannelMusic::Seek(int32_t t_ms) {
  std::lock_guard lock(lock_);
  TMusicChannel* cur = Current();
  remembered_ = t_ms;
  if (!cur) {
    if ((cur = NewPlayback())) cur->Seek(t_ms);
    return;
  }
  switch (cur->State()) {
    case TMusicChannel::kPrepared:
      cur->Seek(t_ms);
      break;
    case TMusicChannel::kPlaying:
      cur->Stop(10);
      if ((cur = NewPlayback())) {
        cur->Seek(t_ms);
        cur->Start(10);
      }
      break;
    default:
      if ((cur = NewPlayback())) cur->Seek(t_ms);
      break;
  }
}

void TChannelMusic::PlaybackFreed(TMusicChannel* playback, int32_t position_ms) {
  std::lock_guard lock(lock_);
  for (auto it = playbacks_.begin(); it != playbacks_.end(); ++it) {
    if (it->get() == playback) {
      playbacks_.erase(it);
      remembered_ = position_ms;
      return;
    }
  }
}

// ------------------------------------------------------------------------------------------
// TMusicPlayerClass

TMusicPlayerClass::TMusicPlayerClass(std::unique_ptr<TWaveOutDevice> device) : device_(std::move(device)) {}

TMusicPlayerClass::TMusicPlayerClass() : TMusicPlayerClass(CreateWaveOutDevice()) {}

TMusicPlayerClass::~TMusicPlayerClass() {
  std::vector<TChannelMusic*> channels;
  {
    std::lock_guard lock(lock_);
    channels.swap(channels_);
  }
  for (TChannelMusic* c : channels) c->Detach();
  std::lock_guard lock(lock_);
  timer_.reset();
  device_.reset();
}

bool TMusicPlayerClass::Init() { return device_ && device_->IsReady(); }

void TMusicPlayerClass::SetVolume(float volume) {
  std::lock_guard lock(lock_);
  master_volume_ = volume;
  for (TChannelMusic* c : channels_) c->SetMasterFactor(volume);
}

TTimerChannel* TMusicPlayerClass::TimerChannel() {
  std::lock_guard lock(lock_);
  if (!timer_ && Init()) {
    try {
      timer_ = device_->CreateTimerChannel();
    } catch (const std::exception& e) {
      LogLine(std::string("TMusicPlayerClass.Clock: ") + e.what());
    }
  }
  return timer_.get();
}

double TMusicPlayerClass::Clock() {
  std::lock_guard lock(lock_);
  TTimerChannel* t = TimerChannel();
  if (!t) return 0;
  if (!t->IsRunning()) t->Start();
  return t->GetTime();
}

std::unique_ptr<TChannel> TMusicPlayerClass::OpenChannel(const WideString& name, int32_t offset_ms) {
  if (!Init()) return nullptr;
  auto channel = std::make_unique<TChannelMusic>(*this, name);
  if (!channel->Opened()) return nullptr;
  float master = GetVolume();
  if (master != 1.0f) channel->SetMasterFactor(master);
  if (offset_ms != -1) channel->Seek(offset_ms);
  std::lock_guard lock(lock_);
  channels_.push_back(channel.get());
  return channel;
}

void TMusicPlayerClass::RemoveChannel(TChannelMusic* channel) {
  std::lock_guard lock(lock_);
  channels_.erase(std::remove(channels_.begin(), channels_.end(), channel), channels_.end());
}

std::unique_ptr<TMusicPlayer> CreateMusicPlayerDevice() {
  auto player = std::make_unique<TMusicPlayerClass>();
  try {
    if (!player->Device()) return nullptr;
    auto test = player->Device()->CreateTimerChannel();
  } catch (const std::exception& e) {
    LogLine(std::string("CreateMusicPlayerDevice: ") + e.what());
    return nullptr;
  }
  return player;
}

}  // namespace zem
