// The show "zemtool make" writes: slide timing, the pictures' member names, the music playlist,
// and the show script itself (an ordinary script the player reads like any other).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "make_motion.h"
#include "make_options.h"
#include "make_pictures.h"
#include "make_transitions.h"

namespace zemtool::make {

struct TShowPicture {
  TPicture picture;
  std::string member;   // "photos\NAME.jpg": the name the script uses
  std::string caption;  // the object's caption: the file name without extension
  TMotion motion;
  TTransitionPick transition;  // into this picture's slide
};

struct TMusicTrack {
  std::string path;    // on disk
  std::string member;  // "music\NAME.mp3"
  int32_t duration = 0;  // ms
};

// One entry of the main playlist: a track, possibly cut short, faded out when it is the last.
struct TMusicItem {
  size_t track = 0;
  int32_t duration = 0, fadeOut = 0;
};

struct TShowPlan {
  TMakeOptions options;
  std::vector<TShowPicture> pictures;
  TTransitionPick titleTransition;
  std::vector<TMusicTrack> music;
  std::vector<TMusicItem> playlist;
  std::vector<int32_t> synch;  // "opt_synchpos1".. : where each slide hands over to the next, ms
  int32_t transitionMs = 0;
  std::vector<std::string> warnings;

  int32_t SlideCount() const { return int32_t(synch.size()); }
  int32_t Duration() const { return synch.empty() ? 0 : synch.back(); }
};

// Length of a sound file the player can play, in ms; false with `why` when it cannot read it.
bool MusicDuration(const std::string& path, int32_t& ms, std::string& why);

// Member name `folder` + "\" + the file's name, made safe for scripts and unique (without case)
// among `used`, which receives it.
std::string MemberName(const std::string& folder, const std::string& path, std::vector<std::string>& used);

// Everything but the script text: names, timing, motion, transitions, playlist. False with
// `error` (unreadable music, timing that cannot work).
bool PlanShow(const TMakeOptions& options, std::vector<TPicture> pictures, TShowPlan& plan, std::string& error);

// The show script as text. `fileMap` maps every member to the file it stays in (a project that
// references its pictures instead of holding copies); `exeName` fills "opt_exefn" when set.
std::string ShowScript(const TShowPlan& plan, bool fileMap, const std::string& exeName = std::string());

}  // namespace zemtool::make
