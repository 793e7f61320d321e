// Buttons (themes and their fall-back, width, colour adjustment, states, transform, opacities,
// bad themes), drop shadows (names, drawing order and offset, rectangles, sources, the continue
// test, sharing) and preset masks through the slide host.
#include <gtest/gtest.h>

#include <cmath>

#include "button_test_util.h"
#include "model/recording_drawer.h"
#include "model/show_loader.h"
#include "model/slide_producer.h"
#include "model/zem_box.h"
#include "model/zem_button.h"
#include "model/zem_text.h"
#include "script/ini_file.h"

namespace zem {
namespace {

using test::AddTheme;
using test::ThemeIni;

constexpr char kTextParams[] = "Color=10,20,30\nBtnOffset=20\nBtnMinWidth=150\nFiltering=Bilinear\n";

// A 800 x 600 slide over theme files; `body` is the slide's section.
struct TButtonShow {
  TRef<test::TThemeSource> files = MakeRef<test::TThemeSource>();
  std::unique_ptr<TFileAccessor> accessor;
  TIniFile ini;
  TRef<TSimpleSlideHost> host = MakeRef<TSimpleSlideHost>(800, 600);
  std::unique_ptr<TZemSlide> slide;
  std::string error;

  TButtonShow() {
    accessor = std::make_unique<TFileAccessor>(TRef<TFileSource>(files.get()));
    host->SetFiles(accessor.get());
    host->SetButtonsFolder(u"Buttons\\");
  }
  void Build(const std::string& body) {
    ini.LoadFromText(Utf8ToWide("[Main]\nopt_scr_width=800\nopt_scr_height=600\nopt_slidescount=1\nopt_synchpos1=5000\n"
                                "[Slide1]\n" +
                                body));
    slide = BuildSectionTree(ini, u"Slide1", host, &error);
    if (slide) slide->SetTimeAndUpdate(true, 0);
  }
  template <class T = TZemObject>
  T* Node(const std::u16string& caption) const {
    T* found = nullptr;
    ForEachNode(slide.get(), [&](TZemObject* n) {
      if (!found && n->Caption() == caption) found = dynamic_cast<T*>(n);
    });
    return found;
  }
};

std::string Button(const std::string& caption, const std::string& keys, const std::string& keyValues = "ScaleX=10\nScaleY=10\n",
                   const std::string& captionText = "OK") {
  std::string s = "object button: " + caption + "\n" + keys + "object keypoint:\nTime=0\n" + keyValues + "end\n";
  if (!captionText.empty()) s += "object text: label\nText=" + captionText + "\nobject keypoint:\nTime=0\nend\nend\n";
  return s + "end\n";
}

// Two equal boxes of 800 x 400 with shadows.
std::string BoxesText() {
  auto box = [](const std::string& caption) {
    return "object box: " + caption +
           "\nSize=800,400\nColor1=0,0,255\nAlpha1=200\nAlpha2=10\nShadowEnable=1\nobject keypoint:\nTime=0\nend\nend\n";
  };
  return box("big") + box("twin");
}

uint32_t Centre(const TDrawPicture* p) { return p->Pixels()->GetPixel(p->Width() / 2, p->Height() / 2); }

TEST(ButtonTheme, MissingThemeFallsBackToAquaThenToNone) {
  TButtonShow show;
  AddTheme(*show.files, "aqua", ThemeIni(kTextParams));
  show.Build(Button("b", "Theme=missing\n"));
  ASSERT_TRUE(show.slide) << show.error;
  auto* b = show.Node<TZemButton>(u"b");
  ASSERT_TRUE(b && b->Theme());
  EXPECT_EQ(b->ThemeName(), u"aqua");
  EXPECT_EQ(b->ThemeHeight(), 40);
  EXPECT_EQ(b->Filtering(), TButtonProducer::kFilterBilinear);
  ASSERT_TRUE(b->Picture());
  EXPECT_EQ(Centre(b->Picture()), 0xFFFF0000u);

  TButtonShow bare;
  bare.Build(Button("b", "Theme=missing\n"));
  ASSERT_TRUE(bare.slide) << bare.error;
  auto* none = bare.Node<TZemButton>(u"b");
  EXPECT_FALSE(none->Theme());
  EXPECT_FALSE(none->Picture());
  TRecordingDrawer drawer;
  drawer.DrawItem(bare.slide.get());
  EXPECT_EQ(drawer.Count("DrawImage 'Button: "), 0u);
}

TEST(ButtonTheme, WidthFollowsTheCaptionAndTheCaptionTakesTheTheme) {
  // The worked example: a caption twice as wide as high, 32 of 40 pixels high, BtnOffsetX 100.
  EXPECT_EQ(TZemButton::ComputeWidth(40, 0, 100, 80, 2.0), 104);
  EXPECT_EQ(TZemButton::ComputeWidth(40, 300, 100, 80, 2.0), 120);  // the minimum width wins
  EXPECT_EQ(TZemButton::ComputeWidth(40, 0, 0, 80, 0.5), 40);       // never narrower than high

  TButtonShow show;
  AddTheme(*show.files, "aqua", ThemeIni(kTextParams));
  show.Build(Button("b", "Theme=aqua\n", "ScaleX=10\nScaleY=10\n", "A wide caption"));
  ASSERT_TRUE(show.slide) << show.error;
  auto* b = show.Node<TZemButton>(u"b");
  TZemText* caption = b->Caption();
  ASSERT_TRUE(caption);
  EXPECT_TRUE(caption->IsCaption());
  EXPECT_TRUE(caption->TranspForClick());
  EXPECT_FALSE(caption->shadowEnable);
  EXPECT_EQ(caption->Color(0), 0x0A141Eu);
  EXPECT_EQ(caption->Color(2), 0x0A141Eu);
  EXPECT_FLOAT_EQ(caption->Keys().At(0)->Values().scaleX, 80);  // 100 - BtnOffset
  EXPECT_FLOAT_EQ(b->BtnMinWidth(), 150);                       // the theme's
  const TPointF natural = caption->NaturalSize();
  EXPECT_EQ(b->ButtonWidth(), TZemButton::ComputeWidth(40, 150, 100, 80, natural.x / natural.y));
  EXPECT_GT(b->ButtonWidth(), 60);
  ASSERT_TRUE(b->Picture());
  EXPECT_EQ(b->Picture()->Width(), b->ButtonWidth());
  EXPECT_EQ(b->Size().x, b->ButtonWidth());
  // The caption is 32 of the button's 40 pixels high.
  TVec3 bc[4], cc[4];
  b->Corners(bc);
  caption->Corners(cc);
  EXPECT_NEAR((cc[3] - cc[0]).Length() / (bc[3] - bc[0]).Length(), 0.8, 0.01);
  // ScaleY is the button's height in percent of the slide's: 10 % of 600.
  EXPECT_NEAR((bc[3] - bc[0]).Length(), 60, 0.01);
}

TEST(ButtonTheme, HueTurnsRedPiecesCyanAndOpacitiesSplit) {
  TButtonShow show;
  AddTheme(*show.files, "aqua", ThemeIni(kTextParams));
  show.Build(Button("b", "Theme=aqua\nHue=180\nBtnOpacity=50\nTxtOpacity=40\n", "ScaleX=10\nScaleY=10\nOpacity=80\n"));
  ASSERT_TRUE(show.slide) << show.error;
  auto* b = show.Node<TZemButton>(u"b");
  ASSERT_TRUE(b->Picture());
  const uint32_t c = Centre(b->Picture());
  EXPECT_LE((c >> 16) & 255, 2u);
  EXPECT_GE((c >> 8) & 255, 250u);
  EXPECT_GE(c & 255, 250u);
  EXPECT_FLOAT_EQ(b->GetImageOpacity(), 40);               // 80 x 50 %
  EXPECT_FLOAT_EQ(b->Caption()->GetOpacity(), 80 * 0.4f);  // 80 x 40 %
}

TEST(ButtonStates, PicturesArePreparedAheadAndTheMouseOnlySwitchesThem) {
  TButtonShow show;
  AddTheme(*show.files, "aqua", ThemeIni(kTextParams));
  show.Build(Button("b", "Theme=aqua\nAction=nextslide\n"));
  ASSERT_TRUE(show.slide) << show.error;
  auto* b = show.Node<TZemButton>(u"b");
  TRecordingDrawer drawer;
  show.slide->Prepare(drawer);
  // Hover, click, then normal, each uploaded.
  std::vector<std::string> prepared;
  for (const std::string& line : drawer.Lines())
    if (line.rfind("PrepareImage 'Button: ", 0) == 0) prepared.push_back(line.substr(22, 1));
  EXPECT_EQ(prepared, (std::vector<std::string>{"1", "2", "0"}));
  for (uint8_t s = 0; s < 3; ++s) ASSERT_TRUE(b->StatePicture(s));
  EXPECT_EQ(Centre(b->StatePicture(1)), 0xFF00FF00u);
  EXPECT_EQ(Centre(b->StatePicture(2)), 0xFF0000FFu);

  // Through the slide's mouse handling: hover, press (click look), release fires the action.
  const int32_t requests = show.host->Requests();
  TVec3 c[4];
  b->Corners(c);
  const float x = (c[0].x + c[2].x) / 2, y = (c[0].y + c[2].y) / 2;
  TZemActionInfo action;
  EXPECT_EQ(show.slide->HandleMouse(0, x, y, true, action, 0, 0), b);
  EXPECT_EQ(b->State(), TZemButton::kStateHover);
  b->SnapshotState(false);
  show.slide->HandleMouse(16, x, y, true, action, 1, 1);
  EXPECT_EQ(b->State(), TZemButton::kStateClick);
  EXPECT_TRUE(b->IsChanged());
  show.slide->SetTimeAndUpdate(true, 1);
  EXPECT_EQ(b->Picture(), b->StatePicture(2));
  show.slide->HandleMouse(0, x, y, true, action, 2, 1);
  EXPECT_EQ(action.kind, TZemActionKind::NextSlide);
  EXPECT_EQ(b->State(), TZemButton::kStateHover);
  show.slide->SetTimeAndUpdate(true, 2);
  EXPECT_EQ(b->Picture(), b->StatePicture(1));
  EXPECT_EQ(show.host->Requests(), requests);  // no picture was asked for again
}

TEST(ButtonTheme, BadThemesGiveNoPictureOrTheIncorrectImagePicture) {
  for (int height : {0, -5, 100000}) {
    TButtonShow show;
    AddTheme(*show.files, "aqua", ThemeIni(kTextParams, height));
    show.Build(Button("b", "Theme=aqua\n"));
    ASSERT_TRUE(show.slide) << show.error;
    auto* b = show.Node<TZemButton>(u"b");
    ASSERT_TRUE(b->Theme()) << height;
    EXPECT_FALSE(b->Theme()->Valid());
    EXPECT_FALSE(b->Picture()) << height;
    TRecordingDrawer drawer;
    show.slide->Prepare(drawer);
    drawer.DrawItem(show.slide.get());
  }
  // A piece file that is not there: a text picture in place of the button.
  TButtonShow show;
  AddTheme(*show.files, "aqua", ThemeIni(kTextParams, 40, {"gone.png", "h.png", "c.png"}));
  show.Build(Button("b", "Theme=aqua\n"));
  ASSERT_TRUE(show.slide) << show.error;
  auto* b = show.Node<TZemButton>(u"b");
  ASSERT_TRUE(b->Picture());
  EXPECT_EQ(Centre(b->StatePicture(0)) & 0xFF000000u, 0xFF000000u);
  bool white = false;
  const TBitmap* px = b->Picture()->Pixels();
  for (int32_t x = 0; x < px->Width(); ++x) white |= px->GetPixel(x, 0) == 0xFFFFFFFFu;
  EXPECT_TRUE(white);  // the text block's background, no theme piece
  // Width refused beyond the cap: no picture, no huge allocation.
  TButtonShow wide;
  AddTheme(*wide.files, "aqua", ThemeIni("BtnMinWidth=1e9\n"));
  wide.Build(Button("b", "Theme=aqua\n"));
  ASSERT_TRUE(wide.slide) << wide.error;
  EXPECT_FALSE(wide.Node<TZemButton>(u"b")->Picture());
}

TEST(ButtonTheme, ACaptionWithSeveralKeypointsIsAnAssertionError) {
  TButtonShow show;
  AddTheme(*show.files, "aqua", ThemeIni(kTextParams));
  show.Build("object button: b\nTheme=aqua\nobject keypoint:\nTime=0\nend\nobject text: t\nText=x\n"
             "object keypoint:\nTime=0\nend\nobject keypoint:\nTime=100\nend\nend\nend\n");
  EXPECT_FALSE(show.slide);
  EXPECT_NE(show.error.find("Assertion failure"), std::string::npos) << show.error;
}

// ------------------------------------------------------------------------------- shadows

TEST(ShadowNames, EveryFieldTakesPartAndReadsBack) {
  TShadowParams p;
  p.source = u"Text: Arial:2:0:0::1:0:255:255:255:255:\"<a>:b\"";
  p.rect = {1, 2, 300, 400};
  p.marginX = 5;
  p.marginY = 6;
  p.marginAlpha = 7;
  p.size = 12.345678f;
  p.red = 8;
  p.green = 9;
  p.blue = 10;
  p.opacity = 33.3f;
  p.spreadIndex = 7;
  p.shadow3D = true;
  p.boxAlpha1 = 11;
  p.boxAlpha2 = 12;
  p.boxFill = 6;
  p.level = 2;
  p.spriteSheet = true;
  TShadowParams back;
  ASSERT_TRUE(ParseShadowPictureName(ShadowPictureName(p), back));
  EXPECT_EQ(back, p);
  const WideString name = ShadowPictureName(p);
  std::vector<std::function<void(TShadowParams&)>> changes = {
      [](auto& q) { q.source += u"x"; }, [](auto& q) { q.rect.left++; },   [](auto& q) { q.rect.bottom++; },
      [](auto& q) { q.marginX++; },      [](auto& q) { q.marginY++; },     [](auto& q) { q.marginAlpha++; },
      [](auto& q) { q.size += 1e-4f; },  [](auto& q) { q.red++; },         [](auto& q) { q.blue++; },
      [](auto& q) { q.opacity += 1; },   [](auto& q) { q.spreadIndex++; }, [](auto& q) { q.shadow3D = false; },
      [](auto& q) { q.boxAlpha1++; },    [](auto& q) { q.boxAlpha2++; },   [](auto& q) { q.boxFill++; },
      [](auto& q) { q.level++; },        [](auto& q) { q.spriteSheet = false; }};
  for (size_t i = 0; i < changes.size(); ++i) {
    TShadowParams q = p;
    changes[i](q);
    EXPECT_NE(ShadowPictureName(q), name) << i;
  }
  EXPECT_FALSE(ParseShadowPictureName(u"Shadow: 1:2:3", back));
  EXPECT_FALSE(ParseShadowPictureName(u"Shadow: a:2:3:4:5:6:7:8:9:10:11:12:13:14:15:16:17:18:19:x", back));
}

TEST(Shadows, BoxShadowIsDrawnFirstAtTheOffsetAndComputedSmall) {
  TButtonShow show;
  show.Build(BoxesText());
  ASSERT_TRUE(show.slide) << show.error;
  auto* box = show.Node<TZemBox>(u"big");
  TRecordingDrawer drawer;
  drawer.DrawItem(show.slide.get());
  ASSERT_TRUE(box->Shadow());
  const TShadowParams& p = box->Shadow()->Params();
  EXPECT_TRUE(box->Shadow()->Normalised());
  EXPECT_TRUE(p.IsRectangle());
  // 800 x 400 at about 200 x 200: factor 1 / 2 sqrt 2.
  EXPECT_EQ(p.rect.right, 283);
  EXPECT_EQ(p.rect.bottom, 141);
  const double measure = std::sqrt(800.0 * 400) / 400 * 1.1;
  EXPECT_NEAR(p.size, 16 * measure * 200 / std::sqrt(800.0 * 400), 1e-3);
  EXPECT_EQ(p.boxAlpha1, 200);
  EXPECT_EQ(p.boxAlpha2, 200);  // solid: the first alpha for both
  const auto& lines = drawer.Lines();
  size_t shadowAt = lines.size();
  for (size_t i = 0; i < lines.size() && shadowAt == lines.size(); ++i)
    if (lines[i].rfind("DrawImage 'Shadow: ", 0) == 0) shadowAt = i;
  ASSERT_LT(shadowAt + 1, lines.size());
  EXPECT_EQ(lines[shadowAt + 1].rfind("DrawBox", 0), 0u);  // the box right after its shadow
  // Offset: sqrt(1 x 1) x 1.5 x sqrt(800 x 400) / 100 along 45 degrees, on screen.
  const TVec3 off = ShadowOffset(*box, float(std::sqrt(800.0 * 400)));
  const float d = float(1.5 * std::sqrt(800.0 * 400) / 100);
  EXPECT_NEAR(off.x, d * std::sqrt(0.5f), 1e-3);
  EXPECT_NEAR(off.y, d * std::sqrt(0.5f), 1e-3);
  const TVec3 at = box->Frame().Map(box->LocalTopLeft().x, box->LocalTopLeft().y) + off;
  EXPECT_NE(lines[shadowAt].find("pos=" + TRecordingDrawer::Vec(at)), std::string::npos) << lines[shadowAt];
  // Equal boxes share one shadow picture.
  EXPECT_EQ(show.Node<TZemBox>(u"twin")->Shadow()->Picture(), box->Shadow()->Picture());
}

TEST(Shadows, ThreeDShadowTurnsWithAButtonAndTheFlatOneKeepsItsDirection) {
  TButtonShow show;
  AddTheme(*show.files, "aqua", ThemeIni(kTextParams));
  show.Build(Button("flat", "Theme=aqua\nShadowEnable=1\n", "ScaleX=10\nScaleY=10\nAngle=90\n") +
             Button("turned", "Theme=aqua\nShadowEnable=1\n3DShadow=1\n", "ScaleX=10\nScaleY=10\nAngle=90\n"));
  ASSERT_TRUE(show.slide) << show.error;
  auto* flat = show.Node<TZemButton>(u"flat");
  auto* turned = show.Node<TZemButton>(u"turned");
  const TVec3 a = ShadowOffset(*flat, 120), b = ShadowOffset(*turned, 120);
  // 3 x height 40; the button is shown 60 pixels high: axes of 1.5 pixels per theme pixel.
  const float d = 1.5f * 1.5f * 120 / 100;
  EXPECT_NEAR(a.x, d * std::sqrt(0.5f), 1e-3);
  EXPECT_NEAR(a.y, d * std::sqrt(0.5f), 1e-3);
  // Turned by 90 degrees: down and to the left.
  EXPECT_NEAR(b.x, -d * std::sqrt(0.5f), 1e-3);
  EXPECT_NEAR(b.y, d * std::sqrt(0.5f), 1e-3);
  // Each state's shadow is prepared with its picture.
  TRecordingDrawer drawer;
  show.slide->Prepare(drawer);
  EXPECT_EQ(drawer.Count("PrepareImage 'Shadow: "), 6u);
  ASSERT_TRUE(turned->CurrentShadow());
  EXPECT_EQ(turned->CurrentShadow()->Params().source, turned->StatePicture(0)->Name());
}

TEST(Shadows, SourcesFollowAlphaAndBorderAndSettingsAreSanitised) {
  TButtonShow show;
  TBitmap withAlpha, opaque;
  withAlpha.Allocate(400, 200, TPixelFormat::Argb32);
  opaque.Allocate(400, 200, TPixelFormat::Rgb24);
  show.host->AddPicture(u"alpha.png", MakeRef<TBitmapPicture>(withAlpha, u"alpha.png"));
  show.host->AddPicture(u"photo.jpg", MakeRef<TBitmapPicture>(opaque, u"photo.jpg"));
  auto image = [](const std::string& cap, const std::string& name, const std::string& keys) {
    return "object image: " + cap + "\nImageName=" + name + "\nShadowEnable=1\n" + keys +
           "object keypoint:\nTime=0\nend\nend\n";
  };
  show.Build(image("a", "alpha.png", "") + image("s", "alpha.png", "AnimColumns=2\nAnimCount=2\nAnimInterval=100\n") +
             image("p", "photo.jpg", "EnableBorder=1\nBorderWidth=10\nBorderColor=1,2,3,128\nShadowSize=1e39\n") +
             image("n", "photo.jpg", "ShadowOpacity=-50\nShadowSpreadIndex=99\n"));
  ASSERT_TRUE(show.slide) << show.error;
  TRecordingDrawer drawer;
  drawer.DrawItem(show.slide.get());
  auto* a = show.Node<show::TZemImage>(u"a");
  auto* p = show.Node<show::TZemImage>(u"p");
  auto* n = show.Node<show::TZemImage>(u"n");
  ASSERT_TRUE(a->CurrentShadow() && p->CurrentShadow() && n->CurrentShadow());
  EXPECT_EQ(a->CurrentShadow()->Params().source, u"alpha.png");
  EXPECT_FALSE(a->CurrentShadow()->Normalised());
  EXPECT_EQ(a->CurrentShadow()->Params().rect, (TRectI{0, 0, 400, 200}));
  // A sprite sheet casts the shadow of the cell it shows (cells keep a one-pixel margin).
  auto* sheet = show.Node<show::TZemImage>(u"s");
  ASSERT_TRUE(sheet->CurrentShadow());
  EXPECT_TRUE(sheet->CurrentShadow()->Params().spriteSheet);
  EXPECT_EQ(sheet->CurrentShadow()->Params().rect, (TRectI{1, 1, 201, 201}));
  // No alpha: the rectangle, with the border (10 % of 200) as margin at the border's alpha.
  const TShadowParams& pp = p->CurrentShadow()->Params();
  EXPECT_TRUE(pp.IsRectangle());
  EXPECT_EQ(pp.marginAlpha, 128);
  EXPECT_GT(pp.marginX, 0);
  EXPECT_NEAR(pp.size, 16 * std::sqrt(400.0 * 200) / 400 * pp.ExtentWidth() / (400 + 40.0), 0.05);  // the default
  EXPECT_EQ(n->CurrentShadow()->Params().opacity, 0);
  EXPECT_TRUE(n->CurrentShadow()->Picture());  // an unknown spread leaves the blur
}

TEST(Shadows, TheContinueTestStopsABuildThatIsAskedForAgainLater) {
  TButtonShow show;
  bool go = false;
  show.host->SetContinueTest([&] { return go; });
  show.Build(BoxesText());
  ASSERT_TRUE(show.slide) << show.error;
  auto* box = show.Node<TZemBox>(u"big");
  TRecordingDrawer drawer;
  drawer.DrawItem(show.slide.get());
  ASSERT_TRUE(box->Shadow());
  EXPECT_FALSE(box->Shadow()->Picture());
  EXPECT_EQ(drawer.Count("DrawImage 'Shadow: "), 0u);
  go = true;
  drawer.DrawItem(show.slide.get());
  EXPECT_TRUE(box->Shadow()->Picture());
  EXPECT_EQ(drawer.Count("DrawImage 'Shadow: "), 2u);
}

TEST(PresetMasks, TheProducersHostAnswersMaskNamesAndSharesThePictures) {
  TProducerSlideHost host(nullptr, nullptr, u"");
  TRef<TDrawPicture> mask = host.GetPicture(u"Mask: PresetedMask:64:32:1:0");
  ASSERT_TRUE(mask && mask->Pixels());
  // White, its brightness as coverage.
  EXPECT_EQ(mask->Width(), 64);
  EXPECT_EQ(mask->Pixels()->GetPixel(32, 16), 0xFFFFFFFFu);
  EXPECT_EQ(mask->Pixels()->GetPixel(0, 0), 0x00FFFFFFu);
  TRef<TDrawPicture> a = host.GetPicture(u"PresetedMask:64:32:1:0");
  EXPECT_EQ(a.get(), host.GetPicture(u"PresetedMask:64:32:1:0").get());
  EXPECT_TRUE(a->OwnTileTexture());
  EXPECT_FALSE(host.GetPicture(u"PresetedMask:100000:5"));
}

}  // namespace
}  // namespace zem
