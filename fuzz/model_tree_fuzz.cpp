// Builds the object tree of every slide section of an untrusted script, evaluates it at a few
// times, draws it into the recording drawer and sends it mouse events.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "model/recording_drawer.h"
#include "model/show_loader.h"
#include "script/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zem;
  if (size > 256 * 1024) return 0;
  TIniFile ini;
  if (!ini.LoadFromBytes(data, size)) return 0;
  int built = 0;
  for (const WideString& name : ini.SectionNames()) {
    if (++built > 4) break;
    std::string error;
    auto slide = BuildSectionTree(ini, name, {}, &error);
    if (!slide) continue;
    TRecordingDrawer drawer(320, 240);
    for (double t : {0.0, 250.0, 1000.0, 1e12}) {
      try {
        slide->SetTimeAndUpdate(true, t);
      } catch (const std::exception&) {
        continue;  // unsupported modes raise assertion errors from the update, as designed
      }
      slide->Prepare(drawer);
      drawer.DrawItem(slide.get());
      drawer.ClearLog();
      TZemActionInfo action;
      slide->HandleMouse(0, 160, 120, true, action, 1, 1);
      slide->HandleMouse(0, 160, 120, true, action, 2, 1);
    }
    slide->Release(drawer);
  }
  return 0;
}
