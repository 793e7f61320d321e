#include <gtest/gtest.h>

#include <stdexcept>

#include "foundation/assert.h"
#include "model/recording_drawer.h"

namespace zem {
namespace {

class TListItem : public TDrawItem {
 public:
  std::vector<TDrawItem*> children;
  bool fail = false;
  int drawn = 0;
  float blur = 0;
  float GetBlur() const override { return blur; }
  void Draw(TDeviceDrawer& d) override {
    ++drawn;
    d.DrawBox({1, 2, 3}, {0, 0}, {10, 0, 0}, {0, 5, 0}, TBoxParams{});
    if (fail) throw std::runtime_error("draw failed");
    for (TDrawItem* c : children) d.DrawItem(c);
  }
};

TEST(DeviceDrawer, DesignRectangleAndSizeFallBackToTarget) {
  TRecordingDrawer d(640, 480);
  EXPECT_EQ(d.EffectiveDesignRect(), (TRectI{0, 0, 640, 480}));
  EXPECT_EQ(d.EffectiveDesignSize(), (TPointI{640, 480}));
  d.SetViewport({10, 20, 10, 100}, {800, 0});  // left not below right, a zero height
  EXPECT_EQ(d.EffectiveDesignRect(), (TRectI{0, 0, 640, 480}));
  EXPECT_EQ(d.EffectiveDesignSize(), (TPointI{640, 480}));
  d.SetViewport({10, 20, 630, 460}, {800, 600});
  EXPECT_EQ(d.EffectiveDesignRect(), (TRectI{10, 20, 630, 460}));
  EXPECT_EQ(d.EffectiveDesignSize(), (TPointI{800, 600}));
  EXPECT_FALSE(d.SetOffset(0, 0));
  EXPECT_TRUE(d.SetOffset(0, -2));
  EXPECT_TRUE(d.OffsetActive());
}

TEST(DeviceDrawer, DrawingNeedsAnOwnerNotification) {
  TRecordingDrawer d;
  d.SetNotify({});
  TListItem item;
  EXPECT_THROW(d.DrawItem(&item), EAssertionFailed);
  EXPECT_THROW(d.DrawBox({}, {}, {}, {}, TBoxParams{}), EAssertionFailed);
  std::vector<int> codes;
  d.SetNotify([&](TDeviceDrawer&, TDrawItem*, int code) { codes.push_back(code); });
  EXPECT_TRUE(d.DrawItem(&item));
  EXPECT_EQ(codes, (std::vector<int>{kDrawNotifyFrameBegin, kDrawNotifyFrameEnd}));
}

TEST(DeviceDrawer, CopyToBitmapOnlyInCaptureMode) {
  TRecordingDrawer d(8, 4);
  TBitmap b;
  EXPECT_TRUE(d.CopyToBitmap(b));
  EXPECT_TRUE(b.Empty());  // nothing copied outside capture mode
  d.SetNoPresent(true);
  EXPECT_TRUE(d.CopyToBitmap(b));
  EXPECT_EQ(b.Width(), 8);
  EXPECT_EQ(b.Height(), 4);
  d.SetNoPresent(false);
  TRef<TDrawPicture> snap = d.Snapshot();
  ASSERT_TRUE(snap);
  EXPECT_EQ(snap->Width(), 8);
  EXPECT_FALSE(d.NoPresent());
}

TEST(RecordingDrawer, FramesNestAndCloseOnErrors) {
  TRecordingDrawer d;
  TListItem root, a, b;
  root.children = {&a, &b};
  b.blur = 2;
  d.DrawItem(&root);
  EXPECT_EQ(d.Frames(), 1);
  EXPECT_EQ(d.Count("BeginFrame"), 1u);
  EXPECT_EQ(d.Count("DrawItem depth=1"), 2u);
  EXPECT_EQ(d.Count("DrawBox"), 3u);
  EXPECT_EQ(d.Lines().back(), "Present");
  EXPECT_EQ(d.Count("Notify 1"), 1u);  // only the blurred item has an effect
  EXPECT_EQ(d.Lines()[2], "DrawBox pos=(1,2,3) off=(0,0) X=(10,0,0) Y=(0,5,0) style=8 c1=FF000000 c2=FF000000 "
                          "size=(1,1) op=100 aa=0000");

  d.ClearLog();
  a.fail = true;
  EXPECT_THROW(d.DrawItem(&root), std::runtime_error);
  EXPECT_EQ(d.Depth(), 0);  // the bracket closed
  EXPECT_EQ(d.Count("EndFrame"), 1u);
  d.ClearLog();
  a.fail = false;
  d.DrawItem(&root);
  EXPECT_EQ(d.Count("DrawItem depth=1"), 2u);
}

TEST(RecordingDrawer, RecordsResourceCallsAndParameters) {
  TRecordingDrawer d;
  TBitmap bm;
  ASSERT_TRUE(bm.Allocate(4, 2, TPixelFormat::Argb32));
  auto pic = MakeRef<TBitmapPicture>(std::move(bm), u"pic.png");
  TImageParams ip;
  ip.mipLevel = 2;
  ip.sourceRect = {0, 0, 4, 2};
  d.PrepareImage(pic.get(), ip);
  d.DrawImage(pic.get(), {0, 0, 0}, {2, 1}, {1, 0, 0}, {0, 1, 0}, ip);
  d.ReleaseImage(pic.get());
  EXPECT_EQ(d.Count("PrepareImage 'pic.png' 4x2"), 1u);
  EXPECT_NE(d.Lines()[1].find("mip=2"), std::string::npos);
  EXPECT_NE(d.Lines()[1].find("src=(0,0,4,2)"), std::string::npos);
  EXPECT_EQ(d.Count("ReleaseImage"), 1u);
  // Video surfaces live in memory; a mask surface has the luma plane only.
  TRef<T3DYUV> v = d.CreateVideoSurface(16, 16, false, true);
  ASSERT_TRUE(v);
  TYUVPlane plane;
  EXPECT_TRUE(v->OpenPlane(kPlaneY, plane));
  EXPECT_FALSE(v->OpenPlane(kPlaneU, plane));
  EXPECT_EQ(d.CreateVideoSurface(16, 9000, false, false), nullptr);
  d.BeginOffscreen();
  d.EndOffscreen(3, 0.5f);
  EXPECT_THROW(d.EndOffscreen(3, 0.5f), EAssertionFailed);  // not opened
}

}  // namespace
}  // namespace zem
