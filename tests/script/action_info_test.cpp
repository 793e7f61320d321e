#include <gtest/gtest.h>

#include "script/action_info.h"

namespace zem {
namespace {

using K = TZemActionKind;

TEST(ParseAction, WholeWords) {
  struct Case { const char16_t* text; K kind; };
  const Case cases[] = {
      {u"exit", K::Exit},           {u"EXIT", K::Exit},          {u"PrevSlide", K::PrevSlide},
      {u"nextslide", K::NextSlide}, {u"help", K::Help},          {u"pause", K::Pause},
      {u"print", K::Print},         {u"stop", K::Stop},          {u"CloseDialog", K::CloseDialog},
      {u"saveslide", K::SaveSlide}, {u"changeprinter", K::ChangePrinter},
      {u"exit ", K::None},          {u" exit", K::None},         {u"", K::None},
      {u"nonsense", K::None},       {u"gotoslide", K::None},
  };
  for (const Case& c : cases) {
    TZemActionInfo a = ParseAction(c.text);
    EXPECT_EQ(a.kind, c.kind) << WideToUtf8(c.text);
    EXPECT_EQ(a.number, 0);
    EXPECT_TRUE(a.text.empty());
  }
  TZemActionInfo first = ParseAction(u"GotoFirstSlide");
  EXPECT_EQ(first.kind, K::GotoSlide);
  EXPECT_EQ(first.number, 0);
}

TEST(ParseAction, GotoSlideArguments) {
  TZemActionInfo a = ParseAction(u"GotoSlide(4)");
  EXPECT_EQ(a.kind, K::GotoSlide);
  EXPECT_EQ(a.number, 4);
  EXPECT_EQ(a.text, u"4");
  a = ParseAction(u"gotoslide(Intro)");
  EXPECT_EQ(a.number, -1);
  EXPECT_EQ(a.text, u"Intro");
  a = ParseAction(u"gotoslide( 4 )");
  EXPECT_EQ(a.number, -1);
  EXPECT_EQ(a.text, u" 4 ");
  a = ParseAction(u"gotoslide($10)");
  EXPECT_EQ(a.number, 16);
  // The last character is dropped whatever it is.
  a = ParseAction(u"gotoslide(12");
  EXPECT_EQ(a.number, 1);
  a = ParseAction(u"gotoslide(");
  EXPECT_EQ(a.kind, K::GotoSlide);
  EXPECT_EQ(a.number, -1);
  EXPECT_EQ(a.text, u"");
}

TEST(ParseAction, QuotedArgumentsKeepTheirCase) {
  struct Case { const char16_t* text; K kind; const char16_t* arg; };
  const Case cases[] = {
      {u"OpenWebsite(\"http://Example.org/A\")", K::OpenWebsite, u"http://Example.org/A"},
      {u"writeemail(\"me@x.org\")", K::WriteEmail, u"me@x.org"},
      {u"runapp(\"C:\\App.exe\")", K::RunApp, u"C:\\App.exe"},
      {u"RunAppAndExit(\"b\")", K::RunAppAndExit, u"b"},
      {u"runpresentation(\"p.zem\")", K::RunPresentation, u"p.zem"},
      {u"runpresentationandreturn(\"c\")", K::RunPresentationAndReturn, u"c"},
      {u"opendialog(\"Dlg\")", K::OpenDialog, u"Dlg"},
      // The dropped characters are not examined.
      {u"runapp(xabcyz", K::RunApp, u"abc"},
      // Too short for the cut: an empty argument.
      {u"runapp(", K::RunApp, u""},
      {u"runapp(\"", K::RunApp, u""},
      {u"runapp(\")", K::RunApp, u""},
      {u"runapp(\"\")", K::RunApp, u""},
      {u"opendialog(ab", K::OpenDialog, u""},
  };
  for (const Case& c : cases) {
    TZemActionInfo a = ParseAction(c.text);
    EXPECT_EQ(a.kind, c.kind) << WideToUtf8(c.text);
    EXPECT_EQ(a.text, c.arg) << WideToUtf8(c.text);
    EXPECT_EQ(a.number, 0) << WideToUtf8(c.text);
  }
}

}  // namespace
}  // namespace zem
