// A slide with video objects drawn headless by the real drawer (llvmpipe): a clip with border
// and crop, a green-screen clip keyed out, an interlaced clip drawn field by field (BobEven and
// BobOdd), and a clip used as a viewport's mask. Compared with a reference picture.
#include <gtest/gtest.h>

#include <cstring>

#include "../render/drawer/drawer_support.h"
#include "model/slide_producer.h"
#include "model/zem_video.h"
#include "package/file_accessor.h"
#include "package/file_source.h"
#include "script/ini_file.h"
#include "video/video_layer.h"
#include "video_test_util.h"

namespace zem::test {
namespace {

void Fill(uint8_t* const planes[3], const int32_t strides[3], int32_t w, int32_t h, uint8_t y, uint8_t u, uint8_t v) {
  for (int32_t r = 0; r < h; ++r) std::memset(planes[0] + int64_t(r) * strides[0], y, size_t(w));
  for (int32_t r = 0; r < h / 2; ++r) {
    std::memset(planes[1] + int64_t(r) * strides[1], u, size_t(w / 2));
    std::memset(planes[2] + int64_t(r) * strides[2], v, size_t(w / 2));
  }
}

// Pure green (BT.601, video range) with a white square in the middle.
void GreenScreen(int32_t, uint8_t* const p[3], const int32_t s[3], int32_t w, int32_t h) {
  Fill(p, s, w, h, 145, 54, 34);
  for (int32_t r = h / 4; r < 3 * h / 4; ++r) std::memset(p[0] + int64_t(r) * s[0] + w / 4, 235, size_t(w / 2));
  for (int32_t r = h / 8; r < 3 * h / 8; ++r) {
    std::memset(p[1] + int64_t(r) * s[1] + w / 8, 128, size_t(w / 4));
    std::memset(p[2] + int64_t(r) * s[2] + w / 8, 128, size_t(w / 4));
  }
}

// Even rows white, odd rows black: the top field is white, the bottom field black.
void Fields(int32_t, uint8_t* const p[3], const int32_t s[3], int32_t w, int32_t h) {
  Fill(p, s, w, h, 16, 128, 128);
  for (int32_t r = 0; r < h; r += 2) std::memset(p[0] + int64_t(r) * s[0], 235, size_t(w));
}

// A white disc on black.
void Disc(int32_t, uint8_t* const p[3], const int32_t s[3], int32_t w, int32_t h) {
  Fill(p, s, w, h, 16, 128, 128);
  for (int32_t r = 0; r < h; ++r)
    for (int32_t c = 0; c < w; ++c) {
      const int32_t dx = c - w / 2, dy = r - h / 2;
      if (dx * dx + dy * dy < (h / 3) * (h / 3)) p[0][int64_t(r) * s[0] + c] = 235;
    }
}

std::string Node(const std::string& kind, const std::string& caption, const std::string& keys, const std::string& at,
                 const std::string& scale, const std::string& children = "") {
  return "object " + kind + ": " + caption + "\n" + keys + "object keypoint:\nTime=0\nPosition=" + at + "\nScaleX=" +
         scale + "\nScaleY=" + scale + "\nend\n" + children + "end\n";
}

TEST(VideoGolden, BorderCropChromaKeyFieldsAndMask) {
  TDrawerRig rig(320, 240);
  ZEM_REQUIRE_DRAWER(rig);
  InstallVideoLayer();
  TVideoScratch dir;
  TClipOptions o;
  o.width = 64;
  o.height = 48;
  o.frames = 10;
  o.quality = 2;
  ASSERT_TRUE(MakeClip(dir.Path("count.avi"), o));
  o.paint = &GreenScreen;
  ASSERT_TRUE(MakeClip(dir.Path("green.avi"), o));
  o.paint = &Disc;
  ASSERT_TRUE(MakeClip(dir.Path("disc.avi"), o));
  o.paint = &Fields;
  o.format = "mp4";
  o.codec = "mpeg2video";
  o.fieldOrder = 1;
  ASSERT_TRUE(MakeClip(dir.Path("fields.mp4"), o));

  const std::string timing = "Duration=400\n";
  const std::string text =
      "[Main]\nopt_scr_width=320\nopt_scr_height=240\nopt_fx_enable=0\nopt_slidescount=1\nopt_synchpos1=4000\n"
      "opt_bstyle=1\nopt_bname=4210752\n[Slide1]\n" +
      Node("video", "Framed",
           "FileName=count.avi\n" + timing +
               "EnableBorder=1\nBorderWidth=10\nBorderColor=255,255,0,255\nEnableCrop=1\nCropRect=10,10,10,10\n",
           "-50,-50", "45") +
      Node("video", "Keyed", "FileName=green.avi\n" + timing + "Chromakey=0,0.2118,0.1333\nChromaDelta=0.1\n",
           "50,-50", "45") +
      Node("video", "Even", "FileName=fields.mp4\n" + timing + "DeinterlaceType=BobEven\n", "-75,50", "22") +
      Node("video", "Odd", "FileName=fields.mp4\n" + timing + "DeinterlaceType=BobOdd\n", "-25,50", "22") +
      Node("viewport", "Port", "Size=64,48\n", "50,50", "45",
           Node("box", "Content", "Size=64,48\nColor1=255,0,0\n", "0,0", "100") +
               Node("videomask", "Mask", "FileName=disc.avi\n" + timing, "0,0", "100"));
  auto ini = std::make_unique<TIniFile>();
  ASSERT_TRUE(ini->LoadFromText(Utf8ToWide(text)));
  auto files = std::make_unique<TFileAccessor>(MakeRef<TRealFileSource>(dir.Path("")));
  TSlideProducer producer(MakeRef<TZemSource>(std::move(ini), std::move(files)));
  producer.SetOutput({320, 240}, TSlideProducer::kFitInside, 100, 100);
  std::unique_ptr<TZemSlide> slide = producer.CreateSlide(0, 0);
  ASSERT_TRUE(slide);
  // 70 ms: frame 2, in the first half of its window.
  slide->SetTimeAndUpdate(true, 70);
  TBitmap b = rig.Render(*slide);
  slide->FrameDone(*rig.drawer);

  const uint32_t grey = 0xFF404040u;
  // The border is yellow; the cropped picture inside it.
  EXPECT_LE(ChannelDiff(Px(b, 80, 11), 0xFFFFFF00u), 40) << std::hex << Px(b, 80, 11);
  // Green is keyed out to the background; the white square stays.
  EXPECT_LE(ChannelDiff(Px(b, 180, 30), grey), 40) << std::hex << Px(b, 180, 30);
  EXPECT_GE(Px(b, 240, 60) & 0xFF, 200u) << std::hex << Px(b, 240, 60);
  // The top field is white, the bottom field black.
  EXPECT_GE(Px(b, 40, 180) & 0xFF, 180u) << std::hex << Px(b, 40, 180);
  EXPECT_LE(Px(b, 120, 180) & 0xFF, 60u) << std::hex << Px(b, 120, 180);
  // The red box shows through the disc only.
  EXPECT_LE(ChannelDiff(Px(b, 240, 180), 0xFFFF0000u), 40) << std::hex << Px(b, 240, 180);
  EXPECT_LE(ChannelDiff(Px(b, 180, 140), grey), 40) << std::hex << Px(b, 180, 140);
  ExpectGolden(b, "video_object_slide");
  slide.reset();
  EXPECT_TRUE(WaitForActiveThreads(5000));
}

}  // namespace
}  // namespace zem::test
