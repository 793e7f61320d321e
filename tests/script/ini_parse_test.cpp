#include <gtest/gtest.h>

#include <typeinfo>

#include "ini_test_util.h"
#include "script/ini_file.h"

namespace zem {
namespace {

using testing::LoadText;
using testing::SavedBytes;
using testing::TErrorLog;

TEST(IniParse, KeyLineForms) {
  TIniFile ini;
  TErrorLog log;
  log.Install(ini);
  LoadText(ini, u"[s]\na = b\na2=b\na3 =b\nabc=b=c\na b=c\nKey = Value  \nEmpty=\n  pos = x\ntab\t=\ty\t\n");
  const TIniSection* s = ini.FindSection(u"s");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->ReadString(u"a", u"?"), u"b");
  EXPECT_EQ(s->ReadString(u"a2", u"?"), u"b");
  EXPECT_EQ(s->ReadString(u"a3", u"?"), u"b");
  EXPECT_EQ(s->ReadString(u"abc", u"?"), u"b=c");
  EXPECT_EQ(s->ReadString(u"Key", u"?"), u"Value");
  EXPECT_EQ(s->ReadString(u"Empty", u"?"), u"");
  EXPECT_EQ(s->ReadString(u"tab", u"?"), u"y");
  // "a b=c" is no key line: error 2 on line 5 at the first non-blank.
  EXPECT_EQ(s->FindKey(u"a b"), nullptr);
  EXPECT_EQ(log.errors, std::vector<std::string>{"2@5:1"});
  const TIniIdent* k = s->FindKey(u"pos");
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(k->NameStart(), 3);
  EXPECT_EQ(k->NameLength(), 3);
  EXPECT_EQ(k->ValueStart(), 9);
  EXPECT_EQ(k->Name(), u"pos");
  // An empty value: the value start lies beyond the line.
  EXPECT_EQ(s->FindKey(u"Empty")->ValueStart(), 7);
}

TEST(IniParse, NamesAreCaseInsensitiveAndTheLastKeyWins) {
  TIniFile ini;
  LoadText(ini, u"[Main]\nKEY=1\na=1\na=2\n");
  EXPECT_EQ(ini.ReadString(u"main", u"key", u""), u"1");
  EXPECT_EQ(ini.ReadString(u"MAIN", u"a", u""), u"2");
  EXPECT_TRUE(ini.SectionExists(u"mAiN"));
  EXPECT_FALSE(ini.SectionExists(u"other"));
  EXPECT_EQ(ini.ReadString(u"other", u"a", u"dflt"), u"dflt");
}

TEST(IniParse, SectionHeaders) {
  TIniFile ini;
  LoadText(ini, u"[]\n[ ]\n[a]b]\n  [ My Sec ] trailing ; text\n[\n");
  std::vector<WideString> names = ini.SectionNames();
  EXPECT_EQ(names, (std::vector<WideString>{u"a", u"My Sec"}));
  const TIniSection* s = ini.FindSection(u"my sec");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->HeaderText(), u"  [ My Sec ] trailing ; text");
  EXPECT_EQ(s->NameStart(), 5);
  // "[]" and "[ ]" are kept as text lines of the storage, "[" as one of the last section.
  ASSERT_NE(ini.First(), nullptr);
  EXPECT_EQ(typeid(*ini.First()), typeid(TIniTextLine));
  EXPECT_EQ(static_cast<TIniTextLine*>(ini.First())->Text(), u"[]");
  EXPECT_EQ(typeid(*s->Last()), typeid(TIniTextLine));
  EXPECT_EQ(ini.ToText(), u"[]\r\n[ ]\r\n[a]b]\r\n  [ My Sec ] trailing ; text\r\n[\r\n");
}

TEST(IniParse, CommentsTextLinesAndBlankLines) {
  TIniFile ini;
  TErrorLog log;
  log.Install(ini);
  LoadText(ini, u"  ; note = 1\n= not a key\n\t \n;x\n");
  EXPECT_TRUE(log.errors.empty());
  auto* c = dynamic_cast<TIniComment*>(ini.First());
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->SemicolonPos(), 3);
  EXPECT_EQ(ini.FindKey(u"; note"), nullptr);
  EXPECT_EQ(typeid(*c->Next()), typeid(TIniTextLine));
  // A line of blanks is a blank line and is written as an empty line.
  EXPECT_EQ(typeid(*c->Next()->Next()), typeid(TIniEmptyLine));
  EXPECT_EQ(ini.ToText(), u"  ; note = 1\r\n= not a key\r\n\r\n;x\r\n");
}

TEST(IniParse, KeysBeforeTheFirstSectionBelongToTheStorage) {
  TIniFile ini;
  LoadText(ini, u"top=1\n[s]\nk=2\n");
  EXPECT_NE(ini.FindKey(u"top"), nullptr);
  EXPECT_EQ(ini.FindKey(u"k"), nullptr);
  EXPECT_EQ(ini.FindSection(u"s")->FindKey(u"top"), nullptr);
}

TEST(IniParse, LineEnds) {
  TIniFile ini;
  LoadText(ini, u"[s]\r\na=1\nb=2\rc=3\n\rd=4\r\n\r\ne=5");
  const TIniSection* s = ini.FindSection(u"s");
  for (const char16_t* k : {u"a", u"b", u"c", u"d", u"e"}) EXPECT_NE(s->FindKey(k), nullptr) << int(k[0]);
  EXPECT_EQ(ini.ToText(), u"[s]\r\na=1\r\nb=2\r\nc=3\r\nd=4\r\n\r\ne=5\r\n");
  // Two equal characters are two line ends.
  LoadText(ini, u"a=1\r\rb=2\n\nc=3\n");
  EXPECT_EQ(ini.ToText(), u"a=1\r\n\r\nb=2\r\n\r\nc=3\r\n");
  // No trailing line after the last line end; the empty text has no lines.
  LoadText(ini, u"");
  EXPECT_EQ(ini.First(), nullptr);
}

TEST(IniParse, LineEndPairsAcrossReadChunks) {
  // The reader works in chunks of 4096 characters: put a CR LF across a chunk boundary.
  WideString text = u"a=" + WideString(4093, u'x') + u"\r\nb=1\n";
  ASSERT_EQ(text[4095], u'\r');
  TIniFile ini;
  LoadText(ini, text);
  EXPECT_NE(ini.FindKey(u"b"), nullptr);
  EXPECT_EQ(ini.ToText(), u"a=" + WideString(4093, u'x') + u"\r\nb=1\r\n");
}

TEST(IniParse, ObjectsAndTheirEndLines) {
  TIniFile ini;
  TErrorLog log;
  log.Install(ini);
  const WideString text =
      u"[Slide1]\r\nobject Title: text\r\n  Font=Arial\r\n  object  Inner :  v2  \r\n    k=1\r\n  end\r\n"
      u"  Size=12\r\nend\r\nobject rest of it\r\nend\r\nobject a:b:c\r\nend\r\n";
  LoadText(ini, text);
  EXPECT_TRUE(log.errors.empty());
  const TIniSection* s = ini.FindSection(u"slide1");
  TIniObject* o = s->FirstObject();
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->Name(), u"Title");
  EXPECT_EQ(o->Value(), u"text");
  EXPECT_EQ(o->Indentation(), 0);
  EXPECT_EQ(o->ReadString(u"font", u""), u"Arial");
  EXPECT_EQ(o->ReadInteger(u"size", 0), 12);
  EXPECT_EQ(s->FindKey(u"font"), nullptr);
  // The "end" line stays inside the object.
  EXPECT_EQ(typeid(*o->Last()), typeid(TIniTextLine));
  EXPECT_EQ(static_cast<TIniTextLine*>(o->Last())->Text(), u"end");
  TIniObject* inner = o->FirstObject();
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->Name(), u"Inner");
  EXPECT_EQ(inner->Value(), u"v2");
  EXPECT_EQ(inner->Indentation(), 2);
  EXPECT_EQ(inner->ReadInteger(u"k", 0), 1);
  TIniObject* rest = s->NextObject(o);
  ASSERT_NE(rest, nullptr);
  EXPECT_EQ(rest->Name(), u"");
  EXPECT_EQ(rest->Value(), u"rest of it");
  EXPECT_FALSE(rest->HasColon());
  TIniObject* abc = s->NextObject(rest);
  ASSERT_NE(abc, nullptr);
  EXPECT_EQ(abc->Name(), u"a:b");
  EXPECT_EQ(abc->Value(), u"c");
  EXPECT_EQ(s->NextObject(abc), nullptr);
  EXPECT_EQ(ini.ToText(), text);
}

TEST(IniParse, ErrorsDropTheirLinesAndReachTheHandler) {
  TIniFile ini;
  TErrorLog log;
  log.Install(ini);
  LoadText(ini, u"[s]\nend\n  just words\nk=1\nobject o:\n[t]\nend\n");
  // "end" outside a block (0), words (2), and the block left open by a section header (1): the
  // last "end" belongs to section t, not to the object.
  EXPECT_EQ(log.errors, (std::vector<std::string>{"0@1:1", "2@2:3", "0@6:1", "1@7:1"}));
  EXPECT_TRUE(ini.LoadResult());
  EXPECT_EQ(ini.ToText(), u"[s]\r\nk=1\r\nobject o:\r\n[t]\r\n");
  // Without a handler errors are silent and the load succeeds.
  TIniFile quiet;
  EXPECT_TRUE(quiet.LoadFromText(u"end\nwords here\nobject x\n"));
  EXPECT_EQ(quiet.ToText(), u"object x\r\n");
}

TEST(IniParse, HandlerStopsTheLoad) {
  TIniFile ini;
  std::vector<int> codes;
  ini.SetErrorHandler([&](TIniStorage&, int code, int, int) {
    codes.push_back(code);
    if (code == kIniErrorBadLine) throw EIniParseError(42);
  });
  EXPECT_FALSE(ini.LoadFromText(u"a=1\nend\nbad line\nb=2\n"));
  EXPECT_FALSE(ini.LoadResult());
  EXPECT_EQ(codes, (std::vector<int>{0, 2, 42}));
  // Partly filled: the lines before the stop are kept.
  EXPECT_NE(ini.FindKey(u"a"), nullptr);
  EXPECT_EQ(ini.FindKey(u"b"), nullptr);
}

TEST(IniParse, KeywordHookOpensExtraBlocks) {
  TIniFile ini;
  std::vector<WideString> asked;
  ini.SetKeywordHook([&](WideView word) {
    asked.emplace_back(word);
    return word == u"slide";
  });
  TErrorLog log;
  log.Install(ini);
  LoadText(ini, u"[s]\nslide Intro: first\n  t=1\nend\nother x\nobject o\nend\n");
  EXPECT_EQ(asked, (std::vector<WideString>{u"slide", u"other"}));
  EXPECT_EQ(log.errors, std::vector<std::string>{"2@4:1"});
  auto* extra = dynamic_cast<TIniExtraObject*>(ini.FindSection(u"s")->FirstObject());
  ASSERT_NE(extra, nullptr);
  EXPECT_EQ(extra->Keyword(), u"slide");
  EXPECT_EQ(extra->Name(), u"Intro");
  EXPECT_EQ(extra->Value(), u"first");
  EXPECT_EQ(extra->ReadInteger(u"t", 0), 1);
  // "object" is not offered to the hook; it is a plain object.
  auto* plain = ini.FindSection(u"s")->NextObject(extra);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(dynamic_cast<TIniExtraObject*>(plain), nullptr);
}

TEST(IniParse, RoundTripReproducesTheInput) {
  const std::string body =
      "; show script\r\n\r\nversion=3\r\n[Main]\r\nopt_title = My Show  \r\n  ; indented comment\r\n"
      "= text line\r\n\r\n[Slide 1] extra\r\nobject Pic: a.jpg\r\n  x=1\r\n  object Sub:\r\n  end\r\nend\r\n"
      "Caf\xC3\xA9=\xE2\x82\xAC 5\r\n";
  TIniFile ini;
  ASSERT_TRUE(ini.LoadFromBytes(body.data(), body.size()));  // no mark: Windows-1252
  TIniFile utf8;
  std::string marked = "\xEF\xBB\xBF" + body;
  ASSERT_TRUE(utf8.LoadFromBytes(marked.data(), marked.size()));
  EXPECT_EQ(utf8.Encoding(), TIniEncoding::Utf8);
  EXPECT_EQ(SavedBytes(utf8), marked);
  EXPECT_EQ(utf8.ReadString(u"slide 1", u"caf\u00e9", u""), u"\u20ac 5");
}

TEST(IniParse, DeepNestingIsHandledWithoutRecursion) {
  constexpr int kDepth = 100000;
  WideString text;
  text.reserve(kDepth * 14);
  for (int i = 0; i < kDepth; ++i) text += u"object o:\n";
  text += u"k=1\n";
  for (int i = 0; i < kDepth; ++i) text += u"end\n";
  auto ini = std::make_unique<TIniFile>();
  TErrorLog log;
  log.Install(*ini);
  LoadText(*ini, text);
  EXPECT_TRUE(log.errors.empty());
  TIniObject* o = ini->FirstObject();
  int depth = 0;
  while (o->FirstObject()) {
    o = o->FirstObject();
    ++depth;
  }
  EXPECT_EQ(depth, kDepth - 1);
  EXPECT_EQ(o->ReadInteger(u"k", 0), 1);
  WideString out = ini->ToText();
  EXPECT_EQ(out.size(), text.size() + kDepth * 2 + 1);
  TIniFile copy;
  copy.Assign(*ini);
  EXPECT_EQ(copy.ToText(), out);
  ini.reset();  // frees the deep tree
  // Left open: error 1 at the end, and the storage still frees cleanly.
  TIniFile open;
  log.errors.clear();
  log.Install(open);
  LoadText(open, WideString(text.begin(), text.begin() + kDepth * 10));
  EXPECT_EQ(log.errors, std::vector<std::string>{"1@100000:1"});
}

}  // namespace
}  // namespace zem
