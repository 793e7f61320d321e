#include "model/show_loader.h"

#include <algorithm>
#include <exception>

#include "model/zem_button.h"
#include "model/zem_image.h"
#include "model/zem_text.h"
#include "script/ini_file.h"

namespace zem {

std::unique_ptr<TZemSlide> BuildSectionTree(const TIniStorage& storage, const WideString& name,
                                            TRef<TZemSlideHost> host, std::string* error) {
  auto fail = [error](const std::string& e) {
    if (error) *error = e;
    return std::unique_ptr<TZemSlide>();
  };
  const TIniSection* section = storage.FindSection(name);
  if (!section) return fail("no section [" + WideToUtf8(name) + "]");
  const TIniSection* main = storage.FindSection(u"Main");
  int32_t w = main ? main->ReadInteger(u"opt_scr_width", 0) : 0;
  int32_t h = main ? main->ReadInteger(u"opt_scr_height", 0) : 0;
  if (w <= 0 || h <= 0 || w > 65535 || h > 65535) {
    w = kDefaultOutputWidth;
    h = kDefaultOutputHeight;
  }
  if (!host) host = MakeRef<TSimpleSlideHost>(w, h);

  const WideString lower = LowerCase(name);
  double length = 0;
  bool dialog = lower.rfind(u"dialog_", 0) == 0;
  if (lower.rfind(u"slide", 0) == 0 && main) {
    int32_t n = 0;
    WideString digits = lower.substr(5);
    if (TryParseIniDecimal(digits, n) && n >= 1) {
      double prev = n > 1 ? main->ReadInteger(u"opt_synchpos" + Utf8ToWide(std::to_string(n - 1)), 0) : 0;
      double next = main->ReadInteger(u"opt_synchpos" + Utf8ToWide(std::to_string(n)), 0);
      length = next > prev ? next - prev : 0;
    }
  }

  auto slide = std::make_unique<TZemSlide>(host);
  RegisterImageKinds();
  RegisterTextKinds();
  RegisterButtonKinds();
  if (lower.rfind(u"slide", 0) == 0) {
    int32_t n = 0;
    if (TryParseIniDecimal(lower.substr(5), n) && n >= 1) slide->slideIndex = n - 1;
  }
  slide->slidesCount = main ? std::max(main->ReadInteger(u"opt_slidescount", 0), 0) : 0;
  try {
    slide->InitDefaults();
    slide->SetGeometry({w, h}, 100, 100, {w, h});
    slide->SetAnchors(0, 0, length, 0);
    if (dialog)
      slide->SetBackgroundEnabled(false);
    else
      slide->ReadBackground(storage, section);
    slide->ReadContent(*section);
  } catch (const std::exception& e) {
    return fail(std::string("reading [") + WideToUtf8(name) + "] failed: " + e.what());
  }
  return slide;
}

}  // namespace zem
