// The null twin of the SDL backend: opens without a device and never pulls.
#include "sound/backend/audio_output.h"

namespace zem {

namespace {

class TNullAudioOutput : public TAudioOutput {
 public:
  bool Open(TMixCallback) override { return true; }
  void Close() override {}
  int32_t PeriodFrames() const override { return 1024; }
  std::string Name() const override { return "null"; }
};

}  // namespace

std::unique_ptr<TAudioOutput> CreateNullAudioOutput() { return std::make_unique<TNullAudioOutput>(); }

}  // namespace zem
