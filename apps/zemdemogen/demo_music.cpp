#include "demo_music.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "foundation/assert.h"

namespace zem {

namespace {

// How long a voice keeps sounding after its release begins.
double ReleaseSeconds(TDemoVoice v) {
  switch (v) {
    case TDemoVoice::Pad: return 0.9;
    case TDemoVoice::Pluck: return 0.9;
    case TDemoVoice::Bass: return 0.08;
  }
  return 0;
}

// Envelope at time t after the note's start; `length` is when the release begins.
double Envelope(TDemoVoice v, double t, double length) {
  if (t < 0) return 0;
  double level = 0;
  switch (v) {
    case TDemoVoice::Pad: {
      const double a = std::min(1.0, t / 0.35);
      level = a * a * (3 - 2 * a);
      break;
    }
    case TDemoVoice::Pluck:
    {
      // A plucked string: no sustain; the decay continues through the release, whose last
      // 0.2 s fade to silence so that the note never ends with a click.
      const double fade = std::clamp((length + ReleaseSeconds(v) - t) / 0.2, 0.0, 1.0);
      return std::min(1.0, t / 0.004) * std::exp(-t / 0.28) * fade;
    }
    case TDemoVoice::Bass:
      level = std::min(1.0, t / 0.008) * (0.55 + 0.45 * std::exp(-t / 0.25));
      break;
  }
  if (t > length) {
    const double r = (t - length) / ReleaseSeconds(v);
    if (r >= 1) return 0;
    // The release starts from the level the sustain had reached at `length`.
    const double at_release = Envelope(v, length, length + 1);
    return at_release * (1 - r) * (1 - r);
  }
  return level;
}

// One sample of the voice's tone: a few harmonics, brighter at the start for the pluck.
double Tone(TDemoVoice v, double phase, double t) {
  const double s1 = std::sin(phase), s2 = std::sin(2 * phase), s3 = std::sin(3 * phase);
  switch (v) {
    case TDemoVoice::Pad: return s1 + 0.30 * s2 + 0.10 * s3 + 0.04 * std::sin(4 * phase);
    case TDemoVoice::Pluck: return s1 + 0.30 * std::exp(-t / 0.10) * s2 + 0.15 * std::exp(-t / 0.05) * s3;
    case TDemoVoice::Bass: return s1 + 0.25 * s2;
  }
  return 0;
}

void AddNote(const TDemoNote& n, uint32_t rate, std::vector<double>& left, std::vector<double>& right) {
  const double length = n.length + ReleaseSeconds(n.voice);
  const int64_t first = std::llround(n.start * rate);
  const int64_t count = std::llround(length * rate);
  const double f = MidiFrequency(n.midi);
  // Equal-power panning, unity in the centre.
  const double theta = (n.pan + 1) * M_PI / 4;
  const double gl = std::cos(theta) * M_SQRT2, gr = std::sin(theta) * M_SQRT2;
  // The pad is two voices a few cents apart, one each side, for a gentle chorus.
  const bool chorus = n.voice == TDemoVoice::Pad;
  const double detune = chorus ? std::pow(2.0, 4.0 / 1200.0) : 1.0;
  for (int64_t i = 0; i < count; ++i) {
    const int64_t at = first + i;
    if (at < 0 || at >= static_cast<int64_t>(left.size())) continue;
    const double t = static_cast<double>(i) / rate;
    const double env = Envelope(n.voice, t, n.length) * n.velocity;
    if (env == 0) continue;
    const double pl = 2 * M_PI * f / detune * t, pr = 2 * M_PI * f * detune * t;
    const double a = Tone(n.voice, pl, t) * env;
    const double b = chorus ? Tone(n.voice, pr, t) * env : a;
    left[size_t(at)] += a * gl;
    right[size_t(at)] += b * gr;
  }
}

}  // namespace

double MidiFrequency(int32_t midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

TDemoScore MakeDemoScore() {
  TDemoScore s;
  // C major: Cmaj7, Am7, Fmaj7, G6, then Cmaj7, Am7, Dm7, G7 leading back to the start.
  s.bars = {{36, {60, 64, 67, 71}}, {45, {57, 60, 64, 67}}, {41, {53, 57, 60, 64}}, {43, {55, 59, 62, 64}},
            {36, {60, 64, 67, 71}}, {45, {57, 60, 64, 67}}, {38, {57, 60, 62, 65}}, {43, {55, 59, 62, 65}}};
  const double beat = s.BeatSeconds(), bar_len = s.BarSeconds();
  // Arpeggio over eighth notes: up through the chord an octave higher and back down.
  static const int kPattern[8] = {0, 1, 2, 3, 4, 3, 2, 1};
  for (size_t b = 0; b < s.bars.size(); ++b) {
    const TDemoBar& bar = s.bars[b];
    const double t0 = static_cast<double>(b) * bar_len;
    const double pans[4] = {-0.5, -0.15, 0.15, 0.5};
    for (size_t k = 0; k < bar.chord.size(); ++k)
      s.notes.push_back({TDemoVoice::Pad, bar.chord[k], t0, bar_len, 0.05, pans[k % 4]});
    for (int e = 0; e < 8; ++e) {
      const int idx = kPattern[e];
      const int32_t note = idx < 4 ? bar.chord[size_t(idx)] + 12 : bar.chord[0] + 24;
      const double accent = e % 2 == 0 ? 0.13 : 0.10;
      s.notes.push_back({TDemoVoice::Pluck, note, t0 + e * beat / 2, beat / 2, accent, e % 2 == 0 ? -0.35 : 0.35});
    }
    // Bass on beats one and three; the last beat of the bar walks up an octave.
    s.notes.push_back({TDemoVoice::Bass, bar.bass, t0, beat * 1.9, 0.22, 0});
    s.notes.push_back({TDemoVoice::Bass, bar.bass, t0 + 2 * beat, beat * 0.9, 0.20, 0});
    s.notes.push_back({TDemoVoice::Bass, bar.bass + 12, t0 + 3 * beat, beat * 0.9, 0.16, 0});
  }
  return s;
}

TStereoPcm RenderDemoMusic(const TDemoScore& score, uint32_t rate, double peak) {
  ZEM_ASSERT(rate >= 8000 && rate <= 192000);
  const size_t frames = static_cast<size_t>(std::llround(score.LengthSeconds() * rate));
  ZEM_ASSERT(frames > 0);
  // Room for the longest release after the loop's end; folded back onto the beginning below.
  const size_t tail = static_cast<size_t>(std::ceil(2.0 * rate));
  std::vector<double> left(frames + tail, 0.0), right(frames + tail, 0.0);
  for (const TDemoNote& n : score.notes) AddNote(n, rate, left, right);
  for (size_t i = 0; i < tail; ++i) {
    left[i % frames] += left[frames + i];
    right[i % frames] += right[frames + i];
  }
  double top = 0;
  for (size_t i = 0; i < frames; ++i) top = std::max({top, std::abs(left[i]), std::abs(right[i])});
  const double gain = top > 0 ? peak * 32767.0 / top : 0;
  TStereoPcm pcm;
  pcm.rate = rate;
  pcm.samples.resize(frames * 2);
  for (size_t i = 0; i < frames; ++i) {
    pcm.samples[2 * i] = static_cast<int16_t>(std::lround(left[i] * gain));
    pcm.samples[2 * i + 1] = static_cast<int16_t>(std::lround(right[i] * gain));
  }
  return pcm;
}

std::vector<uint8_t> EncodeWave(const TStereoPcm& pcm) {
  const uint32_t data_bytes = static_cast<uint32_t>(pcm.samples.size() * 2);
  std::vector<uint8_t> v(44 + size_t(data_bytes));
  size_t at = 0;
  auto id = [&](const char* s) {
    std::memcpy(&v[at], s, 4);
    at += 4;
  };
  auto u16 = [&](uint32_t x) {
    v[at++] = uint8_t(x);
    v[at++] = uint8_t(x >> 8);
  };
  auto u32 = [&](uint32_t x) {
    u16(x & 0xFFFF);
    u16(x >> 16);
  };
  id("RIFF");
  u32(36 + data_bytes);
  id("WAVE");
  id("fmt ");
  u32(16);
  u16(1);  // PCM
  u16(2);
  u32(pcm.rate);
  u32(pcm.rate * 4);
  u16(4);
  u16(16);
  id("data");
  u32(data_bytes);
  for (int16_t s : pcm.samples) u16(static_cast<uint16_t>(s));
  return v;
}

}  // namespace zem
