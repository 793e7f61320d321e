// zemtool timeline SHOW [--seed N] [--positions N]: the show's time line as the player computes
// it, one line per slide position.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "commands.h"
#include "model/slide_source.h"
#include "model/transition_catalogue.h"
#include "model/zem_image.h"
#include "package/show_locator.h"
#include "script/ini_file.h"

namespace {

using namespace zem;

// Image, mask and viewport sections are known to every command that reads slides.
const bool kImageKindsRegistered = (RegisterImageKinds(), true);

// A packaged show (its "Project.zem") or a show script file.
std::unique_ptr<TIniFile> LoadShow(const std::string& show, std::string& error) {
  auto ini = std::make_unique<TIniFile>();
  std::string packageError;
  if (LoadPackageScript(show, *ini, packageError)) return ini;
  ini = std::make_unique<TIniFile>();
  if (ini->LoadFromFile(show)) return ini;
  error = "cannot read the show '" + show + "'" + (packageError.empty() ? "" : " (" + packageError + ")");
  return nullptr;
}

// Whole milliseconds print as integers, anything else with three decimals.
std::string Ms(double v) {
  if (v == 0) v = 0;
  char buf[64];
  if (std::fabs(v - std::round(v)) < 1e-9)
    std::snprintf(buf, sizeof buf, "%.0f", v);
  else
    std::snprintf(buf, sizeof buf, "%.3f", v);
  return buf;
}

const char* RepeatName(TRepeatMode m) {
  switch (m) {
    case kRepeatShow: return "repeat";
    case kCloseAtEnd: return "close";
    case kStopAtEnd: return "stop";
  }
  return "?";
}

bool ParseCount(const std::string& text, long& out) {
  errno = 0;
  char* end = nullptr;
  out = std::strtol(text.c_str(), &end, 10);
  return !errno && end && !*end && out >= 0;
}

int RunTimeline(const zemtool::Args& args) {
  std::string show;
  long seed = 1, positions = -1;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--seed" || args[i] == "--positions") {
      long v = 0;
      if (i + 1 >= args.size() || !ParseCount(args[i + 1], v)) return zemtool::Fail(args[i] + " needs a number");
      (args[i] == "--seed" ? seed : positions) = v;
      ++i;
    } else if (show.empty()) {
      show = args[i];
    } else {
      return zemtool::Fail("unexpected argument '" + args[i] + "'");
    }
  }
  if (show.empty()) return zemtool::Fail("usage: zemtool timeline SHOW [--seed N] [--positions N]");
  std::string error;
  auto ini = LoadShow(show, error);
  if (!ini) return zemtool::Fail(error);

  TZemSourceOptions options;
  options.fixedSeed = true;
  options.seed = uint32_t(seed);
  TRef<TZemSource> source;
  try {
    source = MakeRef<TZemSource>(std::move(ini), nullptr, options);
  } catch (const std::exception& e) {
    return zemtool::Fail(std::string("the time line cannot be built: ") + e.what());
  }
  const TZemSource& s = *source;
  for (const std::string& w : s.Warnings()) std::fprintf(stderr, "zemtool: warning: %s\n", w.c_str());
  std::printf("repeat: %s\n", RepeatName(s.RepeatMode()));
  std::printf("manual: %d\n", s.ManualShow() ? 1 : 0);
  std::printf("random: %d\n", s.RandomOrder() ? 1 : 0);
  std::printf("slides: %d\n", s.SlideCount());
  std::printf("duration: %s\n", Ms(s.TotalDuration()).c_str());
  std::printf("# position slide section start next in out end action class type duration filter\n");

  const int32_t count = s.SlideCount();
  long total = positions >= 0 ? positions : count;
  if (total > 4L * kMaxSlideCount) total = 4L * kMaxSlideCount;
  if (count <= 0) total = 0;
  for (int32_t p = 0; p < int32_t(total); ++p) {
    TSlideInfo info;
    try {
      source->GetSlideInfo(p, info);
      const int32_t index = p % count;
      const TIniSection* section = source->SlideSection(index);
      double loop = 0;
      const TEndAction action = source->GetEndAction(index, loop);
      std::string act = action == TEndAction::Pause ? "pause" : action == TEndAction::Loop ? "loop:" + Ms(loop) : "none";
      const TSlideEffect e = source->GetSlideEffect(index);
      const TFilterDescriptor desc = DescribeFilter(e.effectClass, e.effectType, e.params);
      std::printf("%d %d %s %s %s %s %s %s %s %d %d %s %s\n", p, source->SlideNumber(index) + 1,
                  section ? WideToUtf8(section->Name()).c_str() : "-", Ms(info.start).c_str(), Ms(info.next).c_str(),
                  Ms(info.inLength).c_str(), Ms(info.outLength).c_str(), Ms(info.end).c_str(), act.c_str(),
                  e.effectClass, e.effectType, Ms(e.Length()).c_str(), FilterKindName(desc.kind));
    } catch (const std::exception& ex) {
      return zemtool::Fail(std::string("position ") + std::to_string(p) + ": " + ex.what());
    }
  }
  return 0;
}

}  // namespace

ZEMTOOL_COMMAND("timeline",
                "timeline SHOW [--seed N] [--positions N]\n"
                "    the show's time line as the player computes it. SHOW is a show package or a\n"
                "    show script. First the main options, one 'key: value' line each: repeat\n"
                "    (repeat, close or stop), manual (0/1), random (0/1), slides (count),\n"
                "    duration (ms). Then a '#' header and one line per slide position (N\n"
                "    positions, default one pass; positions beyond the slide count are repeats):\n"
                "      position slide section start next in out end action class type duration filter\n"
                "    position counts from 0; slide is the slide number (1-based) shown there,\n"
                "    section its section or '-' when missing; start is when the slide begins,\n"
                "    next when the transition to the following slide begins, in and out the\n"
                "    lengths of the transitions into and out of it, end = next + out (all ms,\n"
                "    integers or three decimals); action is pause, loop:LENGTH or none; class,\n"
                "    type, duration (0 without transition) and filter name the transition into\n"
                "    the slide. Random draws (transition set, random order) use seed N\n"
                "    (default 1), so the output is repeatable.",
                RunTimeline);
