#include "sound/music_channel.h"

#include "foundation/log.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "foundation/assert.h"
#include "foundation/clock.h"
#include "sound/channel_killer.h"
#include "sound/composite_converter.h"
#include "sound/composite_params.h"
#include "sound/converter_factory.h"
#include "sound/music_player_class.h"

namespace zem {

TMusicChannel::TMusicChannel(TChannelMusic* owner, TMusicPlayerClass& player, const WideString& name,
                             const TMediaInfo& info, std::atomic<int32_t>* live)
    : owner_(owner), live_(live), info_(info), name_(name) {
  if (live_) live_->fetch_add(1);
  free_stream_ = player.GetFreeStreamCallback();
  const TOpenStreamCallback& open = player.GetOpenStreamCallback();
  const WideString file = FilePartOfName(name);
  if (info_.format_code != kMediaComposite) {
    if (info_.mpeg_in_wave && info_.data_offset > 0) {
      stream_ = StreamWrapper().OpenWindow(file, info_.data_offset, &open);
      info_.data_offset = 0;
    } else {
      stream_ = StreamWrapper().Open(file, &open);
    }
    if (!stream_) {
      fail_reason_ = "not found (or its member is damaged)";
      return;
    }
    converter_ = CreateConverter(stream_, name, info_);
  } else {
    converter_ = CreateCompositeConverter(player, name, info_);
  }
  if (!converter_) {
    fail_reason_ = "no decoder for its format";
    return;
  }
  if (!converter_->Open(info_)) {
    fail_reason_ = "its decoder refused it";
    return;
  }
  // The buffer takes what the converter delivers: the source's PCM, 16-bit PCM for other
  // codings, or the internal format for float, 24-bit and 32-bit sources.
  out_format_ = converter_->Output().Format();
  if (out_format_.format_tag != kWaveFormatPcm || (out_format_.bits_per_sample != 8 && out_format_.bits_per_sample != 16)) {
    fail_reason_ = "its decoder gives no playable format";
    return;
  }
  TWaveOutDevice* device = player.Device();
  if (!device || !device->IsReady()) {
    fail_reason_ = "no sound output";
    return;
  }
  buffer_ = device->CreateBuffer(out_format_);
  if (!buffer_) {
    fail_reason_ = "the sound output gave no buffer";
    return;
  }
  buffer_->on_initial_fill = [this](TWaveOutBuffer*, uint8_t* d, uint32_t n) { OnInitialFill(d, n); };
  buffer_->on_stop_fade = [this](TWaveOutBuffer*, uint8_t* d, uint32_t n) { OnStopFade(d, n); };
  buffer_->on_refill = [this](TWaveOutBuffer*, uint8_t* d, uint32_t n) { OnRefill(d, n); };
  usable_ = true;
}

TMusicChannel::~TMusicChannel() {
  buffer_.reset();  // stops the refill thread first
  converter_.reset();
  if (stream_) StreamWrapper().Free(stream_, &free_stream_);
  std::lock_guard lock(owner_lock_);
  if (live_) live_->fetch_sub(1);  // last: the owner may be gone right after
}

void TMusicChannel::NotifyOwnerFreed(int32_t position_ms) {
  std::lock_guard lock(owner_lock_);
  if (owner_) owner_->PlaybackFreed(this, position_ms);
}

void TMusicChannel::LeaveToKiller() {
  {
    std::lock_guard lock(owner_lock_);
    owner_ = nullptr;
    live_ = nullptr;
  }
  // A playback that never reached its end gets the delay of an empty end.
  if (drain_delay_.load() < 0) {
    drain_tick_.store(TimeGetTime());
    drain_delay_.store(2020);
  }
  TChannelKiller::Instance().Add(shared_from_this());
}

void TMusicChannel::Seek(int32_t t_ms) {
  ZEM_ASSERT(state_.load() == kPrepared);
  ZEM_ASSERT(usable_);
  position_base_ = t_ms;
  converter_->Seek(t_ms);
  const uint32_t size = buffer_->PrebufferSize();
  bool more = converter_->Fill(size);
  NoteDecodeFailure();
  ended_at_source_ = !more;
  prebuffer_ = std::make_unique<TLocalBuffer>();
  prebuffer_->SetFormat(out_format_);
  prebuffer_->Append(converter_->Output().Data(), size);
  converter_->Output().Consume(size);
}

void TMusicChannel::Start(int32_t fade_ms) {
  if (!usable_ || state_.load() != kPrepared) return;
  if (!prebuffer_) Seek(0);
  {
    std::lock_guard lock(gain_lock_);
    int64_t n = std::max<int64_t>(1, static_cast<int64_t>(fade_ms) * out_format_.samples_per_sec / 1000);
    gain_ = 0;
    step_ = 1.0 / static_cast<double>(n);
    fading_in_ = true;
    fading_out_ = false;
    fade_out_frames_ = 0;
  }
  state_.store(kPlaying);
  buffer_->Start();
}

void TMusicChannel::Stop(int32_t fade_ms) {
  if (!usable_ || state_.load() != kPlaying) return;
  {
    std::lock_guard lock(gain_lock_);
    int64_t n = std::max<int64_t>(1, static_cast<int64_t>(fade_ms) * out_format_.samples_per_sec / 1000);
    fade_out_frames_ = n;
    fading_in_ = false;
    step_ = 1.0 / static_cast<double>(n);
  }
  state_.store(kStopping);
  stop_requested_.store(true);
  buffer_->RequestStop();
}

double TMusicChannel::Position() {
  if (!buffer_) return position_base_;
  return buffer_->PlayedTime() + position_base_;
}

void TMusicChannel::SetBufferVolume(float volume) {
  if (buffer_) buffer_->SetVolume(volume);
}

int64_t TMusicChannel::CopyWithGain(uint8_t* dest, const uint8_t* src, uint32_t bytes) {
  // A stop that came during a fade-in (or before any stop-fade region) continues as a fade-out.
  if (fade_out_frames_ > 0 && !fading_out_) {
    fading_in_ = false;
    fading_out_ = true;
  }
  if (!fading_in_ && !fading_out_) {
    if (dest != src) std::memcpy(dest, src, bytes);
    return -1;
  }
  const int bits = out_format_.bits_per_sample;
  if (bits != 8 && bits != 16) ZEM_FAIL("Unsupported sample width");
  const int channels = out_format_.channels;
  const uint32_t block = out_format_.block_align;
  int64_t reached = -1;
  for (uint32_t off = 0; off + block <= bytes; off += block) {
    for (int c = 0; c < channels; ++c) {
      if (bits == 16) {
        const uint8_t* s = src + off + 2 * c;
        int32_t v = static_cast<int16_t>(static_cast<uint16_t>(s[0] | (s[1] << 8)));
        int32_t r = static_cast<int32_t>(std::lround(gain_ * v));
        r = std::clamp(r, -32768, 32767);
        uint8_t* d = dest + off + 2 * c;
        d[0] = static_cast<uint8_t>(r & 0xFF);
        d[1] = static_cast<uint8_t>((r >> 8) & 0xFF);
      } else {
        int32_t x = src[off + c];
        int32_t r = 128 + static_cast<int32_t>(std::lround(gain_ * (x - 128)));
        dest[off + c] = static_cast<uint8_t>(std::clamp(r, 0, 255));
      }
    }
    if (fading_in_) {
      gain_ += step_;
      if (gain_ >= 1.0) {
        gain_ = 1.0;
        fading_in_ = false;
      }
    } else if (fading_out_) {
      if (gain_ > 0) {
        gain_ -= step_;
        if (gain_ <= 0) {
          gain_ = 0;
          reached = off + block;
        }
      } else if (reached < 0) {
        reached = off;  // stopped before anything was heard
      }
    }
  }
  return reached;
}

// Refill thread, under the output buffer's lock.
void TMusicChannel::OnInitialFill(uint8_t* dest, uint32_t bytes) {
  int64_t reached;
  {
    std::lock_guard lock(gain_lock_);
    uint32_t have = prebuffer_ ? static_cast<uint32_t>(std::min<int64_t>(prebuffer_->Size(), bytes)) : 0;
    if (have) reached = CopyWithGain(dest, prebuffer_->Data(), have);
    else reached = -1;
    if (have < bytes) std::memset(dest + have, out_format_.bits_per_sample == 8 ? 128 : 0, bytes - have);
    prebuffer_.reset();
  }
  if (reached >= 0)
    EndReached(static_cast<uint32_t>(reached));
  else if (ended_at_source_)
    EndReached(bytes);
}

// Refill thread, under the output buffer's lock: fades audio already queued after a stop.
void TMusicChannel::OnStopFade(uint8_t* dest, uint32_t bytes) {
  int64_t reached;
  {
    std::lock_guard lock(gain_lock_);
    if (fade_out_frames_ > 0) {
      fading_in_ = false;
      fading_out_ = true;
    }
    reached = CopyWithGain(dest, dest, bytes);
  }
  if (reached >= 0) EndReached(static_cast<uint32_t>(reached));
}

// Refill thread, under the output buffer's lock.
void TMusicChannel::NoteDecodeFailure() {
  if (decode_logged_ || !converter_->DecodeFailed()) return;
  decode_logged_ = true;
  LogMediaFailure("Sound", WideToUtf8(name_), "decoding failed; the rest plays as silence");
}

void TMusicChannel::OnRefill(uint8_t* dest, uint32_t bytes) {
  bool more = converter_->Fill(bytes);
  NoteDecodeFailure();
  if (!more) ended_at_source_ = true;
  int64_t reached;
  {
    std::lock_guard lock(gain_lock_);
    reached = CopyWithGain(dest, converter_->Output().Data(), bytes);
  }
  converter_->Output().Consume(bytes);
  if (reached >= 0)
    EndReached(static_cast<uint32_t>(reached));
  else if (ended_at_source_)
    EndReached(bytes);
}

// Refill thread: sets the drain delay and hands the playback to the killer (once; again only
// to shorten the delay after a stop request).
void TMusicChannel::EndReached(uint32_t bytes_written) {
  const bool again = handed_;
  if (again && !stop_requested_.load()) return;
  stop_requested_.store(false);
  const uint32_t bps = out_format_.avg_bytes_per_sec;
  int64_t delay = bps ? std::llround((static_cast<double>(bytes_written) + buffer_->QueuedBytes()) / bps * 1000.0) : 0;
  if (delay <= 0) delay += 2000;
  delay += 20;
  drain_tick_.store(TimeGetTime());
  drain_delay_.store(static_cast<int32_t>(std::min<int64_t>(delay, INT32_MAX)));
  if (!again) {
    handed_ = true;
    TChannelKiller::Instance().Add(shared_from_this());
  }
}

}  // namespace zem
