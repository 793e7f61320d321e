// The demo's music: a short chord progression with a pad, a plucked arpeggio and a bass line,
// synthesised with envelopes into stereo 16-bit PCM that loops without a seam (the release tails
// of the last bar are folded onto the beginning).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zem {

enum class TDemoVoice : uint8_t { Pad, Pluck, Bass };

struct TDemoNote {
  TDemoVoice voice;
  int32_t midi;        // note number, 69 = A4 = 440 Hz
  double start;        // seconds from the beginning of the loop
  double length;       // seconds until the release begins
  double velocity;     // peak amplitude before the final normalisation
  double pan;          // −1 left .. 1 right
};

struct TDemoBar {
  int32_t bass;                 // root note of the bass
  std::vector<int32_t> chord;   // the pad's voicing, lowest first
};

struct TDemoScore {
  double tempo = 96;            // beats per minute
  int32_t beats_per_bar = 4;
  std::vector<TDemoBar> bars;
  std::vector<TDemoNote> notes;

  double BeatSeconds() const { return 60.0 / tempo; }
  double BarSeconds() const { return BeatSeconds() * beats_per_bar; }
  double LengthSeconds() const { return BarSeconds() * static_cast<double>(bars.size()); }
};

// Interleaved stereo 16-bit samples (left, right).
struct TStereoPcm {
  uint32_t rate = 0;
  std::vector<int16_t> samples;
  size_t Frames() const { return samples.size() / 2; }
};

double MidiFrequency(int32_t midi);
// The demo's piece: eight bars at 96 beats per minute (20 s).
TDemoScore MakeDemoScore();
// Renders the score at `rate` frames per second, exactly LengthSeconds long, normalised to a
// peak of `peak` (0..1 of full scale). Deterministic.
TStereoPcm RenderDemoMusic(const TDemoScore& score, uint32_t rate, double peak = 0.7);
// A RIFF WAVE file (PCM, 2 channels, 16 bits) holding the samples.
std::vector<uint8_t> EncodeWave(const TStereoPcm& pcm);

}  // namespace zem
