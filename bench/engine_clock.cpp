// Timed command: plays a show with a music track through the engine on the SDL audio driver
// (dummy by default: real-time consumption without a sound card) and samples, every 10 ms, the
// engine's show time against the audio the device has actually consumed. The music clock is the
// show clock, so the two must stay together. Prints the largest and mean difference.
//   engine_clock [seconds]      (SDL_VIDEODRIVER=offscreen for the headless window)
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "engine/application.h"
#include "engine/engine.h"
#include "foundation/clock.h"
#include "render/gl_device.h"
#include "script/ini_file.h"
#include "sound/backend/audio_output.h"
#include "sound/backend/ds_mixer.h"
#include "sound/channel_killer.h"
#include "sound/ds_wave_out.h"
#include "sound/music_player_class.h"

namespace {

// A 44.1 kHz stereo 16-bit tone of the given length.
void WriteTone(const std::string& path, double seconds) {
  const int32_t rate = 44100, frames = int32_t(seconds * rate);
  std::vector<int16_t> pcm(size_t(frames) * 2);
  for (int32_t i = 0; i < frames; ++i)
    pcm[size_t(i) * 2] = pcm[size_t(i) * 2 + 1] = int16_t(8000 * std::sin(2 * M_PI * 440 * i / rate));
  auto u32 = [](std::ofstream& o, uint32_t v) { o.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [](std::ofstream& o, uint16_t v) { o.write(reinterpret_cast<const char*>(&v), 2); };
  std::ofstream o(path, std::ios::binary);
  const uint32_t bytes = uint32_t(pcm.size() * 2);
  o.write("RIFF", 4);
  u32(o, 36 + bytes);
  o.write("WAVEfmt ", 8);
  u32(o, 16);
  u16(o, 1);
  u16(o, 2);
  u32(o, rate);
  u32(o, rate * 4);
  u16(o, 4);
  u16(o, 16);
  o.write("data", 4);
  u32(o, bytes);
  o.write(reinterpret_cast<const char*>(pcm.data()), bytes);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zem;
  const double seconds = argc > 1 ? std::atof(argv[1]) : 60;
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  SetAudioBackendKind(TAudioBackendKind::Sdl);
  T3DEngineGL::Instance().SetUiThread(std::this_thread::get_id());

  const std::string folder = (std::filesystem::temp_directory_path() / "zem_engine_clock").string();
  std::filesystem::create_directories(folder);
  const double length = seconds + 10;
  WriteTone(folder + "/tone.wav", length);
  const int32_t ms = int32_t(length * 1000);
  std::u16string script = u"[Main]\nopt_scr_full=0\nopt_scr_width=320\nopt_scr_height=240\nopt_fx_enable=0\n"
                          u"opt_slidescount=2\nopt_repeat=repeat\nopt_usemusic=1\nopt_syncmode=1\n"
                          u"opt_music_count=1\nopt_music1=tone.wav\nopt_lengthlist1=" + Utf8ToWide(std::to_string(ms)) +
                          u"\nopt_synchpos1=" + Utf8ToWide(std::to_string(ms / 2)) +
                          u"\nopt_synchpos2=" + Utf8ToWide(std::to_string(ms)) + u"\n[Slide1]\n[Slide2]\n";
  auto ini = std::make_unique<TIniFile>();
  if (!ini->LoadFromText(script)) return 1;

  auto device = THeadlessDevice::Create(320, 240);
  if (!device) {
    std::fprintf(stderr, "no offscreen video driver\n");
    return 1;
  }
  TZemApplication app;
  TMusicPlayerClass* sound = nullptr;
  {
    TZemEngine engine(&app, device.release(), 0, true, true);
    engine.SetMusicDeviceFactory([&sound] {
      auto p = std::make_unique<TMusicPlayerClass>();
      sound = p.get();
      return std::unique_ptr<TMusicPlayer>(std::move(p));
    });
    engine.OpenShow(std::make_unique<TFileAccessor>(MakeRef<TRealFileSource>(folder)), std::move(ini), 0);
    if (!sound || !sound->Device()) {
      std::fprintf(stderr, "no audio device\n");
      return 1;
    }
    TDSDevice* ds = static_cast<TwinWaveOutDevice*>(sound->Device())->DirectSound();
    engine.Start();
    engine.SetPaused(false);
    // Wait until the show runs, then align both origins.
    const uint32_t wait = TimeGetTime();
    while (!engine.IsActive() && TimeGetTime() - wait < 10000) {
      app.ProcessMessages();
      T3DEngineGL::Instance().RunPendingRequests();
      SleepMs(2);
    }
    if (!engine.IsActive()) {
      std::fprintf(stderr, "the show did not start\n");
      return 1;
    }
    SleepMs(200);
    const double t0 = engine.CurrentTime();
    const int64_t f0 = ds->MixedFrames();
    double worst = 0, sum = 0;
    int64_t n = 0;
    const uint32_t end = TimeGetTime() + uint32_t(seconds * 1000);
    while (TimeGetTime() < end) {
      app.ProcessMessages();
      T3DEngineGL::Instance().RunPendingRequests();
      SleepMs(10);
      const double show = engine.CurrentTime() - t0;
      const double consumed = double(ds->MixedFrames() - f0) * 1000.0 / 44100.0;
      const double d = show - consumed;
      if (std::fabs(d) > std::fabs(worst)) worst = d;
      sum += std::fabs(d);
      ++n;
    }
    std::printf("%.0f s, %lld samples, device period %d frames\n", seconds, static_cast<long long>(n),
                ds->PeriodFrames());
    std::printf("show time - consumed audio: largest %.1f ms, mean |diff| %.1f ms; frames drawn %u\n", worst,
                n ? sum / double(n) : 0.0, engine.FramesDrawn());
  }
  ShutdownChannelKiller();
  std::filesystem::remove_all(folder);
  return 0;
}
