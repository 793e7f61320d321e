#include "sound/backend/export_audio.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "sound/backend/ds_mixer.h"
#include "sound/ds_wave_out.h"

namespace zem {

class TExportWaveOutBuffer;

// One started buffer as the mixer sees it. Guarded by TExportAudio::lock_.
struct TExportStream {
  TWaveFormat format;
  uint32_t block = 0;
  std::vector<uint8_t> data;  // queued source audio; [read, committed) is still to be played
  size_t read = 0;
  size_t committed = 0;
  uint64_t pos = 0;   // position past the frame at `read`, source frames in 32.32 fixed point
  uint64_t step = 0;  // source frames per output frame, 32.32
  double gain = 1.0;
  int64_t mixed = 0;  // output frames mixed since the start
  TExportWaveOutBuffer* owner = nullptr;  // null once the buffer is freed: the rest drains

  size_t Frames() const { return (committed - read) / block; }
  int32_t Sample(size_t frame, int channel) const {
    const uint8_t* p = data.data() + read + frame * block;
    const int ch = format.channels == 1 ? 0 : channel;
    if (format.bits_per_sample == 8) return (int32_t(p[ch]) - 128) << 8;
    int16_t v;
    std::memcpy(&v, p + 2 * ch, 2);
    return v;
  }
};

class TExportWaveOutBuffer : public TWaveOutBuffer {
 public:
  TExportWaveOutBuffer(std::shared_ptr<TExportAudio> core, const TWaveFormat& format) : core_(std::move(core)) {
    stream_ = std::make_shared<TExportStream>();
    stream_->format = format;
    stream_->block = format.block_align;
    stream_->step = (uint64_t(format.samples_per_sec) << 32) / TExportAudio::kRate;
    stream_->owner = this;
  }

  // Killer thread (or whoever frees the playback): what is queued still plays; no callback
  // runs after this.
  ~TExportWaveOutBuffer() override {
    std::lock_guard lock(core_->lock_);
    stream_->owner = nullptr;
    if (stream_->Frames() == 0) std::erase(core_->streams_, stream_);
  }

  float GetVolume() override {
    std::lock_guard lock(core_->lock_);
    return volume_;
  }
  // The same attenuation steps as the DirectSound stand-in, so exports sound as playback does.
  void SetVolume(float volume) override {
    std::lock_guard lock(core_->lock_);
    volume_ = volume;
    stream_->gain = DsVolumeToGain(TwinWaveOutBuffer::GainToHundredths(volume));
  }

  void Start() override {
    std::lock_guard lock(core_->lock_);
    if (started_) return;
    started_ = true;
    core_->streams_.push_back(stream_);
    Append(on_initial_fill, PrebufferSize());
  }

  // The queued audio fades out at once, then a little more is taken so that the fade ends
  // (and the playback reaches its end) without waiting for a pull.
  void RequestStop() override {
    std::lock_guard lock(core_->lock_);
    if (!started_) return;
    TExportStream& s = *stream_;
    const size_t from = s.read, end = s.committed;
    if (end > from && on_stop_fade) {
      s.committed = from;  // the faded part does not count as queued while the fade runs
      on_stop_fade(this, s.data.data() + from, uint32_t(end - from));
      s.committed = end;
    }
    Append(on_refill, uint32_t(TExportAudio::kStopLeadFrames) * s.block);
  }

  uint32_t PrebufferSize() const override { return uint32_t(TExportAudio::kPrebufferFrames) * stream_->block; }

  uint32_t QueuedBytes() override {
    std::lock_guard lock(core_->lock_);
    return uint32_t(stream_->committed - stream_->read);
  }

  double PlayedTime() override {
    std::lock_guard lock(core_->lock_);
    return double(stream_->mixed) * 1000.0 / TExportAudio::kRate;
  }

  // Under the core's lock: asks the playback for `bytes` more audio at the end of the queue.
  void Append(const TWaveOutCallback& cb, uint32_t bytes) {
    TExportStream& s = *stream_;
    bytes -= bytes % s.block;
    if (!cb || bytes == 0) return;
    if (s.read > 0 && s.read * 2 >= s.data.size()) {
      s.data.erase(s.data.begin(), s.data.begin() + std::ptrdiff_t(s.read));
      s.committed -= s.read;
      s.read = 0;
    }
    s.data.resize(s.committed + bytes);
    // During the call the new part is not queued yet (EndReached adds it itself).
    cb(this, s.data.data() + s.committed, bytes);
    s.committed += bytes;
  }

 private:
  std::shared_ptr<TExportAudio> core_;
  std::shared_ptr<TExportStream> stream_;
  bool started_ = false;  // guarded by the core's lock
  float volume_ = 1.0f;   // guarded by the core's lock
};

class TExportTimerChannel : public TTimerChannel {
 public:
  explicit TExportTimerChannel(std::shared_ptr<TExportAudio> core) : core_(std::move(core)) {}
  double GetTime() override {
    std::lock_guard lock(m_);
    return TimeLocked();
  }
  void SetTime(double t_ms) override {
    std::lock_guard lock(m_);
    base_ = t_ms;
    at_ = core_->FramesPulled();
  }
  bool IsRunning() override {
    std::lock_guard lock(m_);
    return running_;
  }
  void Start() override {
    std::lock_guard lock(m_);
    if (running_) return;
    running_ = true;
    at_ = core_->FramesPulled();
  }
  void Stop() override {
    std::lock_guard lock(m_);
    if (!running_) return;
    base_ = TimeLocked();
    running_ = false;
  }

 private:
  double TimeLocked() const {
    if (!running_) return base_;
    return base_ + double(core_->FramesPulled() - at_) * 1000.0 / TExportAudio::kRate;
  }
  std::shared_ptr<TExportAudio> core_;
  std::mutex m_;  // guards the fields below
  bool running_ = false;
  double base_ = 0;
  int64_t at_ = 0;
};

class TExportWaveOutDevice : public TWaveOutDevice {
 public:
  explicit TExportWaveOutDevice(std::shared_ptr<TExportAudio> core) : core_(std::move(core)) {}
  bool IsReady() const override { return true; }
  std::unique_ptr<TWaveOutBuffer> CreateBuffer(const TWaveFormat& f) override {
    if (f.format_tag != kWaveFormatPcm || (f.channels != 1 && f.channels != 2) ||
        (f.bits_per_sample != 8 && f.bits_per_sample != 16) || f.samples_per_sec < 100 ||
        f.samples_per_sec > 384000 || f.block_align != f.channels * f.bits_per_sample / 8)
      return nullptr;
    return std::make_unique<TExportWaveOutBuffer>(core_, f);
  }
  std::unique_ptr<TTimerChannel> CreateTimerChannel() override {
    return std::make_unique<TExportTimerChannel>(core_);
  }

 private:
  std::shared_ptr<TExportAudio> core_;
};

std::shared_ptr<TExportAudio> TExportAudio::Create() { return std::shared_ptr<TExportAudio>(new TExportAudio()); }

std::unique_ptr<TWaveOutDevice> TExportAudio::MakeDevice() {
  return std::make_unique<TExportWaveOutDevice>(shared_from_this());
}

int32_t TExportAudio::Streams() const {
  std::lock_guard lock(lock_);
  return int32_t(streams_.size());
}

// Under lock_: adds `frames` output frames of one stream into acc (linear interpolation for
// other rates, as the DirectSound stand-in does).
void TExportAudio::MixStream(TExportStream& s, int32_t* acc, int32_t frames) {
  constexpr uint64_t kOne = uint64_t(1) << 32;
  const bool exact = s.step == kOne;
  const size_t need = size_t((s.pos + s.step * uint64_t(frames - 1)) >> 32) + (exact ? 1 : 2);
  if (s.Frames() < need && s.owner) {
    const size_t more = std::max<size_t>(need - s.Frames(), 256);
    s.owner->Append(s.owner->on_refill, uint32_t(more * s.block));
  }
  const size_t avail = s.Frames();
  const int32_t gain = int32_t(std::lround(s.gain * 65536.0));
  for (int32_t i = 0; i < frames; ++i) {
    const size_t f0 = size_t(s.pos >> 32);
    if (f0 >= avail) break;  // a freed buffer has played out
    const size_t f1 = std::min(f0 + 1, avail - 1);
    const int64_t frac = exact ? 0 : int64_t((s.pos >> 16) & 0xFFFF);
    for (int c = 0; c < 2; ++c) {
      const int32_t a = s.Sample(f0, c);
      const int64_t v = frac ? a + (((s.Sample(f1, c) - a) * frac) >> 16) : a;
      acc[2 * i + c] += int32_t((v * gain) >> 16);
    }
    s.pos += s.step;
  }
  s.mixed += frames;
  const size_t done = std::min<size_t>(size_t(s.pos >> 32), avail);
  s.read += done * s.block;
  s.pos -= uint64_t(done) << 32;
}

void TExportAudio::Pull(int16_t* out, int32_t frames) {
  if (frames <= 0) return;
  std::lock_guard lock(lock_);
  acc_.assign(size_t(frames) * 2, 0);
  // A refill may free nothing here (freeing happens on the killer thread), but copy the list:
  // callbacks may start other buffers.
  const auto streams = streams_;
  for (const auto& s : streams) MixStream(*s, acc_.data(), frames);
  std::erase_if(streams_, [](const std::shared_ptr<TExportStream>& s) { return !s->owner && s->Frames() == 0; });
  for (size_t i = 0; i < acc_.size(); ++i) out[i] = int16_t(std::clamp(acc_[i], -32768, 32767));
  pulled_.fetch_add(frames, std::memory_order_acq_rel);
}

}  // namespace zem
