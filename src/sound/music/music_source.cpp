#include "sound/music/music_source.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <set>

#include "foundation/assert.h"
#include "script/ini_file.h"
#include "sound/music/music_options.h"

namespace zem {

namespace {

WideString Num(int64_t n) { return Utf8ToWide(std::to_string(n)); }

int32_t RoundInt(double v) {
  if (!(v == v)) return 0;
  return static_cast<int32_t>(std::clamp(std::round(v), -2147483647.0, 2147483647.0));
}

// Calls `fn` for every "video" / "mainvideo" object below `parent`, skipping keypoints.
void ForEachVideoObject(const TCommonIniSection& parent, const std::function<void(const TCommonIniSection&)>& fn) {
  for (const TIniObject* o = parent.FirstObject(); o; o = parent.NextObject(o)) {
    const WideString type = LowerCase(o->NameView());
    if (type == u"keypoint") continue;
    if (type == u"video" || type == u"mainvideo") fn(*o);
    ForEachVideoObject(*o, fn);
  }
}

bool HasNamedComment(const TCommonIniSection& parent) {
  for (const TIniObject* o = parent.FirstObject(); o; o = parent.NextObject(o)) {
    if (LowerCase(o->NameView()) == u"tsoundcomment" && !o->ReadString(u"FileName", u"").empty()) return true;
    if (HasNamedComment(*o)) return true;
  }
  return false;
}

// The 1-based number of a section named "Slide<n>", or 0.
int32_t SlideNumberOf(const TIniSection& s) {
  const WideString name = LowerCase(s.NameView());
  if (name.size() <= 5 || name.compare(0, 5, u"slide") != 0) return 0;
  int32_t n = 0;
  if (!TryParseIniDecimal(WideView(name).substr(5), n)) return 0;
  return n;
}

// Video sound tracks of the slides, read with the slide timing of the synchronisation keys.
class TVideoSoundReader {
 public:
  TVideoSoundReader(const TIniStorage& storage, const TIniSection& main, int32_t slide_count)
      : storage_(storage), main_(main) {
    if (const TCommonIniSection* boss = FindObjectOfType(main, u"videoboss")) {
      for (const TIniObject* o = boss->FirstObject(); o; o = boss->NextObject(o)) {
        if (LowerCase(o->NameView()) == u"videoclip") clips_[o->ReadString(u"ClipGUID", u"")] = o;
      }
    }
    transitionsOff_ = !main.ReadBool(u"opt_fx_enable", true);
    if (!transitionsOff_) {
      bool any = false;
      for (int32_t k = 1;; ++k) {
        const TIniIdent* key = main.FindKey(u"opt_fx_eff" + Num(k));
        if (!key) break;
        if (!key->ValueView().empty()) any = true;
      }
      transitionsOff_ = !any;
    }
    if (clips_.empty()) return;
    for (int32_t n = 1; n <= slide_count; ++n) {
      const TIniSection* s = storage_.FindSection(u"Slide" + Num(n));
      if (!s) continue;
      ForEachVideoObject(*s, [&](const TCommonIniSection& v) {
        const WideString guid = v.ReadString(u"ClipGUID", u"");
        if (clips_.count(guid) && !clipStart_.count(guid)) clipStart_[guid] = n;
      });
    }
  }

  void Collect(const TIniSection& slide, TExtraMusicItemArray& out) const {
    const int32_t n = SlideNumberOf(slide);
    std::set<WideString> added;
    ForEachVideoObject(slide, [&](const TCommonIniSection& video) {
      const WideString guid = video.ReadString(u"ClipGUID", u"");
      const auto clip = clips_.find(guid);
      const TCommonIniSection& keys = clip != clips_.end() ? *clip->second : video;
      if (keys.ReadBool(u"Mute", false) || keys.ReadFloat(u"FPSMultiplier", 1) != 1) return;
      if (clip != clips_.end()) {
        const auto start = clipStart_.find(guid);
        if (start != clipStart_.end() && start->second < n) return;
        if (!added.insert(guid).second) return;
      }
      TExtraMusicItem item;
      item.fileName = keys.ReadString(u"FileName", u"");
      if (keys.ReadBool(u"LoadFromDisk", false)) item.fileName = u"LoadFromDisk:" + item.fileName;
      item.startTime = RoundInt(keys.ReadFloat(u"StartZEMTime", 0));
      item.startVideoTime = RoundInt(keys.ReadFloat(u"StartVideoTime", 0));
      item.duration = RoundInt(keys.ReadFloat(u"Duration", 0));
      if (clip == clips_.end()) {
        const int64_t room = int64_t(SlideLength(n)) - item.startTime;
        item.duration = int32_t(std::clamp<int64_t>(std::min<int64_t>(item.duration, room), -2147483647, 2147483647));
      }
      out.push_back(item);
    });
  }

 private:
  int32_t SlideLength(int32_t n) const {
    const int64_t from = n <= 1 ? 0 : main_.ReadInteger(u"opt_synchpos" + Num(n - 1), 0);
    const int64_t to = main_.ReadInteger(u"opt_synchpos" + Num(n), 2147483647);
    int64_t fx = 0;
    if (const TIniSection* next = storage_.FindSection(u"Slide" + Num(n + 1))) {
      if (next->ReadBool(u"Pers_Effect", false)) {
        const int32_t cls = next->ReadInteger(u"Effect_Class", 0);
        fx = (transitionsOff_ && (cls == 0 || cls == -1)) ? 0 : next->ReadInteger(u"EffectTime", 0);
      } else {
        fx = transitionsOff_ ? 0 : main_.ReadInteger(u"opt_fx_time", 0);
      }
    }
    return int32_t(std::clamp<int64_t>(to - from + fx, -2147483647, 2147483647));
  }

  const TIniStorage& storage_;
  const TIniSection& main_;
  std::map<WideString, const TCommonIniSection*> clips_;
  std::map<WideString, int32_t> clipStart_;
  bool transitionsOff_ = false;
};

}  // namespace

int64_t MusicTimeToBytes(int64_t t_ms) { return ((t_ms * 176400) / 4000) * 4; }

const TCommonIniSection* FindObjectOfType(const TCommonIniSection& parent, WideView type) {
  for (const TIniObject* o = parent.FirstObject(); o; o = parent.NextObject(o)) {
    if (LowerCase(o->NameView()) == type) return o;
  }
  return nullptr;
}

void TPlayList::Add(const TMusicItemInfo& item) {
  items_.push_back(item);
  total_ = std::max(total_, item.start + item.duration);
}

void TPlayList::Add(const WideString& file_name, double duration) {
  Add(TMusicItemInfo{file_name, total_, 0, duration});
}

TMusicItemInfo TPlayList::Get(int32_t n) const {
  ZEM_ASSERT(n >= 0);
  if (items_.empty()) return {};
  const int32_t count = Count();
  TMusicItemInfo r = items_[size_t(n % count)];
  r.start += double(n / count) * total_;
  return r;
}

TZemMusicSource::TZemMusicSource(TZemSource& source, uint32_t random_seed) : source_(source) {
  const TIniSection* main = source_.Main();
  if (!main) return;
  if (FindObjectOfType(*main, u"music")) {
    objectForm_ = true;
    BuildObjectForm(*main, random_seed);
  } else {
    BuildKeyForm(*main);
  }
  if (syncMode_ && repeat_ && playlist_.Total() + 200 > ShowDuration()) repeat_ = false;
  playlist_.repeat = repeat_;
}

const TSlideMusicInfo& TZemMusicSource::Slide(int32_t i) const {
  ZEM_ASSERT(i >= 0 && i < SlideCount());
  return slides_[size_t(i)];
}

const TIniSection& TZemMusicSource::SlideSectionAt(int32_t index) const {
  const TIniSection* s = source_.SlideSection(index);
  if (!s) ZEM_FAIL("Slide not Found");
  return *s;
}

TSlideMusicInfo TZemMusicSource::NewSlideRecord(int32_t index) const {
  TSlideMusicInfo r;
  source_.GetSlideInfo(index, r.info);
  return r;
}

void TZemMusicSource::BuildKeyForm(const TIniSection& main) {
  if (!main.ReadBool(u"opt_usemusic", false)) return;
  syncMode_ = main.ReadBool(u"opt_syncmode", false);
  repeat_ = main.ReadBool(u"opt_repeatmusic", true);
  limitToSlide_ = !main.ReadBool(u"opt_fullyplaysound", false);
  const int32_t count = source_.SlideCount();
  for (int32_t i = 0; i < count; ++i) {
    TSlideMusicInfo r = NewSlideRecord(i);
    const TIniSection& s = SlideSectionAt(i);
    const WideString sound = s.ReadString(u"Sound", u"");
    if (!sound.empty() && sound != u"@") {
      double length = s.ReadFloat(u"SoundLength", -1);
      if (length < 0) throw EMusicConfigError("Incorrect music time");
      if (limitToSlide_) length = std::min(length, r.info.end - r.info.start);
      r.sound = sound;
      r.soundLength = length;
    }
    slides_.push_back(std::move(r));
  }
  const int32_t music_count = main.ReadInteger(u"opt_music_count", 0);
  for (int32_t i = 1; i <= music_count; ++i) {
    playlist_.Add(main.ReadString(u"opt_music" + Num(i), u""), main.ReadFloat(u"opt_lengthlist" + Num(i), 0));
  }
}

void TZemMusicSource::BuildObjectForm(const TIniSection& main, uint32_t seed) {
  TMusicOptionsReader reader(source_.Storage(), &main);
  reader.SetSeed(seed);
  reader.ReadMusicObject(*FindObjectOfType(main, u"music"), {}, true);
  if (reader.mainDuration > 0) playlist_.Add(reader.mainText, reader.mainDuration);
  repeat_ = reader.isRepeat;
  syncMode_ = main.ReadBool(u"opt_syncmode", false);
  limitToSlide_ = !main.ReadBool(u"opt_fullyplaysound", false);

  const int32_t count = source_.SlideCount();
  TVideoSoundReader videos(source_.Storage(), main, count);
  std::vector<const TIniSection*> sections;
  std::vector<bool> has_comment;
  for (int32_t i = 0; i < count; ++i) {
    slides_.push_back(NewSlideRecord(i));
    sections.push_back(&SlideSectionAt(i));
    const TCommonIniSection* music = FindObjectOfType(*sections.back(), u"music");
    has_comment.push_back(music && HasNamedComment(*music));
  }
  for (int32_t i = 0; i < count; ++i) {
    const TCommonIniSection* music = FindObjectOfType(*sections[size_t(i)], u"music");
    TExtraMusicItemArray extra;
    videos.Collect(*sections[size_t(i)], extra);
    if (!music && extra.empty()) continue;
    int32_t x = i;
    if (!limitToSlide_) {
      x = count - 1;
      for (int32_t j = i + 1; j < count; ++j) {
        if (has_comment[size_t(j)]) {
          x = j - 1;
          break;
        }
      }
    }
    reader.slideLengthLimit = RoundInt(slides_[size_t(x)].info.end - slides_[size_t(i)].info.start);
    const TIniObject empty(u"object music:", 8, 5, 14, 0, true);
    reader.ReadMusicObject(music ? *music : empty, extra, false);
    if (reader.slideDuration > 0) {
      slides_[size_t(i)].sound = reader.slideText;
      slides_[size_t(i)].soundLength = reader.slideDuration;
    }
  }
}

}  // namespace zem
