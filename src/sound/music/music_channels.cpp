#include "sound/music/music_channels.h"

#include <algorithm>

#include "foundation/clock.h"
#include "foundation/log.h"

namespace zem {

TZemChannel::TZemChannel(TChannelOperator& start_list, WideString name, int32_t file_offset, double start, double end)
    : startList_(start_list), name_(std::move(name)), file_offset_(file_offset), start_(start), end_(end),
      created_(TimeGetTime()) {}

TZemChannel::~TZemChannel() {
  const uint32_t t0 = TimeGetTime();
  if (device && device->IsPlaying() && !stopped) device->Stop(10);
  device.reset();
  LogLine("+++++++++++++++++++ Destroy Channel " + WideToUtf8(name_) + " Time " + std::to_string(TimeGetTime() - t0));
}

void TZemChannel::Start(double now) {
  if (!loaded || playing) return;
  playing = true;
  // Only a first start can be late: a channel resumed after a pause goes on where it stopped.
  late_by_ = ever_started_ ? 0 : std::max(0.0, now - start_);
  ever_started_ = true;
  startList_.Add(this);
}

void TZemChannel::Stop() {
  if (!playing) return;
  playing = false;
  if (startList_.Remove(this)) return;
  if (device) {
    const uint32_t t0 = TimeGetTime();
    device->Stop(10);
    LogLine("+++++++++++++++++++ Channel " + WideToUtf8(name_) + " Stop Time " + std::to_string(TimeGetTime() - t0));
  }
  stopped = true;
}

bool TChannelOperator::Remove(TZemChannel* c) {
  const auto it = std::find_if(items_.begin(), items_.end(), [c](const TRef<TZemChannel>& r) { return r.get() == c; });
  if (it == items_.end()) return false;
  items_.erase(it);
  return true;
}

bool TChannelOperator::Contains(const TZemChannel* c) const {
  return std::any_of(items_.begin(), items_.end(), [c](const TRef<TZemChannel>& r) { return r.get() == c; });
}

}  // namespace zem
