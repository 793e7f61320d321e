#include <gtest/gtest.h>

#include "foundation/assert.h"
#include "sound/local_buffer.h"
#include "sound/media_info.h"
#include "sound/pcm_resampler.h"
#include "sound/stream_access.h"
#include "sound/wav_converter.h"
#include "sound_test_util.h"

namespace zem {
namespace {

using namespace soundtest;

std::vector<int16_t> Resample(TPcmResampler& r, const std::vector<uint8_t>& in) {
  std::vector<uint8_t> out(static_cast<size_t>(r.OutputSize(static_cast<int64_t>(in.size()))));
  int64_t n = r.Convert(in.data(), static_cast<int64_t>(in.size()), out.data());
  EXPECT_EQ(n, static_cast<int64_t>(out.size()));
  std::vector<int16_t> s(out.size() / 2);
  if (!s.empty()) std::memcpy(s.data(), out.data(), s.size() * 2);
  return s;
}

TEST(Resampler, Mono8BitAt22050BecomesInternalFormatAtSameToneAndLevel) {
  TWaveFormat in = PcmFormat(22050, 1, 8);
  TPcmResampler r;
  r.SetFormats(in, InternalFormat());
  std::vector<uint8_t> pcm = Sine(in, 440, 0.5, 1.0);
  std::vector<int16_t> out = Resample(r, pcm);
  int64_t in_frames = static_cast<int64_t>(pcm.size());
  int64_t out_frames = static_cast<int64_t>(out.size() / 2);
  EXPECT_NEAR(static_cast<double>(out_frames), 2.0 * in_frames, 1.0);
  for (size_t i = 0; i < out.size(); i += 2) ASSERT_EQ(out[i], out[i + 1]) << "frame " << i / 2;
  auto left = Slice(Channel(out, 2, 0), 4410, 35280);
  EXPECT_NEAR(ZeroCrossingFrequency(left, 44100), 440.0, 1.0);
  EXPECT_GT(GoertzelShare(left, 440, 44100), 0.95);
  // 8-bit amplitude 0.5 x 127 steps of 256.
  EXPECT_NEAR(Rms(left), 0.5 * 127 * 256 / std::sqrt(2.0), 200);
}

TEST(Resampler, StereoFloatAt48000BecomesInternalFormat) {
  TWaveFormat in;
  in.format_tag = kWaveFormatIeeeFloat;
  in.channels = 2;
  in.samples_per_sec = 48000;
  in.bits_per_sample = 32;
  in.block_align = 8;
  in.avg_bytes_per_sec = 48000 * 8;
  TPcmResampler r;
  r.SetFormats(in, InternalFormat());
  std::vector<uint8_t> pcm = Sine(in, 1000, 0.25, 0.5);
  std::vector<int16_t> out = Resample(r, pcm);
  EXPECT_NEAR(static_cast<double>(out.size() / 2), 24000.0 * 44100 / 48000, 2.0);
  auto right = Slice(Channel(out, 2, 1), 1000, 20000);
  EXPECT_NEAR(ZeroCrossingFrequency(right, 44100), 1000.0, 2.0);
  EXPECT_GT(GoertzelShare(right, 1000, 44100), 0.95);
  EXPECT_NEAR(Rms(right), 0.25 * 32767 / std::sqrt(2.0), 60);
}

TEST(Resampler, PiecesGiveTheSameOutputAsOneCallAndOutputLagsOneFrame) {
  TWaveFormat in = PcmFormat(44100, 2, 16);
  std::vector<uint8_t> pcm = Sine(in, 300, 0.7, 0.2);
  TPcmResampler whole, pieces;
  whole.SetFormats(in, PcmFormat(32000, 2, 16));
  pieces.SetFormats(in, PcmFormat(32000, 2, 16));
  std::vector<int16_t> a = Resample(whole, pcm);
  std::vector<int16_t> b;
  size_t pos = 0;
  const size_t steps[] = {4, 400, 1236, 4000, 8};
  for (int i = 0; pos < pcm.size(); ++i) {
    size_t n = std::min(steps[i % 5], pcm.size() - pos);
    std::vector<uint8_t> part(pcm.begin() + pos, pcm.begin() + pos + n);
    auto o = Resample(pieces, part);
    b.insert(b.end(), o.begin(), o.end());
    pos += n;
  }
  EXPECT_EQ(a, b);
  // Same rate: the output is the input delayed by exactly one frame.
  TPcmResampler same;
  same.SetFormats(in, in);
  std::vector<int16_t> c = Resample(same, pcm);
  std::vector<int16_t> src(pcm.size() / 2);
  std::memcpy(src.data(), pcm.data(), pcm.size());
  ASSERT_EQ(c.size(), src.size());
  EXPECT_EQ(c[0], 0);
  for (size_t i = 2; i < c.size(); ++i) ASSERT_EQ(c[i], src[i - 2]) << i;
}

TEST(Resampler, RatiosAndUnsupportedFormats) {
  TPcmResampler r;
  r.SetFormats(PcmFormat(11025, 1, 16), PcmFormat(44100, 1, 8));
  EXPECT_EQ(r.OutputSize(2 * 11025), 44100);   // 4x frames, 1 byte each
  r.SetFormats(PcmFormat(48000, 2, 16), PcmFormat(16000, 2, 16));
  EXPECT_EQ(r.OutputSize(4 * 48000), 4 * 16000);
  r.SetFormats(PcmFormat(8000, 1, 24), InternalFormat());
  EXPECT_EQ(r.OutputSize(3 * 8000 + 2), r.OutputSize(3 * 8000));  // a partial frame waits
  EXPECT_NEAR(r.OutputSize(3 * 8000) / 4.0, 44100.0, 1.0);
  EXPECT_FALSE(TPcmResampler::SupportsInput(PcmFormat(44100, 4, 16)));
  EXPECT_FALSE(TPcmResampler::SupportsInput(PcmFormat(44100, 6, 8)));
  EXPECT_TRUE(TPcmResampler::SupportsInput(PcmFormat(44100, 6, 16)));
  EXPECT_THROW(r.SetFormats(PcmFormat(44100, 3, 16), InternalFormat()), EAssertionFailed);
}

TEST(LocalBuffer, AppendNeedsRoomConsumeMovesTheRestDown) {
  TLocalBuffer a, b;
  a.Reserve(4);
  b.Append("abcdef", 6);
  EXPECT_THROW(a.AppendFrom(b), EAssertionFailed);
  a.MakeRoom(6);
  a.AppendFrom(b);
  EXPECT_TRUE(b.Empty());
  a.Consume(2);
  ASSERT_EQ(a.Size(), 4);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(a.Data()), 4), "cdef");
  TMemoryStream s(std::vector<uint8_t>{1, 2, 3, 4, 5});
  TLocalBuffer c;
  c.Reserve(10);
  EXPECT_TRUE(c.ReadFromStream(s, 3));
  EXPECT_EQ(c.Size(), 3);
  EXPECT_FALSE(c.ReadFromStream(s, 3));
}

// A converter over a synthetic WAVE in memory.
struct TWaveSource {
  std::vector<uint8_t> bytes;
  TMemoryStream stream;
  TMediaInfo info;
  TWavConverter conv;
  explicit TWaveSource(std::vector<uint8_t> b) : bytes(std::move(b)), stream(bytes) {
    EXPECT_TRUE(TMediaInfoExtractor::Extract(stream, u".wav", info));
    conv.SetStream(&stream);
  }
};

TEST(WavConverter, FillAtTheEndPadsOnceThenReportsNoMore) {
  TWaveFormat f16 = PcmFormat(8000, 1, 16);
  TWaveSource s16(MakeWave(f16, Sine(f16, 100, 0.5, 0.1)));  // 1600 bytes
  ASSERT_TRUE(s16.conv.Open(s16.info));
  EXPECT_TRUE(s16.conv.Fill(1000));
  s16.conv.Output().Consume(1000);
  EXPECT_TRUE(s16.conv.Fill(1000));  // 600 real bytes, padded
  EXPECT_EQ(s16.conv.Output().Size(), 1000);
  EXPECT_EQ(s16.conv.Output().Data()[999], 0);
  s16.conv.Output().Consume(1000);
  EXPECT_FALSE(s16.conv.Fill(1000));

  TWaveFormat f8 = PcmFormat(8000, 1, 8);
  TWaveSource s8(MakeWave(f8, Sine(f8, 100, 0.5, 0.01)));  // 80 bytes
  ASSERT_TRUE(s8.conv.Open(s8.info));
  EXPECT_TRUE(s8.conv.Fill(200));
  EXPECT_EQ(s8.conv.Output().Data()[150], 128);
}

TEST(WavConverter, SeekPositionsOnWholeFramesAndTargetFormatResamples) {
  TWaveFormat f = PcmFormat(22050, 2, 16);
  std::vector<uint8_t> pcm(22050 * 4);
  for (size_t i = 0; i < pcm.size(); i += 4) {
    uint16_t frame = static_cast<uint16_t>(i / 4);
    std::memcpy(&pcm[i], &frame, 2);
    std::memcpy(&pcm[i + 2], &frame, 2);
  }
  TWaveSource s(MakeWave(f, pcm));
  ASSERT_TRUE(s.conv.Open(s.info));
  s.conv.Seek(500);
  ASSERT_TRUE(s.conv.Fill(4));
  uint16_t first;
  std::memcpy(&first, s.conv.Output().Data(), 2);
  EXPECT_EQ(first, 11025);
  EXPECT_DOUBLE_EQ(s.conv.Position(), 500 + 4096 * 1000.0 / (22050 * 4));

  TWaveSource t(SineWave(22050, 1, 16, 440, 0.5, 0.5));
  ASSERT_TRUE(t.conv.Open(t.info));
  t.conv.SetTargetFormat(InternalFormat());
  ASSERT_TRUE(t.conv.Fill(4 * 20000));
  auto left = Channel16(t.conv.Output().Data(), 4 * 20000, 2, 0);
  EXPECT_NEAR(ZeroCrossingFrequency(Slice(left, 100, 19000), 44100), 440, 1.5);
}

TEST(WavConverter, TwentyFourAndThirtyTwoBitIntegerSourcesKeepTheirLevel) {
  // 32-bit integer PCM is read as integers (the top 16 bits), not as floats.
  for (uint16_t bits : {24, 32}) {
    TWaveFormat f = PcmFormat(44100, 1, bits);
    std::vector<uint8_t> pcm;
    for (int i = 0; i < 44100 / 2; ++i) {
      double x = 0.5 * std::sin(2 * M_PI * 440 * i / 44100.0);
      int64_t v = std::llround(x * (bits == 24 ? 8388607.0 : 2147483647.0));
      for (int b = 0; b < bits / 8; ++b) pcm.push_back(static_cast<uint8_t>(v >> (8 * b)));
    }
    TWaveSource s(MakeWave(f, pcm));
    ASSERT_TRUE(s.conv.Open(s.info));
    EXPECT_EQ(s.conv.Output().Format(), InternalFormat());
    ASSERT_TRUE(s.conv.Fill(4 * 20000));
    auto left = Channel16(s.conv.Output().Data(), 4 * 20000, 2, 0);
    EXPECT_NEAR(Rms(Slice(left, 100, 19000)), 0.5 * 32767 / std::sqrt(2.0), 100) << bits;
  }
}

TEST(StreamAccess, NamesWindowsAndRoutineTable) {
  EXPECT_EQ(FilePartOfName(u"clip.mp4?2"), u"clip.mp4");
  EXPECT_EQ(TrackOfName(u"clip.mp4?2"), 2);
  EXPECT_EQ(FilePartOfName(u"what?.wav"), u"what?.wav");
  EXPECT_EQ(TrackOfName(u"a.wav"), -1);
  EXPECT_EQ(ExtensionOfName(u"Music\\Song.MP3?1"), u".mp3");
  EXPECT_EQ(ExtensionOfName(u"dir.x\\noext"), u"");

  std::vector<uint8_t> bytes = {0, 1, 2, 3, 4, 5, 6, 7};
  TOpenStreamCallback open = [&](const WideString&) -> TStream* { return new TMemoryStream(bytes); };
  int freed = 0;
  TFreeStreamCallback free = [&](TStream* s) {
    ++freed;
    delete s;
  };
  TStream* w = StreamWrapper().OpenWindow(u"x", 3, &open);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(StreamWrapper().Size(w), 5);
  EXPECT_EQ(StreamWrapper().Seek(w, 1, 0), 1);
  uint8_t b = 0;
  EXPECT_EQ(StreamWrapper().Read(w, &b, 1), 1);
  EXPECT_EQ(b, 4);
  EXPECT_THROW(w->Write(&b, 1), EAssertionFailed);
  EXPECT_THROW(StreamWrapper().Seek(w, 0, 3), EAssertionFailed);
  const TStreamRoutines* r = SoundStreamRoutines();
  EXPECT_EQ(r->tell(w), 2);
  EXPECT_EQ(r->seek(w, -1, 2), 4);
  EXPECT_EQ(r->size(w), 5);
  EXPECT_EQ(r->seek(w, 0, 7), -1);
  StreamWrapper().Free(w, &free);
  EXPECT_EQ(freed, 1);
}

}  // namespace
}  // namespace zem
