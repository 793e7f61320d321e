// Builds both navigation bars from an untrusted theme and drives them: width, scale or height,
// buttons, play state, volume, time steps and a sweep of mouse events. Theme pictures are made
// here, their size taken from the digits of the name ("strip84x12.png" is 84 x 12), so the
// fuzzer controls every picture rectangle. The optional "Fuzz" section sets the bar's
// surroundings. Every reported change must lie inside the bar's picture.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "engine/nav_bar_classic.h"
#include "engine/nav_bar_video.h"
#include "script/ini_file.h"

namespace {

using namespace zem;

TBitmap FuzzPicture(const WideString& name) {
  int32_t v[2] = {64, 32};
  int found = 0;
  for (size_t i = 0; i < name.size() && found < 2;) {
    if (name[i] < u'0' || name[i] > u'9') {
      ++i;
      continue;
    }
    int32_t n = 0;
    while (i < name.size() && name[i] >= u'0' && name[i] <= u'9') n = std::min(n * 10 + (name[i++] - u'0'), 100000);
    v[found++] = n;
  }
  TBitmap b;
  if (v[0] < 1 || v[1] < 1 || v[0] > 400 || v[1] > 200) return b;  // a missing picture
  b.Allocate(v[0], v[1], TPixelFormat::Argb32);
  for (int32_t y = 0; y < b.Height(); ++y)
    for (int32_t x = 0; x < b.Width(); ++x)
      b.SetPixel(x, y, uint32_t((x * 37 + y * 11) & 255) << 24 | uint32_t(x * 7) << 16 | uint32_t(y * 5) << 8 | 0x40);
  return b;
}

void CheckInside(const TRectI& r, const TBitmap& picture) {
  if (r.left < 0 || r.top < 0 || r.right > picture.Width() || r.bottom > picture.Height() || r.IsEmpty()) std::abort();
}

void Drive(TCustomNavBar& bar, const TIniFile& theme, bool video) {
  bool playing = true, exitHalf = false;
  bar.loadPicture = FuzzPicture;
  bar.isPlaying = [&playing] { return playing; };
  const double duration = theme.ReadFloat(u"Fuzz", u"Duration", 90000);
  bar.duration = [duration] { return duration; };
  bar.seek = [](float) {};
  bar.setVolume = [](float) {};
  bar.onClick = [](int32_t) {};
  bar.onPictureChanged = [&bar](const TRectI& r) { CheckInside(r, bar.picture); };
  if (video && theme.ReadBool(u"Fuzz", u"ExitBox", true)) {
    bar.exitHalf = [&exitHalf] { return exitHalf; };
    bar.onExitPictureChanged = [&bar](const TRectI& r) { CheckInside(r, bar.exitPicture); };
  }
  bar.showBackground = theme.ReadBool(u"Fuzz", u"ShowBackground", true);
  bar.hue = theme.ReadInteger(u"Fuzz", u"Hue", 0);
  try {
    bar.LoadTheme(theme, u"t\\");
    bar.SetWidth(theme.ReadInteger(u"Fuzz", u"Width", 640));
    const int32_t height = theme.ReadInteger(u"Fuzz", u"Height", 0);
    if (height != 0) bar.SetHeight(height);
    else bar.SetScale(float(theme.ReadFloat(u"Fuzz", u"Scale", 1)));
    std::vector<int32_t> wanted, indexes;
    if (const TIniSection* s = theme.FindSection(u"Fuzz")) s->ReadIntegers(u"Buttons", wanted, 16);
    if (wanted.empty()) wanted = {0, 1, 2};
    for (int32_t i : wanted)
      if (i >= 0 && size_t(i) < bar.actionNames.size()) indexes.push_back(i);
    bar.SetButtons(indexes);
    bar.Update(0);
    bar.SetVolume(float(theme.ReadFloat(u"Fuzz", u"Volume", 0.5)));
    const int32_t w = std::max(bar.picture.Width(), 64), h = std::max(bar.picture.Height(), 16);
    const uint8_t states[] = {0, 16, 2};
    int step = 0;
    for (int32_t y = -2; y <= h + 2; y += std::max(1, h / 4))
      for (int32_t x = -3; x <= w + 3; x += std::max(1, w / 14)) {
        exitHalf = (step & 7) == 3;
        const uint8_t state = states[step % 3];
        for (uint8_t kind : {0, 1, 0, 2}) bar.MouseEvent(1, state, kind, y, x + (kind == 0 ? step % 5 : 0));
        if (++step % 9 == 0) {
          playing = !playing;
          bar.Update(double(step) * 1777.5);
        }
      }
    for (double t : {-5.0, 1e12, duration, duration * 3 + 1, std::nan("")}) bar.Update(t);
    for (float v : {0.0f, 1.0f, -1.0f, 2.0f, std::nanf("")}) bar.SetVolume(v);
    bar.SetWidth(theme.ReadInteger(u"Fuzz", u"Width2", 100));
    bar.SetScale(0.5f);
    bar.MouseEvent(1, 0, 1, 1, 1);
    bar.MouseEvent(1, 0, 2, 1, 1);
  } catch (const ENavThemeError&) {
    // A refused theme: the panel shows no bar.
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 32 * 1024) return 0;
  TIniFile theme;
  if (!theme.LoadFromBytes(data, size)) return 0;
  {
    TNavBar classic;
    Drive(classic, theme, false);
  }
  {
    TVideoNavBar video;
    Drive(video, theme, true);
  }
  return 0;
}
