#include "shell/snapshot_mode.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>

#include "foundation/bitmap.h"
#include "foundation/log.h"
#include "model/slide_source.h"
#include "model/transition_catalogue.h"
#include "render/drawer/snapshot.h"
#include "resources/png_writer.h"
#include "script/ini_file.h"
#include "shell/command_line.h"
#include "shell/show_options.h"
#include "shell/show_shell.h"
#include "transitions/slide_eff_filter.h"

namespace zem {

namespace {
constexpr int32_t kMaxOutputSide = 16384;

int Fail(const std::string& text) {
  std::fprintf(stderr, "zemviewer: snapshot failed: %s\n", text.c_str());
  LogLine("Snapshot: " + text);
  return 1;
}

bool ParseSide(const char* first, const char* last, int32_t& value) {
  auto [p, ec] = std::from_chars(first, last, value);
  return ec == std::errc() && p == last && value >= 1 && value <= kMaxOutputSide;
}

bool ParseTime(const std::string& text, double& ms) {
  if (text.empty()) return false;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), ms);
  return ec == std::errc() && p == text.data() + text.size() && std::isfinite(ms);
}
}  // namespace

void DefaultSnapshotSize(const TMainOptions& options, int32_t& width, int32_t& height) {
  if (options.WindowMode() == 0) {
    width = 1920;
    height = 1080;
    return;
  }
  width = options.scr_width;
  height = options.scr_height;
  if (width < 1 || width > kMaxOutputSide || height < 1 || height > kMaxOutputSide) {
    width = 640;
    height = 480;
  }
}

bool ParseOutputSize(const std::string& text, int32_t& width, int32_t& height) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  int32_t w = 0, h = 0;
  if (!ParseSide(text.data(), text.data() + x, w) || !ParseSide(text.data() + x + 1, text.data() + text.size(), h))
    return false;
  width = w;
  height = h;
  return true;
}

int RunSnapshot(TShowShell& shell, const TCommandsStorage& commands) {
  const std::string out_path = commands.FirstValue(kSnapshotSwitch);
  if (out_path.empty()) return Fail("-snapshot needs an output file");
  double at = 0;
  if (!ParseTime(commands.FirstValue("at"), at)) return Fail("-at needs a show time in ms");
  TZemShowLocator* locator = shell.CurrentLocator();
  if (!locator || !locator->HasScript()) return Fail("no show is open");

  int32_t width = 0, height = 0;
  DefaultSnapshotSize(ReadMainOptions(*locator->Script()), width, height);
  if (commands.Has("outsize") && !ParseOutputSize(commands.FirstValue("outsize"), width, height))
    return Fail("-outsize must be WIDTHxHEIGHT (1 to 16384 each)");

  // The show source takes its own copy of the script, as the engine's does.
  auto script = std::make_unique<TIniFile>();
  script->Assign(*locator->Script());
  TRef<TZemSource> source;
  try {
    source = MakeRef<TZemSource>(std::move(script), locator->Accessor().Clone());
  } catch (const std::exception& e) {
    return Fail(std::string("the show's time line is broken: ") + e.what());
  }

  // Custom effects read their effect files from this show.
  InstallCustomEffectMaker(MakeCustomEffectMaker(std::shared_ptr<const TFileAccessor>(locator->Accessor().Clone())));
  TBitmap frame;
  std::string error;
  bool drawn = false;
  try {
    drawn = RenderShowSnapshot(source, at, width, height, frame, &error);
  } catch (const std::exception& e) {
    // A script without a usable design size, for instance.
    error = e.what();
  }
  InstallCustomEffectMaker({});
  if (!drawn) return Fail(error);
  if (!WritePngFile(frame, out_path)) return Fail("cannot write \"" + out_path + "\"");
  LogLine("Snapshot written: " + out_path);
  return 0;
}

}  // namespace zem
