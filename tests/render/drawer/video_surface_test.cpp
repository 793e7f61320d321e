// Video surfaces made by the drawer: their layout, registration and release.
#include <gtest/gtest.h>

#include "drawer_support.h"
#include "render/yuv.h"

namespace zem {
namespace {

TEST(DrawerVideoSurfaces, LayoutFollowsTheRequestAndTheDrawerTracksThem) {
  test::TDrawerRig rig(64, 48);
  ZEM_REQUIRE_DRAWER(rig);
  T3DDrawer& d = *rig.drawer;
  TRef<T3DYUV> rgba = d.CreateVideoSurface(32, 16, true, false);
  TRef<T3DYUV> mask = d.CreateVideoSurface(32, 16, false, true);
  TRef<T3DYUV> yuv = d.CreateVideoSurface(30, 20, false, false);
  ASSERT_TRUE(rgba && mask && yuv);
  EXPECT_EQ(d.VideoSurfaceCount(), 3u);

  auto* r = dynamic_cast<T3DYUVGL*>(rgba.get());
  ASSERT_NE(r, nullptr);
  EXPECT_TRUE(r->IsRgba());
  EXPECT_NE(r->RgbaTexture(), nullptr);
  EXPECT_EQ(r->Luma(), nullptr);
  auto* m = dynamic_cast<T3DYUVGL*>(mask.get());
  ASSERT_NE(m, nullptr);
  EXPECT_TRUE(m->IsMask());
  EXPECT_NE(m->Luma(), nullptr);
  EXPECT_EQ(m->ChromaU(), nullptr);
  auto* y = dynamic_cast<T3DYUVGL*>(yuv.get());
  ASSERT_NE(y, nullptr);
  EXPECT_EQ(y->Width(), 30);
  EXPECT_EQ(y->Height(), 20);
  // Three planes with pixel programs, else one grey texture converted in software.
  EXPECT_TRUE((y->Luma() && y->ChromaU() && y->ChromaV()) || y->Grey());

  // Released by its last holder: the drawer forgets it.
  mask.reset();
  EXPECT_EQ(d.VideoSurfaceCount(), 2u);

  // Bad sizes make nothing.
  EXPECT_FALSE(d.CreateVideoSurface(0, 16, false, false));
  EXPECT_FALSE(d.CreateVideoSurface(16, -1, true, false));
  EXPECT_FALSE(d.CreateVideoSurface(100000, 16, true, false));
  EXPECT_EQ(d.VideoSurfaceCount(), 2u);

  // A surface still held elsewhere loses its textures with the drawer.
  rig.drawer.reset();
  EXPECT_TRUE(r->Closed());
  EXPECT_EQ(r->RgbaTexture(), nullptr);
  EXPECT_TRUE(y->Closed());
  EXPECT_EQ(y->Luma(), nullptr);
  EXPECT_EQ(y->Grey(), nullptr);
}

}  // namespace
}  // namespace zem
