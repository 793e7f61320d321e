#include "make_options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "foundation/strings.h"
#include "make_transitions.h"

namespace zemtool::make {

const char kMakeUsage[] =
    "make FOLDER... (-o OUT | --pack FILE | --publish FILE) [options]\n"
    "    makes a show of every JPEG, PNG, GIF and BMP picture under the folders: OUT/Project.zem\n"
    "    with the pictures and music copied beside it (--link: referenced where they are), or a\n"
    "    show package (--pack) or a published program (--publish, the player with the package\n"
    "    appended; --player BINARY names the player). Options:\n"
    "      --order date|name|random   EXIF date then file time (default), natural name, or drawn\n"
    "      --seed N                   random order, motion and transitions (default 1)\n"
    "      --slide-seconds S          time from one slide to the next (default 5)\n"
    "      --transition-seconds S     (default 1.2)\n"
    "      --transitions NAME,...     drawn per slide from: fade (default), dissolve, wipe, push,\n"
    "                                 slide, circle, diamond, box, split, diagonal, corner, clock,\n"
    "                                 broom, roll, flip, swap, cut; or all\n"
    "      --no-motion                no pan and zoom\n"
    "      --background blur|black|COLOR  behind photos that do not fill the show (#RRGGBB)\n"
    "      --music FILE               repeatable: a playlist, faded out at the end\n"
    "      --fit-music                slide times stretched so the show ends with the music\n"
    "      --caption date|name|none   the photo's EXIF date or file name (default none)\n"
    "      --title TEXT               an opening slide\n"
    "      --size WxH                 (default 1920x1080)\n"
    "      --window                   play in a window (default full screen)\n"
    "      --end repeat|close|stop    at the end of the show (default repeat)\n"
    "      --force                    replace an existing OUT or FILE\n"
    "    Broken pictures are skipped with a warning; only picture headers are read.";

namespace {

bool ParseSeconds(const std::string& text, double& out) {
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (errno || !end || *end || text.empty() || !std::isfinite(v) || v < 0 || v > 86400) return false;
  out = v;
  return true;
}

bool ParseSize(const std::string& text, int32_t& w, int32_t& h) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  auto part = [](const std::string& s, int32_t& v) {
    if (s.empty() || s.size() > 5 || s.find_first_not_of("0123456789") != std::string::npos) return false;
    v = std::atoi(s.c_str());
    return v >= 16 && v <= 16384;
  };
  return part(text.substr(0, x), w) && part(text.substr(x + 1), h);
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> out;
  size_t p = 0;
  while (p <= text.size()) {
    size_t c = text.find(',', p);
    if (c == std::string::npos) c = text.size();
    std::string item = text.substr(p, c - p);
    while (!item.empty() && item.front() == ' ') item.erase(item.begin());
    while (!item.empty() && item.back() == ' ') item.pop_back();
    if (!item.empty()) out.push_back(item);
    p = c + 1;
  }
  return out;
}

}  // namespace

bool ParseColor(const std::string& text, uint32_t& code) {
  const std::string t = zem::LowerAscii(text);
  if (t == "black") return code = 0, true;
  if (t == "white") return code = 0xFFFFFF, true;
  if (t == "grey" || t == "gray") return code = 0x808080, true;
  std::string hex = t;
  if (!hex.empty() && hex[0] == '#') hex.erase(0, 1);
  if (hex.size() == 6 && hex.find_first_not_of("0123456789abcdef") == std::string::npos) {
    const uint32_t rgb = uint32_t(std::strtoul(hex.c_str(), nullptr, 16));
    code = ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
    return true;
  }
  const std::vector<std::string> parts = SplitList(t);
  if (parts.size() != 3) return false;
  uint32_t c = 0;
  for (size_t i = 0; i < 3; ++i) {
    const std::string& p = parts[i];
    if (p.empty() || p.size() > 3 || p.find_first_not_of("0123456789") != std::string::npos) return false;
    const int v = std::atoi(p.c_str());
    if (v > 255) return false;
    c |= uint32_t(v) << (8 * i);
  }
  code = c;
  return true;
}

bool ParseMakeOptions(const std::vector<std::string>& args, TMakeOptions& o, std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i], value;
    bool inlineValue = false;
    if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
      const size_t eq = a.find('=');
      if (eq != std::string::npos) {
        value = a.substr(eq + 1);
        a = a.substr(0, eq);
        inlineValue = true;
      }
    }
    auto take = [&](std::string& v) {
      if (inlineValue) return v = value, true;
      if (i + 1 >= args.size()) return error = a + " needs a value", false;
      v = args[++i];
      return true;
    };
    std::string v;
    if (a == "-o" || a == "--out") {
      if (!take(o.outFolder)) return false;
    } else if (a == "--pack") {
      if (!take(o.packFile)) return false;
    } else if (a == "--publish") {
      if (!take(o.publishFile)) return false;
    } else if (a == "--player") {
      if (!take(o.player)) return false;
    } else if (a == "--order") {
      if (!take(v)) return false;
      if (v == "date") o.order = TOrder::Date;
      else if (v == "name") o.order = TOrder::Name;
      else if (v == "random") o.order = TOrder::Random;
      else return error = "--order takes date, name or random, not '" + v + "'", false;
    } else if (a == "--seed") {
      if (!take(v)) return false;
      errno = 0;
      char* end = nullptr;
      const unsigned long long s = std::strtoull(v.c_str(), &end, 10);
      if (errno || v.empty() || !end || *end || v[0] == '-') return error = "--seed needs a whole number", false;
      o.seed = s;
    } else if (a == "--slide-seconds" || a == "--transition-seconds") {
      if (!take(v)) return false;
      double s = 0;
      if (!ParseSeconds(v, s)) return error = a + " needs seconds, not '" + v + "'", false;
      (a == "--slide-seconds" ? o.slideSeconds : o.transitionSeconds) = s;
    } else if (a == "--fit-music") {
      o.fitMusic = true;
    } else if (a == "--no-motion") {
      o.motion = false;
    } else if (a == "--motion") {
      o.motion = true;
    } else if (a == "--background") {
      if (!take(v)) return false;
      if (v == "blur") {
        o.blurBackground = true;
        o.backgroundColor = 0;
      } else if (ParseColor(v, o.backgroundColor)) {
        o.blurBackground = false;
      } else {
        return error = "--background takes blur, black or a colour (#RRGGBB or R,G,B), not '" + v + "'", false;
      }
    } else if (a == "--transitions") {
      if (!take(v)) return false;
      std::vector<std::string> names = SplitList(v);
      if (names.size() == 1 && zem::LowerAscii(names[0]) == "all") {
        names.clear();
        for (const TTransitionName& t : TransitionNames())
          if (t.effectClass > 0) names.push_back(t.name);
      }
      if (names.empty()) return error = "--transitions needs at least one name", false;
      for (const std::string& n : names)
        if (!FindTransition(n))
          return error = "unknown transition '" + n + "' (known: " + TransitionNameList() + ", all)", false;
      o.transitions = names;
    } else if (a == "--music") {
      if (!take(v)) return false;
      o.music.push_back(v);
    } else if (a == "--caption") {
      if (!take(v)) return false;
      if (v == "date") o.caption = TCaption::Date;
      else if (v == "name") o.caption = TCaption::Name;
      else if (v == "none") o.caption = TCaption::None;
      else return error = "--caption takes date, name or none, not '" + v + "'", false;
    } else if (a == "--title") {
      if (!take(o.title)) return false;
    } else if (a == "--size") {
      if (!take(v)) return false;
      if (!ParseSize(v, o.width, o.height)) return error = "--size takes WIDTHxHEIGHT (16 to 16384 each), not '" + v + "'", false;
    } else if (a == "--window") {
      o.window = true;
    } else if (a == "--fullscreen" || a == "--full-screen") {
      o.window = false;
    } else if (a == "--end") {
      if (!take(v)) return false;
      if (v != "repeat" && v != "close" && v != "stop")
        return error = "--end takes repeat, close or stop, not '" + v + "'", false;
      o.endMode = v;
    } else if (a == "--link") {
      o.link = true;
    } else if (a == "--force") {
      o.force = true;
    } else if (a.size() > 1 && a[0] == '-') {
      return error = "unknown option " + a, false;
    } else {
      o.folders.push_back(a);
    }
  }
  if (o.folders.empty()) return error = "name at least one folder of pictures", false;
  const int dest = !o.outFolder.empty() + !o.packFile.empty() + !o.publishFile.empty();
  if (dest != 1) return error = "name exactly one of -o OUT, --pack FILE and --publish FILE", false;
  if (o.link && o.outFolder.empty()) return error = "--link makes a project folder: use it with -o OUT", false;
  if (o.fitMusic && o.music.empty()) return error = "--fit-music needs --music", false;
  if (!o.fitMusic && o.slideSeconds < 0.5) return error = "--slide-seconds must be at least 0.5", false;
  const bool cutsOnly = std::all_of(o.transitions.begin(), o.transitions.end(),
                                    [](const std::string& t) { return FindTransition(t)->effectClass <= 0; });
  if (!o.fitMusic && !cutsOnly && o.transitionSeconds >= o.slideSeconds)
    return error = "--transition-seconds must be shorter than --slide-seconds", false;
  return true;
}

}  // namespace zemtool::make
