// Shared pieces of the drawer tests: a headless drawer, draw items built from lambdas, PNG
// files and the comparison with the reference pictures.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/bitmap.h"
#include "model/draw_interface.h"
#include "render/drawer/drawer.h"
#include "render/drawer/headless_window.h"

namespace zem::test {

void PinDriverModules();

// A draw item whose drawing is a function; blur and FrameDone are recorded.
class TFnItem : public TDrawItem {
 public:
  explicit TFnItem(std::function<void(TDeviceDrawer&)> fn, float blur = 0) : fn_(std::move(fn)), blur_(blur) {}
  float GetBlur() const override { return blur_; }
  void Draw(TDeviceDrawer& d) override { fn_(d); }
  void FrameDone(TDeviceDrawer&) override { ++framesDone; }
  int framesDone = 0;

 private:
  std::function<void(TDeviceDrawer&)> fn_;
  float blur_;
};

struct TDrawerRig {
  std::unique_ptr<THeadlessWindow> window;
  std::unique_ptr<T3DDrawer> drawer;
  std::vector<int> notifications;

  explicit TDrawerRig(int32_t w = 80, int32_t h = 60);
  ~TDrawerRig();
  bool Ok() const { return drawer && drawer->IsReady(); }
  // Draws one frame in capture mode and reads it back (alpha set opaque).
  TBitmap Render(TDrawItem& item);
};

// A picture w × h: a checkerboard of 8-pixel squares in two colours, with a red top-left pixel.
TRef<TBitmapPicture> Checker(int32_t w, int32_t h, uint32_t a = 0xFFFFFFFF, uint32_t b = 0xFF2060C0);

bool WritePng(const TBitmap& bmp, const std::string& path);
bool ReadPng(const std::string& path, TBitmap& out);

// Compares with golden/<name>.png (per channel tolerance, a few pixels may exceed it). With
// ZEM_UPDATE_GOLDEN set in the environment the reference is written instead.
void ExpectGolden(const TBitmap& actual, const std::string& name, int tolerance = 10,
                  double allowedFraction = 0.004);

inline uint32_t Px(const TBitmap& b, int x, int y) { return b.GetPixel(x, y) | 0xFF000000u; }
int ChannelDiff(uint32_t a, uint32_t b);

}  // namespace zem::test

#define ZEM_REQUIRE_DRAWER(rig)                                  \
  if (!(rig).Ok()) GTEST_SKIP() << "no headless GL device here"
