#include "sound/music/music_options.h"

#include <algorithm>
#include <cmath>

#include "foundation/assert.h"
#include "script/ini_file.h"

namespace zem {

namespace {

constexpr int32_t kMaxRandomKey = 16776960;

int64_t ParseVolumeNumber(WideView text) {
  const WideString t = TrimBlanks(text);
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == u'-' || t[i] == u'+')) negative = t[i++] == u'-';
  if (i >= t.size() || t.size() - i > 18) {
    throw EMusicConfigError("\"" + WideToUtf8(text) + "\" is not a valid integer value");
  }
  int64_t v = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < u'0' || t[i] > u'9') {
      throw EMusicConfigError("\"" + WideToUtf8(text) + "\" is not a valid integer value");
    }
    v = v * 10 + (t[i] - u'0');
  }
  return negative ? -v : v;
}

int32_t ClampInt(double v) {
  if (v > 2147483647.0) return 2147483647;
  if (v < -2147483647.0) return -2147483647;
  return static_cast<int32_t>(v);
}

int32_t ReadInt(const TCommonIniSection& s, const char16_t* key, int32_t def) { return s.ReadInteger(key, def); }

// The fade envelope shared by items and the sound comment.
void AddFadeEnvelope(TCompositeItem& item, int32_t fade_in, int32_t fade_out, int32_t volume, int32_t d) {
  if (fade_in <= 0 && fade_out <= 0 && volume == 1000) return;
  TVolumeParams& env = item.volumes.Add();
  if (fade_in > 0) {
    env.AddPoint(0, 0);
    env.AddPoint(fade_in, volume);
  }
  if (fade_out > 0) {
    env.AddPoint(d - fade_out, volume);
    env.AddPoint(d, 0);
  }
  if (volume != 1000 && env.Count() == 0) {
    env.AddPoint(0, volume);
    env.AddPoint(d, volume);
  }
}

}  // namespace

void AddVolumeParamsText(WideView text, int32_t shift_ms, TVolumeParamsList& list) {
  if (TrimBlanks(text).empty()) return;
  std::vector<TVolumeItem> points;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t comma = text.find(u',', pos);
    if (comma == WideView::npos) comma = text.size();
    const WideView pair = text.substr(pos, comma - pos);
    const size_t colon = pair.find(u':');
    if (colon != WideView::npos) {
      const int64_t sample = ParseVolumeNumber(pair.substr(0, colon));
      const int64_t gain = ParseVolumeNumber(pair.substr(colon + 1));
      int32_t t = ClampInt(std::round(double(sample) / 44100.0 * 1000.0)) - shift_ms;
      const int32_t v = ClampInt(std::round(double(gain) / 65536.0 * 1000.0));
      if (!points.empty() && t <= points.back().time) t = points.back().time + 1;
      points.push_back({t, v});
    }
    pos = comma + 1;
  }
  if (points.empty()) return;
  TVolumeParams& env = list.Add();
  for (const TVolumeItem& p : points) env.AddPoint(p.time, p.volume);
}

TMusicOptionsReader::TMusicOptionsReader(const TIniStorage& storage, const TCommonIniSection* main)
    : storage_(storage), main_(main) {
  slideCount_ = main_ ? main_->ReadInteger(u"opt_slidescount", 0) : 0;
  const int32_t n = std::max(1, std::min(slideCount_, kMaxSlideCount));
  sync_.assign(size_t(n), 0);
  for (int32_t i = 1; i < n; ++i) {
    const int32_t p = main_ ? main_->ReadInteger(u"opt_synchpos" + Utf8ToWide(std::to_string(i)), 0) : 0;
    sync_[size_t(i)] = std::max(sync_[size_t(i - 1)], p);
  }
  for (int32_t j = 0; j < std::min(slideCount_, kMaxSlideCount); ++j) {
    const WideString links =
        storage_.ReadString(u"Slide" + Utf8ToWide(std::to_string(j + 1)), u"LinkedAudio", u"");
    size_t p = 0;
    while (p < links.size() && links[p] == u'{') {
      const size_t close = links.find(u'}', p);
      if (close == WideString::npos) break;
      linked_[links.substr(p, close - p + 1)] = j;
      p = close + 1;
    }
  }
}

int32_t TMusicOptionsReader::LinkedStart(WideView guid, int32_t cross_mode, int32_t cross, int32_t pause) const {
  if (guid.empty()) return -1;
  const auto it = linked_.find(WideString(guid));
  if (it == linked_.end() || it->second < 0 || it->second >= int32_t(sync_.size())) return -1;
  const int64_t start = sync_[size_t(it->second)];
  int64_t r = start;
  if (cross_mode == 0) r = std::max<int64_t>(0, start - std::max(0, cross));
  else if (cross_mode == 1) r = start + std::max(0, pause);
  return int32_t(std::min<int64_t>(r, kNoLimit));
}

uint32_t TMusicOptionsReader::NextKey() {
  uint32_t& slot = keys_[counter_ % keys_.size()];
  if (slot == 0) slot = std::uniform_int_distribution<uint32_t>(1, kMaxRandomKey)(random_);
  ++counter_;
  return slot;
}

void TMusicOptionsReader::Walk(const TCommonIniSection& parent, std::vector<TWorkItem>& work,
                               const TExtraMusicItemArray& extra, bool& had_comment) {
  for (const TIniObject* o = parent.FirstObject(); o; o = parent.NextObject(o)) {
    const WideString type = LowerCase(o->NameView());
    if (type == u"tmusictrack") {
      if (o->ReadString(u"IsMute", u"") == u"1") continue;
      work.push_back({nullptr, o->ReadInteger(u"IsRandom", 0) > 0, 0});
      Walk(*o, work, extra, had_comment);
    } else if (type == u"tmusicitem") {
      work.push_back({o, false, 0});
    } else if (type == u"tmusicoptions") {
      isRepeat = o->ReadInteger(u"IsRepeat", 0) > 0;
    } else if (type == u"tsoundcomment") {
      had_comment = true;
      ReadSlideSound(o, extra);
    }
  }
}

void TMusicOptionsReader::ReadMusicObject(const TCommonIniSection& music, const TExtraMusicItemArray& extra,
                                          bool disable_random) {
  mainText.clear();
  mainDuration = 0;
  isRepeat = false;
  slideText.clear();
  slideDuration = 0;
  random_.seed(seed_ != 0 ? seed_ : std::random_device{}());
  counter_ = 0;

  std::vector<TWorkItem> work;
  bool had_comment = false;
  Walk(music, work, extra, had_comment);
  if (!had_comment) ReadSlideSound(nullptr, extra);

  // Shuffle random tracks, then collapse separators into groups.
  std::vector<std::vector<const TCommonIniSection*>> groups(1);
  for (size_t i = 0; i < work.size();) {
    if (work[i].object) {
      groups.back().push_back(work[i].object);
      ++i;
      continue;
    }
    const bool shuffle = work[i].random && !disable_random;
    size_t end = i + 1;
    while (end < work.size() && work[end].object) ++end;
    std::vector<TWorkItem> items(work.begin() + std::ptrdiff_t(i + 1), work.begin() + std::ptrdiff_t(end));
    if (shuffle) {
      for (TWorkItem& w : items) w.key = NextKey();
      std::stable_sort(items.begin(), items.end(), [](const TWorkItem& a, const TWorkItem& b) { return a.key < b.key; });
    }
    if (!groups.back().empty()) groups.emplace_back();
    for (const TWorkItem& w : items) groups.back().push_back(w.object);
    i = end;
  }

  TCompositeParams params;
  int64_t duration = 0;
  for (const auto& group : groups) {
    const size_t n = group.size();
    std::vector<int32_t> linked(n), limit(n, kNoLimit);
    for (size_t k = 0; k < n; ++k) {
      const TCommonIniSection& o = *group[k];
      linked[k] = LinkedStart(o.ReadString(u"GUID", u""), ReadInt(o, u"CrossMode", 0), ReadInt(o, u"Cross", 0),
                              ReadInt(o, u"Pause", 0));
      if (linked[k] >= 0) {
        for (size_t j = 0; j < k; ++j) limit[j] = std::min(limit[j], linked[k]);
      }
    }
    int64_t cursor = 0;
    bool first = true;
    for (size_t k = 0; k < n; ++k) {
      const TCommonIniSection& o = *group[k];
      const WideString file = o.ReadString(u"FileName", u"");
      const int32_t start_time = ReadInt(o, u"StartTime", 0);
      int64_t d = ReadInt(o, u"Duration", 0);
      int32_t cross_mode = ReadInt(o, u"CrossMode", 0);
      int32_t cross = ReadInt(o, u"Cross", 0);
      int32_t pause = ReadInt(o, u"Pause", 0);
      const int32_t fade_in = ReadInt(o, u"FadeIn", 0);
      const int32_t fade_out = ReadInt(o, u"FadeOut", 0);
      const int32_t volume = ClampInt(double(ReadInt(o, u"Volume", 100)) * 10.0);
      if (linked[k] >= 0) {
        cursor = linked[k];
        cross_mode = cross = pause = 0;
      }
      int64_t s = cursor;
      if (cross_mode == 0) s = cursor - std::max(0, cross);
      else if (cross_mode == 1) s = cursor + std::max(0, pause);
      if (limit[k] < d + s) d = std::max<int64_t>(0, limit[k] - s);
      if (cross_mode == 1 && pause > 0) cursor += pause;
      const int32_t d32 = int32_t(std::min<int64_t>(d, kNoLimit));
      TCompositeItem& item = params.AddItem(file, int32_t(std::clamp<int64_t>(cursor, 0, kNoLimit)));
      item.begin_time = start_time;
      item.duration = d32;
      AddFadeEnvelope(item, fade_in, fade_out, volume, d32);
      TVolumeParams* cross_env = nullptr;
      if (cross_mode == 0 && cross > 0) {
        cross_env = &item.volumes.Add();
        cross_env->AddPoint(0, 0);
        cross_env->AddPoint(cross, 1000);
        if (!first) {
          cursor -= cross;
          item.time_line = std::max(0, item.time_line - cross);
        }
      }
      if (k + 1 < n && linked[k + 1] < 0) {
        const TCommonIniSection& next = *group[k + 1];
        const int32_t next_cross = ReadInt(next, u"Cross", 0);
        if (ReadInt(next, u"CrossMode", 0) == 0 && next_cross > 0) {
          if (!cross_env) cross_env = &item.volumes.Add();
          cross_env->AddPoint(d32 - next_cross, 1000);
          cross_env->AddPoint(d32, 0);
        }
      }
      AddVolumeParamsText(o.ReadString(u"VolumeParams", u""), start_time, item.volumes);
      cursor += d;
      if (cursor > 0) first = false;
      duration = std::max(duration, cursor);
      if (volume == 0) params.Items().pop_back();
    }
  }
  params.duration = int32_t(std::min<int64_t>(duration, kNoLimit));
  mainDuration = params.duration;
  mainText = params.SaveToText();
}

void TMusicOptionsReader::ReadSlideSound(const TCommonIniSection* comment, const TExtraMusicItemArray& extra) {
  TCompositeParams params;
  int64_t length = 0;
  if (comment) {
    WideString file = comment->ReadString(u"FileName", u"");
    if (SameTextNoCase(file, u"error")) file.clear();
    const int32_t start_time = ReadInt(*comment, u"StartTime", 0);
    const int32_t duration = ReadInt(*comment, u"Duration", 0);
    const int32_t pause = std::max(0, ReadInt(*comment, u"Pause", 0));
    const int32_t fade_in = ReadInt(*comment, u"FadeIn", 0);
    const int32_t fade_out = ReadInt(*comment, u"FadeOut", 0);
    const int32_t volume = ClampInt(double(ReadInt(*comment, u"Volume", 100)) * 10.0);
    // A comment without a file adds no entry (an entry without a name would end the text).
    if (!file.empty()) {
      length = int64_t(duration) + pause;
      if (slideLengthLimit > 0 && slideLengthLimit < length) length = slideLengthLimit;
      length = std::clamp<int64_t>(length, 0, kNoLimit);
      TCompositeItem& item = params.AddItem(file, pause);
      item.begin_time = start_time;
      item.duration = int32_t(length);
      AddFadeEnvelope(item, fade_in, fade_out, volume, int32_t(length));
      AddVolumeParamsText(comment->ReadString(u"VolumeParams", u""), start_time, item.volumes);
    }
  }
  for (const TExtraMusicItem& e : extra) {
    TCompositeItem& item = params.AddItem(e.fileName, e.startTime);
    item.begin_time = e.startVideoTime;
    item.duration = e.duration;
    if (e.volume != 1.0) {
      const int32_t v = ClampInt(std::round(e.volume * 1000.0));
      TVolumeParams& env = item.volumes.Add();
      env.AddPoint(0, v);
      env.AddPoint(e.duration, v);
    }
    length = std::max<int64_t>(length, int64_t(e.startTime) + e.duration);
  }
  params.duration = int32_t(std::clamp<int64_t>(length, 0, kNoLimit));
  slideDuration = params.duration;
  slideText = params.SaveToText();
}

}  // namespace zem
