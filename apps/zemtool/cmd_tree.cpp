// zemtool tree SHOW SECTION [--at MS]: the object tree of one slide or dialog section,
// evaluated at a show time, one line per node.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <numbers>
#include <string>

#include "commands.h"
#include "foundation/process.h"
#include "model/show_loader.h"
#include "model/zem_slide.h"
#include "model/zem_image.h"
#include "model/zem_text.h"
#include "package/show_locator.h"
#include "package/unpack.h"
#include "resources/file_access.h"
#include "script/ini_file.h"

namespace {

using namespace zem;

// Opens a show package or a project script with its file tables (file map, picture rotations),
// so pictures load as the player loads them.
std::unique_ptr<TZemShowLocator> OpenShow(const std::string& show, std::string& error) {
  std::unique_ptr<TZemShowLocator> locator;
  if (HasPackageTrailer(show)) locator = OpenPackagedShow(show, error);
  else locator = OpenProjectOnDisk(std::filesystem::absolute(show).string());
  if (!locator && error.empty()) error = "cannot read the show script '" + show + "'";
  return locator;
}

// Pictures as tree needs them: their size as the player loads them (orientation applied, an
// animation's strip split into frames); pixels stay undecoded.
class TSizedPicture : public TDrawPicture, public IPictureAnimation {
 public:
  TSizedPicture(std::unique_ptr<TImage> image, WideString name) : image_(std::move(image)), name_(std::move(name)) {}
  int32_t Width() const override { return image_->Width(); }
  int32_t Height() const override { return image_->Height(); }
  const TBitmap* Pixels() const override { return nullptr; }
  WideString Name() const override { return name_; }
  bool GetAnimation(TPictureAnimation& out) const override {
    const TTilesTag* tiles = image_->Store() ? image_->Store()->Tiles() : nullptr;
    if (!tiles || tiles->frame_count <= 1) return false;
    out.frameCount = tiles->frame_count;
    out.delays = tiles->DelayList();
    out.loopCount = tiles->loop_count;
    return true;
  }

 private:
  std::unique_ptr<TImage> image_;
  WideString name_;
};

class TToolHost : public TSimpleSlideHost {
 public:
  using TSimpleSlideHost::TSimpleSlideHost;
  TRef<TDrawPicture> GetPicture(const WideString& name) override {
    if (TRef<TDrawPicture> p = TSimpleSlideHost::GetPicture(name)) return p;
    if (!Files() || name.empty()) return {};
    auto image = LoadPicture(*Files(), name);
    if (!image || image->Width() <= 0 || image->Height() <= 0) return {};
    return TRef<TDrawPicture>(new TSizedPicture(std::move(image), name));
  }
};

std::string Num(double v) {
  if (v == 0) v = 0;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.4g", v);
  return buf;
}

void PrintNode(const TZemObject& n, int depth, const std::string& rootName) {
  constexpr double kDeg = 180.0 / std::numbers::pi;
  const TKeyValues& v = n.Current();
  std::string name = depth == 0 ? rootName : WideToUtf8(n.Caption().empty() ? n.Guid() : n.Caption());
  std::string line(size_t(depth) * 2, ' ');
  line += std::string(n.ClassName()) + " \"" + name + "\"";
  line += " opacity=" + Num(v.opacity);
  line += " pos=(" + Num(v.posX) + "," + Num(v.posY) + ") z=" + Num(v.zPos);
  line += " centre=(" + Num(v.centerX) + "," + Num(v.centerY) + ")";
  line += " angle=" + Num(v.angle * kDeg) + " angleX=" + Num(v.angleX * kDeg) + " angleY=" + Num(v.angleY * kDeg);
  line += " scale=(" + Num(v.scaleX) + "," + Num(v.scaleY) + ")";
  line += " blur=" + Num(v.blur);
  if (v.colorOff)
    line += " colorise=off";
  else
    line += " colorise=(" + std::to_string(v.colorR) + "," + std::to_string(v.colorG) + "," +
            std::to_string(v.colorB) + " " + Num(v.colorAmount) + ")";
  line += std::string(" inwindow=") + (n.InWindow() ? "1" : "0");
  line += std::string(" visible=") + (n.IsShown() ? "1" : "0");
  if (auto* image = dynamic_cast<const show::TZemImage*>(&n); image && !dynamic_cast<const TZemText*>(&n))
    line += " picture=\"" + WideToUtf8(image->ImageName()) + "\" size=" + std::to_string(n.Size().x) + "x" +
            std::to_string(n.Size().y);
  if (auto* text = dynamic_cast<const TZemText*>(&n)) {
    // The lines as shown: macros expanded.
    const auto& lines = text->ExpandedLines().empty() ? text->SourceLines() : text->ExpandedLines();
    line += " text=[";
    for (size_t i = 0; i < lines.size(); ++i) line += (i ? ",\"" : "\"") + WideToUtf8(lines[i]) + "\"";
    line += "]";
  }
  std::printf("%s\n", line.c_str());
  for (const TZemObject* c : n.Children()) PrintNode(*c, depth + 1, rootName);  // depth is bounded by reading
}

int RunTree(const zemtool::Args& args) {
  std::string show, section;
  double at = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--at") {
      if (i + 1 >= args.size()) return zemtool::Fail("--at needs a time in ms");
      errno = 0;
      char* end = nullptr;
      at = std::strtod(args[++i].c_str(), &end);
      if (errno || !end || *end || !std::isfinite(at)) return zemtool::Fail("bad time '" + args[i] + "'");
    } else if (show.empty()) {
      show = args[i];
    } else if (section.empty()) {
      section = args[i];
    } else {
      return zemtool::Fail("unexpected argument '" + args[i] + "'");
    }
  }
  if (show.empty() || section.empty()) return zemtool::Fail("usage: zemtool tree SHOW SECTION [--at MS]");
  std::string error;
  auto locator = OpenShow(show, error);
  if (!locator) return zemtool::Fail(error);
  const TIniFile* ini = locator->Script();
  const TIniSection* main = ini->FindSection(u"Main");
  int32_t w = main ? main->ReadInteger(u"opt_scr_width", 0) : 0, h = main ? main->ReadInteger(u"opt_scr_height", 0) : 0;
  if (w <= 0 || h <= 0 || w > 65535 || h > 65535) w = kDefaultOutputWidth, h = kDefaultOutputHeight;
  auto host = MakeRef<TToolHost>(w, h);
  host->SetFiles(&locator->Accessor());
  auto slide = BuildSectionTree(*ini, Utf8ToWide(section), host, &error);
  if (!slide) return zemtool::Fail(error);
  try {
    slide->SetTimeAndUpdate(true, at);
  } catch (const std::exception& e) {
    return zemtool::Fail(std::string("evaluating the tree failed: ") + e.what());
  }
  PrintNode(*slide, 0, section);
  return 0;
}

}  // namespace

ZEMTOOL_COMMAND("tree",
                "tree SHOW SECTION [--at MS]\n"
                "    builds the object tree of one slide or dialog section of the show's script,\n"
                "    evaluates it at show time MS (default 0; the slide starts at 0) and prints\n"
                "    one line per node with its current values (images add their picture name and\n"
                "    size as loaded, text nodes their lines with macros expanded)",
                RunTree);
