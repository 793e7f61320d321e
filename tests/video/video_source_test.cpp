// The video layer over FFmpeg: media analysis of the shared clips and of generated ones (frame
// rate repair, aspect, interlace), frame accuracy of the frame source across steps and seeks,
// the planes each surface layout gets, and the library switched off.
#include <gtest/gtest.h>

#include "foundation/stream.h"
#include "model/recording_drawer.h"
#include "test_data.h"
#include "video/ffmpeg_dll.h"
#include "video/video_layer.h"
#include "video/win_video_source.h"
#include "video_test_util.h"

namespace zem::test {
namespace {

std::unique_ptr<TWinVideoSource> Open(const std::string& path) {
  auto f = TFileStream::Open(path, TFileMode::Read);
  if (!f) return nullptr;
  return std::make_unique<TWinVideoSource>(f.release(), true, Utf8ToWide(path));
}

// Decodes frame n into a memory surface and reads the counter back (-1 when not delivered).
int32_t CounterAt(TWinVideoSource& s, int64_t n) {
  TRef<TMemoryVideoSurface> img(new TMemoryVideoSurface(s.Params().width, s.Params().height, false, false));
  if (!s.GetFrame(n, *img)) return -1;
  std::vector<uint8_t> y = img->Plane(kPlaneY);
  return ReadCounter(y.data(), img->PlaneWidth(kPlaneY));
}

TEST(VideoMedia, SharedClipsOpenWithTheirFacts) {
  struct TFacts {
    const char* file;
    int32_t w, h;
    double fps;
    uint8_t container;
    const char* codec;
    int64_t frames;  // approximately (within 2)
  };
  const TFacts clips[] = {
      {"moviepy_smpte-2997.mp4", 1920, 1080, 25.0, kContainerMov, "H264", 251},
      {"libopenshot_run.mp4", 720, 400, 30000.0 / 1001, kContainerMov, "H264", 150},
      {"infer_sample.avi", 320, 240, 12.5, kContainerAvi, "MPEG4", 377},
      // A 600 fps time base is above 100 fps: the rate stays and a frame spans many indexes.
      {"infer_sample.mov", 1920, 1080, 600.0, kContainerMov, "H264", 2990},
      {"moviepy_big_buck_bunny_432_433.webm", 1280, 720, 24.0, kContainerMatroska, "OTHER", 24},
  };
  for (const TFacts& c : clips) {
    SCOPED_TRACE(c.file);
    auto s = Open(DataFile(std::string("video/") + c.file));
    ASSERT_TRUE(s && s->Usable());
    EXPECT_EQ(s->Params().width, c.w);
    EXPECT_EQ(s->Params().height, c.h);
    EXPECT_NEAR(s->Params().fps, c.fps, 1e-6);
    EXPECT_EQ(s->Container(), c.container);
    EXPECT_EQ(s->Params().codecName, c.codec);
    EXPECT_NEAR(double(s->Params().frameCount), double(c.frames), 2.0);
    EXPECT_FALSE(s->Params().rgb);
    EXPECT_FALSE(s->Params().interlaceKnown);
    // The first and the last frame decode.
    TRef<TMemoryVideoSurface> img(new TMemoryVideoSurface(c.w, c.h, false, false));
    EXPECT_TRUE(s->GetFrame(0, *img));
    EXPECT_TRUE(s->GetFrame(s->Params().frameCount - 1, *img));
    EXPECT_EQ(img->Finished(), 2);
  }
  // VP9 with an alpha channel arrives packed with its transparency.
  auto alpha = Open(DataFile("video/moviepy_transparent.webm"));
  ASSERT_TRUE(alpha && alpha->Usable());
  EXPECT_TRUE(alpha->Params().rgb);
  TRef<TMemoryVideoSurface> rgba(new TMemoryVideoSurface(200, 200, true, false));
  ASSERT_TRUE(alpha->GetFrame(10, *rgba));
  std::vector<uint8_t> px = rgba->Plane(kPlaneRgba);
  int transparent = 0, opaque = 0;
  for (size_t i = 3; i < px.size(); i += 4) {
    if (px[i] < 16) ++transparent;
    if (px[i] > 240) ++opaque;
  }
  EXPECT_GT(transparent, 0);
  EXPECT_GT(opaque, 0);
  // Not a clip at all.
  auto text = std::make_unique<TMemoryStream>(std::vector<uint8_t>(5000, 'x'));
  TWinVideoSource junk(text.release(), true, u"junk.avi");
  EXPECT_FALSE(junk.Usable());
}

TEST(VideoMedia, FrameRateRepairAspectAndContainerRules) {
  TMediaContext ctx;
  TVideoDataEx ex;
  auto repair = [&](int32_t num, int32_t den, int32_t avgNum, int32_t avgDen, uint8_t container) {
    ctx.fpsNum = num;
    ctx.fpsDen = den;
    ctx.avgFpsNum = avgNum;
    ctx.avgFpsDen = avgDen;
    ex.container = container;
    TFFMpegDll::RepairFrameRate(&ctx, ex);
    return double(ctx.fpsNum) / ctx.fpsDen;
  };
  // 23.98 fps with an average of 2997/125 becomes exactly 24000/1001.
  EXPECT_DOUBLE_EQ(repair(2398, 100, 2997, 125, kContainerAvi), 24000.0 / 1001);
  EXPECT_DOUBLE_EQ(repair(60, 1, 30000, 1001, kContainerMov), 30000.0 / 1001);
  EXPECT_DOUBLE_EQ(repair(30000, 1001, 25, 1, kContainerMpeg), 30000.0 / 1001);  // already exact
  EXPECT_DOUBLE_EQ(repair(90000, 1, 50, 1, kContainerMpegTs), 50.0);             // the average wins
  EXPECT_DOUBLE_EQ(repair(50, 1, 240, 1, kContainerFlv), 50.0);                  // above 130: kept
  EXPECT_DOUBLE_EQ(repair(50, 1, 25, 1, kContainerMov), 50.0);                   // other containers keep it

  EXPECT_EQ(TFFMpegDll::AspectCode(1440, 1080, 0, 1), 2);
  EXPECT_EQ(TFFMpegDll::AspectCode(720, 576, 64, 45), 2);
  EXPECT_EQ(TFFMpegDll::AspectCode(720, 576, 16, 15), 1);  // 4:3 by its numerator
  EXPECT_EQ(TFFMpegDll::AspectCode(640, 480, 1, 1), 1);
  EXPECT_EQ(TFFMpegDll::AspectCode(1920, 1080, 1, 1), 2);
  EXPECT_EQ(TFFMpegDll::AspectCode(720, 400, 1, 1), 0);
  EXPECT_EQ(TFFMpegDll::AspectCode(720, 400, 0, 1), 0);

  EXPECT_EQ(TFFMpegDll::ContainerCode("matroska,webm"), kContainerMatroska);
  EXPECT_EQ(TFFMpegDll::ContainerCode("mpegvideo"), kContainerMpeg);
  EXPECT_EQ(TFFMpegDll::ContainerCode("asf"), kContainerAsf);
  EXPECT_EQ(TFFMpegDll::ContainerCode("ogg"), kContainerOther);

  // Frame index of a time stamp: 25 fps in a 1/90000 time base starting at 1 s.
  TMediaContext t;
  t.fpsNum = 25;
  t.fpsDen = 1;
  t.videoTbNum = 1;
  t.videoTbDen = 90000;
  t.startTime = 1000000;
  EXPECT_EQ(TFFMpegDll::FrameIndexOf(&t, 90000 + 3600 * 7), 7);
  EXPECT_EQ(TFFMpegDll::FrameIndexOf(&t, kNoPts), -1);
  t.videoTbDen = 0;
  EXPECT_EQ(TFFMpegDll::FrameIndexOf(&t, 90000), -1);
}

TEST(VideoFrames, EveryRequestGetsItsFrameAcrossStepsAndSeeks) {
  TVideoScratch dir;
  TClipOptions o;
  o.frames = 300;
  o.gop = 25;
  for (const char* format : {"avi", "mp4", "matroska"}) {
    SCOPED_TRACE(format);
    const std::string path = dir.Path(std::string("count.") + format);
    o.format = format;
    ASSERT_TRUE(MakeClip(path, o));
    auto s = Open(path);
    ASSERT_TRUE(s && s->Usable());
    EXPECT_EQ(s->Params().frameCount, 300);
    // Steps, short jumps forward (decoded), long jumps (seek), backwards, the ends.
    for (int64_t n : {0, 1, 2, 3, 10, 35, 36, 299, 298, 150, 5, 4, 0, 120, 121, 149, 148, 200, 60})
      EXPECT_EQ(CounterAt(*s, n), n) << "frame " << n;
    // The same frame twice is copied again without decoding anything.
    EXPECT_EQ(CounterAt(*s, 60), 60);
  }
}

TEST(VideoFrames, LayoutsOfTheSurfaceGetTheirPlanes) {
  TVideoScratch dir;
  TClipOptions o;
  o.frames = 5;
  ASSERT_TRUE(MakeClip(dir.Path("c.avi"), o));
  auto s = Open(dir.Path("c.avi"));
  ASSERT_TRUE(s && s->Usable());
  // A mask surface takes the luma only.
  TRef<TMemoryVideoSurface> mask(new TMemoryVideoSurface(176, 144, false, true));
  ASSERT_TRUE(s->GetFrame(3, *mask));
  std::vector<uint8_t> y = mask->Plane(kPlaneY);
  EXPECT_EQ(ReadCounter(y.data(), 176), 3);
  // An RGBA surface for a clip without RGB gets nothing and the frame is not delivered.
  TRef<TMemoryVideoSurface> rgba(new TMemoryVideoSurface(176, 144, true, false));
  EXPECT_FALSE(s->GetFrame(3, *rgba));
  EXPECT_EQ(rgba->Finished(), 0);
  // The grey table of 5-6-5 surfaces.
  EXPECT_EQ(TWinVideoSource::GreyPixel(0), (16 / 4) * 32 + (16 / 8) * 2049);
  EXPECT_EQ(TWinVideoSource::GreyPixel(255), (235 / 4) * 32 + (235 / 8) * 2049);
  // 24-bit pictures: the counter's white block in blue, green, red order.
  TBitmap bmp;
  ASSERT_TRUE(s->GetFrame24(1, bmp));
  EXPECT_EQ(bmp.Width(), 176);
  EXPECT_GT(bmp.Row(8)[8 * 3 + 1], 200);   // bit 0 set: white
  EXPECT_LT(bmp.Row(8)[24 * 3 + 1], 40);   // bit 1 clear: black
}

TEST(VideoMedia, InterlaceFromTagsContainersAndDecodedFields) {
  TVideoScratch dir;
  struct TCase {
    const char* name;
    const char* format;
    const char* codec;
    int32_t fieldOrder;
    const char* title;
    bool known, field;
  };
  const TCase cases[] = {
      {"tff.mpg", "mpeg", "mpeg2video", 1, nullptr, true, false},
      {"bff.mpg", "mpeg", "mpeg2video", 2, nullptr, true, true},
      {"prog.mpg", "mpeg", "mpeg2video", 0, nullptr, false, true},
      // AVI and Matroska say nothing without a tag; the tag says it for any container.
      {"tff.avi", "avi", "mpeg2video", 1, nullptr, false, true},
      {"tagged.mkv", "matroska", "mpeg4", 0, "Orvane_ITFA", true, false},
      {"tagged2.mkv", "matroska", "mpeg4", 0, "Orvane_ITFB", true, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TClipOptions o;
    o.format = c.format;
    o.codec = c.codec;
    o.fieldOrder = c.fieldOrder;
    o.title = c.title;
    o.frames = 6;
    ASSERT_TRUE(MakeClip(dir.Path(c.name), o));
    auto s = Open(dir.Path(c.name));
    ASSERT_TRUE(s && s->Usable());
    EXPECT_EQ(s->Params().interlaceKnown, c.known);
    EXPECT_EQ(s->Params().fieldFlag, c.field);
    // Probing decoded frames does not move the stream: frame 0 comes first.
    EXPECT_EQ(CounterAt(*s, 0), 0);
  }
  // Anamorphic PAL: 16:9 and 4:3 by the sample aspect.
  for (auto [sar, code] : {std::pair{64, 2}, std::pair{16, 1}}) {
    TClipOptions o;
    o.format = "matroska";
    o.width = 720;
    o.height = 576;
    o.frames = 2;
    o.sarNum = sar;
    o.sarDen = sar == 64 ? 45 : 15;
    ASSERT_TRUE(MakeClip(dir.Path("ana.mkv"), o));
    auto s = Open(dir.Path("ana.mkv"));
    ASSERT_TRUE(s && s->Usable());
    EXPECT_EQ(s->Params().aspectCode, code) << sar;
  }
}

TEST(VideoLayer, FactoryCachesParamsAndTheLibraryCanBeAbsent) {
  TVideoScratch dir;
  TClipOptions o;
  o.frames = 10;
  ASSERT_TRUE(MakeClip(dir.Path("c.avi"), o));
  InstallVideoLayer();
  auto source = CreateFrameSource(TFileStream::Open(dir.Path("c.avi"), TFileMode::Read), u"clip\\c.avi", 86400 * 3);
  ASSERT_TRUE(source);
  video::TVideoParams cached;
  ASSERT_TRUE(CachedVideoParams(u"clip\\c.avi:04.01.1970", cached) ||
              CachedVideoParams(u"clip\\c.avi:03.01.1970", cached));  // local time of day 3
  EXPECT_EQ(cached.frameCount, 10);
  // A refused name frees the stream and gives none.
  SetFrameSourceNameHook([](const WideString& n) { return n != u"refused.avi"; });
  EXPECT_FALSE(CreateFrameSource(TFileStream::Open(dir.Path("c.avi"), TFileMode::Read), u"refused.avi"));
  SetFrameSourceNameHook(nullptr);
  // Without the library file an open source keeps working; once it is let go nothing opens.
  SetFFmpegLibraryPresent(false);
  TRef<TMemoryVideoSurface> img(new TMemoryVideoSurface(176, 144, false, false));
  EXPECT_TRUE(source->GetFrame(4, *img));
  source.reset();
  EXPECT_EQ(TFFMpegDll::Acquire(), nullptr);
  EXPECT_FALSE(CreateFrameSource(TFileStream::Open(dir.Path("c.avi"), TFileMode::Read), u"c.avi"));
  SetFFmpegLibraryPresent(true);
}

}  // namespace
}  // namespace zem::test
