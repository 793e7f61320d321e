// Sound benchmarks: the composite mixer with eight enveloped entries, the software mixer with
// eight buffers, and MPEG decoding. Times are processor time per second of audio produced.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <map>

#include "foundation/stream.h"
#include "sound/backend/ds_mixer.h"
#include "sound/composite_converter.h"
#include "sound/converter_factory.h"
#include "sound/media_info.h"
#include "sound/sound_device.h"

namespace zem {
namespace {

std::vector<uint8_t> ToneWave(uint32_t rate, uint16_t channels, double freq, double seconds) {
  TWaveFormat f = PcmFormat(rate, channels, 16);
  std::vector<uint8_t> v = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0};
  auto put = [&](uint32_t x, int n) {
    for (int i = 0; i < n; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
  };
  put(f.format_tag, 2);
  put(f.channels, 2);
  put(f.samples_per_sec, 4);
  put(f.avg_bytes_per_sec, 4);
  put(f.block_align, 2);
  put(f.bits_per_sample, 2);
  v.insert(v.end(), {'d', 'a', 't', 'a'});
  const uint32_t frames = static_cast<uint32_t>(seconds * rate);
  put(frames * f.block_align, 4);
  for (uint32_t i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c)
      put(static_cast<uint16_t>(static_cast<int16_t>(8000 * std::sin(2 * M_PI * freq * i / rate))), 2);
  uint32_t riff = static_cast<uint32_t>(v.size() - 8);
  std::memcpy(&v[4], &riff, 4);
  return v;
}

class TBenchPlayer : public TMusicPlayer {
 public:
  std::map<WideString, std::vector<uint8_t>> files;
  TBenchPlayer() {
    SetOpenStreamCallback([this](const WideString& n) -> TStream* {
      auto it = files.find(n);
      return it == files.end() ? nullptr : new TMemoryStream(it->second);
    });
    SetFreeStreamCallback([](TStream* s) { delete s; });
  }
  bool Init() override { return true; }
  double Clock() override { return 0; }
  std::unique_ptr<TChannel> OpenChannel(const WideString&, int32_t) override { return nullptr; }
};

// Eight overlapping entries (half of them at 22050 Hz mono, resampled), each with fades and a
// slow volume ride, plus a main volume: one second of mix per iteration.
void BM_CompositeMixEightEntries(benchmark::State& state) {
  TBenchPlayer player;
  TCompositeParams p;
  p.duration = 60000;
  for (int k = 0; k < 8; ++k) {
    WideString name = u"e" + Utf8ToWide(std::to_string(k)) + u".wav";
    player.files[name] = k % 2 ? ToneWave(22050, 1, 200 + 50 * k, 61) : ToneWave(44100, 2, 200 + 50 * k, 61);
    TCompositeItem& e = p.AddItem(name, 0);
    e.duration = 60000;
    TVolumeParams& fade = e.volumes.Add();
    fade.AddPoint(0, 0);
    fade.AddPoint(500, 800);
    fade.AddPoint(59000, 800);
    fade.AddPoint(60000, 0);
    TVolumeParams& ride = e.volumes.Add();
    for (int t = 0; t <= 60000; t += 1000) ride.AddPoint(t, (t / 1000) % 2 ? 400 : 900);
  }
  TVolumeParams& main = p.MainVolume().Add();
  main.AddPoint(0, 900);
  main.AddPoint(60000, 600);
  TCompositeConverter c(&player, p.SaveToText());
  TMediaInfo info;
  p.FillMediaInfo(info);
  if (!c.Open(info)) {
    state.SkipWithError("open failed");
    return;
  }
  double t = 0;
  for (auto _ : state) {
    if (t >= 58000) {
      state.PauseTiming();
      c.Seek(0);
      t = 0;
      state.ResumeTiming();
    }
    c.Fill(176400);
    c.Output().Consume(176400);
    t += 1000;
  }
  state.counters["audio_s"] = benchmark::Counter(static_cast<double>(state.iterations()));
}
BENCHMARK(BM_CompositeMixEightEntries)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

// The software mixer under the output: eight looping buffers at several rates, one second.
void BM_SoftMixerEightBuffers(benchmark::State& state) {
  auto dev = TDSDevice::Create(CreateNullAudioOutput());
  std::vector<std::unique_ptr<TDSBuffer>> bufs(8);
  const uint32_t rates[] = {44100, 22050, 48000, 11025};
  for (int k = 0; k < 8; ++k) {
    TDSBufferDesc d;
    d.format = PcmFormat(rates[k % 4], static_cast<uint16_t>(k % 2 + 1), 16);
    d.buffer_bytes = 2 * d.format.avg_bytes_per_sec;
    dev->CreateSoundBuffer(d, bufs[k]);
    bufs[k]->SetVolume(-600);
    bufs[k]->Play(DSBPLAY_LOOPING);
  }
  std::vector<int16_t> out(2 * 1024);
  for (auto _ : state) {
    for (int i = 0; i < 44100 / 1024 + 1; ++i) dev->Mix(out.data(), 1024);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_SoftMixerEightBuffers)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

// A whole MP3 (93.5 s, 128 kbit/s stereo) through the converter.
void BM_Mp3DecodeWholeFile(benchmark::State& state) {
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(ZEM_TESTDATA_DIR "/audio/raylib_country.mp3", bytes)) {
    state.SkipWithError("no test file");
    return;
  }
  double audio_ms = 0;
  for (auto _ : state) {
    TMemoryStream s(bytes);
    TMediaInfo info;
    TMediaInfoExtractor::Extract(s, u".mp3", info);
    auto c = CreateConverter(&s, u"a.mp3", info);
    c->Open(info);
    while (c->Fill(65536)) c->Output().Consume(65536);
    audio_ms = c->Position();
  }
  state.counters["audio_ms"] = audio_ms;
}
BENCHMARK(BM_Mp3DecodeWholeFile)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
}  // namespace zem

BENCHMARK_MAIN();
