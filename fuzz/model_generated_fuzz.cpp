// Generated pictures from untrusted names and button themes: the input's first lines (up to a
// line "--") are picture names asked of a slide host ("PresetedMask:", "Shadow: ", "Button: "
// and anything else); the rest is the "btn.ini" of theme "t", whose pieces name a small PNG.
// A slide with a shadowed button of that theme is then built, prepared, drawn and clicked.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/stream.h"
#include "model/recording_drawer.h"
#include "model/show_loader.h"
#include "package/file_accessor.h"
#include "resources/generated/preset_mask.h"
#include "resources/png_writer.h"
#include "script/ini_file.h"

namespace {

class TFuzzFiles : public zem::TFileSource {
 public:
  std::vector<uint8_t> ini, png;

 protected:
  std::unique_ptr<zem::TStream> DoOpen(const std::string& name) override {
    if (name == "Buttons\\t\\btn.ini") return std::make_unique<zem::TMemoryStream>(ini);
    if (name == "Buttons\\t\\p.png") return std::make_unique<zem::TMemoryStream>(png);
    return nullptr;
  }
};

const std::vector<uint8_t>& PiecePng() {
  static const std::vector<uint8_t> png = [] {
    zem::TBitmap b;
    b.Allocate(30, 40, zem::TPixelFormat::Argb32);
    b.Fill(0xC0FF8000u);
    std::vector<uint8_t> out;
    zem::EncodePng(b, out);
    return out;
  }();
  return png;
}

const char kSlide[] =
    "[Main]\nopt_scr_width=320\nopt_scr_height=240\nopt_slidescount=1\nopt_synchpos1=5000\n[Slide1]\n"
    "object button: b\nTheme=t\nShadowEnable=1\nAction=nextslide\nobject keypoint:\nTime=0\nScaleX=20\nScaleY=20\nend\n"
    "object text: c\nText=Go\nobject keypoint:\nTime=0\nend\nend\nend\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zem;
  if (size > 64 * 1024) return 0;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find("\n--\n");
  const std::string names = input.substr(0, split);
  auto files = MakeRef<TFuzzFiles>();
  if (split != std::string::npos) files->ini.assign(input.begin() + long(split + 4), input.end());
  files->png = PiecePng();
  TFileAccessor accessor{TRef<TFileSource>(files.get())};
  auto host = MakeRef<TSimpleSlideHost>(320, 240);
  host->SetFiles(&accessor);
  host->SetButtonsFolder(u"Buttons\\");
  size_t pos = 0;
  for (int i = 0; i < 4 && pos < names.size(); ++i) {
    size_t end = names.find('\n', pos);
    if (end == std::string::npos) end = names.size();
    const WideString name = Utf8ToWide(names.substr(pos, end - pos));
    pos = end + 1;
    // Large masks are legal but slow; the fuzzer keeps to small ones.
    TPresetMask m;
    if (ParsePresetMaskName(name, m) && int64_t(m.width) * m.height > 512 * 512) continue;
    host->GetPicture(name);
  }
  TIniFile ini;
  if (!ini.LoadFromText(Utf8ToWide(kSlide))) return 0;
  auto slide = BuildSectionTree(ini, u"Slide1", host, nullptr);
  if (!slide) return 0;
  TRecordingDrawer drawer(320, 240);
  try {
    slide->SetTimeAndUpdate(true, 0);
  } catch (const std::exception&) {
    return 0;
  }
  slide->Prepare(drawer);
  drawer.DrawItem(slide.get());
  TZemActionInfo action;
  slide->HandleMouse(16, 160, 120, true, action, 1, 1);
  slide->HandleMouse(0, 160, 120, true, action, 2, 1);
  slide->Release(drawer);
  return 0;
}
