#include "demo_media.h"

#include <algorithm>
#include <filesystem>

#include "demo_buttons.h"
#include "demo_clip.h"
#include "demo_music.h"
#include "demo_navbar.h"
#include "demo_pictures.h"
#include "foundation/stream.h"
#include "jpeg_writer.h"
#include "resources/png_writer.h"

namespace zem {

const std::vector<std::string>& DemoMediaNames() {
  static const std::vector<std::string> kNames = {"landscape.jpg", "plasma.jpg", "dunes.jpg", "night.jpg",
                                                  "tiles.png",     "logo.png",   "music.wav", "clip.avi",
                                                  // the navigation bar's theme, in a folder of its own
                                                  "navbar/video.ini", "navbar/back.png", "navbar/line.png",
                                                  "navbar/slider.png", "navbar/normal.png", "navbar/hover.png",
                                                  "navbar/click.png",
                                                  // the buttons' theme
                                                  "Buttons/glass/btn.ini", "Buttons/glass/normal.png",
                                                  "Buttons/glass/hover.png", "Buttons/glass/click.png"};
  return kNames;
}

bool MakeDemoFile(const std::string& name, const TDemoMediaOptions& o, TDemoFile& out) {
  out.name = name;
  out.bytes.clear();
  auto jpeg = [&](const TBitmap& b) { return EncodeJpeg(b, o.jpeg_quality, out.bytes); };
  if (name == "landscape.jpg") {
    // A photograph with its camera facts: the demo's captions show them through macros.
    const std::vector<uint8_t> exif = MakeExifSegment("2026:05:17 06:12:40", "Dawn over the hills");
    return EncodeJpeg(PaintLandscape(o.width, o.height), o.jpeg_quality, out.bytes, &exif);
  }
  if (name == "plasma.jpg") return jpeg(PaintPlasma(o.width, o.height));
  if (name == "dunes.jpg") return jpeg(PaintDunes(o.width, o.height));
  if (name == "night.jpg") return jpeg(PaintNight(o.width, o.height));
  // PNG at the strongest compression: flat tiles and the mostly transparent logo shrink well.
  if (name == "tiles.png") return EncodePng(PaintTiles(o.width, o.height, std::max(8, o.height / 9)), out.bytes, 9);
  if (name == "logo.png") return EncodePng(PaintLogo(o.logo_side), out.bytes, 9);
  if (name == "Buttons/glass/btn.ini") {
    const std::string ini = DemoButtonThemeIni();
    out.bytes.assign(ini.begin(), ini.end());
    return true;
  }
  if (name == "Buttons/glass/normal.png") return EncodePng(PaintButtonPiece(0), out.bytes, 9);
  if (name == "Buttons/glass/hover.png") return EncodePng(PaintButtonPiece(1), out.bytes, 9);
  if (name == "Buttons/glass/click.png") return EncodePng(PaintButtonPiece(2), out.bytes, 9);
  if (name == "clip.avi") return MakeDemoClip(TDemoClipOptions{}, out.bytes);
  if (name == "navbar/video.ini") {
    const std::string theme = DemoNavBarTheme();
    out.bytes.assign(theme.begin(), theme.end());
    return true;
  }
  if (name == "navbar/back.png") return EncodePng(PaintNavBarBack(), out.bytes, 9);
  if (name == "navbar/line.png") return EncodePng(PaintNavBarLine(), out.bytes, 9);
  if (name == "navbar/slider.png") return EncodePng(PaintNavBarSlider(), out.bytes, 9);
  if (name == "navbar/normal.png") return EncodePng(PaintNavBarStrip(0), out.bytes, 9);
  if (name == "navbar/hover.png") return EncodePng(PaintNavBarStrip(1), out.bytes, 9);
  if (name == "navbar/click.png") return EncodePng(PaintNavBarStrip(2), out.bytes, 9);
  if (name == "music.wav") {
    out.bytes = EncodeWave(RenderDemoMusic(MakeDemoScore(), o.sample_rate));
    return true;
  }
  return false;
}

bool WriteDemoMedia(const std::string& folder, const TDemoMediaOptions& options, std::vector<TDemoFile>& made,
                    std::string& error) {
  made.clear();
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    error = "cannot create " + folder + ": " + ec.message();
    return false;
  }
  for (const std::string& name : DemoMediaNames()) {
    TDemoFile file;
    if (!MakeDemoFile(name, options, file)) {
      error = "cannot make " + name;
      return false;
    }
    const std::string path = (std::filesystem::path(folder) / name).string();
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    std::vector<uint8_t> old;
    if (!ReadFileBytes(path, old) || old != file.bytes) {
      if (!WriteFileBytes(path, file.bytes.data(), file.bytes.size())) {
        error = "cannot write " + path;
        return false;
      }
    }
    made.push_back(std::move(file));
  }
  return true;
}

}  // namespace zem
