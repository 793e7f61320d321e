// zemtool script: lists the sections and keys of a script and reads values through the typed
// readers.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "foundation/log.h"
#include "foundation/strings.h"
#include "package/show_locator.h"
#include "package/unpack.h"
#include "script/ini_file.h"

namespace zemtool {
namespace {

const char kUsage[] =
    "script FILE [SECTION [KEY]] [--as int|float|bool|rgb|rgba]\n"
    "  Reads a show script (any of its encodings). Without SECTION: the section names in order,\n"
    "  one per line, as written. With SECTION: one \"name=value\" line per key in order; a nested\n"
    "  block is shown as its header \"object NAME: VALUE\" (the keyword for hooked blocks) with its\n"
    "  keys and blocks below it indented by two spaces per level; other lines are not shown.\n"
    "  With KEY: the value, or with --as the typed reading: int and float in decimal, bool\n"
    "  (integer syntax, \"$1\" is true) as 1 or 0, rgb as \"R,G,B\", rgba as 0xAARRGGBB in\n"
    "  hexadecimal. A missing key or a value that does not parse prints \"(default)\".\n"
    "  Exit status 2 with a one-line error when the file cannot be read or the section is missing.";

// Loads the script named on the command line (or "Project.zem" of a show package: a file whose
// package trailer is found); false with a message when it cannot be read.
bool LoadScript(const std::string& path, zem::TIniFile& ini, std::string& error) {
  if (zem::HasPackageTrailer(path)) {
    if (zem::LoadPackageScript(path, ini, error)) return true;
    error = "cannot read the script of package '" + path + "': " + error;
    return false;
  }
  if (ini.LoadFromFile(path)) return true;
  error = "cannot read script '" + path + "'";
  return false;
}

void PrintLine(const zem::WideString& text) { std::printf("%s\n", zem::WideToUtf8(text).c_str()); }

// Keys and nested blocks of a section, depth first, without recursion.
void ListSection(const zem::TIniSection& section) {
  const zem::TCommonIniItem* item = section.First();
  const zem::TIniCollection* cur = &section;
  int depth = 0;
  for (;;) {
    if (!item) {
      if (cur == &section) break;
      item = cur->Next();
      cur = cur->Owner();
      --depth;
      continue;
    }
    zem::WideString indent(static_cast<size_t>(depth) * 2, u' ');
    if (auto* key = dynamic_cast<const zem::TIniIdent*>(item)) {
      PrintLine(indent + key->Name() + u"=" + key->Value());
    } else if (auto* obj = dynamic_cast<const zem::TIniObject*>(item)) {
      auto* extra = dynamic_cast<const zem::TIniExtraObject*>(obj);
      PrintLine(indent + (extra ? extra->Keyword() : zem::WideString(u"object")) + u" " + obj->Name() + u": " +
                obj->Value());
      cur = obj;
      item = obj->First();
      ++depth;
      continue;
    }
    item = item->Next();
  }
}

int PrintTyped(const zem::TIniSection& section, const zem::WideString& key, const std::string& as) {
  const zem::TIniIdent* k = section.FindKey(key);
  if (!k) {
    std::printf("(default)\n");
    return 0;
  }
  zem::WideView value = k->ValueView();
  if (as.empty()) {
    PrintLine(k->Value());
  } else if (as == "int" || as == "bool") {
    int32_t v;
    if (!zem::TryParseIniInteger(value, v)) std::printf("(default)\n");
    else if (as == "int") std::printf("%d\n", v);
    else std::printf("%d\n", v != 0 ? 1 : 0);
  } else if (as == "float") {
    double v;
    if (zem::TryParseIniFloat(value, v)) std::printf("%s\n", zem::FormatFloat(v).c_str());
    else std::printf("(default)\n");
  } else if (as == "rgb") {
    std::vector<int32_t> parts;
    if (section.ReadIntegers(key, parts, 3) != 3) {
      std::printf("(default)\n");
    } else {
      zem::TIniRGB c = section.ReadRGB(key, {});
      std::printf("%d,%d,%d\n", c.red, c.green, c.blue);
    }
  } else {
    std::vector<int32_t> parts;
    if (section.ReadIntegers(key, parts, 4) != 4) std::printf("(default)\n");
    else std::printf("0x%08X\n", section.ReadRGBA(key, 0));
  }
  return 0;
}

int RunScript(const Args& args) {
  std::vector<std::string> pos;
  std::string as;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--as") {
      if (i + 1 >= args.size()) return Fail("script: --as needs a type (int, float, bool, rgb, rgba)");
      as = args[++i];
      if (as != "int" && as != "float" && as != "bool" && as != "rgb" && as != "rgba")
        return Fail("script: unknown type '" + as + "' (int, float, bool, rgb, rgba)");
    } else if (args[i].size() > 2 && args[i].compare(0, 2, "--") == 0) {
      return Fail("script: unknown option '" + args[i] + "'");
    } else {
      pos.push_back(args[i]);
    }
  }
  if (pos.empty() || pos.size() > 3) return Fail("script: usage: zemtool script FILE [SECTION [KEY]] [--as TYPE]");
  if (!as.empty() && pos.size() < 3) return Fail("script: --as needs a SECTION and a KEY");
  zem::TIniFile ini;
  std::string error;
  if (!LoadScript(pos[0], ini, error)) return Fail(error);
  if (pos.size() == 1) {
    for (const zem::WideString& name : ini.SectionNames()) PrintLine(name);
    return 0;
  }
  const zem::TIniSection* section = ini.FindSection(zem::Utf8ToWide(pos[1]));
  if (!section) return Fail("script: section '" + pos[1] + "' not found");
  if (pos.size() == 2) {
    ListSection(*section);
    return 0;
  }
  return PrintTyped(*section, zem::Utf8ToWide(pos[2]), as);
}

ZEMTOOL_COMMAND("script", kUsage, RunScript);

}  // namespace
}  // namespace zemtool
