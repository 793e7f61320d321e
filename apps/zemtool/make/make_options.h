// The options of "zemtool make": a show from folders of photos and music.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace zemtool::make {

enum class TOrder { Date, Name, Random };
enum class TCaption { None, Date, Name };

struct TMakeOptions {
  std::vector<std::string> folders;  // folders (or single pictures) in the order given
  // Exactly one destination: a project folder, a show package or a published program.
  std::string outFolder, packFile, publishFile;
  std::string player;  // the player a published show is appended to (empty: looked for)
  TOrder order = TOrder::Date;
  uint64_t seed = 1;  // random order, motion and transition draws: the same seed, the same show
  double slideSeconds = 5;
  double transitionSeconds = 1.2;
  bool fitMusic = false;
  bool motion = true;
  bool blurBackground = true;      // portrait photos on a landscape show (and the reverse)
  uint32_t backgroundColor = 0;    // colour code: red in bits 0..7, green 8..15, blue 16..23
  std::vector<std::string> transitions{"fade"};
  std::vector<std::string> music;  // a playlist, in the order given
  TCaption caption = TCaption::None;
  std::string title;
  int32_t width = 1920, height = 1080;
  bool window = false;             // full screen unless asked
  std::string endMode = "repeat";  // "repeat", "close" or "stop"
  bool link = false;               // pictures and music referenced where they are, not copied
  bool force = false;
};

// Reads the arguments after the command word; false with a one-line `error`.
bool ParseMakeOptions(const std::vector<std::string>& args, TMakeOptions& out, std::string& error);

// "#RRGGBB", "RRGGBB", "R,G,B" or black, white, grey/gray; false otherwise.
bool ParseColor(const std::string& text, uint32_t& code);

extern const char kMakeUsage[];

}  // namespace zemtool::make
