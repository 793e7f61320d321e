// Timed command: plays through the SDL dummy driver (real-time consumption) and samples, every
// 10 ms, the timer channel's clock against the audio the device has actually consumed. Prints
// the largest and the mean difference.
//   SDL_AUDIODRIVER=dummy sound_clock_drift [seconds]
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "foundation/clock.h"
#include "sound/backend/audio_output.h"
#include "sound/ds_wave_out.h"
#include "sound/music_player_class.h"

int main(int argc, char** argv) {
  using namespace zem;
  const double seconds = argc > 1 ? std::atof(argv[1]) : 60;
  if (!std::getenv("SDL_AUDIODRIVER")) setenv("SDL_AUDIODRIVER", "dummy", 1);
  SetAudioBackendKind(TAudioBackendKind::Sdl);
  TMusicPlayerClass player;
  if (!player.Init()) {
    std::fprintf(stderr, "no audio device\n");
    return 1;
  }
  TDSDevice* ds = static_cast<TwinWaveOutDevice*>(player.Device())->DirectSound();
  // Wait for the clock to start counting (the first cursor move), then align both origins.
  double c0 = 0;
  int64_t f0 = 0;
  for (int i = 0; i < 500; ++i) {
    c0 = player.Clock();
    if (c0 > 0) break;
    SleepMs(2);
  }
  f0 = ds->MixedFrames();
  c0 = player.Clock();
  const double w0 = TimeGetTimeExact();
  double worst = 0, sum = 0, worst_at = 0;
  int64_t n = 0;
  const uint32_t end = TimeGetTime() + static_cast<uint32_t>(seconds * 1000);
  while (TimeGetTime() < end) {
    SleepMs(10);
    double clock = player.Clock() - c0;
    double consumed = (ds->MixedFrames() - f0) * 1000.0 / 44100.0;
    double d = clock - consumed;
    if (std::abs(d) > std::abs(worst)) {
      worst = d;
      worst_at = clock;
    }
    sum += std::abs(d);
    ++n;
  }
  std::printf("%.0f s, %lld samples, device period %d frames (%.1f ms)\n", seconds, static_cast<long long>(n),
              ds->PeriodFrames(), ds->PeriodFrames() / 44.1);
  std::printf("clock - consumed audio: largest %.1f ms (at %.0f ms), mean |diff| %.1f ms\n", worst, worst_at,
              n ? sum / n : 0.0);
  const double wall = TimeGetTimeExact() - w0;
  std::printf("wall %.0f ms, clock %.0f ms, audio consumed %.0f ms\n", wall, player.Clock() - c0,
              (ds->MixedFrames() - f0) * 1000.0 / 44100.0);
  return 0;
}
