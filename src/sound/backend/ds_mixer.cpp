#include "sound/backend/ds_mixer.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

namespace zem {

struct TDSBufferState {
  std::vector<uint8_t> memory;  // fixed size; bytes written by Lock holders, read by the mixer
  TWaveFormat format;
  uint32_t frames = 0;
  // Everything below is guarded by TDSCore::lock.
  bool playing = false;
  bool looping = false;
  uint64_t pos = 0;            // play position in frames, 32.32 fixed point
  uint64_t step = 0;           // buffer frames per output frame, 32.32 fixed point
  int32_t volume = 0;
  double gain = 1.0;
};

struct TDSCore {
  std::mutex lock;
  std::vector<TDSBufferState*> buffers;  // guarded by lock
  int32_t period_frames = 1024;
  std::vector<int32_t> accumulator;      // audio thread only (under lock)
  std::atomic<int64_t> mixed_frames{0};
};

double DsVolumeToGain(int32_t v) {
  if (v <= DSBVOLUME_MIN) return 0.0;
  if (v >= 0) return 1.0;
  return std::pow(10.0, v / 2000.0);
}

// ------------------------------------------------------------------------------------------
// TDSBuffer

TDSBuffer::~TDSBuffer() {
  std::lock_guard lock(core_->lock);
  auto& v = core_->buffers;
  v.erase(std::remove(v.begin(), v.end(), state_.get()), v.end());
}

int32_t TDSBuffer::Lock(uint32_t offset, uint32_t bytes, void** p1, uint32_t* n1, void** p2, uint32_t* n2) {
  const uint32_t size = static_cast<uint32_t>(state_->memory.size());
  if (!p1 || !n1 || offset >= size || bytes > size) return DSERR_INVALIDPARAM;
  uint32_t first = std::min(bytes, size - offset);
  *p1 = state_->memory.data() + offset;
  *n1 = first;
  void* second = nullptr;
  uint32_t second_n = 0;
  if (first < bytes) {
    second = state_->memory.data();
    second_n = bytes - first;
  }
  if (p2) *p2 = second;
  if (n2) *n2 = second_n;
  if (!p2 && second_n) return DSERR_INVALIDPARAM;
  return DS_OK;
}

int32_t TDSBuffer::Unlock(void*, uint32_t, void*, uint32_t) {
  // Make the written bytes visible to the audio thread before it mixes them.
  std::lock_guard lock(core_->lock);
  return DS_OK;
}

int32_t TDSBuffer::Play(uint32_t flags) {
  std::lock_guard lock(core_->lock);
  state_->playing = true;
  state_->looping = (flags & DSBPLAY_LOOPING) != 0;
  return DS_OK;
}

int32_t TDSBuffer::Stop() {
  std::lock_guard lock(core_->lock);
  state_->playing = false;
  return DS_OK;
}

int32_t TDSBuffer::GetCurrentPosition(uint32_t* play, uint32_t* write) {
  std::lock_guard lock(core_->lock);
  const TDSBufferState& s = *state_;
  const uint32_t block = s.format.block_align;
  uint32_t frame = static_cast<uint32_t>(s.pos >> 32);
  if (s.frames) frame %= s.frames;
  uint32_t p = frame * block;
  if (play) *play = p;
  if (write) {
    uint32_t w = p;
    if (s.playing && s.frames) {
      // The mixer takes one device period at a time: that much is committed ahead.
      uint64_t lead = ((static_cast<uint64_t>(core_->period_frames) * s.step) >> 32) + 1;
      w = static_cast<uint32_t>(((frame + lead) % s.frames) * block);
    }
    *write = w;
  }
  return DS_OK;
}

int32_t TDSBuffer::SetCurrentPosition(uint32_t position) {
  std::lock_guard lock(core_->lock);
  TDSBufferState& s = *state_;
  if (s.format.block_align == 0 || position >= s.memory.size()) return DSERR_INVALIDPARAM;
  s.pos = static_cast<uint64_t>(position / s.format.block_align) << 32;
  return DS_OK;
}

int32_t TDSBuffer::SetVolume(int32_t volume) {
  if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
  std::lock_guard lock(core_->lock);
  state_->volume = volume;
  state_->gain = DsVolumeToGain(volume);
  return DS_OK;
}

int32_t TDSBuffer::GetVolume(int32_t* volume) {
  if (!volume) return DSERR_INVALIDPARAM;
  std::lock_guard lock(core_->lock);
  *volume = state_->volume;
  return DS_OK;
}

bool TDSBuffer::IsPlaying() const {
  std::lock_guard lock(core_->lock);
  return state_->playing;
}

uint32_t TDSBuffer::Bytes() const { return static_cast<uint32_t>(state_->memory.size()); }

// ------------------------------------------------------------------------------------------
// TDSDevice

std::unique_ptr<TDSDevice> TDSDevice::Create() {
  return Create(AudioBackendKind() == TAudioBackendKind::Null ? CreateNullAudioOutput() : CreateSdlAudioOutput());
}

std::unique_ptr<TDSDevice> TDSDevice::Create(std::unique_ptr<TAudioOutput> output) {
  if (!output) return nullptr;
  std::unique_ptr<TDSDevice> dev(new TDSDevice());
  dev->core_ = std::make_shared<TDSCore>();
  TDSDevice* raw = dev.get();
  if (!output->Open([raw](int16_t* out, int32_t frames) { raw->Mix(out, frames); })) return nullptr;
  dev->output_ = std::move(output);
  {
    std::lock_guard lock(dev->core_->lock);
    dev->core_->period_frames = std::max(1, dev->output_->PeriodFrames());
  }
  return dev;
}

TDSDevice::~TDSDevice() {
  if (output_) output_->Close();
}

int32_t TDSDevice::SetCooperativeLevel(int32_t) { return DS_OK; }

int32_t TDSDevice::CreateSoundBuffer(const TDSBufferDesc& desc, std::unique_ptr<TDSBuffer>& buffer) {
  buffer.reset();
  const TWaveFormat& f = desc.format;
  if (f.format_tag != kWaveFormatPcm || (f.channels != 1 && f.channels != 2) ||
      (f.bits_per_sample != 8 && f.bits_per_sample != 16) || f.samples_per_sec < 100 ||
      f.samples_per_sec > 384000 || f.block_align != f.channels * f.bits_per_sample / 8)
    return DSERR_INVALIDPARAM;
  if (desc.buffer_bytes < f.block_align || desc.buffer_bytes > (64u << 20) || desc.buffer_bytes % f.block_align)
    return DSERR_INVALIDPARAM;
  auto state = std::make_shared<TDSBufferState>();
  state->format = f;
  state->memory.assign(desc.buffer_bytes, f.bits_per_sample == 8 ? 128 : 0);
  state->frames = desc.buffer_bytes / f.block_align;
  state->step = (static_cast<uint64_t>(f.samples_per_sec) << 32) / kInternalRate;
  {
    std::lock_guard lock(core_->lock);
    core_->buffers.push_back(state.get());
  }
  buffer.reset(new TDSBuffer(core_, std::move(state)));
  return DS_OK;
}

int32_t TDSDevice::PeriodFrames() const {
  std::lock_guard lock(core_->lock);
  return core_->period_frames;
}

int32_t TDSDevice::PlayingBuffers() const {
  std::lock_guard lock(core_->lock);
  int32_t n = 0;
  for (const TDSBufferState* s : core_->buffers) n += s->playing ? 1 : 0;
  return n;
}

namespace {

inline int32_t SampleAt(const TDSBufferState& s, uint32_t frame, int ch) {
  const uint8_t* p = s.memory.data() + static_cast<size_t>(frame) * s.format.block_align;
  if (s.format.bits_per_sample == 8) return (static_cast<int32_t>(p[ch]) - 128) << 8;
  return static_cast<int16_t>(static_cast<uint16_t>(p[2 * ch] | (p[2 * ch + 1] << 8)));
}

// Adds `frames` output frames of one buffer into acc; under the mixer's lock.
void MixBuffer(TDSBufferState& s, int32_t* acc, int32_t frames) {
  if (s.gain <= 0.0) {
    // Silent, but the cursor still moves.
    uint64_t end = s.pos + s.step * static_cast<uint64_t>(frames);
    uint64_t limit = static_cast<uint64_t>(s.frames) << 32;
    if (!s.looping && end >= limit) {
      s.pos = 0;
      s.playing = false;
    } else {
      s.pos = s.looping ? end % limit : end;
    }
    return;
  }
  const int channels = s.format.channels;
  const int32_t gain = static_cast<int32_t>(std::lround(s.gain * 65536.0));
  const uint64_t limit = static_cast<uint64_t>(s.frames) << 32;
  for (int32_t i = 0; i < frames; ++i) {
    if (s.pos >= limit) {
      if (!s.looping) {
        s.pos = 0;
        s.playing = false;
        return;
      }
      s.pos %= limit;
    }
    uint32_t f0 = static_cast<uint32_t>(s.pos >> 32);
    uint32_t f1 = f0 + 1;
    if (f1 >= s.frames) f1 = s.looping ? 0 : f0;
    int64_t frac = static_cast<int64_t>((s.pos >> 16) & 0xFFFF);
    for (int c = 0; c < 2; ++c) {
      int ch = channels == 1 ? 0 : c;
      int32_t a = SampleAt(s, f0, ch);
      int32_t b = SampleAt(s, f1, ch);
      int64_t v = a + (((b - a) * frac) >> 16);
      acc[2 * i + c] += static_cast<int32_t>((v * gain) >> 16);
    }
    s.pos += s.step;
  }
  if (s.looping) s.pos %= limit;
}

}  // namespace

void TDSDevice::Mix(int16_t* out, int32_t frames) {
  if (frames <= 0) return;
  std::lock_guard lock(core_->lock);
  auto& acc = core_->accumulator;
  acc.assign(static_cast<size_t>(frames) * 2, 0);
  for (TDSBufferState* s : core_->buffers)
    if (s->playing && s->frames) MixBuffer(*s, acc.data(), frames);
  for (size_t i = 0; i < acc.size(); ++i) out[i] = static_cast<int16_t>(std::clamp(acc[i], -32768, 32767));
  core_->mixed_frames.fetch_add(frames);
}

int64_t TDSDevice::MixedFrames() const { return core_->mixed_frames.load(); }

}  // namespace zem
