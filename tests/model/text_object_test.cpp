// Text objects: keys and defaults, macros, the text transform and raster scale, the picture
// name with colour modes and states, glyph hit testing, rasterized texts.
#include <gtest/gtest.h>

#include <cmath>

#include "model/recording_drawer.h"
#include "model/show_loader.h"
#include "model/text_macros.h"
#include "model/zem_text.h"
#include "package/file_accessor.h"
#include "resources/text/font_cache.h"
#include "script/ini_file.h"
#include "test_data.h"

namespace zem {
namespace {

// A show of `slides` slides of 5 s at w × h; `body` goes into the section of slide `index`.
struct TTextShow {
  TIniFile ini;
  TRef<TSimpleSlideHost> host;
  std::unique_ptr<TZemSlide> slide;
  std::string error;

  TTextShow(const std::string& body, int w = 800, int h = 600, int slides = 1, int index = 1) {
    std::string text = "[Main]\nopt_scr_width=" + std::to_string(w) + "\nopt_scr_height=" + std::to_string(h) +
                       "\nopt_slidescount=" + std::to_string(slides) + "\n";
    for (int i = 1; i <= slides; ++i) text += "opt_synchpos" + std::to_string(i) + "=" + std::to_string(5000 * i) + "\n";
    text += "[Slide" + std::to_string(index) + "]\n" + body;
    host = MakeRef<TSimpleSlideHost>(w, h);
    ini.LoadFromText(Utf8ToWide(text));
    Build(index);
  }
  void Build(int index) {
    slide = BuildSectionTree(ini, u"Slide" + Utf8ToWide(std::to_string(index)), host, &error);
  }
  TZemText* Text(const std::u16string& caption) const {
    TZemText* found = nullptr;
    ForEachNode(slide.get(), [&](TZemObject* n) {
      if (!found && n->Caption() == caption) found = dynamic_cast<TZemText*>(n);
    });
    return found;
  }
};

std::string TextObject(const std::string& caption, const std::string& keys, const std::string& keyValues = "") {
  return "object text: " + caption + "\n" + keys + "object keypoint:\nTime=0\n" + keyValues + "end\nend\n";
}

TEST(TextObject, KeysAndDefaults) {
  TTextShow show(TextObject("plain", "") + TextObject("two", "Text=\"One^&Two^x\"\n") + TextObject("empty", "Text=\n") +
                 TextObject("styled",
                            "Text=a\nFontName=Times New Roman\nFontStyle=Bold,Italic\nTextAlign=right\nLineSpacing=30\n"
                            "TextColor=255,0,0\nTextColorClick=0,0,255\nBlackBoxSize=120,40\nShiftY=2.5\n") +
                 "object textcomment: note\nText=n\nobject keypoint:\nTime=0\nend\nend\n");
  ASSERT_TRUE(show.slide) << show.error;
  TZemText* plain = show.Text(u"plain");
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->SourceLines(), std::vector<WideString>{u"Text"});
  EXPECT_EQ(plain->FontName(), u"Arial");
  EXPECT_EQ(plain->Alignment(), 1);
  EXPECT_TRUE(plain->shadowEnable);
  EXPECT_FALSE(plain->Antialiased());
  EXPECT_EQ(plain->Color(0), 0xFFFFFFu);
  EXPECT_EQ(show.Text(u"two")->SourceLines(), (std::vector<WideString>{u"One", u"Two^x"}));
  EXPECT_EQ(show.Text(u"empty")->SourceLines(), std::vector<WideString>{u" "});
  TZemText* styled = show.Text(u"styled");
  EXPECT_EQ(styled->FontStyle(), kFontBold | kFontItalic);
  EXPECT_EQ(styled->Alignment(), 2);
  EXPECT_EQ(styled->LineSpacing(), 30);
  EXPECT_EQ(styled->Color(0), 0xFF0000u);
  EXPECT_EQ(styled->Color(1), 0xFF0000u);  // hover defaults to the text colour
  EXPECT_EQ(styled->Color(2), 0x0000FFu);
  EXPECT_EQ(styled->BlackBoxSize(), (TPointI{120, 40}));
  EXPECT_EQ(styled->ShiftY(), 2.5f);
  EXPECT_TRUE(show.Text(u"note"));  // "textcomment" makes a text too
}

TEST(TextMacros, SlideFactsAndMainImageParts) {
  // "3 of 10" on the third of ten slides, whatever the letter case of the macro names.
  TTextShow show(TextObject("count", "Text=<%SlideIndex%> of <%SLIDEScount%>\n") +
                     "object image: main\nImageName=C:\\Photos\\Trip\\img01.jpg\nImageIndex=0\nobject keypoint:\nTime=0\nend\nend\n" +
                     TextObject("parts", "Text=<%MainImg.FileName%>|<%MainImg.FileNameExt%>|<%mainimg.folderpath%>|"
                                         "<%MainImg.FolderName%>|<%MainImg.PathName%>|<%MainImg.Width%>x<%MainImg.Height%>\n"),
                 800, 600, 10, 3);
  show.host->AddPicture(u"C:\\Photos\\Trip\\img01.jpg", MakeRef<TBitmapPicture>([] {
                          TBitmap b;
                          b.Allocate(64, 48, TPixelFormat::Rgb24);
                          return b;
                        }()));
  show.Build(3);
  ASSERT_TRUE(show.slide) << show.error;
  show.Text(u"count")->LayoutNow();
  EXPECT_EQ(show.Text(u"count")->ExpandedLines(), std::vector<WideString>{u"3 of 10"});
  show.Text(u"parts")->LayoutNow();
  EXPECT_EQ(show.Text(u"parts")->ExpandedLines()[0], u"img01|img01.jpg|C:\\Photos\\Trip\\|Trip|C:\\Photos\\Trip\\img01|64x48");

  // A slide without main image: every MainImg macro is empty (an empty result shows one space).
  TTextShow none(TextObject("t", "Text=<%MainImg.FileName%><%MainImg.Exif.Date%>\n") +
                 "object image: unmarked\nImageName=a.jpg\nobject keypoint:\nTime=0\nend\nend\n");
  none.Text(u"t")->LayoutNow();
  EXPECT_EQ(none.Text(u"t")->ExpandedLines(), std::vector<WideString>{u" "});

  // EXIF date and time of the main image's file, and an IPTC field.
  const std::string flower = test::DataFile("images/jpeg/pillow/flower.jpg");
  const std::string iptc = test::DataFile("images/jpeg/pillow/iptc.jpg");
  for (const auto& [file, text, expected] :
       {std::tuple{flower, std::string("<%MainImg.Exif.Date%> at <%MainImg.Exif.Time%>"), WideString(u"2003:12:14 at 12:01:44")},
        std::tuple{iptc, std::string("<%MainImg.IPTC.City%>, <%MainImg.IPTC.Country%>"), WideString(u"Budapest, Hungary")}}) {
    TTextShow photo("object mainimage: photo\nImageName=" + file + "\nImageIndex=1\nobject keypoint:\nTime=0\nend\nend\n" +
                    TextObject("t", "Text=" + text + "\n"));
    photo.host->SetFiles(&PlainFileAccessor());
    photo.Text(u"t")->LayoutNow();
    EXPECT_EQ(photo.Text(u"t")->ExpandedLines()[0], expected);
  }
}

TEST(TextMacros, AValueHoldingItsOwnMacroDoesNotLoop) {
  int calls = 0;
  TMTParser parser(
      [&](TZemObject*, const WideString& m) {
        ++calls;
        return m == u"MainImg.IPTC.Headline" ? WideString(u"[<%MainImg.IPTC.Headline%>]") : WideString(u"?");
      },
      nullptr);
  EXPECT_EQ(parser.Expand(u"<%MainImg.IPTC.Headline%>-<%mainimg.iptc.headline%>"),
            u"[<%MainImg.IPTC.Headline%>]-[<%MainImg.IPTC.Headline%>]");
  EXPECT_EQ(calls, 1);  // one value per macro
  // A huge expansion is cut, never unbounded.
  TMTParser big([](TZemObject*, const WideString&) { return WideString(100000, u'x'); }, nullptr);
  WideString many;
  for (int i = 0; i < 100; ++i) many += u"<%SlideIndex%>";
  EXPECT_EQ(big.Expand(many).size(), TMTParser::kMaxExpanded);
}

// Height of the drawn block on screen: distance between the top-left and bottom-left corners.
double DisplayedHeight(TZemObject* n) {
  TVec3 c[4];
  n->Corners(c);
  return (c[3] - c[0]).Length();
}

TEST(TextObject, ScaleYIsTheBlockHeightInPercentOfTheParent) {
  for (const char* text : {"Title", "Two^&lines"}) {
    TTextShow show(TextObject("t", std::string("Text=") + text + "\n", "ScaleY=10\nScaleX=10\n"), 1920, 1080);
    ASSERT_TRUE(show.slide) << show.error;
    show.slide->SetTimeAndUpdate(true, 0);
    TZemText* t = show.Text(u"t");
    EXPECT_NEAR(DisplayedHeight(t), 108, 0.6) << text;
    // Rasterized once at the size it is shown: the picture is the block plus one pixel each side.
    ASSERT_TRUE(t->Picture());
    EXPECT_NEAR(t->Picture()->Height(), 108 + 2, 1.5) << text;
  }
}

TEST(TextObject, KeypointsFollowANewNaturalHeight) {
  TTextShow show(TextObject("t", "Text=One\n", "ScaleY=10\n"), 1920, 1080);
  show.slide->SetTimeAndUpdate(true, 0);
  TZemText* t = show.Text(u"t");
  const double glyphHeight = DisplayedHeight(t);
  t->SetText(u"One^&Two");
  show.slide->SetTimeAndUpdate(true, 1);
  // Twice the lines: the keypoints' scales double, so the glyphs keep their size.
  EXPECT_NEAR(t->Keys().At(0)->Values().scaleY, 20, 0.01);
  EXPECT_NEAR(DisplayedHeight(t), 2 * glyphHeight, 1);
}

TEST(TextObject, ColourModesStatesAndSharedPictures) {
  TTextShow show(TextObject("same", "Text=Hello\nTextColor=10,20,30\n") + TextObject("twin", "Text=Hello\nTextColor=10,20,30\n") +
                 TextObject("states", "Text=Hello\nTextColor=10,20,30\nTextColorHover=200,0,0\nAction=nextslide\n"));
  show.slide->SetTimeAndUpdate(true, 0);
  TZemText *same = show.Text(u"same"), *states = show.Text(u"states");
  // One colour: the picture is drawn in it and shared by equal texts.
  EXPECT_NE(same->PictureName().find(u":30:20:10:255:\"<H>ello\""), WideString::npos);
  EXPECT_EQ(same->GetImageParams().textColouring, 0);
  EXPECT_EQ(same->Picture(), show.Text(u"twin")->Picture());
  // Several colours: a white picture coloured by the drawer, following the state.
  EXPECT_NE(states->PictureName().find(u":255:255:255:255:"), WideString::npos);
  TImageParams p = states->GetImageParams();
  EXPECT_EQ(p.textColouring, 1);
  EXPECT_EQ(p.colourB, 30);
  TDrawPicture* before = states->Picture();
  states->SnapshotState(false);
  states->SetState(TZemText::kStateHover);
  EXPECT_TRUE(states->IsChanged());
  EXPECT_EQ(states->GetImageParams().colourR, 200);
  EXPECT_EQ(states->Picture(), before);  // no new picture for a state change
  // A colour change that moves to one colour builds a new picture.
  states->SetColors(0x0A141E, 0x0A141E, 0x0A141E);
  show.slide->SetTimeAndUpdate(true, 2);
  EXPECT_EQ(states->Picture(), same->Picture());
  // The drawer gets the picture with its glyph offset: one DrawImage per text, after the
  // text's drop shadow (on by default for texts).
  TRecordingDrawer drawer;
  drawer.DrawItem(show.slide.get());
  EXPECT_EQ(drawer.Count("DrawImage"), 6u);
  EXPECT_EQ(drawer.Count("DrawImage 'Shadow: "), 3u);
}

TEST(TextObject, HitsOnlyOnGlyphRectangles) {
  // Two lines with a full line's gap between them.
  TTextShow show(TextObject("t", "Text=HHHH^&HHHH\nLineSpacing=200\nAction=nextslide\n", "ScaleY=40\n"), 800, 600);
  show.slide->SetTimeAndUpdate(true, 0);
  TZemText* t = show.Text(u"t");
  TVec3 c[4];
  t->Corners(c);
  const float midX = (c[0].x + c[1].x) / 2, top = c[0].y, h = c[3].y - c[0].y;
  float lx = 0, ly = 0;
  EXPECT_TRUE(t->HitTestPoint({midX, top + h * 0.15f}, lx, ly));   // first line
  EXPECT_FALSE(t->HitTestPoint({midX, top + h * 0.5f}, lx, ly));   // the gap
  EXPECT_TRUE(t->HitTestPoint({midX, top + h * 0.85f}, lx, ly));   // second line
  TZemActionInfo action;
  EXPECT_EQ(show.slide->HandleMouse(0, midX, top + h * 0.15f, true, action, 0, 0), t);
  EXPECT_EQ(t->State(), TZemText::kStateHover);
  EXPECT_EQ(show.slide->HandleMouse(0, midX, top + h * 0.5f, true, action, 0, 0), nullptr);
  EXPECT_EQ(t->State(), TZemText::kStateNormal);
}

TEST(TextObject, ButtonCaptionTakesItsShareOfTheButton) {
  // A box stands in for the button: 100 units shown 540 pixels high on a 1080-line slide; its
  // caption is 40 % of it, 216 pixels.
  TTextShow show("object box: button\nSize=100,100\nobject keypoint:\nTime=0\nScaleY=50\nScaleX=50\nend\n" +
                     TextObject("cap", "Text=OK\nTextColor=1,2,3\nTextColorHover=4,5,6\n", "ScaleY=40\nScaleX=40\n") +
                     "end\n",
                 1920, 1080);
  ASSERT_TRUE(show.slide) << show.error;
  TZemText* cap = show.Text(u"cap");
  cap->MakeCaption(0xFFFFFF);
  show.slide->SetTimeAndUpdate(true, 0);
  EXPECT_TRUE(cap->IsCaption());
  EXPECT_TRUE(cap->TranspForClick());
  EXPECT_FALSE(cap->shadowEnable);
  EXPECT_FALSE(cap->ColourMode());
  EXPECT_NEAR(DisplayedHeight(cap), 216, 1);
  ASSERT_TRUE(cap->Picture());
  EXPECT_NEAR(cap->Picture()->Height(), 216 + 2, 2);
}

TEST(TextObject, RasterizedTextShowsItsReadyPicture) {
  TTextShow show(TextObject("r", "Text=a^&b\nRasterize=1\nLineSpacing=100\nImageName=ready.png\nRasterizedGUID={1}\n"));
  TBitmap b;
  b.Allocate(200, 80, TPixelFormat::Argb32);
  show.host->AddPicture(u"ready.png", MakeRef<TBitmapPicture>(std::move(b)));
  show.slide->SetTimeAndUpdate(true, 0);
  TZemText* r = show.Text(u"r");
  EXPECT_TRUE(r->Rasterized());
  EXPECT_EQ(r->Size(), (TPointI{200, 80}));
  EXPECT_FLOAT_EQ(r->FontSizePixels(), 80.0f / 2.5f);  // lines + (lines - 1) x spacing / 200
  EXPECT_EQ(r->FitMode(), kFitPlaceInto);
}

}  // namespace
}  // namespace zem
