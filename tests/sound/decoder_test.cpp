#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>

#include "sound/adpcm_converter.h"
#include "sound/converter_factory.h"
#include "sound/media_info.h"
#include "sound/mpeg_frame.h"
#include "sound/plugin_converter.h"
#include "sound/stream_access.h"
#include "sound_test_util.h"

namespace zem {
namespace {

using namespace soundtest;

// A decoded source: its media information and all of its PCM in the converter's own format.
struct TDecoded {
  bool ok = false;
  TMediaInfo info;
  TWaveFormat format;
  std::vector<uint8_t> pcm;
};

TDecoded DecodeBytes(const std::vector<uint8_t>& bytes, const WideString& ext, double seek_ms = 0,
                     int64_t max_bytes = 64 << 20) {
  TDecoded d;
  TMemoryStream s(bytes);
  if (!TMediaInfoExtractor::Extract(s, ext, d.info)) return d;
  auto conv = CreateConverter(&s, u"x" + ext, d.info);
  if (!conv || !conv->Open(d.info)) return d;
  if (seek_ms > 0) conv->Seek(seek_ms);
  d.format = conv->Output().Format();
  // Bytes a seek has already decoded ahead count as delivered.
  const double start = conv->Position() - conv->Output().Size() * 1000.0 / d.format.avg_bytes_per_sec;
  const int64_t piece = 8192;
  while (static_cast<int64_t>(d.pcm.size()) < max_bytes) {
    bool more = conv->Fill(piece);
    d.pcm.insert(d.pcm.end(), conv->Output().Data(), conv->Output().Data() + piece);
    conv->Output().Consume(piece);
    if (!more) break;
  }
  // Padding is not audio: the position counts only what the source delivered.
  int64_t real = std::llround((conv->Position() - start) * d.format.avg_bytes_per_sec / 1000.0);
  real -= real % d.format.block_align;
  if (real < static_cast<int64_t>(d.pcm.size())) d.pcm.resize(static_cast<size_t>(real));
  d.ok = true;
  return d;
}

TDecoded DecodeFile(const char* name, double seek_ms = 0) {
  std::string n = name;
  WideString ext = Utf8ToWide(n.substr(n.rfind('.')));
  return DecodeBytes(ReadAll(TestAudio(name)), ext, seek_ms);
}

double Frames(const TDecoded& d) { return static_cast<double>(d.pcm.size()) / d.format.block_align; }

std::vector<double> Mono16(const TDecoded& d) {
  if (d.format.bits_per_sample == 8) {
    std::vector<double> v;
    for (size_t i = 0; i < d.pcm.size(); i += d.format.channels) v.push_back((d.pcm[i] - 128) * 256.0);
    return v;
  }
  return Channel16(d.pcm.data(), d.pcm.size(), d.format.channels, 0);
}

// MPEG-1 layer III, 128 kbit/s, 44100 Hz, stereo: 417-byte frames (no padding).
std::vector<uint8_t> Mp3Frames(int count, bool xing_frames = false) {
  std::vector<uint8_t> v;
  for (int i = 0; i < count; ++i) {
    size_t start = v.size();
    v.insert(v.end(), {0xFF, 0xFB, 0x90, 0x00});
    v.resize(start + 417, 0);
    if (i == 0 && xing_frames) {
      std::memcpy(&v[start + 36], "Xing", 4);
      v[start + 43] = 1;      // flags: frame count present
      v[start + 46] = 0x01;   // frames = 0x0100 = 256
    }
  }
  return v;
}

TEST(MediaInfo, WaveWithAChunkBeforeFmtAndOddSizedChunks) {
  TWaveFormat f = PcmFormat(22050, 2, 16);
  std::vector<uint8_t> w = MakeWave(f, Sine(f, 440, 0.5, 0.5), {}, true);
  TMemoryStream s(w);
  TMediaInfo info;
  ASSERT_TRUE(TMediaInfoExtractor::Extract(s, u".WAV", info));
  EXPECT_EQ(info.format_code, kMediaPcmWave);
  EXPECT_EQ(info.wave_format, f);
  EXPECT_EQ(info.data_offset, 12u + 14 + 24 + 8);
  EXPECT_EQ(info.data_size, 22050u * 4 / 2);
  EXPECT_EQ(info.duration, 500u);
}

TEST(MediaInfo, MsAdpcmFormatWithFactChunkFindsItsData) {
  std::vector<uint8_t> bytes = ReadAll(TestAudio("soundevent_wav_ms_adpcm.wav"));
  TMemoryStream s(bytes);
  TMediaInfo info;
  ASSERT_TRUE(TMediaInfoExtractor::Extract(s, u".wav", info));
  EXPECT_EQ(info.format_code, kMediaAdpcmWave);
  EXPECT_EQ(info.wave_format.format_tag, 2);
  EXPECT_EQ(info.wave_format.extra_size, 32);
  EXPECT_EQ(info.extra[2], 7);                     // coefficient count
  EXPECT_EQ(info.extra[4] | (info.extra[5] << 8), 256);  // first coefficient pair (256, 0)
  EXPECT_EQ(info.data_offset, 0x5Au);
  EXPECT_EQ(info.data_size, 0x2000u);
}

TEST(MediaInfo, Mp3TagsAreExcludedAndDurationsFollowTheHeader) {
  std::vector<uint8_t> v = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 100};
  v.resize(110, 0);
  std::vector<uint8_t> frames = Mp3Frames(40);
  v.insert(v.end(), frames.begin(), frames.end());
  std::vector<uint8_t> tag(128, ' ');
  std::memcpy(tag.data(), "TAG", 3);
  v.insert(v.end(), tag.begin(), tag.end());
  TMemoryStream s(v);
  TMediaInfo info;
  ASSERT_TRUE(TMediaInfoExtractor::Extract(s, u".mp3", info));
  EXPECT_EQ(info.format_code, kMediaMpeg);
  EXPECT_EQ(info.data_offset, 110u);
  EXPECT_EQ(info.data_size, 40u * 417);
  EXPECT_EQ(info.duration, 40u * 417 * 8 / 128);
  EXPECT_EQ(info.largest_frame, 417u);
  EXPECT_EQ(info.extra[0], 0);
  EXPECT_EQ(info.wave_format, PcmFormat(44100, 2, 16));

  std::vector<uint8_t> x = Mp3Frames(30, true);
  TMemoryStream xs(x);
  ASSERT_TRUE(TMediaInfoExtractor::Extract(xs, u".mp3", info));
  EXPECT_EQ(info.extra[0], 1);
  EXPECT_EQ(info.duration, static_cast<uint32_t>(std::lround(256 * 1152 / 44100.0 * 1000)));
  EXPECT_NEAR(info.frame_time, 1152 / 44.1, 0.1);
}

TEST(MediaInfo, DamagedAndUnsupportedInputIsRefusedCleanly) {
  for (const char* name : {"soundevent_wav_ima_adpcm.wav", "soundevent_wav_alaw.wav"}) {
    std::vector<uint8_t> b = ReadAll(TestAudio(name));
    TMemoryStream s(b);
    TMediaInfo info;
    EXPECT_FALSE(TMediaInfoExtractor::Extract(s, u".wav", info)) << name;
    EXPECT_EQ(info.format_code, kMediaUnknown);
  }
  TWaveFormat f = PcmFormat(8000, 1, 16);
  std::vector<uint8_t> good = MakeWave(f, Sine(f, 100, 0.1, 0.1));
  // Every truncation fails or stays within the file.
  for (size_t cut = 0; cut < 60; ++cut) {
    std::vector<uint8_t> b(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
    TMemoryStream s(b);
    TMediaInfo info;
    if (TMediaInfoExtractor::Extract(s, u".wav", info)) {
      EXPECT_LE(info.data_offset + info.data_size, b.size());
    }
  }
  // A data chunk claiming 4 GB is cut to the file; a block align of zero is refused.
  std::vector<uint8_t> big = good;
  std::memset(&big[40], 0xFF, 4);
  TMemoryStream bs(big);
  TMediaInfo info;
  ASSERT_TRUE(TMediaInfoExtractor::Extract(bs, u".wav", info));
  EXPECT_EQ(info.data_size, big.size() - 44);
  std::vector<uint8_t> zero = good;
  zero[32] = 0;
  TMemoryStream zs(zero);
  EXPECT_FALSE(TMediaInfoExtractor::Extract(zs, u".wav", info));
  // Unknown extensions and non-audio bytes.
  std::vector<uint8_t> text(100, 'a');
  TMemoryStream ts(text);
  EXPECT_FALSE(TMediaInfoExtractor::Extract(ts, u".mp3", info));
  EXPECT_FALSE(TMediaInfoExtractor::Extract(ts, u".xyz", info));
}

TEST(Decoders, EveryTestFileDecodesOrIsRefusedWithoutCrashing) {
  DIR* dir = opendir(zem::test::DataFile("audio").c_str());
  ASSERT_NE(dir, nullptr);
  int decoded = 0;
  while (dirent* e = readdir(dir)) {
    std::string n = e->d_name;
    if (n[0] == '.') continue;
    TDecoded d = DecodeFile(n.c_str());
    if (!d.ok) continue;
    ++decoded;
    EXPECT_GT(d.pcm.size(), 0u) << n;
    EXPECT_EQ(d.pcm.size() % d.format.block_align, 0u) << n;
    // The decoded length agrees with the header's duration (tolerance: codec delay, rounding).
    if (d.info.duration > 200 && d.info.format_code != kMediaMpeg) {
      double ms = Frames(d) * 1000.0 / d.format.samples_per_sec;
      EXPECT_NEAR(ms, d.info.duration, 0.05 * d.info.duration + 60) << n;
    }
  }
  closedir(dir);
  EXPECT_GE(decoded, 25);
}

TEST(Decoders, MsAdpcmDecodesWithinTheCodecErrorOfItsPcmTwin) {
  TDecoded a = DecodeFile("soundevent_wav_ms_adpcm.wav");
  TDecoded p = DecodeFile("soundevent_wav_pcm_16.wav");
  ASSERT_TRUE(a.ok && p.ok);
  EXPECT_EQ(a.format, p.format);
  auto x = Mono16(a), y = Mono16(p);
  ASSERT_GE(x.size(), y.size() - 500);
  size_t n = std::min(x.size(), y.size());
  std::vector<double> diff(n);
  for (size_t i = 0; i < n; ++i) diff[i] = x[i] - y[i];
  double signal = Rms(Slice(y, 0, n)), error = Rms(diff);
  EXPECT_GT(signal, 1000);
  EXPECT_LT(error, 0.25 * signal) << "signal " << signal << " error " << error;
}

TEST(Decoders, AdpcmBlockWithAMissingPredictorFails) {
  TAdpcmParams p;
  TWaveFormat f;
  f.format_tag = 2;
  f.channels = 1;
  f.samples_per_sec = 8000;
  f.avg_bytes_per_sec = 4000;
  f.block_align = 64;
  f.bits_per_sample = 4;
  uint8_t extra[32] = {};
  extra[2] = 2;  // two coefficient pairs
  ASSERT_TRUE(ParseAdpcmFormat(f, extra, p));
  EXPECT_EQ(p.samples_per_block, (64 - 7) * 2 + 2);
  std::vector<uint8_t> block(64, 0x77);
  std::vector<int16_t> out(static_cast<size_t>(p.samples_per_block));
  block[0] = 1;
  EXPECT_TRUE(DecodeAdpcmBlock(p, block.data(), out.data()));
  block[0] = 5;
  EXPECT_FALSE(DecodeAdpcmBlock(p, block.data(), out.data()));
  extra[2] = 9;
  EXPECT_FALSE(ParseAdpcmFormat(f, extra, p));
}

TEST(Decoders, Mp3AndOggDecodeToTheLengthAndLevelOfTheirWaveTwin) {
  ASSERT_TRUE(LoadPlugin(TPluginSlot::Ogg, &OggVorbisPluginLibrary()));
  TDecoded w = DecodeFile("pygame_house_lo.wav");
  ASSERT_TRUE(w.ok);
  const double wave_ms = Frames(w) * 1000.0 / w.format.samples_per_sec;
  const double wave_rms = Rms(Mono16(w));
  for (const char* name : {"pygame_house_lo.mp3", "pygame_house_lo.ogg"}) {
    TDecoded d = DecodeFile(name);
    ASSERT_TRUE(d.ok) << name;
    EXPECT_EQ(d.format.samples_per_sec, w.format.samples_per_sec) << name;
    EXPECT_EQ(d.format.channels, w.format.channels) << name;
    EXPECT_EQ(d.format.bits_per_sample, 16) << name;
    double ms = Frames(d) * 1000.0 / d.format.samples_per_sec;
    EXPECT_NEAR(ms, wave_ms, 200) << name;  // encoder delay and padding: up to 4 frames of 576
    EXPECT_NEAR(Rms(Mono16(d)), wave_rms, 0.1 * wave_rms) << name;
  }
}

TEST(Decoders, MpegProcessSucceedsOnlyWithDecodedBytes) {
  std::vector<uint8_t> bytes = ReadAll(TestAudio("spreaker_mp3-cbr-mono-44100khz-64kbps.mp3"));
  TMemoryStream s(bytes);
  TMediaInfo info;
  ASSERT_TRUE(TMediaInfoExtractor::Extract(s, u".mp3", info));
  auto conv = CreateConverter(&s, u"a.mp3", info);
  ASSERT_TRUE(conv && conv->Open(info));
  // Nothing read yet: nothing fed, nothing decoded.
  EXPECT_FALSE(conv->Process(conv->Input()));
  ASSERT_TRUE(conv->Read());
  EXPECT_TRUE(conv->Process(conv->Input()));
  EXPECT_GT(conv->Output().Size(), 0);
}

TEST(Decoders, SeekingAnMp3DecodesTheLeadInAndDropsIt) {
  TDecoded full = DecodeFile("spreaker_mp3-cbr-mono-44100khz-64kbps.mp3");
  TDecoded at50 = DecodeFile("spreaker_mp3-cbr-mono-44100khz-64kbps.mp3", 50);
  ASSERT_TRUE(full.ok && at50.ok);
  const size_t skip = 44100 * 50 / 1000 * 2;
  ASSERT_GT(full.pcm.size(), skip + 20000);
  EXPECT_TRUE(std::equal(at50.pcm.begin(), at50.pcm.begin() + 20000, full.pcm.begin() + skip));
  // A seek into the middle lands on the right audio within a frame.
  TDecoded mid = DecodeFile("spreaker_mp3-cbr-mono-44100khz-64kbps.mp3", 2000);
  ASSERT_TRUE(mid.ok);
  EXPECT_GT(mid.pcm.size(), 0u);
  EXPECT_LT(std::abs(static_cast<double>(full.pcm.size() - mid.pcm.size()) / 2 - 88200.0), 1200.0);
}

TEST(Decoders, VbrMp3SeeksByWalkingFrames) {
  TDecoded full = DecodeFile("spreaker_mp3-vbr-stereo-44100khz-128kbps.mp3");
  TDecoded mid = DecodeFile("spreaker_mp3-vbr-stereo-44100khz-128kbps.mp3", 1000);
  ASSERT_TRUE(full.ok && mid.ok);
  EXPECT_EQ(full.info.extra[0], 1);
  double lost_ms = (static_cast<double>(full.pcm.size()) - static_cast<double>(mid.pcm.size())) / 4 / 44.1;
  EXPECT_NEAR(lost_ms, 1000, 27);
}

// A plug-in library that lacks one routine.
class TIncompleteLibrary : public TPluginLibrary {
 public:
  void* Symbol(const char* name) const override {
    if (std::string(name) == "SetPosition") return nullptr;
    return OggVorbisPluginLibrary().Symbol(name);
  }
};

TEST(Plugins, AnIncompleteLibraryCountsAsAbsent) {
  std::vector<uint8_t> ogg = ReadAll(TestAudio("soundevent_ogg_vorbis.ogg"));
  TIncompleteLibrary lib;
  EXPECT_FALSE(LoadPlugin(TPluginSlot::Ogg, &lib));
  EXPECT_FALSE(PluginSlot(TPluginSlot::Ogg).loaded);
  TMemoryStream s(ogg);
  TMediaInfo info;
  EXPECT_FALSE(TMediaInfoExtractor::Extract(s, u".ogg", info));
  ASSERT_TRUE(LoadPlugin(TPluginSlot::Ogg, &OggVorbisPluginLibrary()));
  ASSERT_TRUE(TMediaInfoExtractor::Extract(s, u".ogg", info));
  EXPECT_EQ(info.format_code, kMediaOgg);
  EXPECT_EQ(info.wave_format, PcmFormat(16000, 1, 16));
  EXPECT_NEAR(info.duration, 1000, 20);
  // The WMA slot is empty: its files are refused.
  EXPECT_FALSE(TMediaInfoExtractor::Extract(s, u".wma", info));
}

TEST(Plugins, OggSeekWritesBackThePositionReached) {
  ASSERT_TRUE(LoadPlugin(TPluginSlot::Ogg, &OggVorbisPluginLibrary()));
  std::vector<uint8_t> bytes = ReadAll(TestAudio("miniaudio_48000-stereo.ogg"));
  TMemoryStream s(bytes);
  TMediaInfo info;
  ASSERT_TRUE(TMediaInfoExtractor::Extract(s, u".ogg", info));
  auto conv = CreateConverter(&s, u"a.ogg", info);
  ASSERT_TRUE(conv && conv->Open(info));
  conv->Seek(1500);
  EXPECT_NEAR(conv->Position(), 1500, 30);
  EXPECT_TRUE(conv->Fill(48000));
}

}  // namespace
}  // namespace zem
