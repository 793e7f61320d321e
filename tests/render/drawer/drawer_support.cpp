#include "drawer_support.h"

#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace zem::test {

TDrawerRig::TDrawerRig(int32_t w, int32_t h) {
  window = THeadlessWindow::Create(w, h);
  if (!window) return;
  drawer = std::make_unique<T3DDrawer>();
  drawer->SetNotify([this](TDeviceDrawer&, TDrawItem*, int code) { notifications.push_back(code); });
  drawer->Init(window->Window());
  PinDriverModules();
}

TDrawerRig::~TDrawerRig() {
  drawer.reset();
  window.reset();
}

TBitmap TDrawerRig::Render(TDrawItem& item) {
  drawer->SetNoPresent(true);
  EXPECT_TRUE(drawer->DrawItem(&item));
  TBitmap out;
  EXPECT_TRUE(drawer->CopyToBitmap(out));
  if (out.Format() != TPixelFormat::Argb32) out.ConvertTo(TPixelFormat::Argb32);
  for (int32_t y = 0; y < out.Height(); ++y)
    for (int32_t x = 0; x < out.Width(); ++x) out.Row(y)[x * 4 + 3] = 255;
  return out;
}

TRef<TBitmapPicture> Checker(int32_t w, int32_t h, uint32_t a, uint32_t b) {
  TBitmap bmp;
  bmp.Allocate(w, h, TPixelFormat::Argb32);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) bmp.SetPixel(x, y, ((x / 8 + y / 8) & 1) ? b : a);
  bmp.SetPixel(0, 0, 0xFFFF0000);
  return MakeRef<TBitmapPicture>(std::move(bmp), u"checker");
}

bool WritePng(const TBitmap& bmp, const std::string& path) {
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  img.width = png_uint_32(bmp.Width());
  img.height = png_uint_32(bmp.Height());
  img.format = PNG_FORMAT_BGRA;
  return png_image_write_to_file(&img, path.c_str(), 0, bmp.Data(), png_int_32(bmp.Stride()), nullptr) != 0;
}

bool ReadPng(const std::string& path, TBitmap& out) {
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, path.c_str())) return false;
  img.format = PNG_FORMAT_BGRA;
  if (img.width > 4096 || img.height > 4096 || !out.Allocate(int32_t(img.width), int32_t(img.height), TPixelFormat::Argb32)) {
    png_image_free(&img);
    return false;
  }
  return png_image_finish_read(&img, nullptr, out.Data(), png_int_32(out.Stride()), nullptr) != 0;
}

int ChannelDiff(uint32_t a, uint32_t b) {
  int d = 0;
  for (int s = 0; s < 24; s += 8) d = std::max(d, std::abs(int((a >> s) & 255) - int((b >> s) & 255)));
  return d;
}

void ExpectGolden(const TBitmap& actual, const std::string& name, int tolerance, double allowedFraction) {
  std::string ref = std::string(ZEM_SOURCE_DIR) + "/tests/render/drawer/golden/" + name + ".png";
  if (std::getenv("ZEM_UPDATE_GOLDEN")) {
    ASSERT_TRUE(WritePng(actual, ref)) << ref;
    return;
  }
  TBitmap want;
  ASSERT_TRUE(ReadPng(ref, want)) << "missing reference " << ref << " (set ZEM_UPDATE_GOLDEN=1)";
  ASSERT_EQ(want.Width(), actual.Width());
  ASSERT_EQ(want.Height(), actual.Height());
  TBitmap diff;
  diff.Allocate(actual.Width(), actual.Height(), TPixelFormat::Argb32);
  int64_t bad = 0;
  int worst = 0;
  for (int32_t y = 0; y < actual.Height(); ++y)
    for (int32_t x = 0; x < actual.Width(); ++x) {
      int d = ChannelDiff(actual.GetPixel(x, y), want.GetPixel(x, y));
      worst = std::max(worst, d);
      if (d > tolerance) ++bad;
      uint32_t v = uint32_t(std::min(255, d * 4));
      diff.SetPixel(x, y, 0xFF000000u | (v << 16) | (v << 8) | v);
    }
  double fraction = double(bad) / (double(actual.Width()) * actual.Height());
  if (fraction > allowedFraction) {
    std::string dir = std::string(ZEM_DRAWER_OUT_DIR) + "/golden-failures";
    std::filesystem::create_directories(dir);
    WritePng(actual, dir + "/" + name + ".actual.png");
    WritePng(diff, dir + "/" + name + ".diff.png");
    ADD_FAILURE() << name << ": " << bad << " pixels differ by more than " << tolerance << " (worst " << worst
                  << "); actual and difference pictures in " << dir;
  }
}

}  // namespace zem::test
