// The demo's video clip: a ball bouncing over a sweeping colour field, with a plucked tone at
// every bounce, written as MPEG-4 video and MPEG audio layer 2 in AVI by the video layer's writer.
#pragma once
#include <cstdint>
#include <vector>

namespace zem {

struct TDemoClipOptions {
  int32_t width = 640, height = 360;
  int32_t fps = 25;
  int32_t seconds = 8;
  int32_t sampleRate = 44100;
};

// The frame at which the ball touches the floor for the k-th time (k from 0), one a second.
int32_t DemoClipBounceFrame(const TDemoClipOptions& o, int32_t k);
// The clip's bytes; false when an encoder is missing.
bool MakeDemoClip(const TDemoClipOptions& o, std::vector<uint8_t>& out);

}  // namespace zem
