#include "shell/startup_filter.h"

#include <algorithm>
#include <vector>

#include "foundation/log.h"
#include "script/ini_file.h"

namespace zem {

namespace {

// A script larger than this is passed on unchanged (the loader refuses it anyway).
constexpr int64_t kMaxScriptBytes = int64_t(256) << 20;

void CopySection(const TIniStorage& from, WideView name, TIniStorage& to, WideView newName) {
  const TIniSection* source = from.FindSection(name);
  if (!source) return;
  to.GetOrAddSection(newName)->Assign(*source);
}

WideString Num(int64_t v) { return Utf8ToWide(std::to_string(v)); }

// The numbers n of the sections "dialog_" n "_" with 1 <= n <= count, ascending.
std::vector<int32_t> CustomDialogNumbers(const TIniStorage& script, int32_t count) {
  std::vector<int32_t> out;
  for (const WideString& section : script.SectionNames()) {
    const WideString lower = LowerCase(section);
    if (lower.size() < 9 || lower.compare(0, 7, u"dialog_") != 0 || lower.back() != u'_') continue;
    int64_t n = 0;
    bool digits = true;
    for (size_t i = 7; i + 1 < lower.size() && digits; ++i) {
      digits = lower[i] >= u'0' && lower[i] <= u'9';
      n = std::min<int64_t>(n * 10 + (lower[i] - u'0'), INT32_MAX);
    }
    if (digits && n >= 1 && n <= count && Num(n) == lower.substr(7, lower.size() - 8)) out.push_back(int32_t(n));
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

}  // namespace

std::unique_ptr<TIniFile> BuildStartupScript(const TIniStorage& in) {
  if (!in.SectionExists(u"dialog_startup") || !in.SectionExists(u"main")) return nullptr;
  auto out = std::make_unique<TIniFile>();
  CopySection(in, u"main", *out, u"main");
  CopySection(in, u"dialog_startup", *out, u"slide1");
  CopySection(in, u"FileMap", *out, u"FileMap");
  CopySection(in, u"dialog_help", *out, u"dialog_help");
  const int32_t count = in.ReadInteger(u"main", u"opt_customdialogscount", 0);
  for (int32_t n : CustomDialogNumbers(in, count)) {
    const WideString name = u"dialog_" + Num(n) + u"_";
    CopySection(in, name, *out, name);
  }

  auto set = [&out](WideView key, WideView value) { out->WriteString(u"main", key, value); };
  set(u"opt_fcp", u"0");
  set(u"opt_repeat", u"stop");
  set(u"opt_scr_full", u"0");
  set(u"opt_scr_fullfixedsize", u"0");
  set(u"opt_scr_width", Num(in.ReadInteger(u"main", u"opt_startupwidth", 640)));
  set(u"opt_scr_height", Num(in.ReadInteger(u"main", u"opt_startupheight", 480)));
  set(u"opt_scr_caption", in.ReadString(u"main", u"stw_caption", u"Startup Window"));
  set(u"opt_hidecursor", u"0");
  set(u"opt_synch_count", u"0");
  set(u"opt_synchpos1", u"1000");
  set(u"opt_synch_pointscount", u"1");
  set(u"opt_slidescount", u"1");
  set(u"opt_fx_enable", u"0");
  set(u"opt_fx_neweffectscount", u"0");
  set(u"opt_runapponexit", u"0");
  set(u"opt_runapponexitiflastslide", u"1");
  set(u"opt_runapponexitfn", u"");
  set(u"opt_usepass", u"0");
  set(u"opt_logo", u"0");
  set(u"opt_lockf1", in.ReadBool(u"main", u"opt_lockf1", true) ? u"1" : u"0");

  // The start-up window plays no music.
  if (TIniSection* main = out->FindSection(u"main"))
    for (TIniObject* o = main->FirstObject(); o; o = main->NextObject(o))
      if (LowerCase(o->Name()) == u"music") {
        o->Free();
        break;
      }
  return out;
}

TStreamFilter MakeStartupScriptFilter(std::string scriptName) {
  return [scriptName = std::move(scriptName)](const std::string& name,
                                              std::unique_ptr<TStream> stream) -> std::unique_ptr<TStream> {
    if (name != scriptName || !stream) return stream;
    const int64_t start = stream->Position();
    std::vector<uint8_t> bytes;
    TIniFile script;
    bool loaded = stream->ReadRest(bytes, kMaxScriptBytes) && script.LoadFromBytes(bytes.data(), bytes.size());
    std::unique_ptr<TIniFile> rewritten = loaded ? BuildStartupScript(script) : nullptr;
    if (rewritten) {
      auto memory = std::make_unique<TMemoryStream>();
      try {
        if (rewritten->SaveToStream(*memory)) {
          memory->SetPosition(0);
          LogLine("Startup window: the show is its dialog_startup section");
          return memory;
        }
      } catch (const EInvalidChar&) {
        // Unwritable text: the script is played as it is.
      }
    }
    // Unchanged: from the bytes read, or the stream itself put back where it was.
    if (int64_t(bytes.size()) == stream->Size() - start) return std::make_unique<TMemoryStream>(std::move(bytes));
    stream->SetPosition(start);
    return stream;
  };
}

void InstallStartupScriptFilter(TFileAccessor& accessor, const std::string& scriptName) {
  accessor.SetStreamFilter(MakeStartupScriptFilter(scriptName));
}

}  // namespace zem
