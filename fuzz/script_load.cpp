// Loads arbitrary bytes as a script, saves it, reloads the saved text and reads a few values.
// Saving what was loaded and loading it again must give the same bytes when saved once more.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "foundation/stream.h"
#include "script/action_info.h"
#include "script/ini_file.h"

namespace {

void ReadSome(const zem::TIniFile& ini) {
  std::vector<zem::WideString> names;
  ini.SectionNames(names);
  int budget = 64;
  for (const zem::WideString& name : names) {
    if (--budget < 0) break;
    const zem::TIniSection* s = ini.FindSection(name);
    if (!s) std::abort();  // every listed name is found
    std::vector<zem::WideString> items;
    std::vector<int32_t> ints;
    for (const zem::TCommonIniItem* c = s->First(); c; c = c->Next()) {
      auto* key = dynamic_cast<const zem::TIniIdent*>(c);
      if (!key) continue;
      zem::WideString k = key->Name();
      (void)s->ReadInteger(k, 0);
      (void)s->ReadBool(k, false);
      (void)s->ReadFloat(k, 0);
      (void)s->ReadStrings(k, items, 4);
      (void)s->ReadIntegers(k, ints, 4);
      (void)s->ReadRGBA(k, 0);
      zem::TIniFloatPoint pair;
      (void)s->ReadRect(k, {}, &pair);
      (void)zem::ParseAction(key->Value());
      if (--budget < 0) break;
    }
    for (const zem::TIniObject* o = s->FirstObject(); o && budget > 0; o = s->NextObject(o), --budget)
      (void)o->ReadString(o->Name(), o->Value());
  }
}

// Saves; false when the text holds a high surrogate the writer refuses.
bool Save(const zem::TIniFile& ini, std::vector<uint8_t>& out) {
  zem::TMemoryStream stream;
  try {
    if (!ini.SaveToStream(stream)) std::abort();  // memory streams take every byte
  } catch (const zem::EInvalidChar&) {
    return false;
  }
  out = std::move(stream.Data());
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zem::TIniFile ini, again;
  // The first byte picks whether a keyword hook and an error handler are installed.
  if (size > 0 && (data[0] & 1)) {
    ini.SetKeywordHook([](zem::WideView w) { return w == u"slide"; });
    again.SetKeywordHook([](zem::WideView w) { return w == u"slide"; });
  }
  if (size > 0 && (data[0] & 2))
    ini.SetErrorHandler([](zem::TIniStorage&, int code, int, int) {
      if (code == zem::kIniErrorEndOutsideBlock) throw zem::EIniParseError(code);
    });
  if (!ini.LoadFromBytes(data, size)) return 0;
  std::vector<zem::WideString> names = ini.SectionNames();
  ReadSome(ini);
  std::vector<uint8_t> first;
  if (!Save(ini, first)) return 0;
  if (!again.LoadFromBytes(first.data(), first.size())) std::abort();
  std::vector<uint8_t> second;
  if (!Save(again, second) || second != first) std::abort();
  zem::TIniFile copy;
  copy.Assign(again);
  zem::WideString text = again.ToText();
  if (copy.ToText() != text) std::abort();
  // The same lines in a text large enough to be loaded into shared chunks (one long comment
  // line at the end pads it), read, edited in part and written back.
  text += u"; " + zem::WideString(140 * 1024, u'x') + u"\r\n";
  auto big = std::make_unique<zem::TIniFile>();
  if (size > 0 && (data[0] & 1)) big->SetKeywordHook([](zem::WideView w) { return w == u"slide"; });
  big->LoadFromText(text);
  ReadSome(*big);
  if (big->ToText() != text) std::abort();
  // Items taken out of it outlive it.
  zem::TIniSection* s = big->FindSection(names.empty() ? zem::WideString() : names.front());
  zem::TCommonIniItem* taken = s && s->First() ? s->First() : nullptr;
  if (taken) taken->SetOwner(nullptr);
  zem::WideString taken_text;
  if (auto* key = dynamic_cast<zem::TIniIdent*>(taken)) taken_text = key->Text();
  big.reset();
  if (auto* key = dynamic_cast<zem::TIniIdent*>(taken)) {
    if (key->Text() != taken_text) std::abort();
    key->SetValue(u"v");
  }
  if (taken) taken->Free();
  return 0;
}
