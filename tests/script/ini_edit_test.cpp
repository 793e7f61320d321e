#include <gtest/gtest.h>

#include "foundation/assert.h"
#include "ini_test_util.h"
#include "script/ini_file.h"

namespace zem {
namespace {

using testing::LoadText;

TEST(IniEdit, GetOrAddKeyGoesAfterTheLastKeyLine) {
  TIniFile ini;
  LoadText(ini, u"[s]\na=1\n; trailing comment\n\n= text\nobject o:\nend\n[e]\n; only a comment\n[z]\n");
  TIniSection* s = ini.FindSection(u"s");
  TIniIdent* k = s->GetOrAddKey(u"New");
  EXPECT_EQ(s->GetOrAddKey(u"new"), k);
  k->SetValue(u"5");
  ini.FindSection(u"e")->GetOrAddKey(u"k")->SetValue(u"x");
  ini.GetOrAddSection(u"z")->GetOrAddKey(u"last");
  EXPECT_EQ(ini.ToText(),
            u"[s]\r\na=1\r\nNew=5\r\n; trailing comment\r\n\r\n= text\r\nobject o:\r\nend\r\n"
            u"[e]\r\nk=x\r\n; only a comment\r\n[z]\r\nlast=\r\n");
  EXPECT_EQ(s->ReadInteger(u"NEW", 0), 5);
  EXPECT_EQ(k->ValueStart(), 5);
}

TEST(IniEdit, KeysAddedToObjectsStayInsideWithIndentation) {
  TIniFile ini;
  LoadText(ini, u"[s]\n  object o: v\n    x=1\n  end\n  object p:\n  end\n");
  TIniObject* o = ini.FindSection(u"s")->FirstObject();
  o->GetOrAddKey(u"y")->SetValue(u"2");
  TIniObject* p = ini.FindSection(u"s")->NextObject(o);
  p->GetOrAddKey(u"z")->SetValue(u"3");
  EXPECT_EQ(ini.ToText(), u"[s]\r\n  object o: v\r\n    x=1\r\n    y=2\r\n  end\r\n  object p:\r\n    z=3\r\n  end\r\n");
  EXPECT_EQ(p->ReadInteger(u"z", 0), 3);
  EXPECT_EQ(ini.FindSection(u"s")->FindKey(u"z"), nullptr);
}

TEST(IniEdit, SectionsAddedAtTheEndAfterOneBlankLine) {
  TIniFile ini;
  LoadText(ini, u"[a]\nk=1\n");
  TIniSection* b = ini.GetOrAddSection(u"B");
  EXPECT_EQ(ini.GetOrAddSection(u"b"), b);
  EXPECT_EQ(ini.ToText(), u"[a]\r\nk=1\r\n\r\n[B]\r\n");
  LoadText(ini, u"[a]\nk=1\n\n");
  ini.GetOrAddSection(u"B");
  EXPECT_EQ(ini.ToText(), u"[a]\r\nk=1\r\n\r\n[B]\r\n");
  TIniFile empty;
  empty.WriteString(u"Main", u"title", u"x");
  empty.WriteInteger(u"Main", u"count", -5);
  EXPECT_EQ(empty.ToText(), u"\r\n[Main]\r\ntitle=x\r\ncount=-5\r\n");
  EXPECT_EQ(empty.ReadInteger(u"main", u"COUNT", 0), -5);
}

TEST(IniEdit, SettingValuesKeepsTheRestOfTheLine) {
  TIniFile ini;
  LoadText(ini, u"[Main]\n  Title =  old  \nEmpty=\n");
  ini.WriteString(u"main", u"title", u"new");
  ini.FindSection(u"main")->SetValue(u"empty", u"e");
  EXPECT_EQ(ini.ToText(), u"[Main]\r\n  Title =  new\r\nEmpty=e\r\n");
  EXPECT_THROW(ini.FindSection(u"main")->SetValue(u"missing", u"x"), EAssertionFailed);
}

TEST(IniEdit, ObjectNamesAndValues) {
  TIniFile ini;
  LoadText(ini, u"object Title: text\nend\nobject rest here\nend\nobject\nend\n");
  TIniObject* a = ini.FirstObject();
  TIniObject* b = ini.NextObject(a);
  TIniObject* c = ini.NextObject(b);
  a->SetName(u"Head");
  a->SetValue(u"other");
  EXPECT_EQ(a->HeaderText(), u"object Head: other");
  EXPECT_EQ(a->Name(), u"Head");
  EXPECT_EQ(a->Value(), u"other");
  b->SetValue(u"v");
  EXPECT_EQ(b->HeaderText(), u"object rest here:v");
  EXPECT_EQ(b->Name(), u"rest here");
  EXPECT_EQ(b->Value(), u"v");
  c->SetName(u"N");
  EXPECT_EQ(c->HeaderText(), u"object N:");
  EXPECT_EQ(c->Name(), u"N");
  EXPECT_EQ(c->Value(), u"");
  TIniFile bare;
  LoadText(bare, u"object\nend\n");
  bare.FirstObject()->SetValue(u"v");
  EXPECT_EQ(bare.FirstObject()->HeaderText(), u"object :v");
  EXPECT_EQ(bare.FirstObject()->Name(), u"");
  EXPECT_EQ(bare.FirstObject()->Value(), u"v");
  // The edited headers parse back to the same names and values.
  TIniFile back;
  LoadText(back, ini.ToText());
  EXPECT_EQ(back.FirstObject()->Name(), u"Head");
  EXPECT_EQ(back.NextObject(back.FirstObject())->Value(), u"v");
}

TEST(IniEdit, RenamingAndFreeing) {
  TIniFile ini;
  LoadText(ini, u"[a]\nk=1\na=1\na=2\n[x]\n");
  TIniSection* s = ini.FindSection(u"a");
  s->SetName(u"b");
  EXPECT_EQ(ini.FindSection(u"a"), nullptr);
  EXPECT_EQ(ini.FindSection(u"B"), s);
  EXPECT_EQ(s->HeaderText(), u"[b]");
  EXPECT_EQ(ini.ReadInteger(u"b", u"k", 0), 1);
  s->FindKey(u"a")->Free();
  EXPECT_EQ(s->ReadString(u"a", u""), u"1");
  s->FindKey(u"a")->Free();
  EXPECT_EQ(s->FindKey(u"a"), nullptr);
  // Moving a key to another section moves its index entry.
  s->FindKey(u"k")->SetOwner(ini.FindSection(u"x"));
  EXPECT_EQ(s->FindKey(u"k"), nullptr);
  EXPECT_EQ(ini.ReadInteger(u"x", u"k", 0), 1);
  ini.FindSection(u"x")->Free();
  EXPECT_FALSE(ini.SectionExists(u"x"));
  EXPECT_EQ(ini.ToText(), u"[b]\r\n");
}

TEST(IniEdit, CloningAndAssign) {
  TIniFile ini;
  const WideString text = u"top=0\r\n[s]\r\nobject A: 1\r\n  x=1\r\n  = odd line\r\n  object Deep:\r\n  end\r\nend\r\n"
                          u"object B:\r\n  y=2\r\nend\r\n";
  LoadText(ini, text);
  TIniObject* a = ini.FindSection(u"s")->FirstObject();
  TIniObject* b = ini.FindSection(u"s")->NextObject(a);
  auto* copy = static_cast<TIniObject*>(a->Clone(b));
  EXPECT_EQ(b->FirstObject(), copy);
  EXPECT_EQ(copy->ReadInteger(u"x", 0), 1);
  EXPECT_EQ(ini.ToText(), u"top=0\r\n[s]\r\nobject A: 1\r\n  x=1\r\n  = odd line\r\n  object Deep:\r\n  end\r\nend\r\n"
                          u"object B:\r\n  y=2\r\nobject A: 1\r\n  x=1\r\n  = odd line\r\n  object Deep:\r\n  end\r\nend\r\n"
                          u"end\r\n");
  // A key cloned into a section is appended and indexed there.
  a->FindKey(u"x")->Clone(ini.FindSection(u"s"));
  EXPECT_EQ(ini.ReadInteger(u"s", u"x", 0), 1);

  TIniFile dup;
  dup.Assign(ini);
  EXPECT_EQ(dup.ToText(), ini.ToText());
  EXPECT_EQ(dup.ReadInteger(u"", u"top", 5), 5);
  EXPECT_NE(dup.FindKey(u"top"), nullptr);
  dup.WriteString(u"s", u"x", u"changed");
  EXPECT_EQ(ini.ReadString(u"s", u"x", u""), u"1");
  EXPECT_EQ(dup.ReadString(u"s", u"x", u""), u"changed");
  EXPECT_NE(dup.FindSection(u"s"), ini.FindSection(u"s"));
}

TEST(IniEdit, DuplicateSectionNames) {
  TIniFile ini;
  LoadText(ini, u"[a]\nk=1\nobject o1:\nend\n[A]\nk=2\nobject o2:\nend\n");
  EXPECT_EQ(ini.SectionNames(), (std::vector<WideString>{u"a", u"A"}));
  TIniSection* last = ini.FindSection(u"a");
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->HeaderText(), u"[A]");
  TIniSection* first = last->PrevSameName();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->NextSameName(), last);
  EXPECT_EQ(last->FirstSameName(), first);
  // Keys of the later section went into the first one's index: not found through the section
  // found by name; the first one finds the later key.
  EXPECT_EQ(last->FindKey(u"k"), nullptr);
  EXPECT_EQ(ini.ReadString(u"a", u"k", u"d"), u"d");
  EXPECT_EQ(first->ReadString(u"k", u""), u"2");
  EXPECT_EQ(last->FirstObject()->Name(), u"o1");
  // Freeing the first makes the later one stand alone.
  first->Free();
  EXPECT_EQ(ini.FindSection(u"a"), last);
  EXPECT_EQ(last->PrevSameName(), nullptr);
  EXPECT_EQ(ini.ReadString(u"a", u"k", u"d"), u"2");
  EXPECT_EQ(last->FirstObject()->Name(), u"o2");

  // Renaming a later duplicate takes its keys along.
  LoadText(ini, u"[a]\nk=1\n[a]\nk=2\n[a]\nk=3\n");
  TIniSection* third = ini.FindSection(u"a");
  TIniSection* second = third->PrevSameName();
  second->SetName(u"c");
  EXPECT_EQ(ini.ReadString(u"c", u"k", u""), u"2");
  EXPECT_EQ(third->PrevSameName()->ReadString(u"k", u""), u"3");
  EXPECT_EQ(ini.FindSection(u"a"), third);
  // Freeing a middle one and then everything stays consistent.
  TIniFile copy;
  copy.Assign(ini);
  EXPECT_EQ(copy.ToText(), ini.ToText());
  third->Free();
  EXPECT_EQ(ini.ReadString(u"a", u"k", u""), u"1");
}

TEST(IniEdit, ManyKeysAndSectionsAreAllFound) {
  WideString text;
  for (int i = 0; i < 3000; ++i) {
    WideString n = Utf8ToWide(std::to_string(i));
    text += u"[Sec" + n + u"]\n";
    for (int k = 0; k < 5; ++k) text += u"Key" + Utf8ToWide(std::to_string(k)) + u"=" + n + u"\n";
  }
  for (int i = 0; i < 20000; ++i) text += u"k" + Utf8ToWide(std::to_string(i)) + u"=" + Utf8ToWide(std::to_string(i)) + u"\n";
  TIniFile ini;
  LoadText(ini, text);
  for (int i = 0; i < 3000; i += 7)
    ASSERT_EQ(ini.ReadInteger(u"sec" + Utf8ToWide(std::to_string(i)), u"KEY4", -1), i);
  const TIniSection* big = ini.FindSection(u"sec2999");
  for (int i = 0; i < 20000; i += 3)
    ASSERT_EQ(big->ReadInteger(u"k" + Utf8ToWide(std::to_string(i)), -1), i);
}

}  // namespace
}  // namespace zem
