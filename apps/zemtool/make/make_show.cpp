#include "make_show.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>

#include "foundation/stream.h"
#include "foundation/strings.h"
#include "make_random.h"
#include "resources/text/font_cache.h"
#include "resources/text/text_layout.h"
#include "sound/media_info.h"

namespace zemtool::make {

namespace fs = std::filesystem;

namespace {

// Longest fade at the end of the music.
constexpr int32_t kMusicFadeOut = 3000;
// Most entries of the playlist (the music repeated to the show's length).
constexpr size_t kMaxPlaylist = 10000;
// Shortest slide --fit-music may give.
constexpr int32_t kMinFitSlide = 1000;
// Text heights in percent of the slide's height.
constexpr double kTitleHeight = 10, kCaptionHeight = 4.5;
// Soft edge of the wipes, in thousandths of the show's width.
constexpr int kSmoothLine = 60;
// Blur of the background behind a placed photo, in thousandths of the frame's width.
constexpr int kBackgroundBlur = 40;

std::string Num(double v) {
  if (std::fabs(v) < 0.0005) v = 0;
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 3);
  std::string s(buf, r.ptr);
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  return s == "-0" ? "0" : s;
}

// A value or caption on one script line: no line breaks, and for captions no ":" (the header's
// last ":" starts its value).
std::string OneLine(std::string s, bool caption) {
  for (char& c : s) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    if (caption && c == ':') c = '_';
  }
  return s;
}

// The letter the script uses for an effect type: 1..8, then A..H for 9..16.
std::string TypeLetter(int32_t type) {
  if (type >= 1 && type <= 8) return std::string(1, char('0' + type));
  if (type >= 9 && type <= 16) return std::string(1, char('A' + type - 9));
  return "1";
}

// Width ÷ height of the lines as the player lays them out in its default font, or an estimate
// when no font is installed here.
double TextAspect(const std::vector<std::string>& lines) {
  std::vector<zem::WideString> wide;
  size_t longest = 1;
  for (const std::string& l : lines) {
    wide.push_back(zem::Utf8ToWide(l));
    longest = std::max(longest, wide.back().size());
  }
  if (auto text = zem::BuildSystemVectorText(u"Arial", 0, wide)) {
    const zem::TTextLayout layout = zem::LayoutText(*text, 1, 0, 1);
    if (layout.Height() > 0 && layout.Width() > 0) return double(layout.Width()) / layout.Height();
  }
  return 0.55 * double(longest) / double(std::max<size_t>(lines.size(), 1));
}

// The text height (percent of the slide's) at which the lines stay within `widthShare` of the
// slide's width, at most `height`.
double FittedTextHeight(const std::vector<std::string>& lines, double height, double widthShare, int32_t w,
                        int32_t h) {
  const double aspect = TextAspect(lines);
  if (aspect <= 0) return height;
  return std::min(height, widthShare * 100 * w / (h * aspect));
}

// Lines of the title: broken at line ends and at the script's own line mark "^&".
std::vector<std::string> SplitTitle(const std::string& title) {
  std::vector<std::string> lines;
  size_t p = 0;
  while (p <= title.size()) {
    const size_t nl = title.find('\n', p), mark = title.find("^&", p);
    const size_t e = std::min({nl, mark, title.size()});
    lines.push_back(OneLine(title.substr(p, e - p), false));
    p = e + (e == mark ? 2 : 1);
  }
  return lines;
}

class TScriptText {
 public:
  void Line(const std::string& s) { text_ += std::string(depth_ * 2, ' ') + s + "\n"; }
  void Key(const std::string& k, const std::string& v) { Line(k + "=" + v); }
  void Key(const std::string& k, int64_t v) { Line(k + "=" + std::to_string(v)); }
  void Open(const std::string& kind, const std::string& caption) {
    Line("object " + kind + ":" + (caption.empty() ? "" : " " + caption));
    ++depth_;
  }
  void End() {
    --depth_;
    Line("end");
  }
  // A keypoint at an anchor ("SlideBegin", "PrevEffectEnd", "NextEffectBegin", "SlideEnd").
  void Keypoint(const char* origin, const TView& v, double opacity = 100, bool mirror = false, double blur = 0) {
    Open("keypoint", "");
    if (std::string(origin) != "SlideBegin") Key("Origin", origin);
    Key("Time", 0);
    if (opacity != 100) Key("Opacity", Num(opacity));
    Key("ScaleX", Num(v.scale));
    Key("ScaleY", Num(v.scale));
    if (v.x != 0 || v.y != 0) Key("Position", Num(v.x) + "," + Num(v.y));
    if (mirror) Key("AngleY", 180);
    if (blur > 0) Key("Blur", Num(blur));
    End();
  }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
  int depth_ = 0;
};

void WriteTransition(TScriptText& s, const TTransitionPick& t, int32_t ms) {
  s.Key("Pers_Effect", 1);
  s.Key("Effect_Class", t.effectClass);
  if (t.effectClass <= 0) return;
  s.Key("Effect_Type", TypeLetter(t.effectType));
  s.Key("EffectTime", ms);
  if (t.effectClass != 2) {
    // Soft edges for every shaped transition.
    s.Key("EffectUseSmoothline", 1);
    s.Key("EffectSmoothline", kSmoothLine);
  }
  if (t.effectClass == 1) {
    s.Key("EffectMosaicDX", 24);
    s.Key("EffectMosaicDY", 14);
    s.Key("EffectMosaicSC", 30);
  }
}

// A caption at the bottom left, faded in and out with the slide's transitions.
void WriteCaption(TScriptText& s, const std::string& text, double height) {
  s.Open("text", "Caption");
  s.Key("Text", text);
  s.Key("TextAlign", "Left");
  s.Key("TextColor", "255,255,255");
  const char* origins[] = {"SlideBegin", "PrevEffectEnd", "NextEffectBegin", "SlideEnd"};
  for (int i = 0; i < 4; ++i) {
    s.Open("keypoint", "");
    if (i > 0) s.Key("Origin", origins[i]);
    s.Key("Time", 0);
    if (i == 0 || i == 3) s.Key("Opacity", 0);
    s.Key("ScaleX", Num(height));
    s.Key("ScaleY", Num(height));
    s.Key("Position", "-94,86");
    s.Key("CenterPos", "-100,0");
    s.End();
  }
  s.End();
}

// Orientation → (RotationState number, mirrored). The table turns by 180° and quarter turns; the
// mirrored orientations add a half turn about the vertical axis, which shows the picture's back.
void SplitOrientation(int32_t o, int32_t& turn, bool& mirror) {
  static const int32_t kTurn[9] = {1, 1, 1, 3, 3, 6, 6, 8, 8};
  static const bool kMirror[9] = {false, false, true, false, true, true, false, true, false};
  const int32_t i = o >= 1 && o <= 8 ? o : 0;
  turn = kTurn[i];
  mirror = kMirror[i];
}

}  // namespace

bool MusicDuration(const std::string& path, int32_t& ms, std::string& why) {
  auto s = zem::TFileStream::Open(path, zem::TFileMode::Read);
  if (!s) return why = "cannot be read", false;
  zem::TMediaInfo info;
  const zem::WideString name = zem::Utf8ToWide(fs::path(path).filename().string());
  const zem::WideString ext = zem::Utf8ToWide(zem::LowerAscii(fs::path(path).extension().string()));
  if (!zem::TMediaInfoExtractor::Extract(*s, ext, info, name) || info.duration == 0)
    return why = "is not a sound file the player plays (WAVE, MP3 or Ogg Vorbis)", false;
  ms = int32_t(std::min<uint32_t>(info.duration, INT32_MAX / 4));
  return true;
}

std::string MemberName(const std::string& folder, const std::string& path, std::vector<std::string>& used) {
  std::string file = fs::path(path).filename().string();
  for (char& c : file)
    if (static_cast<unsigned char>(c) < 32 || std::string_view("\"\\/:*?<>|%;[]").find(c) != std::string_view::npos)
      c = '_';
  if (file.empty() || file[0] == '.') file = "_" + file;
  const size_t dot = file.rfind('.');
  const std::string stem = dot == std::string::npos || dot == 0 ? file : file.substr(0, dot);
  const std::string ext = dot == std::string::npos || dot == 0 ? "" : file.substr(dot);
  std::string name = folder + "\\" + file;
  for (int n = 2; std::any_of(used.begin(), used.end(), [&](const std::string& u) {
         return zem::SameTextNoCase(zem::Utf8ToWide(u), zem::Utf8ToWide(name));
       });
       ++n)
    name = folder + "\\" + stem + " (" + std::to_string(n) + ")" + ext;
  used.push_back(name);
  return name;
}

bool PlanShow(const TMakeOptions& o, std::vector<TPicture> pictures, TShowPlan& plan, std::string& error) {
  plan.options = o;
  std::vector<std::string> used;
  // Music first: an unreadable file stops everything before anything is written.
  int64_t musicTotal = 0;
  for (const std::string& m : o.music) {
    TMusicTrack t;
    t.path = fs::absolute(m).lexically_normal().string();
    std::string why;
    if (!MusicDuration(t.path, t.duration, why)) return error = "the music " + m + " " + why, false;
    t.member = MemberName("music", t.path, used);
    musicTotal += t.duration;
    plan.music.push_back(std::move(t));
  }

  const int32_t n = int32_t(pictures.size()) + (o.title.empty() ? 0 : 1);
  if (n == 0) return error = "no pictures", false;
  if (n > 100000) return error = "too many pictures (" + std::to_string(pictures.size()) + ")", false;
  double slot = o.slideSeconds * 1000;
  if (o.fitMusic) {
    slot = double(musicTotal) / n;
    if (slot < kMinFitSlide)
      return error = "the music (" + std::to_string(musicTotal / 1000) + " s) is too short for " + std::to_string(n) +
                     " slides of at least " + std::to_string(kMinFitSlide / 1000) + " s",
             false;
  }
  for (int32_t i = 1; i <= n; ++i)
    plan.synch.push_back(o.fitMusic ? int32_t(std::llround(double(musicTotal) * i / n)) : int32_t(std::llround(slot * i)));

  std::vector<const TTransitionName*> set;
  for (const std::string& t : o.transitions) set.push_back(FindTransition(t));
  const bool cutsOnly = std::all_of(set.begin(), set.end(), [](const TTransitionName* t) { return t->effectClass <= 0; });
  plan.transitionMs = cutsOnly ? 0 : int32_t(std::llround(o.transitionSeconds * 1000));
  if (o.fitMusic && plan.transitionMs * 2 > int32_t(slot)) {
    // Stretched to the music, the slides became too short for their transitions: each photo
    // stays alone on screen at least half its time.
    plan.transitionMs = int32_t(slot / 2);
    plan.warnings.push_back("transitions shortened to " + Num(plan.transitionMs / 1000.0) +
                            " s to fit slides of " + Num(slot / 1000) + " s");
  }

  // Separate streams, so that changing one option does not redraw everything else.
  TRandom motionRandom(o.seed ^ 0x6D6F74696F6Eull), transitionRandom(o.seed ^ 0x7472616E73ull);
  if (!o.title.empty()) plan.titleTransition = PickTransition(set, transitionRandom);
  for (TPicture& p : pictures) {
    TShowPicture sp;
    sp.member = MemberName("photos", p.path, used);
    const std::string file = sp.member.substr(sp.member.find('\\') + 1);
    const size_t dot = file.rfind('.');
    sp.caption = OneLine(dot == std::string::npos ? file : file.substr(0, dot), true);
    sp.motion = ChooseMotion(p.ShownWidth(), p.ShownHeight(), o.width, o.height, o.motion, motionRandom);
    sp.transition = PickTransition(set, transitionRandom);
    sp.picture = std::move(p);
    plan.pictures.push_back(std::move(sp));
  }

  // The playlist runs as long as the show: tracks repeat when it is longer, the last one is cut
  // at the show's end; the last one fades out.
  if (!plan.music.empty()) {
    const int64_t end = plan.Duration();
    int64_t at = 0;
    for (size_t i = 0; at < end; i = (i + 1) % plan.music.size()) {
      if (plan.playlist.size() >= kMaxPlaylist)
        return error = "the music is far shorter than the show: add music or use --fit-music", false;
      const int32_t d = int32_t(std::min<int64_t>(plan.music[i].duration, end - at));
      plan.playlist.push_back({i, d, 0});
      at += d;
    }
    TMusicItem& last = plan.playlist.back();
    last.fadeOut = std::min(kMusicFadeOut, last.duration);
  }
  return true;
}

std::string ShowScript(const TShowPlan& plan, bool fileMap, const std::string& exeName) {
  const TMakeOptions& o = plan.options;
  TScriptText s;
  s.Line("; Made by zemtool make from " + std::to_string(plan.pictures.size()) +
         " pictures: an ordinary show script, which may be edited like any other.");
  s.Line("[Main]");
  s.Key("ZemVersion", "5.6");
  if (!exeName.empty()) s.Key("opt_exefn", OneLine(exeName, false));
  fs::path folder = fs::absolute(o.folders[0]).lexically_normal();
  if (folder.filename().empty()) folder = folder.parent_path();  // "photos/"
  const std::string caption = !o.title.empty() ? SplitTitle(o.title)[0] : folder.filename().string();
  if (!caption.empty()) s.Key("opt_scr_caption", OneLine(caption, false));
  s.Key("opt_scr_full", o.window ? 0 : 1);
  s.Key("opt_scr_width", o.width);
  s.Key("opt_scr_height", o.height);
  s.Key("opt_withoutborder", 0);
  // The pointer goes away after a few still seconds (at once in full screen).
  s.Key("opt_hidecursor", 2);
  s.Key("opt_hc2_hideinterval", 3);
  s.Key("opt_hc2_hideonstartup", o.window ? 0 : 1);
  s.Key("opt_repeat", o.endMode);
  s.Key("opt_slidescount", plan.SlideCount());
  for (size_t i = 0; i < plan.synch.size(); ++i) s.Key("opt_synchpos" + std::to_string(i + 1), plan.synch[i]);
  // Every slide names its own transition.
  s.Key("opt_fx_enable", 0);
  s.Key("opt_bstyle", 1);
  s.Key("opt_bname", int64_t(o.backgroundColor));
  if (!plan.playlist.empty()) {
    s.Key("opt_syncmode", 1);
    s.Key("opt_fullyplaysound", 0);
    s.Open("music", "");
    s.Open("tmusicoptions", "");
    s.Key("IsRepeat", 0);
    s.End();
    s.Open("tmusictrack", "");
    for (const TMusicItem& item : plan.playlist) {
      s.Open("tmusicitem", "");
      s.Key("FileName", plan.music[item.track].member);
      s.Key("Duration", item.duration);
      if (item.fadeOut > 0) s.Key("FadeOut", item.fadeOut);
      s.End();
    }
    s.End();
    s.End();
  }

  bool anyTurn = false;
  for (const TShowPicture& p : plan.pictures) {
    int32_t turn;
    bool mirror;
    SplitOrientation(p.picture.orientation, turn, mirror);
    anyTurn |= turn != 1;
  }
  if (anyTurn) {
    s.Line("");
    s.Line("; EXIF orientations, so that photos stand upright");
    s.Line("[RotationState]");
    for (const TShowPicture& p : plan.pictures) {
      int32_t turn;
      bool mirror;
      SplitOrientation(p.picture.orientation, turn, mirror);
      if (turn != 1) s.Line(";\"" + p.member + "\"=" + std::to_string(turn));
    }
  }
  if (fileMap) {
    s.Line("");
    s.Line("; the pictures and music stay where they are");
    s.Line("[FileMap]");
    for (const TShowPicture& p : plan.pictures) s.Line(";\"" + p.member + "\"=\"" + p.picture.path + "\"");
    for (const TMusicTrack& m : plan.music) s.Line(";\"" + m.member + "\"=\"" + m.path + "\"");
  }

  int32_t slide = 0;
  if (!o.title.empty()) {
    s.Line("");
    s.Line("[Slide" + std::to_string(++slide) + "]");
    WriteTransition(s, plan.titleTransition, plan.transitionMs);
    const std::vector<std::string> lines = SplitTitle(o.title);
    std::string text;
    for (const std::string& l : lines) text += (text.empty() ? "" : "^&") + l;
    const double h = FittedTextHeight(lines, kTitleHeight * lines.size(), 0.86, o.width, o.height);
    s.Open("text", "Title");
    s.Key("Text", "\"" + text + "\"");
    s.Key("TextColor", "255,255,255");
    s.Keypoint("SlideBegin", {h, 0, 0});
    if (o.motion) s.Keypoint("SlideEnd", {h * 1.06, 0, 0});
    s.End();
  }
  for (const TShowPicture& p : plan.pictures) {
    int32_t turn;
    bool mirror;
    SplitOrientation(p.picture.orientation, turn, mirror);
    s.Line("");
    s.Line("[Slide" + std::to_string(++slide) + "]");
    WriteTransition(s, p.transition, plan.transitionMs);
    if (!p.motion.cover && o.blurBackground) {
      // The photo itself, blurred, covers the slide behind it; larger than the slide, so the
      // blur's soft edges stay outside.
      s.Open("image", p.caption + " background");
      s.Key("ImageName", p.member);
      s.Key("FitMode", "Cover");
      s.Key("Antialiased", 0);
      s.Keypoint("SlideBegin", {112, 0, 0}, 100, mirror, kBackgroundBlur);
      s.End();
    }
    s.Open("image", p.caption);
    s.Key("ImageName", p.member);
    s.Key("ImageIndex", 0);
    s.Key("FitMode", p.motion.cover ? "Cover" : "PlaceInto");
    // A covering photo's edges lie outside the slide: nothing to smooth there.
    if (p.motion.cover) s.Key("Antialiased", 0);
    s.Keypoint("SlideBegin", p.motion.start, 100, mirror);
    s.Keypoint("SlideEnd", p.motion.end, 100, mirror);
    s.End();
    if (o.caption == TCaption::Name) {
      WriteCaption(s, "<%MainImg.FileName%>",
                   FittedTextHeight({p.caption}, kCaptionHeight, 0.8, o.width, o.height));
    } else if (o.caption == TCaption::Date && !p.picture.exifDate.empty()) {
      WriteCaption(s, "<%MainImg.Exif.Date%>", kCaptionHeight);
    }
  }
  return s.Text();
}

}  // namespace zemtool::make
