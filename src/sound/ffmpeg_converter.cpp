#include "sound/ffmpeg_converter.h"

#include "foundation/strings.h"

namespace zem {

TFFMpegConverter::~TFFMpegConverter() { CloseMedia(); }

void TFFMpegConverter::CloseMedia() {
  if (lib_) {
    if (media_) {
      if (audioOpen_) lib_->CloseAudioStream(media_);
      lib_->CloseMedia(media_);
    }
    lib_->Release();
  }
  lib_ = nullptr;
  media_ = nullptr;
  audioOpen_ = false;
}

bool TFFMpegConverter::Open(const TMediaInfo& info) {
  CloseMedia();
  if (!stream_ || !TWavConverter::Open(info)) return false;
  TFFMpegAudioLibrary* lib = FFMpegAudioLibrary();
  if (!lib || !lib->Acquire()) return false;
  lib_ = lib;
  media_ = lib->OpenMedia(WideToUtf8(FilePartOfName(name_)), stream_, SoundStreamRoutines());
  const int32_t track = TrackOfName(name_);
  TFFAudioTrack t;
  if (!media_ || !lib->HasAudio(media_) || !lib->GetAudioInfo(media_, track, t) ||
      !lib->OpenAudioStream(media_, track)) {
    CloseMedia();
    return false;
  }
  audioOpen_ = true;
  if (t.bits < 8) t.bits = 16;
  decoded_.Clear();
  decoded_.SetFormat(PcmFormat(uint32_t(t.sampleRate), uint16_t(t.channels), uint16_t(t.bits)));
  output_.SetFormat(InternalFormat());
  // Audio in the internal format is copied; anything else goes through the resampler.
  if (!(decoded_.Format() == InternalFormat())) {
    if (!TPcmResampler::SupportsInput(decoded_.Format())) {
      CloseMedia();
      return false;
    }
    SetTargetFormat(InternalFormat());
  }
  return true;
}

void TFFMpegConverter::Seek(double t_ms) {
  input_.Clear();
  output_.Clear();
  decoded_.Clear();
  if (resampler_) resampler_->Reset();
  if (lib_ && media_) lib_->AudioSeek(media_, t_ms);
  position_ = t_ms;
}

bool TFFMpegConverter::Process(TLocalBuffer&) {
  if (!lib_ || !media_) return false;
  int32_t bytes = 0;
  const uint8_t* data = lib_->NextAudio(media_, bytes);
  const int32_t align = decoded_.Format().block_align > 0 ? decoded_.Format().block_align : 1;
  bytes -= bytes % align;
  if (data && bytes > 0) decoded_.Append(data, bytes);
  if (decoded_.Empty()) return false;
  return ProcessPcm(decoded_);
}

}  // namespace zem
