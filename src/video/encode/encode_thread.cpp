#include "video/encode/encode_thread.h"

#include <algorithm>

namespace zem {

TEncodeThread::TEncodeThread(TMediaEncoder& encoder, size_t maxPictures)
    : encoder_(encoder), maxPictures_(std::max<size_t>(1, maxPictures)) {
  thread_ = std::thread([this] { Run(); });
}

TEncodeThread::~TEncodeThread() {
  std::string ignored;
  Close(ignored);
}

bool TEncodeThread::Push(TJob job) {
  std::unique_lock lock(lock_);
  if (job.kind == TKind::Picture)
    changed_.wait(lock, [this] { return pictures_ < maxPictures_ || failed_; });
  if (failed_ || closing_) return false;
  if (job.kind == TKind::Picture) ++pictures_;
  queue_.push_back(std::move(job));
  changed_.notify_all();
  return true;
}

bool TEncodeThread::Picture(TEncoderPicture picture) { return Push({TKind::Picture, std::move(picture), {}}); }
bool TEncodeThread::Repeat() { return Push({TKind::Repeat, {}, {}}); }
bool TEncodeThread::Sound(std::vector<int16_t> samples) { return Push({TKind::Sound, {}, std::move(samples)}); }

TEncoderPicture TEncodeThread::TakeBuffer() {
  std::lock_guard lock(lock_);
  if (free_.empty()) return {};
  TEncoderPicture b = std::move(free_.front());
  free_.pop_front();
  return b;
}

bool TEncodeThread::Failed() const {
  std::lock_guard lock(lock_);
  return failed_;
}

bool TEncodeThread::Close(std::string& error) {
  {
    std::lock_guard lock(lock_);
    closing_ = true;
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(lock_);
  error = error_;
  return !failed_;
}

// Encoding thread: takes jobs in order until closed and empty; after a failure the rest is
// dropped.
void TEncodeThread::Run() {
  for (;;) {
    TJob job;
    {
      std::unique_lock lock(lock_);
      changed_.wait(lock, [this] { return !queue_.empty() || closing_; });
      if (queue_.empty()) return;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    std::string error;
    bool ok = true;
    switch (job.kind) {
      case TKind::Picture:
        ok = encoder_.AddPicture(job.picture, error);
        break;
      case TKind::Repeat:
        ok = encoder_.RepeatPicture(error);
        break;
      case TKind::Sound:
        ok = encoder_.AddAudio(job.samples.data(), int32_t(job.samples.size() / 2), error);
        break;
    }
    std::lock_guard lock(lock_);
    if (job.kind == TKind::Picture) {
      --pictures_;
      free_.push_back(std::move(job.picture));
    }
    if (!ok && !failed_) {
      failed_ = true;
      error_ = error.empty() ? "the encoder is closed" : error;
      queue_.clear();
      pictures_ = 0;
    }
    changed_.notify_all();
  }
}

}  // namespace zem
