#include <gtest/gtest.h>

#include <clocale>
#include <cstring>

#include "ini_test_util.h"
#include "script/ini_file.h"

namespace zem {
namespace {

using testing::LoadText;

TEST(IniValues, IntegerSyntax) {
  int32_t v = 0;
  struct Case { const char16_t* text; bool ok; int32_t value; };
  const Case cases[] = {
      {u" 42", true, 42},          {u"+42", true, 42},           {u"$2A", true, 42},
      {u"0x2A", true, 42},         {u"0X2a", true, 42},          {u"x2A", true, 42},
      {u"-$10", true, -16},        {u"\t-7", true, -7},          {u"0", true, 0},
      {u"2147483647", true, 2147483647}, {u"-2147483648", true, INT32_MIN},
      {u"$7FFFFFFF", true, INT32_MAX}, {u"-$80000000", true, INT32_MIN},
      {u"42 ", false, 0},          {u"4 2", false, 0},           {u"", false, 0},
      {u"+", false, 0},            {u"$", false, 0},             {u"0x", false, 0},
      {u"2147483648", false, 0},   {u"-2147483649", false, 0},   {u"$80000000", false, 0},
      {u"99999999999999999999", false, 0}, {u"1.0", false, 0}, {u"- 1", false, 0},
      {u"$G", false, 0},           {u"+-1", false, 0},
  };
  for (const Case& c : cases) {
    v = 12345;
    EXPECT_EQ(TryParseIniInteger(c.text, v), c.ok) << WideToUtf8(c.text);
    EXPECT_EQ(v, c.ok ? c.value : 12345) << WideToUtf8(c.text);
  }
}

TEST(IniValues, DecimalBoolSyntaxOfSections) {
  TIniFile ini;
  LoadText(ini, u"[s]\none=1\nzero=0\nneg=-5\nhex=$1\nempty=\nplus=+1\nctl=1\x01\x02\nletter=1x\n"
                u"space=- 1\nbig=99999999999\n");
  const TIniSection* s = ini.FindSection(u"s");
  EXPECT_TRUE(s->ReadBool(u"one", false));
  EXPECT_FALSE(s->ReadBool(u"zero", true));
  EXPECT_TRUE(s->ReadBool(u"neg", false));
  EXPECT_TRUE(s->ReadBool(u"ctl", false));
  for (const char16_t* k : {u"hex", u"empty", u"plus", u"letter", u"space", u"big", u"missing"}) {
    EXPECT_FALSE(s->ReadBool(k, false)) << WideToUtf8(k);
    EXPECT_TRUE(s->ReadBool(k, true)) << WideToUtf8(k);
  }
  // The storage-level reader takes the integer syntax: "$1" is true, "+1" too.
  EXPECT_TRUE(ini.ReadBool(u"s", u"hex", false));
  EXPECT_TRUE(ini.ReadBool(u"s", u"plus", false));
  EXPECT_FALSE(ini.ReadBool(u"s", u"zero", true));
  EXPECT_TRUE(ini.ReadBool(u"s", u"letter", true));
  EXPECT_FALSE(ini.ReadBool(u"s", u"letter", false));
}

TEST(IniValues, FloatSyntaxIgnoresTheLocale) {
  // Under a locale with a decimal comma (when one is installed) "." must still be the separator.
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = old ? old : "C";
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"})
    if (std::setlocale(LC_NUMERIC, name)) break;
  double v = 0;
  struct Case { const char16_t* text; bool ok; double value; };
  const Case cases[] = {
      {u"1.5", true, 1.5},       {u"-2E3", true, -2000},     {u" +.5", true, 0.5},
      {u"5.", true, 5},          {u"1.5e+2", true, 150},     {u"7e-2", true, 0.07},
      {u"3", true, 3},           {u"1e-400", true, 0},       {u"1.5 ", true, 1.5},
      {u"1,5", false, 0},        {u"1e", false, 0},          {u"e5", false, 0},
      {u".", false, 0},          {u"inf", false, 0},         {u"nan", false, 0},
      {u"1e999", false, 0},      {u"", false, 0},            {u"0x10", false, 0},
      {u"1.5x", false, 0},       {u"--1", false, 0},
  };
  for (const Case& c : cases) {
    v = -99;
    EXPECT_EQ(TryParseIniFloat(c.text, v), c.ok) << WideToUtf8(c.text);
    if (c.ok) EXPECT_DOUBLE_EQ(v, c.value) << WideToUtf8(c.text);
    else EXPECT_EQ(v, -99) << WideToUtf8(c.text);
  }
  std::setlocale(LC_NUMERIC, saved.c_str());
}

class IniReaders : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadText(ini_, u"[s]\nint= 42 \nhex=0x2A\nf=-2E3\nbadf=1,5\nmode=Fade\n"
                   u"list=a, b,c ,  d\nints=1, 2, x, 4\nfloats=1.5, -2,x\nrgb=300,-5,128\nrgb2=1,2\n"
                   u"rgb4=1,2,3,4\nrgba=255, 255,255,300\npt=3, -4\nfpt=1.5,2\nvec=1,2,3.5\n"
                   u"rect4=1,2,3,4\nrect6=1,2,3,4,5,6\nrect5=1,2,3,4,5\nempty=\n");
    s_ = ini_.FindSection(u"s");
    ASSERT_NE(s_, nullptr);
  }
  TIniFile ini_;
  const TIniSection* s_ = nullptr;
};

TEST_F(IniReaders, ScalarsAndDefaults) {
  EXPECT_EQ(s_->ReadInteger(u"int", 0), 42);
  EXPECT_EQ(s_->ReadInteger(u"hex", 0), 42);
  EXPECT_EQ(s_->ReadInteger(u"empty", 7), 7);
  EXPECT_EQ(s_->ReadInteger(u"missing", 7), 7);
  EXPECT_EQ(s_->ReadInteger(u"f", 7), 7);
  EXPECT_DOUBLE_EQ(s_->ReadFloat(u"f", 0), -2000);
  EXPECT_DOUBLE_EQ(s_->ReadFloat(u"badf", 9.5), 9.5);
  EXPECT_EQ(ini_.ReadInteger(u"s", u"hex", 0), 42);
  EXPECT_DOUBLE_EQ(ini_.ReadFloat(u"s", u"int", 0), 42);
  EXPECT_EQ(s_->ReadString(u"missing", u"d"), u"d");
}

TEST_F(IniReaders, Choices) {
  EXPECT_EQ(s_->ReadChoice(u"mode", {u"Cut", u"Fade", u"Fade"}, -1), 1);
  EXPECT_EQ(s_->ReadChoice(u"mode", {u"cut", u"fade"}, -1), -1);
  EXPECT_EQ(s_->ReadChoiceNoCase(u"mode", {u"cut", u"fade"}, -1), 1);
  std::vector<WideString> names{u"x", u"FADE"};
  EXPECT_EQ(s_->ReadChoiceNoCase(u"mode", names, -1), 1);
  EXPECT_EQ(s_->ReadChoice(u"missing", names, 5), 5);
}

TEST_F(IniReaders, Lists) {
  std::vector<WideString> items;
  EXPECT_EQ(s_->ReadStrings(u"list", items), 4);
  EXPECT_EQ(items, (std::vector<WideString>{u"a", u"b", u"c ", u"d"}));
  EXPECT_EQ(s_->ReadStrings(u"list", items, 2), 4);
  EXPECT_EQ(items, (std::vector<WideString>{u"a", u"b"}));
  EXPECT_EQ(s_->ReadStrings(u"empty", items), 0);
  EXPECT_EQ(s_->ReadStrings(u"missing", items), 0);
  EXPECT_TRUE(items.empty());
  std::vector<int32_t> ints;
  EXPECT_EQ(s_->ReadIntegers(u"ints", ints), -3);
  EXPECT_EQ(ints, (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(s_->ReadIntegers(u"rgb", ints), 3);
  EXPECT_EQ(ints, (std::vector<int32_t>{300, -5, 128}));
  std::vector<double> floats;
  EXPECT_EQ(s_->ReadFloats(u"floats", floats), -3);
  EXPECT_EQ(floats, (std::vector<double>{1.5, -2}));
}

TEST_F(IniReaders, ColoursPointsVectorsAndRectangles) {
  TIniRGB def{1, 2, 3};
  TIniRGB rgb = s_->ReadRGB(u"rgb", def);
  EXPECT_EQ(rgb.red, 255);
  EXPECT_EQ(rgb.green, 0);
  EXPECT_EQ(rgb.blue, 128);
  // Memory order blue, green, red.
  uint8_t bytes[3];
  std::memcpy(bytes, &rgb, 3);
  EXPECT_EQ(bytes[0], 128);
  EXPECT_EQ(bytes[2], 255);
  EXPECT_EQ(s_->ReadRGB(u"rgb2", def), def);
  EXPECT_EQ(s_->ReadRGB(u"rgb4", def), def);
  EXPECT_EQ(s_->ReadRGBA(u"rgb4", 0), 0x04010203u);
  EXPECT_EQ(s_->ReadRGBA(u"rgba", 0), 0xFFFFFFFFu);
  EXPECT_EQ(s_->ReadRGBA(u"rgb", 9), 9u);
  EXPECT_EQ(s_->ReadPoint(u"pt", {}), (TIniPoint{3, -4}));
  EXPECT_EQ(s_->ReadPoint(u"rgb", {7, 7}), (TIniPoint{7, 7}));
  EXPECT_EQ(s_->ReadFloatPoint(u"fpt", {}), (TIniFloatPoint{1.5f, 2}));
  EXPECT_EQ(s_->ReadVector(u"vec", {}), (TIniVector{1, 2, 3.5f}));
  EXPECT_EQ(s_->ReadVector(u"fpt", {9, 9, 9}), (TIniVector{9, 9, 9}));
  TIniFloatPoint pair{7, 7};
  TIniFloatRect def_rect{9, 9, 9, 9};
  EXPECT_EQ(s_->ReadRect(u"rect4", def_rect, &pair), (TIniFloatRect{1, 2, 3, 4}));
  EXPECT_EQ(pair, (TIniFloatPoint{-1, -1}));
  EXPECT_EQ(s_->ReadRect(u"rect6", def_rect, &pair), (TIniFloatRect{1, 2, 3, 4}));
  EXPECT_EQ(pair, (TIniFloatPoint{5, 6}));
  EXPECT_EQ(s_->ReadRect(u"rect5", def_rect, &pair), def_rect);
  EXPECT_EQ(pair, (TIniFloatPoint{0, 0}));
}

TEST(IniHash, ElfHashOverTheLowBytes) {
  EXPECT_EQ(IniNameHash(u"abc"), 26499u);
  EXPECT_EQ(IniNameHash(u"printf"), 0x077905A6u);
  EXPECT_EQ(IniNameHash(u""), 0u);
  // Only the low byte of each code unit counts.
  EXPECT_EQ(IniNameHash(u"\u0142"), IniNameHash(u"B"));
  // Long names keep the top four bits clear.
  EXPECT_EQ(IniNameHash(u"slide_description_long_name"), 247382549u);
}

}  // namespace
}  // namespace zem
