// The music loader thread: opens and frees device channels for the music player, so that no file
// is opened or decoded on the player thread.
#pragma once
#include "foundation/threads.h"
#include "foundation/zem_thread.h"
#include "package/file_accessor.h"
#include "sound/music/music_channels.h"
#include "sound/sound_device.h"

namespace zem {

class TMusicLoader : public TZemThread {
 public:
  static constexpr int32_t kOpenChannel = 1;
  static constexpr int32_t kChannelReady = 2;
  static constexpr int32_t kReleaseChannel = 3;

  // `files` and `device` (either may be null) and `answer` outlive the loader. Gives the device
  // the stream callbacks: "LoadFromDisk:" names open a file on disk, others a show member.
  TMusicLoader(TFileAccessor* files, TMusicPlayer* device, TThreadEventList& answer);
  ~TMusicLoader() override;

 protected:
  void HandleEvent(int32_t code, TObj* payload, bool& handled) override;
  void LoopStep() override;

 private:
  TFileAccessor* files_;
  TMusicPlayer* device_;
  TThreadEventList& answer_;
  TCriticalSection lock_;  // around stream opening from the device's threads
};

}  // namespace zem
