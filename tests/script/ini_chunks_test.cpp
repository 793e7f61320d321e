// Large loads place items and texts in shared chunks; small collections find keys by a scan.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ini_test_util.h"
#include "script/ini_file.h"

namespace zem {
namespace {

using testing::LoadText;
using testing::SavedBytes;

// Big enough for the chunked load: many equal short lines (shared texts) and distinct ones.
std::string LargeScript() {
  std::string s = "[Slide1]\r\nname=first\r\n";
  for (int i = 0; i < 8000; ++i) {
    s += "object box: B" + std::to_string(i) + "\r\n  Size=1,1\r\n  Color=" + std::to_string(i) + "\r\n";
    s += "  object keypoint:\r\n    Time=0\r\n  end\r\nend\r\n";
  }
  s += "[Slide2]\r\nk=v\r\n";
  return s;
}

TEST(IniChunks, ItemsKeepTheirTextsAfterTheStorageIsGone) {
  std::string text = LargeScript();
  ASSERT_GE(text.size(), 256u * 1024);
  auto ini = std::make_unique<TIniFile>();
  ASSERT_TRUE(ini->LoadFromBytes(text.data(), text.size()));
  EXPECT_EQ(SavedBytes(*ini), "\xEF\xBB\xBF" + text);

  TIniSection* slide = ini->FindSection(u"Slide1");
  TIniObject* box = slide->FirstObject();
  TIniObject* second = slide->NextObject(box);
  // Detached, cloned, moved to another storage, or edited: all outlive the loaded storage.
  auto* size = box->FindKey(u"size");
  size->SetOwner(nullptr);
  TCommonIniItem* clone = second->Clone(nullptr);
  TIniFile other;
  ini->FindSection(u"Slide2")->SetOwner(&other);
  TIniIdent* color = second->FindKey(u"Color");
  second->SetOwner(nullptr);
  color->SetValue(u"red");
  ini.reset();

  EXPECT_EQ(size->Text(), u"  Size=1,1");
  size->SetValue(u"2,2");
  EXPECT_EQ(size->Text(), u"  Size=2,2");
  size->Free();
  EXPECT_EQ(static_cast<TIniObject*>(clone)->ReadString(u"color", u""), u"1");
  EXPECT_EQ(second->ReadString(u"color", u""), u"red");
  EXPECT_EQ(second->FirstObject()->ReadInteger(u"time", -1), 0);
  EXPECT_EQ(other.ToText(), u"[Slide2]\r\nk=v\r\n");
  clone->Free();
  second->Free();
}

TEST(IniChunks, ScannedAndHashedKeysGiveTheSameAnswers) {
  // Names repeat: the last key of a name is found, before and after the switch to buckets,
  // and a freed key uncovers the one before it.
  TIniFile ini;
  LoadText(ini, u"[s]\nobject o:\nend\n");
  TIniObject* o = ini.FindSection(u"s")->FirstObject();
  std::vector<TIniIdent*> keys;
  for (int i = 0; i < 40; ++i) {
    WideString name = u"K" + WideString(1, static_cast<char16_t>(u'a' + i % 5));
    keys.push_back(static_cast<TIniIdent*>(TIniIdent(name + u"=" + WideString(1, u'x'), 1, 2, 4).Clone(o)));
    for (int j = 0; j < 5; ++j) {
      WideString probe = u"k" + WideString(1, static_cast<char16_t>(u'A' + j));
      TIniIdent* want = nullptr;
      for (int m = static_cast<int>(keys.size()) - 1; m >= 0 && !want; --m)
        if (SameTextNoCase(keys[m]->NameView(), probe)) want = keys[m];
      ASSERT_EQ(o->FindKey(probe), want) << "after " << i + 1 << " keys, probe " << j;
      if (want) {
        ASSERT_EQ(o->GetOrAddKey(probe), want);
      }
    }
  }
  // Freeing the newest "Ka" keys one by one uncovers the older ones.
  for (int i = 35; i >= 0; i -= 5) {
    EXPECT_EQ(o->FindKey(u"KA"), keys[i]);
    keys[i]->Free();
  }
  EXPECT_EQ(o->FindKey(u"ka"), nullptr);
}

// Positions past 65,535 code units (long blanks, names or values) are kept aside: a small and a
// chunked load, edits, clones and freeing all see the same positions.
TEST(IniChunks, PositionsBeyondSixteenBits) {
  const std::string pad(70000, ' ');
  const std::string long_name(66000, 'n');
  const std::string text = "[S]\r\n" + pad + "Far = v1\r\n" + long_name + "=v2\r\nshort=" + pad + "v3\r\n" + pad +
                           "object " + long_name + ": ov\r\n" + pad + "end\r\n";
  for (bool large : {false, true}) {
    TIniFile ini;
    std::string bytes = text + (large ? "; " + std::string(300000, 'x') + "\r\n" : "");
    ASSERT_TRUE(ini.LoadFromBytes(bytes.data(), bytes.size()));
    EXPECT_EQ(SavedBytes(ini), "\xEF\xBB\xBF" + bytes);
    TIniSection* s = ini.FindSection(u"s");
    ASSERT_NE(s, nullptr);
    TIniIdent* far = s->FindKey(u"FAR");
    ASSERT_NE(far, nullptr);
    EXPECT_EQ(far->NameStart(), 70001);
    EXPECT_EQ(far->Value(), u"v1");
    EXPECT_EQ(s->ReadString(Utf8ToWide(long_name), u""), u"v2");
    EXPECT_EQ(s->ReadString(u"short", u""), u"v3");
    TIniObject* o = s->FirstObject();
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->NameLength(), 66000);
    EXPECT_EQ(o->Value(), u"ov");
    o->SetName(u"box");  // the positions are set anew
    EXPECT_EQ(o->ValueStart(), 70000 + 13);
    EXPECT_EQ(o->Value(), u"ov");
    std::unique_ptr<TCommonIniItem> copy(far->Clone(nullptr));
    EXPECT_EQ(static_cast<TIniIdent*>(copy.get())->ValueView(), u"v1");
    far->SetValue(u"w");
    EXPECT_EQ(s->ReadString(u"far", u""), u"w");
  }
}

}  // namespace
}  // namespace zem
