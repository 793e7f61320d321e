// Helpers of the music tests: shows built from script text, and a scripted sound device whose
// clock the test sets and which records what the player does with its channels.
#pragma once
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/clock.h"
#include "foundation/strings.h"
#include "model/slide_source.h"
#include "script/ini_file.h"
#include "sound/sound_device.h"

namespace zem::musictest {

inline TRef<TZemSource> MakeShow(const std::u16string& text) {
  auto ini = std::make_unique<TIniFile>();
  if (!ini->LoadFromText(text)) return {};
  return MakeRef<TZemSource>(std::move(ini), nullptr);
}

// Polls until the condition holds (true) or two seconds pass (false).
inline bool WaitUntil(const std::function<bool()>& cond) {
  for (int i = 0; i < 2000; ++i) {
    if (cond()) return true;
    SleepMs(1);
  }
  return cond();
}

struct TFakeState {
  std::atomic<double> clock{0};
  std::mutex lock;
  std::vector<std::string> log;            // "open NAME OFFSET", "seek NAME T", "play NAME", "stop NAME"
  std::map<std::string, int32_t> lengths;  // channel lengths by name (default 600000)
  bool initOk = true;
  std::atomic<bool> holdOpens{false};  // opens wait (up to 5 s) while set: a slow file

  void Add(const std::string& line) {
    std::lock_guard<std::mutex> g(lock);
    log.push_back(line);
  }
  int Count(const std::string& line) {
    std::lock_guard<std::mutex> g(lock);
    int n = 0;
    for (const auto& l : log) n += l == line;
    return n;
  }
  bool Has(const std::string& line) { return Count(line) > 0; }
  // Index of the last occurrence, or -1.
  int Last(const std::string& line) {
    std::lock_guard<std::mutex> g(lock);
    for (int i = int(log.size()) - 1; i >= 0; --i) {
      if (log[size_t(i)] == line) return i;
    }
    return -1;
  }
};

class TFakeChannel : public TChannel {
 public:
  TFakeChannel(TMusicPlayer* p, std::shared_ptr<TFakeState> s, std::string name, int32_t length)
      : player_(p), state_(std::move(s)), name_(std::move(name)), length_(length) {}
  TMusicPlayer* Player() const override { return player_; }
  WideString Name() const override { return Utf8ToWide(name_); }
  float GetVolume() override { return 1; }
  void SetVolume(float) override {}
  int32_t Length() const override { return length_; }
  int32_t Position() override { return 0; }
  void Seek(int32_t t) override { state_->Add("seek " + name_ + " " + std::to_string(t)); }
  void SetMasterFactor(float f) override { master_factor_ = f; }
  bool Play(int32_t) override {
    state_->Add("play " + name_);
    return !playing_.exchange(true);
  }
  bool Stop(int32_t) override {
    state_->Add("stop " + name_);
    return playing_.exchange(false);
  }
  bool IsPlaying() override { return playing_; }

 private:
  TMusicPlayer* player_;
  std::shared_ptr<TFakeState> state_;
  std::string name_;
  int32_t length_;
  std::atomic<bool> playing_{false};
};

class TFakeDevice : public TMusicPlayer {
 public:
  explicit TFakeDevice(std::shared_ptr<TFakeState> s) : state_(std::move(s)) {}
  bool Init() override { return state_->initOk; }
  double Clock() override { return state_->clock.load(); }
  std::unique_ptr<TChannel> OpenChannel(const WideString& name, int32_t offset_ms) override {
    const std::string n = WideToUtf8(name);
    for (int i = 0; i < 5000 && state_->holdOpens; ++i) SleepMs(1);
    state_->Add("open " + n + " " + std::to_string(offset_ms));
    if (n.find("missing") != std::string::npos) return nullptr;
    int32_t length = 600000;
    {
      std::lock_guard<std::mutex> g(state_->lock);
      if (state_->lengths.count(n)) length = state_->lengths[n];
    }
    return std::make_unique<TFakeChannel>(this, state_, n, length);
  }

 private:
  std::shared_ptr<TFakeState> state_;
};

}  // namespace zem::musictest
