#include "sound/mpeg_converter.h"

#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "sound/mpeg_frame.h"
#include "sound/stream_access.h"

namespace zem {

namespace {
int g_use_count = 0;  // guarded by MpegDecoderLock()
}

std::recursive_mutex& MpegDecoderLock() {
  static std::recursive_mutex lock;
  return lock;
}

TMpegConverter::TMpegConverter() {
  std::lock_guard lock(MpegDecoderLock());
  if (g_use_count++ == 0) mpg123_init();
}

TMpegConverter::~TMpegConverter() {
  std::lock_guard lock(MpegDecoderLock());
  if (handle_) mpg123_delete(handle_);
  handle_ = nullptr;
  if (--g_use_count == 0) mpg123_exit();
}

void TMpegConverter::ResetDecoder() {
  std::lock_guard lock(MpegDecoderLock());
  if (handle_) mpg123_delete(handle_);
  handle_ = mpg123_new(nullptr, nullptr);
  if (!handle_) return;
  mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
  // Frames in, frames out: positions stay those of the frame walk (no encoder-delay trimming).
  mpg123_param(handle_, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0);
  mpg123_format_none(handle_);
  const TWaveFormat& f = info_.wave_format;
  mpg123_format(handle_, static_cast<long>(f.samples_per_sec), f.channels == 1 ? MPG123_MONO : MPG123_STEREO,
                MPG123_ENC_SIGNED_16);
  if (mpg123_open_feed(handle_) != MPG123_OK) {
    mpg123_delete(handle_);
    handle_ = nullptr;
  }
}

bool TMpegConverter::Open(const TMediaInfo& info) {
  const TWaveFormat& f = info.wave_format;
  if (f.format_tag != kWaveFormatPcm || f.bits_per_sample != 16 || (f.channels != 1 && f.channels != 2) ||
      f.samples_per_sec < 8000 || f.samples_per_sec > 48000)
    return false;
  info_ = info;
  ResetDecoder();
  if (!handle_) return false;
  if (!TWavConverter::Open(info)) return false;
  const bool vbr = info.extra[0] != 0;
  read_chunk_ = vbr || info.largest_frame == 0 ? 4096 : static_cast<int32_t>(std::min<uint32_t>(6 * info.largest_frame, 4096));
  decoded_.SetFormat(f);
  decoded_.Reserve(16384);
  return true;
}

bool TMpegConverter::Read() {
  const int64_t before = input_.Size();
  bool got = TWavConverter::Read();
  if (!got && before == 0) return false;
  // Keep whole frames at the front; skip bytes that do not start a valid frame of this stream.
  uint8_t* d = input_.Data();
  const int64_t n = input_.Size();
  int64_t r = 0, w = 0;
  TMpegFrameHeader h;
  while (r + 4 <= n) {
    if (ParseMpegHeader(d + r, h) && h.sample_rate == static_cast<int>(info_.wave_format.samples_per_sec)) {
      if (r + h.frame_length > n) break;  // a partial frame waits for the next read
      if (w != r) std::memmove(d + w, d + r, static_cast<size_t>(h.frame_length));
      w += h.frame_length;
      r += h.frame_length;
    } else {
      ++r;
    }
  }
  // Bytes from r on are kept as the start of the next frame.
  if (!got) r = n;  // at the end of the data a partial frame cannot complete
  if (r < n && w != r) std::memmove(d + w, d + r, static_cast<size_t>(n - r));
  int64_t tail = n - r;
  input_.Clear();
  input_.Commit(w + tail);
  feed_bytes_ = w;
  return got || w > 0;
}

bool TMpegConverter::Process(TLocalBuffer& in) {
  bool failed = false;
  {
    std::lock_guard lock(MpegDecoderLock());
    if (!handle_) return false;
    if (feed_bytes_ > 0 && mpg123_feed(handle_, in.Data(), static_cast<size_t>(feed_bytes_)) != MPG123_OK) failed = true;
    while (!failed) {
      if (decoded_.FreeBytes() < 8192) decoded_.MakeRoom(8192);
      size_t done = 0;
      int rc = mpg123_read(handle_, decoded_.FreeSpace(), static_cast<size_t>(decoded_.FreeBytes()), &done);
      decoded_.Commit(static_cast<int64_t>(done) - static_cast<int64_t>(done) % decoded_.Format().block_align);
      if (rc == MPG123_NEW_FORMAT) continue;
      if (rc == MPG123_NEED_MORE || rc == MPG123_DONE) break;
      if (rc != MPG123_OK) {
        failed = true;
        break;
      }
      if (done == 0) break;
    }
  }
  in.Consume(feed_bytes_);
  feed_bytes_ = 0;
  if (failed) {
    // A decoder error ends this call without output.
    decoded_.Clear();
    return false;
  }
  // Success only when the decoded buffer holds bytes.
  if (decoded_.Empty()) return false;
  return ProcessPcm(decoded_);
}

int64_t TMpegConverter::NextFrameAt(int64_t pos) {
  TStreamWrapperClass& sw = StreamWrapper();
  const int64_t end = static_cast<int64_t>(info_.data_offset) + info_.data_size;
  std::vector<uint8_t> buf(16384);
  while (pos + 4 <= end) {
    if (sw.Seek(stream_, pos, 0) != pos) return -1;
    int64_t want = std::min<int64_t>(static_cast<int64_t>(buf.size()), end - pos);
    int64_t got = sw.Read(stream_, buf.data(), want);
    if (got < 4) return -1;
    TMpegFrameHeader h, h2;
    int64_t restart = -1;
    for (int64_t i = 0; i + 4 <= got; ++i) {
      if (!ParseMpegHeader(&buf[i], h)) continue;
      int64_t j = i + h.frame_length;
      if (j + 4 <= got) {
        if (ParseMpegHeader(&buf[j], h2)) return pos + i;
        continue;
      }
      if (pos + j + 4 > end) return pos + i;  // the last frame of the data
      restart = i;                            // its successor lies beyond this block
      break;
    }
    if (restart > 0) {
      pos += restart;
    } else if (restart == 0 || got < 8) {
      return -1;
    } else {
      pos += got - 3;  // overlap so that a header across the block edge is seen
    }
  }
  return -1;
}

void TMpegConverter::Seek(double t_ms) {
  ResetDecoder();
  input_.Clear();
  output_.Clear();
  decoded_.Clear();
  feed_bytes_ = 0;
  if (resampler_) resampler_->Reset();
  position_ = t_ms;
  if (!stream_) return;
  const double t = std::max(0.0, t_ms);
  const double lead = std::min(t, 100.0);
  const double target = t - lead;
  const int64_t data_start = info_.data_offset;
  const int64_t data_end = data_start + info_.data_size;
  TStreamWrapperClass& sw = StreamWrapper();
  double remainder = 0;
  int64_t pos = data_start;
  const bool vbr = info_.extra[0] != 0;
  if (vbr) {
    // Walk the frame headers, subtracting the time of each frame.
    double ft = info_.frame_time > 0 ? info_.frame_time : 26.0;
    if (target >= ft) {
      remainder = target;
      uint8_t hb[4];
      TMpegFrameHeader h;
      // The first frame holds the VBR header, not audio: the frame count starts after it.
      if (sw.Seek(stream_, pos, 0) == pos && sw.Read(stream_, hb, 4) == 4 && ParseMpegHeader(hb, h))
        pos += h.frame_length;
      while (remainder > 0 && pos + 4 <= data_end) {
        if (sw.Seek(stream_, pos, 0) != pos || sw.Read(stream_, hb, 4) != 4) break;
        if (!ParseMpegHeader(hb, h)) {
          int64_t next = NextFrameAt(pos + 1);
          if (next < 0) break;
          pos = next;
          continue;
        }
        pos += h.frame_length;
        remainder -= ft;
      }
      if (remainder > 0) remainder = 0;
    }
  } else if (info_.duration > 0 && target > 0) {
    int64_t guess = data_start + static_cast<int64_t>(static_cast<double>(info_.data_size) * target / info_.duration);
    int64_t next = NextFrameAt(std::min(guess, data_end));
    pos = next >= 0 ? next : data_end;
  }
  sw.Seek(stream_, pos, 0);
  // Decode the lead-in (so the bit reservoir is filled) and drop it.
  const TWaveFormat& f = info_.wave_format;
  const int64_t drop = (static_cast<int64_t>(f.samples_per_sec) * static_cast<int64_t>(lead) / 1000) * f.block_align;
  if (drop > 0) {
    const int64_t tenth = std::max<int64_t>(1, (f.samples_per_sec / 10) * f.block_align);
    // Bytes of the lead-in in the output format (the output may be resampled).
    const double scale = static_cast<double>(output_.Format().avg_bytes_per_sec) / f.avg_bytes_per_sec;
    const int64_t drop_out = static_cast<int64_t>(std::llround(drop * scale)) / output_.Format().block_align *
                             output_.Format().block_align;
    int64_t want = 0;
    for (int i = 0; i < 11 && output_.Size() < drop_out; ++i) {
      want += static_cast<int64_t>(std::llround(tenth * scale));
      Fill(want);
    }
    output_.Consume(drop_out);
  }
  position_ = t - remainder;
}

}  // namespace zem
