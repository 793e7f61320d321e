// Writing a video file through libavformat and libavcodec. The container follows the file's
// extension (.mp4, .m4v, .mov: H.264 and AAC; .mkv: H.264 and Opus; .webm: VP9 and Opus), each
// with the best encoder this FFmpeg offers for it. Pictures arrive as 32-bit BGRA (or converted
// already by a TPictureConverter), sound as 44100 Hz stereo 16-bit; both are converted here
// (BT.709, limited range, 4:2:0 for the video; the audio encoder's rate and sample format). The
// file is written under a temporary name beside the target and renamed only by Finish, so a
// failed or cut export never leaves a file that looks done.
//
// Threads: one thread at a time (the exporter opens and finishes it, its encoding thread feeds
// it in between).
#pragma once
#include <cstdint>
#include <memory>
#include <string>

struct AVCodecContext;
struct AVFrame;
struct AVStream;

namespace zem {

struct TEncodeSettings {
  int32_t width = 0, height = 0;  // even, 2..16384
  int32_t fps = 30;               // 1..240
  int32_t quality = 80;           // 1..100; higher is better and larger
};

// What a file name asks for. `videoCodec` / `audioCodec` are the encoders chosen.
struct TContainerChoice {
  std::string format;      // libavformat muxer name
  std::string videoCodec;  // e.g. "libx264", "libvpx-vp9"
  std::string audioCodec;  // e.g. "aac", "libopus", "libvorbis"
};

// False with `error` for an extension that is not a supported video type, or when this FFmpeg
// has no encoder for it.
bool ChooseContainer(const std::string& path, TContainerChoice& choice, std::string& error);

// The name of the temporary file Open writes (the target with ".part" added).
std::string PartialPath(const std::string& path);

// One picture in the video encoder's own layout (4:2:0 planes), made by a TPictureConverter on
// any thread and handed to the encoder on its own; movable, empty until converted into. Its
// planes are reused for the next conversion once the encoder holds them no more.
class TEncoderPicture {
 public:
  TEncoderPicture();
  ~TEncoderPicture();
  TEncoderPicture(TEncoderPicture&& other) noexcept;
  TEncoderPicture& operator=(TEncoderPicture&& other) noexcept;
  TEncoderPicture(const TEncoderPicture&) = delete;
  TEncoderPicture& operator=(const TEncoderPicture&) = delete;

  bool Empty() const;

 private:
  friend class TPictureConverter;
  friend class TMediaEncoder;
  AVFrame* frame_ = nullptr;
};

class TMediaEncoder;

// BGRA pictures into the video encoder's layout (BT.709, limited range, 4:2:0), so that the
// conversion can run where the pixels are (the exporter converts straight out of the device's
// read-back buffer on its drawing thread) rather than on the encoder's thread.
//
// Threads: one thread at a time; independent of the encoder's thread.
class TPictureConverter {
 public:
  // For the pictures of an open encoder.
  explicit TPictureConverter(const TMediaEncoder& encoder);
  ~TPictureConverter();
  TPictureConverter(const TPictureConverter&) = delete;
  TPictureConverter& operator=(const TPictureConverter&) = delete;

  // `first` points at the top row, `stride` bytes from one row to the next as shown (negative
  // for pictures stored bottom row first). False when out of memory.
  bool Convert(const uint8_t* first, int64_t stride, TEncoderPicture& into);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

class TMediaEncoder {
 public:
  TMediaEncoder();
  // Abort unless finished.
  ~TMediaEncoder();
  TMediaEncoder(const TMediaEncoder&) = delete;
  TMediaEncoder& operator=(const TMediaEncoder&) = delete;

  // Chooses the encoders, creates the temporary file and writes the header. False with a
  // message fit for the user (the file name and the system's reason) on failure.
  bool Open(const std::string& path, const TEncodeSettings& settings, std::string& error);

  // The next frame: width × height BGRA; `stride` bytes from one row to the next as shown (may
  // be negative for pictures stored bottom row first, `first` then points at the top row).
  bool AddPicture(const uint8_t* first, int64_t stride, std::string& error);
  // The next frame, converted already (by a converter of this encoder); the picture stays the
  // caller's, and may be converted into again once this returns.
  bool AddPicture(const TEncoderPicture& picture, std::string& error);
  // The next frame is the previous one again (nothing changed on screen).
  bool RepeatPicture(std::string& error);
  // Interleaved stereo samples at 44100 Hz.
  bool AddAudio(const int16_t* samples, int32_t frames, std::string& error);

  // Flushes both encoders, writes the trailer, closes the file and gives it its name.
  bool Finish(std::string& error);
  // Closes and removes the temporary file (nothing happens once finished).
  void Abort();

  int64_t Frames() const { return frames_; }
  int64_t AudioFrames() const { return audioIn_; }
  const TContainerChoice& Choice() const { return choice_; }

 private:
  struct TImpl;
  bool SendVideo(AVFrame* frame, std::string& error);
  bool SendAudioFrames(bool flush, std::string& error);
  bool Drain(AVCodecContext* ctx, AVStream* stream, std::string& error);

  friend class TPictureConverter;
  std::unique_ptr<TImpl> impl_;
  std::unique_ptr<TPictureConverter> converter_;  // for the BGRA pictures given here
  TEncoderPicture own_[2];                        // their planes, in turn
  int ownNext_ = 0;
  TContainerChoice choice_;
  std::string path_, partial_;
  int64_t frames_ = 0;
  int64_t audioIn_ = 0;
  bool finished_ = false;
};

}  // namespace zem
