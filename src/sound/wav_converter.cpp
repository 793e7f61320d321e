#include "sound/wav_converter.h"

#include <cmath>

#include "foundation/assert.h"
#include "sound/stream_access.h"

namespace zem {

bool TWavConverter::Open(const TMediaInfo& info) {
  const TWaveFormat& f = info.wave_format;
  read_chunk_ = f.bits_per_sample == 24 ? kReadChunk24 : kReadChunk;
  input_.SetFormat(f);
  output_.SetFormat(f);
  input_.Reserve(read_chunk_);
  output_.Reserve(read_chunk_);
  info_ = info;
  has_target_ = false;
  resampler_.reset();
  Seek(0);
  if (info.format_code == kMediaFloatWave || f.bits_per_sample == 24 || f.bits_per_sample == 32) {
    if (!TPcmResampler::SupportsInput(f)) return false;
    SetTargetFormat(InternalFormat());
  }
  return true;
}

void TWavConverter::SetTargetFormat(const TWaveFormat& f) {
  ZEM_ASSERT(TPcmResampler::SupportsOutput(f));
  if (!resampler_) resampler_ = std::make_unique<TPcmResampler>();
  target_ = f;
  has_target_ = true;
  output_.SetFormat(f);
}

void TWavConverter::Seek(double t_ms) {
  input_.Clear();
  output_.Clear();
  if (resampler_) resampler_->Reset();
  const TWaveFormat& f = info_.wave_format;
  if (f.block_align > 0 && f.avg_bytes_per_sec > 0 && stream_) {
    int64_t bytes = std::llround(std::max(0.0, t_ms) / 1000.0 * f.avg_bytes_per_sec);
    int64_t frames = bytes / f.block_align;
    StreamWrapper().Seek(stream_, static_cast<int64_t>(info_.data_offset) + frames * f.block_align, 0);
  }
  position_ = t_ms;
}

bool TWavConverter::Read() {
  if (!stream_) return false;
  input_.MakeRoom(read_chunk_);
  int64_t end = static_cast<int64_t>(info_.data_offset) + info_.data_size;
  // Read at most one chunk, even when more room is free.
  int64_t before = input_.Size();
  TStreamWrapperClass& sw = StreamWrapper();
  int64_t pos = sw.Position(stream_);
  if (pos < 0 || pos >= end) return false;
  int64_t want = std::min<int64_t>({static_cast<int64_t>(read_chunk_), end - pos, input_.FreeBytes()});
  int64_t got = sw.Read(stream_, input_.FreeSpace(), want);
  if (got <= 0) return false;
  input_.Commit(got);
  return input_.Size() > before;
}

bool TWavConverter::Process(TLocalBuffer& in) { return ProcessPcm(in); }

bool TWavConverter::ProcessPcm(TLocalBuffer& in) {
  int64_t before = output_.Size();
  if (resampler_ && has_target_ && !(in.Format() == target_)) {
    if (!TPcmResampler::SupportsInput(in.Format())) {
      in.Clear();
      return false;
    }
    if (!(resampler_->InputFormat() == in.Format()) || !(resampler_->OutputFormat() == target_))
      resampler_->SetFormats(in.Format(), target_);
    int64_t whole = in.Size() - in.Size() % resampler_->InputFrameBytes();
    int64_t out_bytes = resampler_->OutputSize(whole);
    output_.MakeRoom(out_bytes);
    int64_t written = resampler_->Convert(in.Data(), whole, output_.FreeSpace());
    output_.Commit(written);
    in.Consume(whole);
  } else {
    output_.MakeRoom(in.Size());
    output_.AppendFrom(in);
  }
  uint32_t bps = output_.Format().avg_bytes_per_sec;
  if (bps > 0) position_ += static_cast<double>(output_.Size() - before) * 1000.0 / bps;
  return true;
}

bool TWavConverter::Fill(int64_t n) {
  if (output_.Size() >= n) return true;
  while (output_.Size() < n) {
    if (Read()) {
      if (!Process(input_)) {
        decode_failed_ = true;
        output_.Pad(0, n - output_.Size());
        return false;
      }
    } else {
      bool had = output_.Size() > 0;
      uint8_t silence = output_.Format().bits_per_sample == 8 ? 128 : 0;
      output_.Pad(silence, n - output_.Size());
      return had;
    }
  }
  return true;
}

}  // namespace zem
