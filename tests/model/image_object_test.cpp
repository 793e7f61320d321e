#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "model/recording_drawer.h"
#include "model/show_loader.h"
#include "model/zem_image.h"
#include "script/ini_file.h"

namespace zem {
namespace {

using show::TZemImage;

TBorderParams Border() { return TBorderParams{}; }

TEST(ImageGeometry, AspectCropSquareAndEdge) {
  TBorderParams b = Border();
  b.enableAspect = true;
  b.aspectRatio = 1;
  TImageGeometry g = ComputeImageGeometry(1000, 500, b);
  EXPECT_EQ(g.source, (TRectF{250, 0, 750, 500}));
  b.aspectZoom = 50;
  b.aspectOffsetX = 100;
  g = ComputeImageGeometry(1000, 500, b);
  EXPECT_EQ(g.source, (TRectF{750, 125, 1000, 375}));
  // Out-of-range zoom and offsets count as 100 and 0.
  b.aspectZoom = 500;
  b.aspectOffsetX = 300;
  g = ComputeImageGeometry(1000, 500, b);
  EXPECT_EQ(g.source, (TRectF{250, 0, 750, 500}));
}

TEST(ImageGeometry, CropByHeightOrByWidth) {
  TBorderParams b = Border();
  b.enableCrop = true;
  b.cropLeft = 10;
  b.cropRight = 10;
  b.cropLeftByWidth = b.cropRightByWidth = -1;  // four numbers given
  EXPECT_EQ(ComputeImageGeometry(1000, 500, b).source, (TRectF{50, 0, 950, 500}));
  TBorderParams w = Border();
  w.enableCrop = true;
  w.cropLeftByWidth = w.cropRightByWidth = 10;
  EXPECT_EQ(ComputeImageGeometry(1000, 500, w).source, (TRectF{100, 0, 900, 500}));
  // A crop that leaves nothing shows the whole picture.
  TBorderParams all = Border();
  all.enableCrop = true;
  all.cropLeftByWidth = 60;
  all.cropRightByWidth = 60;
  EXPECT_EQ(ComputeImageGeometry(1000, 500, all).source, (TRectF{0, 0, 1000, 500}));
}

TEST(ImageGeometry, BorderWidensTheObject) {
  TBorderParams b = Border();
  b.enableBorder = true;
  b.borderWidth = 10;
  TImageGeometry g = ComputeImageGeometry(1000, 500, b);
  EXPECT_FLOAT_EQ(g.border, 50);
  EXPECT_EQ(g.outerSize, (TPointF{1100, 600}));
  EXPECT_EQ(g.innerOffset, (TPointF{50, 50}));
}

TEST(ImageMip, LevelStaysAboveTheRequiredSize) {
  EXPECT_EQ(ChooseMipLevel(2000, 1000, 300, 200), 2);
  EXPECT_EQ(ChooseMipLevel(2000, 1000, 3000, 200), 0);
  EXPECT_EQ(ChooseMipLevel(2000, 1000, 1999, 999), 0);
  EXPECT_EQ(ChooseMipLevel(3, 3, 1, 1), 1);  // halving rounds up: 3, 2, then 1 is not larger
  EXPECT_EQ(ChooseMipLevel(5, 5, 1, 1), 2);
  EXPECT_EQ(ChooseMipLevel(65535, 65535, 0, 0), 16);
}

TImageAnimationParams Sheet(int32_t count, std::vector<int32_t> intervals, int32_t repeats = 0) {
  TImageAnimationParams a;
  a.columns = 4;
  a.rows = 2;
  a.frameCount = count;
  a.intervals = std::move(intervals);
  a.repeatCount = repeats;
  return a;
}

TEST(ImageSprite, FrameTimesAndRepetition) {
  const auto iv = ParseAnimIntervals(u"100,200", 6);
  EXPECT_EQ(iv, (std::vector<int32_t>{100, 200, 200, 200, 200, 200}));
  const auto endless = Sheet(6, iv);
  // Frame 0 for 100 ms, then 200 ms each; a frame's end belongs to it.
  const std::pair<double, int32_t> expected[] = {{0, 0},     {100, 0},    {101, 1},  {300, 1},  {301, 2},
                                                 {900, 4},   {901, 5},    {1100, 5}, {1101, 0}, {1201, 1},
                                                 {2200, 5},  {2201, 0},   {-50, 0}};
  for (const auto& [x, f] : expected) EXPECT_EQ(SpriteFrameAt(endless, x), f) << "at " << x;
  const auto twice = Sheet(6, iv, 2);
  EXPECT_EQ(SpriteFrameAt(twice, 1101), 0);
  EXPECT_EQ(SpriteFrameAt(twice, 2200), 5);
  EXPECT_EQ(SpriteFrameAt(twice, 2201), 5);  // stays on the last frame after the second pass
  EXPECT_EQ(SpriteFrameAt(twice, 1e15), 5);
  // More frames than cells: only the cells count.
  EXPECT_EQ(SpriteFrameAt(Sheet(20, std::vector<int32_t>(20, 10)), 85), 0);
}

TEST(ImageSprite, NonPositiveIntervalsStillEndTheWalk) {
  EXPECT_EQ(SpriteFrameAt(Sheet(3, {0, 0, 0}), 1e12), 0);
  EXPECT_EQ(SpriteFrameAt(Sheet(3, {-5, -5, -5}, 1), 7), 0);
  // Frames of no length are passed over.
  const auto a = Sheet(3, {0, 100, -7});
  EXPECT_EQ(SpriteFrameAt(a, 0), 0);
  EXPECT_EQ(SpriteFrameAt(a, 50), 1);
  EXPECT_EQ(SpriteFrameAt(a, 150), 1);
  // Huge times need no long walk and keep their place in the cycle (1e18 mod 300 = 100).
  EXPECT_EQ(SpriteFrameAt(Sheet(3, {100, 100, 100}), 1e18), 0);
  EXPECT_EQ(SpriteFrameAt(Sheet(3, {100, 100, 100}), 1e18 + 128), 2);  // 228 into the cycle
  // Not a sheet, or no intervals: frame 0.
  TImageAnimationParams single;
  single.intervals = {10, 10};
  EXPECT_EQ(SpriteFrameAt(single, 15), 0);
  EXPECT_EQ(SpriteFrameAt(Sheet(6, {}), 150), 0);
}

TEST(ImageSprite, IntervalListParsing) {
  EXPECT_EQ(ParseAnimIntervals(u"abc", 3), (std::vector<int32_t>{100, 100, 100}));
  EXPECT_EQ(ParseAnimIntervals(u" 50,\t60", 3), (std::vector<int32_t>{50, 60, 60}));
  EXPECT_EQ(ParseAnimIntervals(u"1,2,3,4", 2), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(ParseAnimIntervals(u"7", 0).size(), 1u);
}

// A drawer that keeps the image calls it sees.
class TCapturingDrawer : public TRecordingDrawer {
 public:
  struct TImageCall {
    TDrawPicture* picture;
    TPointF offset;
    TImageParams params;
  };
  std::vector<TImageCall> images;
  std::vector<TPointF> frameBorders;
  std::vector<size_t> maskedLayers;
  void DrawImage(TDrawPicture* image, const TVec3& position, const TPointF& offset, const TVec3& axisX,
                 const TVec3& axisY, const TImageParams& params) override {
    images.push_back({image, offset, params});
    TRecordingDrawer::DrawImage(image, position, offset, axisX, axisY, params);
  }
  void DrawFrame(const TVec3& position, const TVec3& axisX, const TVec3& axisY, const TPointF& offset,
                 const TPointF& borders, const TPointF& outerSize, uint32_t colour, float opacity,
                 bool antialias) override {
    frameBorders.push_back(borders);
    TRecordingDrawer::DrawFrame(position, axisX, axisY, offset, borders, outerSize, colour, opacity, antialias);
  }
  void DrawMasked(TDrawItem* item, std::span<const TMaskedLayer> layers, TDrawPicture* tile) override {
    maskedLayers.push_back(layers.size());
    TRecordingDrawer::DrawMasked(item, layers, tile);
  }
};

// An animated picture (a decoded GIF strip).
class TStripPicture : public TBitmapPicture, public IPictureAnimation {
 public:
  TStripPicture() : TBitmapPicture(Make(), u"anim.gif") {}
  bool GetAnimation(TPictureAnimation& out) const override {
    out.frameCount = 3;
    out.delays = {50, 70, 90};
    out.loopCount = 2;
    return true;
  }

 private:
  static TBitmap Make() {
    TBitmap b;
    b.Allocate(300, 100, TPixelFormat::Argb32);
    return b;
  }
};

TRef<TDrawPicture> Picture(int32_t w, int32_t h, const char16_t* name) {
  TBitmap b;
  b.Allocate(w, h, TPixelFormat::Rgb24);
  return TRef<TDrawPicture>(new TBitmapPicture(std::move(b), name));
}

struct TImageShow {
  TIniFile ini;
  TRef<TSimpleSlideHost> host = MakeRef<TSimpleSlideHost>(800, 600);
  std::unique_ptr<TZemSlide> slide;
  explicit TImageShow(const std::u16string& slideBody) {
    RegisterImageKinds();
    EXPECT_TRUE(ini.LoadFromText(u"[Main]\nopt_scr_width=800\nopt_scr_height=600\nopt_slidescount=1\nopt_synchpos1=10000\n"
                                 u"[Slide1]\n" + slideBody));
    host->AddPicture(u"wide.jpg", Picture(1000, 500, u"wide.jpg"));
    host->AddPicture(u"anim.gif", TRef<TDrawPicture>(new TStripPicture()));
    host->AddPicture(u"Mask: m.png", Picture(64, 64, u"Mask: m.png"));
    std::string error;
    slide = BuildSectionTree(ini, u"Slide1", host, &error);
    EXPECT_NE(slide, nullptr) << error;
  }
  TZemObject* Child(int i) const { return slide->Child(i); }
};

const char16_t* kKey = u"  object keypoint:\n    Time=0\n  end\n";

TEST(ImageObject, ReadsBorderAndDrawsFrameAndPicture) {
  TImageShow s(std::u16string(u"object image: pic\n  ImageName=wide.jpg\n  EnableBorder=1\n  BorderWidth=10\n"
                              u"  BorderColor=10,20,30,40\n  Filtering=nearest\n") + kKey + u"end\n");
  auto* img = dynamic_cast<TZemImage*>(s.Child(0));
  ASSERT_NE(img, nullptr);
  s.slide->SetTimeAndUpdate(true, 100);
  EXPECT_EQ(img->Size(), (TPointI{1100, 600}));
  EXPECT_EQ(img->Filtering(), TZemImage::kFilterNearest);
  TCapturingDrawer d;
  d.DrawItem(s.slide.get());
  ASSERT_EQ(d.images.size(), 1u);
  ASSERT_EQ(d.frameBorders.size(), 1u);
  EXPECT_EQ(d.frameBorders[0], (TPointF{50, 50}));
  const auto& call = d.images[0];
  EXPECT_EQ(call.params.border, 0x280A141Eu);  // alpha 40, red 10, green 20, blue 30
  EXPECT_EQ(call.params.sourceRect, (TRectF{0, 0, 1000, 500}));
  // The picture's pixel 0 lands one border inside the object's top-left corner.
  EXPECT_FLOAT_EQ(call.offset.x, -(img->LocalTopLeft().x + 50));
  EXPECT_FLOAT_EQ(call.offset.y, -(img->LocalTopLeft().y + 50));
}

TEST(ImageObject, MissingPictureDrawsNothingButChildrenStill) {
  TImageShow s(std::u16string(u"object image: gone\n  ImageName=none.jpg\n") + kKey +
               u"  object box: kid\n    Size=5,5\n" + kKey + u"  end\nend\n");
  s.slide->SetTimeAndUpdate(true, 100);
  s.slide->SetTimeAndUpdate(true, 200);
  auto* img = dynamic_cast<TZemImage*>(s.Child(0));
  ASSERT_NE(img, nullptr);
  EXPECT_EQ(img->Picture(), nullptr);
  EXPECT_EQ(img->Size(), (TPointI{0, 0}));
  const int32_t requests = s.host->Requests();
  TCapturingDrawer d;
  d.DrawItem(s.slide.get());
  EXPECT_TRUE(d.images.empty());
  EXPECT_EQ(d.Count("DrawBox"), 2u);  // background and the child box
  EXPECT_EQ(s.host->Requests(), requests);  // a missing picture is not asked for every frame
}

TEST(ImageObject, SpriteSheetDrawsTheCurrentCellAndReportsFrameChanges) {
  TImageShow s(std::u16string(u"object image: sheet\n  ImageName=wide.jpg\n  AnimColumns=4\n  AnimRows=2\n"
                              u"  AnimCount=6\n  AnimInterval=100,200\n  EnableBorder=1\n") + kKey + u"end\n");
  auto* img = dynamic_cast<TZemImage*>(s.Child(0));
  ASSERT_NE(img, nullptr);
  s.slide->SetTimeAndUpdate(true, 50);
  EXPECT_EQ(img->Size(), (TPointI{250, 250}));
  TCapturingDrawer d;
  d.DrawItem(s.slide.get());
  EXPECT_FALSE(img->IsChanged());
  s.slide->SetTimeAndUpdate(true, 450);  // frame 2: column 2, row 0
  EXPECT_TRUE(img->IsChanged());
  d.DrawItem(s.slide.get());
  ASSERT_EQ(d.images.size(), 2u);
  EXPECT_TRUE(d.frameBorders.empty());  // sprite sheets have no border
  const TImageParams& p = d.images[1].params;
  EXPECT_EQ(p.sourceRect, (TRectF{500 + 5, 1, 750 + 5, 251}));
  EXPECT_EQ(p.antialiased, 0);
  EXPECT_EQ(p.spriteColumns, 4);
  EXPECT_EQ(p.border, 0xFFFFFFFFu);
  EXPECT_FALSE(img->IsChanged());
}

TEST(ImageObject, AnimatedPictureDescribesItsOwnStrip) {
  TImageShow s(std::u16string(u"object image: a\n  ImageName=anim.gif\n") + kKey + u"end\n" +
               u"object image: b\n  ImageName=anim.gif\n  AnimCount=2\n  AnimColumns=2\n" + kKey + u"end\n");
  s.slide->SetTimeAndUpdate(true, 0);
  auto* a = dynamic_cast<TZemImage*>(s.Child(0));
  auto* b = dynamic_cast<TZemImage*>(s.Child(1));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->Animation().columns, 3);
  EXPECT_EQ(a->Animation().rows, 1);
  EXPECT_EQ(a->Animation().intervals, (std::vector<int32_t>{50, 70, 90}));
  EXPECT_EQ(a->Animation().repeatCount, 2);
  EXPECT_EQ(a->Size(), (TPointI{100, 100}));
  EXPECT_EQ(a->SpriteFrame(60), 1);
  // An own "AnimCount" wins over the picture's description.
  EXPECT_EQ(b->Animation().columns, 2);
  EXPECT_EQ(b->Animation().frameCount, 2);
}

TEST(ImageObject, SettersCompareBeforeTheyDirty) {
  TImageShow s(std::u16string(u"object image: pic\n  ImageName=wide.jpg\n") + kKey + u"end\n");
  auto* img = dynamic_cast<TZemImage*>(s.Child(0));
  ASSERT_NE(img, nullptr);
  s.slide->SetTimeAndUpdate(true, 0);
  img->SnapshotState(true);
  img->SetBorder(img->Border());
  img->SetAnimation(img->Animation());
  img->SetFiltering(img->Filtering());
  img->SetImageName(u"wide.jpg");
  EXPECT_FALSE(img->IsChanged());
  TBorderParams b = img->Border();
  b.enableCrop = true;
  b.cropTop = 10;
  img->SetBorder(b);
  EXPECT_TRUE(img->IsChanged());
  EXPECT_EQ(img->Size(), (TPointI{1000, 450}));
  // A new name keeps the old picture until the new one is there.
  img->SetImageName(u"none.jpg");
  EXPECT_EQ(img->Picture(), nullptr);
  EXPECT_TRUE(img->IsChanged());
}

TEST(ImageObject, BadBorderAndAspectKeysKeepDefaults) {
  TImageShow s(std::u16string(u"object image: pic\n  ImageName=wide.jpg\n  CropRect=1,2,3\n  AspectParams=1,2,3,4,5\n"
                              u"  BorderColor=300,-4,5\n  AnimColumns=-3\n  AnimRows=999999\n") + kKey + u"end\n");
  auto* img = dynamic_cast<TZemImage*>(s.Child(0));
  ASSERT_NE(img, nullptr);
  EXPECT_EQ(img->Border(), TBorderParams{});
  EXPECT_EQ(img->Animation().columns, 1);
  EXPECT_EQ(img->Animation().rows, 4096);
}

TEST(ImageViewport, MasksOutsideTheirWindowDrawNothing) {
  const std::u16string body =
      u"object viewport: vp\n  Size=100,100\n" + std::u16string(kKey) +
      u"  object mask: m\n    ImageName=m.png\n    Antialiased=1\n    DeltaTime1=5000\n" + kKey + u"  end\n"
      u"  object image: content\n    ImageName=wide.jpg\n" + kKey + u"  end\nend\n";
  TImageShow s(body);
  auto* vp = dynamic_cast<TZemViewPort*>(s.Child(0));
  ASSERT_NE(vp, nullptr);
  auto* mask = dynamic_cast<TZemMask*>(vp->Child(0));
  ASSERT_NE(mask, nullptr);
  EXPECT_FALSE(mask->Antialiased());
  s.slide->SetTimeAndUpdate(true, 1000);  // the mask shows only from 5000
  TCapturingDrawer d;
  d.DrawItem(s.slide.get());
  EXPECT_TRUE(d.maskedLayers.empty());
  EXPECT_TRUE(d.images.empty());
  s.slide->SetTimeAndUpdate(true, 6000);
  d.DrawItem(s.slide.get());
  ASSERT_EQ(d.maskedLayers.size(), 1u);
  EXPECT_EQ(d.maskedLayers[0], 1u);
  ASSERT_NE(mask->Picture(), nullptr);
  EXPECT_EQ(mask->Picture()->Name(), u"Mask: m.png");
  EXPECT_EQ(vp->Masks().size(), 1u);
}

}  // namespace
}  // namespace zem
