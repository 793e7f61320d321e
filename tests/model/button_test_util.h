// Button themes made by the tests: PNG pieces and a "btn.ini" in memory, under "Buttons\NAME\".
#pragma once
#include <map>
#include <string>
#include <vector>

#include "foundation/stream.h"
#include "package/file_accessor.h"
#include "resources/png_writer.h"

namespace zem::test {

class TThemeSource : public TFileSource {
 public:
  std::map<std::string, std::vector<uint8_t>> members;

 protected:
  std::unique_ptr<TStream> DoOpen(const std::string& name) override {
    auto it = members.find(name);
    return it == members.end() ? nullptr : std::make_unique<TMemoryStream>(it->second);
  }
};

// A 30 x 40 piece picture in one colour, its four corner pixels transparent: the nine pieces are
// its 10-pixel columns by the rows 0..10, 10..30, 30..40.
inline std::vector<uint8_t> PiecePng(uint32_t argb) {
  TBitmap b;
  b.Allocate(30, 40, TPixelFormat::Argb32);
  b.Fill(argb);
  for (int32_t x : {0, 29})
    for (int32_t y : {0, 39}) b.SetPixel(x, y, 0);
  std::vector<uint8_t> png;
  EncodePng(b, png);
  return png;
}

// "btn.ini" whose states use the files n.png, h.png and c.png (or `files` instead), with the
// bottom edge at `height`.
inline std::string ThemeIni(const std::string& textParams, int height = 40,
                            const std::vector<std::string>& files = {"n.png", "h.png", "c.png"}) {
  const char* states[3] = {"NormalState", "HoverState", "ClickState"};
  const std::string h = std::to_string(height), mid = std::to_string(height - 10);
  std::string s;
  for (int i = 0; i < 3; ++i) {
    const std::string& f = files[size_t(i)];
    s += std::string("[") + states[i] + "]\nLeftTop=" + f + ",0,0,10,10\nTop=" + f + ",10,0,20,10\nRightTop=" + f +
         ",20,0,30,10\nRight=" + f + ",20,10,30," + mid + "\nRightBottom=" + f + ",20," + mid + ",30," + h +
         "\nBottom=" + f + ",10," + mid + ",20," + h + "\nLeftBottom=" + f + ",0," + mid + ",10," + h + "\nLeft=" + f +
         ",0,10,10," + mid + "\nCenter=" + f + ",10,10,20," + mid + "\n";
  }
  return s + "[TextParams]\n" + textParams;
}

// Adds a theme: red, green and blue pieces for the three states.
inline void AddTheme(TThemeSource& src, const std::string& name, const std::string& ini) {
  const std::string dir = "Buttons\\" + name + "\\";
  src.members[dir + "btn.ini"] = std::vector<uint8_t>(ini.begin(), ini.end());
  src.members[dir + "n.png"] = PiecePng(0xFFFF0000u);
  src.members[dir + "h.png"] = PiecePng(0xFF00FF00u);
  src.members[dir + "c.png"] = PiecePng(0xFF0000FFu);
}

}  // namespace zem::test
