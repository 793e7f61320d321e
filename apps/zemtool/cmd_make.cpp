// zemtool make: a show from folders of photos and music (see make/).
#include <cstdio>
#include <filesystem>

#include "commands.h"
#include "make/make_options.h"
#include "make/make_output.h"
#include "make/make_pictures.h"
#include "make/make_show.h"

namespace {

using namespace zemtool::make;

std::string Duration(int32_t ms) {
  const int32_t s = (ms + 500) / 1000;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d:%02d", s / 60, s % 60);
  return buf;
}

int RunMake(const zemtool::Args& args) {
  TMakeOptions o;
  std::string error;
  if (!ParseMakeOptions(args, o, error)) return zemtool::Fail("make: " + error);
  std::string player;
  if (!o.publishFile.empty()) {
    player = FindPlayer(o.player);
    if (player.empty())
      return zemtool::Fail(o.player.empty() ? "make: no zemviewer found for --publish (name it with --player)"
                                            : "make: the player " + o.player + " does not exist");
  }

  // The output folder may lie inside a picture folder: its own copies are not pictures of the show.
  std::vector<std::string> skip;
  if (!o.outFolder.empty()) skip.push_back(std::filesystem::absolute(o.outFolder).string());
  TFoundPictures found;
  if (!FindPictures(o.folders, skip, found, error)) return zemtool::Fail("make: " + error);
  for (const std::string& w : found.warnings) std::fprintf(stderr, "zemtool: make: warning: %s\n", w.c_str());
  if (found.pictures.empty()) {
    std::string where;
    for (const std::string& f : o.folders) where += (where.empty() ? "" : ", ") + f;
    return zemtool::Fail("make: no pictures (JPEG, PNG, GIF or BMP) found in " + where);
  }
  OrderPictures(found.pictures, o.order, o.seed);

  TShowPlan plan;
  if (!PlanShow(o, std::move(found.pictures), plan, error)) return zemtool::Fail("make: " + error);
  for (const std::string& w : plan.warnings) std::fprintf(stderr, "zemtool: make: warning: %s\n", w.c_str());

  std::string written;
  if (!o.outFolder.empty()) {
    if (!WriteProjectFolder(plan, error)) return zemtool::Fail("make: " + error);
    written = (std::filesystem::path(o.outFolder) / "Project.zem").string();
  } else {
    const std::string& file = o.packFile.empty() ? o.publishFile : o.packFile;
    if (!WritePackage(plan, file, player, error)) return zemtool::Fail("make: " + error);
    written = file;
  }
  std::printf("made %s: %d slides (%zu pictures%s), %s long", written.c_str(), plan.SlideCount(),
              plan.pictures.size(), o.title.empty() ? "" : " and a title", Duration(plan.Duration()).c_str());
  if (!plan.music.empty())
    std::printf(", music from %zu file%s", plan.music.size(), plan.music.size() == 1 ? "" : "s");
  std::printf("\n");
  return 0;
}

}  // namespace

ZEMTOOL_COMMAND("make", zemtool::make::kMakeUsage, RunMake);
