#include "sound/composite_params.h"

#include <algorithm>
#include <string>

#include "script/ini_file.h"

namespace zem {

const char16_t kCompositeMarker[] = u"9213AB40-17BB-458F-9C4C-1806F44BEB65";

namespace {

constexpr size_t kMarkerLength = 36;

WideString Num(int64_t v) { return Utf8ToWide(std::to_string(v)); }

// "//" -> "/", "/n" -> line break, any other "/" makes the text invalid.
bool Unescape(WideView in, WideString& out) {
  out.clear();
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] != u'/') {
      out += in[i];
      continue;
    }
    if (i + 1 >= in.size()) return false;
    char16_t c = in[++i];
    if (c == u'/')
      out += u'/';
    else if (c == u'n')
      out += u'\n';
    else
      return false;
  }
  return true;
}

void EscapeLine(WideString& out, WideView line) {
  for (char16_t c : line) {
    out += c;
    if (c == u'/') out += u'/';
  }
  out += u"/n";
}

bool ReadEnvelope(const TIniFile& ini, const WideString& prefix, TVolumeParams& env) {
  for (int32_t p = 0; p < TCompositeParams::kMaxPoints; ++p) {
    WideString sec = u"Vol_" + prefix + u"_" + Num(p);
    const TIniSection* s = ini.FindSection(sec);
    if (!s || !s->FindKey(u"1")) break;
    int32_t vol = s->ReadInteger(u"1", -1);
    if (vol < 0) break;
    env.AddPoint(s->ReadInteger(u"0", 0), vol);
  }
  return true;
}

bool ReadEnvelopes(const TIniFile& ini, const WideString& section, const WideString& prefix, TVolumeParamsList& list) {
  int32_t count = ini.ReadInteger(section, u"FadeCount", 0);
  if (count < 0 || count > TCompositeParams::kMaxEnvelopes) return false;
  for (int32_t j = 0; j < count; ++j) ReadEnvelope(ini, prefix + u"_" + Num(j), list.Add());
  return true;
}

void WriteEnvelopes(WideString& out, const WideString& prefix, const TVolumeParamsList& list) {
  int32_t j = 0;
  for (int32_t e = 0; e < list.Count(); ++e) {
    const TVolumeParams& env = list.Item(e);
    if (env.automatic) continue;
    const auto& pts = env.Points();
    for (size_t p = 0; p < pts.size(); ++p) {
      EscapeLine(out, u"[Vol_" + prefix + u"_" + Num(j) + u"_" + Num(static_cast<int64_t>(p)) + u"]");
      EscapeLine(out, u"0=" + Num(pts[p].time));
      EscapeLine(out, u"1=" + Num(pts[p].volume));
    }
    ++j;
  }
}

int32_t UserEnvelopes(const TVolumeParamsList& list) {
  int32_t n = 0;
  for (int32_t e = 0; e < list.Count(); ++e)
    if (!list.Item(e).automatic) ++n;
  return n;
}

}  // namespace

bool IsCompositeText(WideView text) {
  return text.size() >= kMarkerLength && text.substr(0, kMarkerLength) == WideView(kCompositeMarker, kMarkerLength);
}

TCompositeItem& TCompositeParams::AddItem(const WideString& file_name, int32_t time_line) {
  items_.push_back(NewItem());
  TCompositeItem& item = *items_.back();
  item.file_name = file_name;
  item.time_line = time_line;
  return item;
}

TVolumeParamsList& TCompositeParams::MainVolume() {
  if (!main_volume_) main_volume_ = std::make_unique<TVolumeParamsList>(false);
  return *main_volume_;
}

void TCompositeParams::FillMediaInfo(TMediaInfo& info) const {
  info.Clear();
  info.format_code = kMediaComposite;
  info.wave_format = InternalFormat();
  info.duration = duration > 0 ? static_cast<uint32_t>(duration) : 0;
  info.data_size = static_cast<uint32_t>(std::min<int64_t>(BytePosOfTime(info.duration), UINT32_MAX));
}

void TCompositeParams::Clear() {
  items_.clear();
  main_volume_.reset();
  duration = 0;
}

bool TCompositeParams::LoadFromText(WideView text) {
  Clear();
  if (!IsCompositeText(text)) return false;
  const WideView marker(kCompositeMarker, kMarkerLength);
  size_t pos = 0;
  int32_t total = 0;
  while (pos < text.size()) {
    size_t start = pos + kMarkerLength;
    size_t next = text.find(marker, start);
    WideView block = text.substr(start, next == WideView::npos ? WideView::npos : next - start);
    int32_t block_duration = 0;
    if (!LoadBlock(block, total)) return false;
    block_duration = duration;
    total = static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(total) + block_duration, INT32_MAX));
    if (next == WideView::npos) break;
    pos = next;
  }
  duration = total;
  return true;
}

bool TCompositeParams::LoadBlock(WideView block, int32_t shift) {
  WideString plain;
  if (!Unescape(block, plain)) return false;
  TIniFile ini;
  if (!ini.LoadFromText(plain)) return false;
  duration = ini.ReadInteger(u"Main", u"Duration", 0);
  for (int32_t k = 0;; ++k) {
    const WideString sec = Num(k);
    WideString file = ini.ReadString(sec, u"FileName", u"");
    if (file.empty()) break;
    auto item = NewItem();
    item->file_name = file;
    int64_t tl = static_cast<int64_t>(ini.ReadInteger(sec, u"TimeLine", 0)) + shift;
    item->time_line = static_cast<int32_t>(std::clamp<int64_t>(tl, INT32_MIN, INT32_MAX));
    item->begin_time = ini.ReadInteger(sec, u"BeginTime", 0);
    item->duration = ini.ReadInteger(sec, u"Duration", 0);
    if (!ReadEnvelopes(ini, sec, sec, item->volumes)) break;
    items_.push_back(std::move(item));
  }
  if (ini.FindSection(u"MainVolume")) {
    auto mv = std::make_unique<TVolumeParamsList>(false);
    if (ReadEnvelopes(ini, u"MainVolume", u"MainVolume", *mv)) main_volume_ = std::move(mv);
  }
  return true;
}

WideString TCompositeParams::SaveToText() const {
  WideString out = kCompositeMarker;
  EscapeLine(out, u"[Main]");
  EscapeLine(out, u"Duration=" + Num(duration));
  for (size_t k = 0; k < items_.size(); ++k) {
    const TCompositeItem& it = *items_[k];
    const WideString sec = Num(static_cast<int64_t>(k));
    if (it.file_name.find_first_of(u"\r\n") != WideString::npos) return WideString();
    EscapeLine(out, u"[" + sec + u"]");
    EscapeLine(out, u"FileName=" + it.file_name);
    EscapeLine(out, u"TimeLine=" + Num(it.time_line));
    EscapeLine(out, u"BeginTime=" + Num(it.begin_time));
    EscapeLine(out, u"Duration=" + Num(it.duration));
    EscapeLine(out, u"FadeCount=" + Num(UserEnvelopes(it.volumes)));
    WriteEnvelopes(out, sec, it.volumes);
  }
  if (main_volume_ && UserEnvelopes(*main_volume_) > 0) {
    EscapeLine(out, u"[MainVolume]");
    EscapeLine(out, u"FadeCount=" + Num(UserEnvelopes(*main_volume_)));
    WriteEnvelopes(out, u"MainVolume", *main_volume_);
  }
  return out;
}

}  // namespace zem
