// The channel killer: one thread per process that frees physical playbacks once their queued
// audio has drained.
#pragma once
#include <memory>
#include <vector>

#include "foundation/threads.h"
#include "foundation/zem_thread.h"

namespace zem {

class TMusicChannel;

class TChannelKiller : public TZemThread {
 public:
  static constexpr int32_t kEventTerminate = 1025;
  static constexpr int32_t kEventAdd = 1026;

  TChannelKiller();
  // Posts 1025, wakes the thread and waits up to 1000 ms.
  ~TChannelKiller() override;

  // Any thread (usually a refill thread): queues the playback for freeing.
  void Add(std::shared_ptr<TMusicChannel> playback);
  // Killer thread.
  void HandleEvent(int32_t code, TObj* payload, bool& handled) override;
  void LoopStep() override;

  // The process-wide killer, made on first use under a process-wide lock.
  static TChannelKiller& Instance();

 private:
  TEvent wake_;
  std::vector<std::shared_ptr<TMusicChannel>> list_;  // killer thread only
};

// Stops the process-wide killer (freeing what it still holds); call before the program exits,
// after every channel is gone. A later use makes a new one.
void ShutdownChannelKiller();

}  // namespace zem
