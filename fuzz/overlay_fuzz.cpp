// Builds the overlay from an untrusted script whose own text also serves as the navigation
// theme ("nav.ini"), then sends it mouse events and time steps and draws it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <map>
#include <string>

#include "engine/nav_bar.h"
#include "engine/third_slide.h"
#include "model/recording_drawer.h"
#include "package/file_accessor.h"
#include "render/drawer/root_item.h"
#include "resources/file_access.h"
#include "script/ini_file.h"

namespace {

using namespace zem;

class TFuzzSource : public TFileSource {
 public:
  std::vector<uint8_t> theme;

 protected:
  std::unique_ptr<TStream> DoOpen(const std::string& name) override {
    if (name != "nav.ini") return nullptr;
    return std::make_unique<TMemoryStream>(theme);
  }
};

// A bar whose picture size and click come from the theme's "Fuzz" section.
class TFuzzBar : public TCustomNavBar {
 public:
  void LoadTheme(const TIniStorage& s, const WideString&) override {
    w_ = std::clamp(s.ReadInteger(u"Fuzz", u"Width", 100), 0, 2048);
    h_ = std::clamp(s.ReadInteger(u"Fuzz", u"Height", 20), 0, 512);
    click_ = s.ReadInteger(u"Fuzz", u"Click", 0);
    actionNames = {u"home", u"forward", u"exit"};
  }
  void SetButtons(std::span<const int32_t> indexes) override {
    buttonIndexes.assign(indexes.begin(), indexes.end());
    if (w_ > 0 && h_ > 0) picture.Allocate(w_, h_, TPixelFormat::Argb32);
    if (onPictureChanged) onPictureChanged({0, 0, w_, h_});
    if (onExitPictureChanged && exitPicture.Allocate(16, 16, TPixelFormat::Argb32)) onExitPictureChanged({0, 0, 16, 16});
  }
  void MouseEvent(int32_t, uint8_t, uint8_t kind, int32_t, int32_t) override {
    if (kind == 2 && onClick) onClick(click_);
  }
  void Update(double) override {}
  void SetVolume(float) override {}
  void SetWidth(int32_t) override {}
  void SetHeight(int32_t) override {}
  void SetScale(float) override {}

 private:
  int32_t w_ = 0, h_ = 0, click_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 64 * 1024) return 0;
  static bool installed = [] {
    SetNavBarFactory([](bool) { return std::make_unique<TFuzzBar>(); });
    return true;
  }();
  (void)installed;
  TIniFile script;
  if (!script.LoadFromBytes(data, size)) return 0;
  auto source = MakeRef<TFuzzSource>();
  source->theme.assign(data, data + size);
  TFileAccessor files(source);
  auto provider = AddPictureProvider(*source, [](const std::string& name, void*) -> std::unique_ptr<TImage> {
    if (name != "logo.png") return nullptr;
    TBitmap b;
    if (!b.Allocate(40, 30, TPixelFormat::Argb32)) return nullptr;
    b.Fill(0x80FF8040u);
    return std::make_unique<TImage>(MakeRef<TWrapperBitmapStore>(std::move(b)));
  });
  uint32_t now = 0;
  TRootItem root(true);
  TThirdSlideOptions options;
  options.clock = [&now] { return now; };
  options.screenScale = 1;
  std::unique_ptr<TThirdSlide> overlay;
  try {
    overlay = std::make_unique<TThirdSlide>(&files, script, TRectI{20, 10, 300, 230}, &root, uint8_t(0),
                                            [](float) {}, [](float) {}, [] { return true; }, TPointI{320, 240},
                                            TPointI{280, 220}, 1.0f, 60000.0, options);
  } catch (const std::exception&) {
    return 0;  // malformed themes raise, as designed
  }
  TRecordingDrawer drawer(320, 240);
  const int32_t points[][2] = {{160, 120}, {5, 230}, {300, 5}, {-50, 900}, {160, 235}};
  for (int step = 0; step < 5; ++step) {
    for (const auto& p : points)
      for (uint8_t kind : {0, 1, 0, 2, 3}) overlay->HandleMouse(0, p[0], p[1], kind, 1);
    now += 1700 * uint32_t(step + 1);
    overlay->UpdateTime(double(now));
    overlay->SetCaptureMode(step == 3);
    drawer.DrawItem(overlay.get());
    drawer.ClearLog();
    (void)overlay->NavHoverState();
  }
  return 0;
}
