// The text producer: picture names and the case escape, stored vector text streams, layout,
// text pictures from stored outlines and from installed fonts, and the pictures made of text.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "memory_source.h"
#include "resources/placeholder.h"
#include "resources/text/text_layout.h"

namespace zem {
namespace {

TEST(TextNames, CaseEscapeKeepsCaseApartAndReadsBack) {
  EXPECT_EQ(EscapeCase(u"Hello World"), u"<H>ello <W>orld");
  EXPECT_EQ(EscapeCase(u"a<B"), u"a<<<B>");
  EXPECT_EQ(EscapeCase(u"AB>c"), u"<AB>>>c");
  for (WideView s : {WideView(u"Hello World"), WideView(u"a<B"), WideView(u"AB>c"), WideView(u"<<>>"),
                     WideView(u"\u00C9t\u00C9 ABC def"), WideView(u"x^&Y"), WideView(u"")})
    EXPECT_EQ(UnescapeCase(EscapeCase(s)), s);
  // Texts that differ only in case give names that still differ when case is ignored.
  EXPECT_FALSE(SameTextNoCase(VectTextStreamName(u"Arial", 0, {u"Text"}), VectTextStreamName(u"Arial", 0, {u"text"})));
}

TEST(TextNames, PictureNameHasTwelveFieldsAndReadsBack) {
  TTextPictureFields s;
  s.scale = 2;
  s.phaseX = 0.5f;
  s.phaseY = -0.25f;
  s.style = kFontBold | kFontUnderline;
  s.align = kAlignRight;
  s.lineSpacing = 10;
  s.b = 1, s.g = 2, s.r = 3, s.a = 255;
  s.lines = {u"Line: one", u"two"};
  const WideString name = TextPictureName(s);
  EXPECT_EQ(name, u"Text: Arial:2:0.5:-0.25:Bold,Underline:2:10:1:2:3:255:\"<L>ine: one^&two\"");
  TTextPictureFields back;
  ASSERT_TRUE(ParseTextPictureName(name, back));
  EXPECT_EQ(back.lines, s.lines);
  EXPECT_EQ(back.style, s.style);
  EXPECT_EQ(back.Argb(), s.Argb());
  EXPECT_EQ(back.phaseY, s.phaseY);
  EXPECT_EQ(VectTextNameOfPicture(name), VectTextStreamName(u"Arial", s.style, s.lines));
  // Fields that do not parse keep their defaults.
  ASSERT_TRUE(ParseTextPictureName(u"Text: Arial:x:7:0:Bogus:9:y:300:0:0:0:\"a\"", back));
  EXPECT_EQ(back.scale, 1);
  EXPECT_EQ(back.phaseX, 0);
  EXPECT_EQ(back.style, 0);
  EXPECT_EQ(back.align, kAlignCenter);
  EXPECT_EQ(back.b, 255);
  EXPECT_EQ(back.a, 0);
  EXPECT_EQ(FormatTextNumber(1.0 / 3), u"0.333333");
  EXPECT_EQ(FormatTextNumber(-1e-9), u"0");
  EXPECT_EQ(ParseStyleText(u"Bold,Italic,Underline,StrikeOut,Bold"), 15);
  EXPECT_EQ(ParseStyleText(u"bold"), 0);  // compared exactly
}

// A font "Boxy" whose glyph 1 is a square of 800 units (design size 1000, advance 1000).
TStoredGlyphCache BoxyFont() {
  TStoredGlyphCache c;
  c.name = u"Boxy";
  TGlyphOutline g;
  g.index = 1;
  g.left_bearing = 100, g.black_width = 800, g.right_bearing = 100;
  g.ascent = 800, g.descent = 200;
  g.design_size = 1000;
  g.points = {{100, -800, kPathMoveTo}, {900, -800, kPathLineTo}, {900, 0, kPathLineTo}, {100, 0, kPathLineTo}};
  c.glyphs.push_back(g);
  return c;
}

TVectorText BoxyText(int glyphs) {
  TVectorText t;
  t.ascent = 800, t.descent = 200;
  t.fonts = {u"Boxy"};
  t.lines.resize(1);
  for (int i = 0; i < glyphs; ++i) t.lines[0].push_back({i * 1000, 1000, 1, 0});
  return t;
}

std::vector<uint8_t> BoxyCacheBytes() {
  TStoredGlyphCache c = BoxyFont();
  return WriteGlyphCache(c.name, {&c.glyphs[0]});
}

TEST(VectorTextStreams, RoundTripAndDamagedStreamsRejected) {
  const std::vector<uint8_t> text = WriteVectorText(BoxyText(2));
  TVectorText back;
  ASSERT_TRUE(ReadVectorText(text.data(), text.size(), back));
  ASSERT_EQ(back.lines.size(), 1u);
  EXPECT_EQ(back.lines[0][1].x, 1000);
  EXPECT_EQ(back.fonts, std::vector<WideString>{u"Boxy"});
  const std::vector<uint8_t> cache = BoxyCacheBytes();
  TStoredGlyphCache font;
  ASSERT_TRUE(ReadGlyphCache(cache.data(), cache.size(), font));
  EXPECT_EQ(font.glyphs[0].points.size(), 4u);
  // Every truncation is refused.
  for (size_t n = 0; n < text.size(); ++n) EXPECT_FALSE(ReadVectorText(text.data(), n, back)) << n;
  for (size_t n = 0; n < cache.size(); ++n) EXPECT_FALSE(ReadGlyphCache(cache.data(), n, font)) << n;
  // Counts beyond the stream, an unknown point kind, a non-finite coordinate.
  std::vector<uint8_t> bad = text;
  bad[0] = 0xFF, bad[1] = 0xFF, bad[2] = 0xFF, bad[3] = 0x0F;
  EXPECT_FALSE(ReadVectorText(bad.data(), bad.size(), back));
  bad = cache;
  bad[bad.size() - 4] = 5;  // the last point's kind
  EXPECT_FALSE(ReadGlyphCache(bad.data(), bad.size(), font));
  bad = cache;
  const float nan = NAN;
  std::memcpy(&bad[bad.size() - 12], &nan, 4);
  EXPECT_FALSE(ReadGlyphCache(bad.data(), bad.size(), font));
}

uint32_t Alpha(const TBitmap& b, int x, int y) { return b.GetPixel(x, y) >> 24; }

TEST(TextProducer, StoredOutlinesDrawInsteadOfTheInstalledFont) {
  TFontCache::Instance().Clear();
  TRef<test::TMemorySource> source;
  auto files = test::MemoryAccessor(source);
  TTextPictureFields fields;
  fields.scale = 0.05f;  // 50 pixels per em
  fields.align = kAlignLeft;
  fields.lines = {u"AB"};
  const WideString name = TextPictureName(fields);
  TTextRaster system;
  ASSERT_TRUE(BuildTextPicture(files.get(), name, system));

  source->members[WideToUtf8(VectTextStreamName(u"Arial", 0, fields.lines))] = WriteVectorText(BoxyText(2));
  source->members["VectTextCache: Boxy"] = BoxyCacheBytes();
  TFontCache::Instance().Clear();
  TTextRaster stored;
  ASSERT_TRUE(BuildTextPicture(files.get(), name, stored));
  // Two 40-pixel squares, 10 pixels apart, below a 1-pixel margin.
  EXPECT_EQ(stored.bitmap.Width(), 2 + 100);
  EXPECT_EQ(stored.bitmap.Height(), 2 + 50);
  EXPECT_EQ(Alpha(stored.bitmap, 1 + 25, 1 + 20), 255u);
  EXPECT_EQ(Alpha(stored.bitmap, 1 + 75, 1 + 20), 255u);
  EXPECT_EQ(Alpha(stored.bitmap, 1 + 50, 1 + 20), 0u);
  EXPECT_EQ(Alpha(stored.bitmap, 1 + 25, 1 + 45), 0u);  // below the baseline
  EXPECT_EQ(stored.glyphRects.size(), 2u);
  EXPECT_NE(stored.bitmap.Width(), system.bitmap.Width());

  // A damaged stream, or one naming a glyph the stored font lacks, falls back to the installed font.
  for (int damage = 0; damage < 2; ++damage) {
    TVectorText t = BoxyText(2);
    if (damage == 1) t.lines[0][1].index = 7;
    std::vector<uint8_t> bytes = WriteVectorText(t);
    if (damage == 0) bytes.resize(bytes.size() - 3);
    source->members[WideToUtf8(VectTextStreamName(u"Arial", 0, fields.lines))] = bytes;
    TFontCache::Instance().Clear();
    TTextRaster fallback;
    ASSERT_TRUE(BuildTextPicture(files.get(), name, fallback));
    EXPECT_EQ(fallback.bitmap.Width(), system.bitmap.Width()) << damage;
  }
  // Names from show text never reach outside a project folder.
  std::vector<uint8_t> out;
  source->members["VectTxt2: x\\..\\y"] = {1, 2, 3};
  EXPECT_FALSE(ReadTextMember(*files, u"VectTxt2: x\\..\\y", out));
  TFontCache::Instance().Clear();
}

// Ink columns of a row range: first and last column with coverage.
std::pair<int, int> InkColumns(const TBitmap& b, int y0, int y1) {
  int lo = b.Width(), hi = -1;
  for (int y = y0; y < y1; ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (Alpha(b, x, y) > 128) lo = std::min(lo, x), hi = std::max(hi, x);
  return {lo, hi};
}

TEST(TextProducer, LinesAlignAndBarsFollowTheStyle) {
  auto text = BuildSystemVectorText(u"Arial", 0, {u"Wide line here", u"ab"});
  ASSERT_TRUE(text);
  const float s = 40 / kSystemFontSize;
  const TTextLayout unit = LayoutText(*text, 1, 0, kAlignLeft);
  // Line spacing is a percentage of half the line height added between lines.
  const TTextLayout spaced = LayoutText(*text, 1, 50, kAlignLeft);
  EXPECT_NEAR(spaced.lines[1].baseline - unit.lines[1].baseline, 0.25 * (text->text.ascent + text->text.descent), 1);
  for (uint8_t align : {kAlignLeft, kAlignCenter, kAlignRight}) {
    const TTextLayout l = LayoutText(*text, s, 0, align);
    TTextRaster r;
    ASSERT_TRUE(RasterizeText(*text, l, 0, 0, 0, 0xFFFFFFFFu, r));
    const int lineH = int(l.lines[0].bottom - l.lines[0].top);
    auto wide = InkColumns(r.bitmap, 0, lineH), narrow = InkColumns(r.bitmap, lineH + 1, r.bitmap.Height());
    const double wideMid = (wide.first + wide.second) / 2.0, narrowMid = (narrow.first + narrow.second) / 2.0;
    const double expected = align == kAlignLeft ? wide.first : align == kAlignCenter ? wideMid : wide.second;
    const double actual = align == kAlignLeft ? narrow.first : align == kAlignCenter ? narrowMid : narrow.second;
    EXPECT_NEAR(actual, expected, 3) << int(align);
  }
  // Underline puts ink below the baseline across the line; strike-out through the middle of "ab".
  const TTextLayout l = LayoutText(*text, s, 0, kAlignLeft);
  TTextRaster plain, under, strike;
  ASSERT_TRUE(RasterizeText(*text, l, 0, 0, 0, 0xFFFFFFFFu, plain));
  ASSERT_TRUE(RasterizeText(*text, l, 0, 0, kFontUnderline, 0xFFFFFFFFu, under));
  ASSERT_TRUE(RasterizeText(*text, l, 0, 0, kFontStrikeOut, 0xFFFFFFFFu, strike));
  // Pixels with ink in one row of the picture (layout y, one-pixel margin).
  auto inkInRow = [](const TBitmap& b, double layoutY) {
    int n = 0;
    for (int x = 0; x < b.Width(); ++x) n += Alpha(b, x, int(layoutY + 1)) > 128;
    return n;
  };
  const double underY = l.lines[0].baseline - text->text.underlinePos * s;
  const double strikeY = l.lines[1].baseline - (text->text.strikeoutPos - text->text.strikeoutThick / 2) * s;
  const int cells = int(l.lines[0].cellRight - l.lines[0].cellLeft);
  EXPECT_GT(inkInRow(under.bitmap, underY), inkInRow(plain.bitmap, underY) + cells * 3 / 4);
  const int abCells = int(l.lines[1].cellRight - l.lines[1].cellLeft);
  EXPECT_GT(inkInRow(strike.bitmap, strikeY), inkInRow(plain.bitmap, strikeY) + abCells / 4);
}

TEST(TextProducer, HugeTextsStayWithinThePictureCaps) {
  // 100,000 characters on one line and 10,000 lines both build pictures within the caps.
  for (const auto& lines : {std::vector<WideString>{WideString(100000, u'W')},
                            std::vector<WideString>(10000, WideString(u"line"))}) {
    auto text = BuildSystemVectorText(u"Arial", 0, lines);
    ASSERT_TRUE(text);
    const TTextLayout unit = LayoutText(*text, 1, 0, kAlignCenter);
    const float s = CapTextScale(1, unit.Width(), unit.Height());
    EXPECT_LE(s * unit.Width(), kMaxTextSide);
    EXPECT_LE(double(s) * s * unit.Width() * unit.Height(), kMaxTextArea);
    // Halved no further than needed: twice the scale breaks a cap.
    const double s2 = 2.0 * s;
    EXPECT_TRUE(s2 * unit.Width() > kMaxTextSide || s2 * unit.Height() > kMaxTextSide ||
                s2 * s2 * unit.Width() * unit.Height() > kMaxTextArea);
    TTextRaster r;
    EXPECT_TRUE(RasterizeText(*text, LayoutText(*text, s, 0, kAlignCenter), 0, 0, 0, 0xFFFFFFFFu, r));
  }
}

TEST(TextProducer, StandInPicturesOfTextAreBoundedAndLookAsDescribed) {
  int32_t w = 0, h = 0;
  ASSERT_TRUE(ParseTextWithSizeName(u"TextWithSize:400:100", w, h));
  EXPECT_FALSE(ParseTextWithSizeName(u"TextWithSize:400", w, h));
  TBitmap b = MakeTextWithSizePicture(400, 100);
  ASSERT_EQ(b.Width(), 400);
  EXPECT_EQ(b.GetPixel(0, 0), 0xFFAAAAAAu);      // border: 2 % of the height
  EXPECT_EQ(b.GetPixel(5, 5), 0xFF646464u);      // field
  EXPECT_EQ(b.GetPixel(399, 99), 0xFFAAAAAAu);
  int light = 0;  // the words, 20 % of the height tall at most
  for (int y = 3; y < 97; ++y)
    for (int x = 3; x < 397; ++x) light += b.GetPixel(x, y) == 0xFFAAAAAAu;
  EXPECT_GT(light, 100);
  for (int y = 3; y < 35; ++y) EXPECT_EQ(b.GetPixel(200, y), 0xFF646464u) << y;
  // A huge stand-in is capped like a text picture.
  TBitmap big = MakeTextWithSizePicture(60000, 60000);
  EXPECT_LE(double(big.Width()) * big.Height(), kMaxTextArea);

  // The missing-picture placeholder shows a name of megabytes by its start and end.
  const WideString longName = u"C:\\" + WideString(1 << 20, u'f') + u"\\" + WideString(1 << 20, u'n') + u".jpg";
  const auto lines = PlaceholderLines(longName, TPlaceholderReason::NotFound);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_LE(lines[1].size(), kMaxPlaceholderNameUnits);
  EXPECT_EQ(lines[1].substr(lines[1].size() - 4), u".jpg");
  EXPECT_EQ(lines[3].substr(0, 3), u"C:\\");
  TBitmap p = MakePlaceholderBitmap(longName, TPlaceholderReason::NotFound);
  EXPECT_LT(p.Width(), 2000);
  EXPECT_EQ(p.GetPixel(0, 0), kPlaceholderBackgroundColor);
}

}  // namespace
}  // namespace zem
