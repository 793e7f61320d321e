// Decoder selection, the picture container and the store's deferred decoding.
#include <gtest/gtest.h>

#include "resources/gfx_container.h"
#include "resources/jpeg_decoder.h"
#include "resources/png_decoder.h"
#include "resources/png_writer.h"
#include "test_images.h"

namespace zem {
namespace {

using namespace zem::test;

std::vector<uint8_t> FileBytes(const std::string& rel) {
  std::vector<uint8_t> b;
  EXPECT_TRUE(ReadFileBytes(ImagePath(rel), b));
  return b;
}

std::vector<uint8_t> Container(const std::vector<uint8_t>& bmp, int w, int h, bool with_original = true) {
  std::vector<std::pair<std::string, std::string>> fields = {
      {"File", "C:\\Photos\\pal8.jpg"}, {"Width", std::to_string(w)}, {"Height", std::to_string(h)}};
  if (with_original) fields.push_back({"OriginalSize", "123456"});
  return BuildGfxContainer(fields, bmp);
}

TEST(GfxContainer, DecodesItsBmpOnFirstUseAs32Bit) {
  auto bmp = FileBytes("bmp/good/pal8.bmp");
  auto file = Container(bmp, 127, 64);
  for (const char16_t* name : {u"pic.vygfx", u"pic.BMP", u"pic.png", u"pic.gif", u"pic"}) {
    TBufferStream s(file.data(), int64_t(file.size()));
    auto store = Decode(s, name);
    ASSERT_TRUE(store);
    auto* gfx = dynamic_cast<TGfxBitmapStore*>(store.get());
    ASSERT_NE(gfx, nullptr);
    EXPECT_EQ(gfx->Fields().at("file"), "C:\\Photos\\pal8.jpg");
    EXPECT_FALSE(store->Decoded());
    EXPECT_EQ(store->Format(), TPixelFormat::Argb32);
    TBitmap direct;
    ASSERT_TRUE(ReadBmpBitmap(bmp.data(), bmp.size(), direct));
    EXPECT_EQ(MaxDifference(store->Bitmap(), direct), 0);
    EXPECT_TRUE(store->Decoded());
  }
  // ".jpg" does not list the container.
  TBufferStream s(file.data(), int64_t(file.size()));
  EXPECT_FALSE(Decode(s, u"pic.jpg"));
}

TEST(GfxContainer, DamagedDataGivesAFilledPictureOfTheDeclaredSize) {
  auto bmp = FileBytes("bmp/good/pal8.bmp");
  auto good = Container(bmp, 127, 64);
  const size_t data_start = good.size() - DeflateRaw(bmp.data(), bmp.size()).size();
  auto reserved_block = good;
  reserved_block[data_start] = 0x07;  // a final block of the reserved type
  auto cut = good;
  cut.resize(data_start + (good.size() - data_start) / 2);  // the deflate data ends early
  for (auto* file : {&reserved_block, &cut}) {
    TBufferStream s(file->data(), int64_t(file->size()));
    auto store = Decode(s, u"x.vygfx");
    ASSERT_TRUE(store);
    const TBitmap& b = store->Bitmap();
    EXPECT_EQ(b.Width(), 127);
    EXPECT_EQ(b.Height(), 64);
    EXPECT_EQ(b.GetPixel(0, 0), kDefaultFillColor);
    EXPECT_EQ(b.GetPixel(126, 63), kDefaultFillColor);
  }
  // A declared size that differs from the BMP inside is treated the same way.
  auto wrong = Container(FileBytes("bmp/good/pal8.bmp"), 100, 64);
  TBufferStream s3(wrong.data(), int64_t(wrong.size()));
  auto store2 = Decode(s3, u"x.vygfx");
  ASSERT_TRUE(store2);
  EXPECT_EQ(store2->Bitmap().GetPixel(50, 50), kDefaultFillColor);
}

TEST(GfxContainer, BrokenFieldsAreRefusedWithThePositionRestored) {
  auto bmp = FileBytes("bmp/good/pal1.bmp");
  std::vector<std::vector<uint8_t>> bad = {Container(bmp, 127, 64, false), Container(bmp, 0, 64),
                                           Container(bmp, 70000, 64), Container(bmp, 127, 64)};
  bad.back().resize(9);  // ends inside the fields
  std::vector<uint8_t> not_a_number = BuildGfxContainer(
      {{"File", "a"}, {"Width", "12x"}, {"Height", "5"}, {"OriginalSize", "1"}}, bmp);
  bad.push_back(not_a_number);
  for (auto& file : bad) {
    std::vector<uint8_t> padded = {1, 2, 3};
    padded.insert(padded.end(), file.begin(), file.end());
    TBufferStream s(padded.data(), int64_t(padded.size()));
    s.SetPosition(3);
    EXPECT_FALSE(Decode(s, u"x.vygfx"));
    EXPECT_EQ(s.Position(), 3);
  }
}

TEST(DecoderSelection, PngDataInABmpMemberGoesToThePngDecoder) {
  auto png = FileBytes("png/pngsuite/basn2c08.png");
  TBufferStream s(png.data(), int64_t(png.size()));
  auto store = Decode(s, u"folder\\x.bmp");
  ASSERT_TRUE(store);
  EXPECT_NE(dynamic_cast<TImageLibStore*>(store.get()), nullptr);
  EXPECT_EQ(store->Width(), 32);
  // The extension decides: PNG data named .jpg is no picture, a name without extension tries all.
  TBufferStream s2(png.data(), int64_t(png.size()));
  EXPECT_FALSE(Decode(s2, u"x.jpg"));
  EXPECT_EQ(s2.Position(), 0);
  TBufferStream s3(png.data(), int64_t(png.size()));
  EXPECT_TRUE(Decode(s3, u"noext"));
  TBufferStream s4(png.data(), int64_t(png.size()));
  EXPECT_TRUE(Decode(s4, u"X.PNG"));
  EXPECT_EQ(PictureExtension(u"a.b\\c"), "");
  EXPECT_EQ(PictureExtension(u"dir.x/Pic.JPEG"), ".jpeg");
}

TEST(DecoderSelection, JpegExtensionsAndOwnedStreams) {
  auto jpg = FileBytes("jpeg/pillow/hopper.jpg");
  for (const char16_t* name : {u"a.jpg", u"a.JPEG", u"a.jpe", u"a.jfif"}) {
    auto store = Decode(std::make_unique<TMemoryStream>(jpg), name);
    ASSERT_TRUE(store);
    EXPECT_NE(dynamic_cast<TJpegBitmapStore*>(store.get()), nullptr);
  }
  // A stream handed over and refused is freed by Decode (checked under the sanitizers).
  EXPECT_FALSE(Decode(std::make_unique<TMemoryStream>(jpg), u"a.gif"));
  EXPECT_FALSE(Decode(std::unique_ptr<TStream>(), u"a.jpg"));
}

TRef<TBitmapStore> CustomDecoder(TDecodeRequest& req) {
  uint8_t b;
  if (!req.stream->ReadExact(&b, 1) || b != 'Z') return {};
  TBitmap bmp;
  bmp.Allocate(3, 2, TPixelFormat::Rgb24);
  // Takes the stream when it may, as a deferred decoder would.
  if (req.owned) req.owned->reset();
  return TRef<TBitmapStore>(new TWrapperBitmapStore(std::move(bmp)));
}

TEST(DecoderSelection, RegisteredDecodersAreTriedInOrderAfterTheBuiltIns) {
  RegisterDecoder(CustomDecoder, {".ZZZ"});
  std::vector<uint8_t> z = {'Z', 1, 2};
  TBufferStream s(z.data(), 3);
  auto store = Decode(s, u"x.zzz");
  ASSERT_TRUE(store);
  EXPECT_EQ(store->Width(), 3);
  auto owned = Decode(std::make_unique<TMemoryStream>(z), u"x.zzz");
  EXPECT_TRUE(owned);
  std::vector<uint8_t> y = {'Y', 1, 2};
  TBufferStream s2(y.data(), 3);
  EXPECT_FALSE(Decode(s2, u"x.zzz"));
  EXPECT_TRUE(RegisterPictureLibrary("../Common/vyPngLib.dll", {".png", ".apng"}));
  auto png = FileBytes("png/pngsuite/basn0g01.png");
  TBufferStream s3(png.data(), int64_t(png.size()));
  EXPECT_TRUE(Decode(s3, u"x.apng"));
}

TEST(BitmapStore, SizeLimitsAreCheckedBeforeAllocating) {
  // A PNG header claiming 70000 x 1 and a JPEG claiming 65535 x 65535 are refused at once.
  auto png = FileBytes("png/pngsuite/basn0g01.png");
  png[16] = 0; png[17] = 1; png[18] = 0x11; png[19] = 0x70;  // width 70000 (the CRC now fails too)
  TBufferStream s(png.data(), int64_t(png.size()));
  EXPECT_FALSE(Decode(s, u"x.png"));
  auto jpg = FileBytes("jpeg/pillow/hopper.jpg");
  // Find the SOF0 marker and set both sides to 65535 (4.29e9 pixels > 2^28).
  for (size_t i = 0; i + 9 < jpg.size(); ++i)
    if (jpg[i] == 0xFF && jpg[i + 1] == 0xC0) {
      jpg[i + 5] = jpg[i + 6] = jpg[i + 7] = jpg[i + 8] = 0xFF;
      break;
    }
  int32_t w, h;
  EXPECT_FALSE(TJpegBitmapStore::ReadHeader(jpg.data(), jpg.size(), w, h));
}

TEST(BitmapStore, ReducedLevelsHalveEachSideRoundingUpAndAreSharedWhileHeld) {
  TBitmap b;
  b.Allocate(5, 3, TPixelFormat::Rgb24);
  b.Fill(0xFF204060u);
  b.SetPixel(0, 0, 0xFFFFFFFFu);
  TRef<TBitmapStore> store(new TWrapperBitmapStore(std::move(b)));
  auto l1 = store->Level(1);
  ASSERT_TRUE(l1);
  EXPECT_EQ(l1->Width(), 3);
  EXPECT_EQ(l1->Height(), 2);
  EXPECT_EQ(l1->Format(), TPixelFormat::Argb32);
  // (255 + 3 x 0x60) / 4 rounded, for the top-left block; the odd last column keeps its colour.
  EXPECT_EQ(l1->GetPixel(0, 0) & 0xFF, uint32_t((255 + 3 * 0x60 + 2) / 4));
  EXPECT_EQ(l1->GetPixel(2, 1), 0xFF204060u);
  EXPECT_EQ(store->Level(3)->Width(), 1);
  EXPECT_EQ(store->Level(1).get(), l1.get());
}

// A JPEG's reduced levels come straight from libjpeg's DCT scaling: the full picture is never
// made for them, one decode per level, and the result matches the full picture reduced.
TEST(BitmapStore, JpegLevelsDecodeAtTheReducedSize) {
  auto bytes = FileBytes("jpeg/exif-orientation/Landscape_1.jpg");  // 1800 x 1200
  TBufferStream s(bytes.data(), int64_t(bytes.size()));
  auto store = Decode(s, u"p.jpg");
  ASSERT_TRUE(store);
  const int64_t before = TBitmapStore::DecodeCount();
  auto l2 = store->Level(2);
  ASSERT_TRUE(l2);
  EXPECT_EQ(l2->Width(), 450);
  EXPECT_EQ(l2->Height(), 300);
  EXPECT_FALSE(store->Decoded());
  auto l5 = store->Level(5);  // 1/8 while decoding, then halved twice
  EXPECT_EQ(l5->Width(), 57);
  EXPECT_EQ(l5->Height(), 38);
  EXPECT_FALSE(store->Decoded());
  EXPECT_EQ(TBitmapStore::DecodeCount() - before, 2);
  // Shown at 600 x 400 (level 1 chosen): 3/8 is the smallest scale still larger.
  auto shown = store->Level(1, 600, 400);
  EXPECT_EQ(shown->Width(), 675);
  EXPECT_EQ(shown->Height(), 450);
  const TBitmap reference = ReduceBitmap(store->Bitmap(), 2, TPixelFormat::Argb32);
  ASSERT_EQ(reference.Width(), 450);
  int64_t diff = 0;
  for (int32_t y = 0; y < 300; ++y)
    for (int32_t x = 0; x < 450 * 4; ++x) diff += std::abs(int(l2->Row(y)[x]) - int(reference.Row(y)[x]));
  EXPECT_LT(double(diff) / (450.0 * 300 * 4), 3.0);
  for (int32_t x = 0; x < 450; ++x) ASSERT_EQ(l2->GetPixel(x, 150) >> 24, 255u);
}

TEST(BitmapStore, ReducedLevelsAreTurnedByTheOrientationTable) {
  auto bytes = FileBytes("jpeg/exif-orientation/Landscape_1.jpg");
  TBufferStream s(bytes.data(), int64_t(bytes.size()));
  const TTransformLookup turn = [](const WideString&) { return TImageTransform::Rotate90CW; };
  auto store = Decode(s, u"p.jpg", &turn);
  ASSERT_TRUE(store);
  EXPECT_EQ(store->Width(), 1200);
  auto l1 = store->Level(1);
  EXPECT_EQ(l1->Width(), 600);
  EXPECT_EQ(l1->Height(), 900);
}

}  // namespace
}  // namespace zem

namespace zem {
namespace {

TEST(PngWriter, EveryFormatRoundTripsThroughThePngDecoder) {
  for (TPixelFormat f : {TPixelFormat::Rgb24, TPixelFormat::Argb32, TPixelFormat::Grey8}) {
    TBitmap b;
    b.Allocate(13, 7, f);  // odd width: rows are padded
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 13; ++x) b.SetPixel(x, y, (uint32_t(40 + 10 * x) << 24) | uint32_t(x * 19 + y * 1000));
    std::vector<uint8_t> png;
    ASSERT_TRUE(EncodePng(b, png));
    TBitmap back;
    ASSERT_TRUE(TImageLibStore::DecodeAll(png.data(), png.size(), back));
    ASSERT_EQ(back.Width(), 13);
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 13; ++x) EXPECT_EQ(back.GetPixel(x, y), b.GetPixel(x, y)) << x << "," << y;
  }
  TBitmap empty;
  std::vector<uint8_t> png;
  EXPECT_FALSE(EncodePng(empty, png));
  EXPECT_FALSE(EncodePngFast(empty, png, true));
}

// The fast writer's files decode to the same pixels; opaque 32-bit pictures lose their alpha.
TEST(PngWriter, FastFilesRoundTripThroughThePngDecoder) {
  for (TPixelFormat f : {TPixelFormat::Rgb24, TPixelFormat::Argb32, TPixelFormat::Grey8})
    for (bool opaque : {false, true}) {
      TBitmap b;
      b.Allocate(13, 7, f);
      for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x) b.SetPixel(x, y, (uint32_t(40 + 10 * x) << 24) | uint32_t(x * 19 + y * 1000));
      std::vector<uint8_t> png;
      ASSERT_TRUE(EncodePngFast(b, png, opaque));
      TBitmap back;
      ASSERT_TRUE(TImageLibStore::DecodeAll(png.data(), png.size(), back));
      ASSERT_EQ(back.Width(), 13);
      const bool alpha = f == TPixelFormat::Argb32 && !opaque;
      EXPECT_EQ(back.Format(), alpha ? TPixelFormat::Argb32 : TPixelFormat::Rgb24);  // grey files become 24-bit
      for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x)
          EXPECT_EQ(back.GetPixel(x, y), alpha ? b.GetPixel(x, y) : (b.GetPixel(x, y) | 0xFF000000u)) << x << "," << y;
    }
}

}  // namespace
}  // namespace zem
