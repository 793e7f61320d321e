// The video layer seen from the rest of the program: installing it (the frame source factory
// for the show model, the FFmpeg audio library for the sound code), the factory's name hook and
// parameter cache, and the wait for decoding workers at exit.
#pragma once
#include <functional>
#include <memory>

#include "model/frame_source.h"

namespace zem {

// Start-up (user-interface thread, before shows open): installs the factory and the audio
// library. Idempotent.
void InstallVideoLayer();
// Process end: waits up to 10000 ms for decoding workers still running, then uninstalls.
void ShutdownVideoLayer();

// The frame source factory itself: (stream handed over, display name, file date) -> a source
// over the video decoding library, or none.
std::unique_ptr<TFrameSource> MakeVideoFrameSource(std::unique_ptr<TStream> stream, const WideString& name,
                                                   int64_t fileDate);
// A hook that may refuse a name (the stream is then freed); none accepts every name.
void SetFrameSourceNameHook(std::function<bool(const WideString& name)> hook);
// The parameters remembered for a key (name + ":" + file date "DD.MM.YYYY"); false when none.
bool CachedVideoParams(const WideString& key, video::TVideoParams& out);
// The cache key of a name and file date (time_t; 0 = unknown).
WideString VideoParamsKey(const WideString& name, int64_t fileDate);

}  // namespace zem
