#include "sound/music/music_loader.h"

#include "foundation/assert.h"
#include "foundation/clock.h"
#include "foundation/log.h"

namespace zem {

namespace {
constexpr char16_t kDiskPrefix[] = u"LoadFromDisk:";
constexpr size_t kDiskPrefixLength = 13;
}  // namespace

TMusicLoader::TMusicLoader(TFileAccessor* files, TMusicPlayer* device, TThreadEventList& answer)
    : files_(files), device_(device), answer_(answer) {
  if (!device_) return;
  device_->SetOpenStreamCallback([this](const WideString& name) -> TStream* {
    std::lock_guard<TCriticalSection> guard(lock_);
    if (name.size() >= kDiskPrefixLength && WideView(name).substr(0, kDiskPrefixLength) == kDiskPrefix) {
      return TFileStream::Open(WideToUtf8(WideView(name).substr(kDiskPrefixLength)), TFileMode::Read).release();
    }
    if (!files_) return nullptr;
    return files_->OpenStream(WideView(name)).release();
  });
  device_->SetFreeStreamCallback([](TStream* stream) { delete stream; });
}

TMusicLoader::~TMusicLoader() { Shutdown(); }

void TMusicLoader::HandleEvent(int32_t code, TObj* payload, bool& handled) {
  handled = true;
  auto* container = dynamic_cast<TChannelContainer*>(payload);
  ZEM_ASSERT(container && container->channel);
  if (code == kOpenChannel) {
    TZemChannel& c = *container->channel;
    if (c.ownerId.load() >= 0 && device_) {
      c.device = device_->OpenChannel(c.Name(), c.FileOffset());
      if (!c.device) {
        LogLine("+++++++++++++++++++ Channel Create ERROR");
      } else {
        const double x = double(c.device->Length()) - c.FileOffset() + c.StartTime();
        if (x < c.EndTime()) c.SetEndTime(x);
      }
    }
    answer_.Post(kChannelReady, std::make_unique<TChannelContainer>(container->channel));
  } else if (code == kReleaseChannel) {
    container->channel.reset();
  } else {
    ZEM_FAIL("Unknown EventID");
  }
}

void TMusicLoader::LoopStep() {
  EventList().Process();
  SleepMs(10);
}

}  // namespace zem
