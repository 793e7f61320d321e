#include <gtest/gtest.h>

#include "foundation/assert.h"
#include "foundation/bitmap.h"
#include "foundation/process.h"
#include "foundation/stream.h"
#include "foundation/strings.h"

namespace zem {
namespace {

TEST(Strings, Utf8RoundTripIncludingSurrogatesAndMalformedBytes) {
  std::string s = u8"a\u00e9\u20ac\U0001F600";
  WideString w = Utf8ToWide(s);
  ASSERT_EQ(w.size(), 5u);
  EXPECT_EQ(w[3], 0xD83D);
  EXPECT_EQ(WideToUtf8(w), s);
  EXPECT_EQ(Utf8ToWide("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToWide("a\xE2\x82"), u"a\uFFFD\uFFFD");
  EXPECT_EQ(LowerCase(u"ABC\u00C4"), u"abc\u00E4");
  EXPECT_TRUE(SameTextNoCase(u"Project.ZEM", u"project.zem"));
}

TEST(Streams, MemoryAndBufferStreamsBoundReadsAndSeeks) {
  TMemoryStream m;
  EXPECT_EQ(m.Write("hello", 5), 5);
  EXPECT_EQ(m.Seek(-10, TSeekOrigin::Current), -1);
  EXPECT_EQ(m.Seek(1, TSeekOrigin::Begin), 1);
  char buf[8] = {};
  EXPECT_EQ(m.Read(buf, 8), 4);
  EXPECT_EQ(std::string(buf, 4), "ello");
  EXPECT_EQ(m.Read(buf, 8), 0);
  TBufferStream b("xyz", 3);
  EXPECT_FALSE(b.ReadExact(buf, 4));
  std::vector<uint8_t> rest;
  b.SetPosition(1);
  EXPECT_FALSE(b.ReadRest(rest, 1));
  b.SetPosition(1);
  EXPECT_TRUE(b.ReadRest(rest, 2));
  EXPECT_EQ(rest.size(), 2u);
}

TEST(Bitmap, RefusesOversizedPicturesAndConvertsFormats) {
  TBitmap bm;
  EXPECT_FALSE(bm.Allocate(0, 10, TPixelFormat::Rgb24));
  EXPECT_FALSE(bm.Allocate(65536, 1, TPixelFormat::Rgb24));
  EXPECT_FALSE(bm.Allocate(20000, 20000, TPixelFormat::Rgb24));  // above 2^28 pixels
  ASSERT_TRUE(bm.Allocate(3, 2, TPixelFormat::Rgb24));
  EXPECT_EQ(bm.Stride(), 12);
  bm.SetPixel(2, 1, 0xFF123456);
  bm.ConvertTo(TPixelFormat::Argb32);
  EXPECT_EQ(bm.GetPixel(2, 1), 0xFF123456u);
  EXPECT_EQ(bm.GetPixel(0, 0), 0xFF000000u);
}

// Row-wise conversions agree with the per-pixel reading in every direction.
TEST(Bitmap, RowConversionsMatchThePixelValues) {
  const TPixelFormat all[] = {TPixelFormat::Grey8, TPixelFormat::Rgb24, TPixelFormat::Argb32};
  for (TPixelFormat from : all)
    for (TPixelFormat to : all) {
      TBitmap b;
      ASSERT_TRUE(b.Allocate(7, 3, from));
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x) b.SetPixel(x, y, 0x80000000u | uint32_t(x * 0x251903 + y * 0x0A1133));
      TBitmap c = b;
      c.ConvertTo(to);
      ASSERT_EQ(c.Format(), to);
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x) {
          const uint32_t p = b.GetPixel(x, y);
          TBitmap one;
          one.Allocate(1, 1, to);
          one.SetPixel(0, 0, p);
          const uint32_t want = from == TPixelFormat::Argb32 || to != TPixelFormat::Argb32 ? one.GetPixel(0, 0)
                                                                                           : (one.GetPixel(0, 0) | 0xFF000000u);
          EXPECT_EQ(c.GetPixel(x, y), want) << int(from) << " to " << int(to) << " at " << x << "," << y;
        }
    }
}

TEST(Bitmap, HalvingAveragesBlocksAndRoundsSidesUp) {
  TBitmap b;
  ASSERT_TRUE(b.Allocate(5, 3, TPixelFormat::Argb32));
  b.Fill(0xFF000000u);
  b.SetPixel(0, 0, 0xFFFFFFFFu);
  b.SetPixel(1, 1, 0xFFFFFFFFu);
  b.SetPixel(4, 2, 0x00FF0000u);
  TBitmap h = HalveBitmap(b);
  ASSERT_EQ(h.Width(), 3);
  ASSERT_EQ(h.Height(), 2);
  EXPECT_EQ(h.GetPixel(0, 0), 0xFF808080u);
  EXPECT_EQ(h.GetPixel(1, 0), 0xFF000000u);
  EXPECT_EQ(h.GetPixel(2, 1), 0x00FF0000u);  // the odd corner averages with itself
  TBitmap r = ReduceBitmap(b, 9, TPixelFormat::Rgb24);
  EXPECT_EQ(r.Width(), 1);
  EXPECT_EQ(r.Height(), 1);
  EXPECT_EQ(r.Format(), TPixelFormat::Rgb24);
  EXPECT_EQ(TBitmap::ReducedSide(6000, 3), 750);
  EXPECT_EQ(TBitmap::ReducedSide(1001, 2), 251);
}

TEST(Assert, RaisesAssertionFailureWithPlace) {
  try {
    ZEM_ASSERT(1 + 1 == 3);
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_NE(std::string(e.what()).find("Assertion failure"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("basics_test.cpp"), std::string::npos);
  }
}

TEST(Paths, FileNameParts) {
  EXPECT_EQ(ExtractFileDir("/a/b/c.exe"), "/a/b");
  EXPECT_EQ(ExtractFileName("/a/b/c.exe"), "c.exe");
  EXPECT_EQ(ExtractFileExt("/a.b/c"), "");
  EXPECT_EQ(ChangeFileExt("/a/b/c.exe", ".log"), "/a/b/c.log");
  EXPECT_EQ(ChangeFileExt("/a.d/c", ".log"), "/a.d/c.log");
}

}  // namespace
}  // namespace zem
