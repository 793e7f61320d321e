// The decoders against reference decoders, and broken files.
#include <gtest/gtest.h>

#include <filesystem>

#include "resources/gif_decoder.h"
#include "resources/jpeg_decoder.h"
#include "resources/png_decoder.h"
#include "test_images.h"

namespace zem {
namespace {

using namespace zem::test;

std::string Base(const std::string& path) { return std::filesystem::path(path).filename().string(); }

TEST(PngDecoder, SuiteMatchesImageMagickInEveryDepthAndInterlace) {
  int checked = 0;
  for (const std::string& path : FilesIn("png/pngsuite", ".png")) {
    std::string name = Base(path);
    if (name[0] == 'x' || name == "PngSuite.png") continue;  // the x files are broken on purpose
    SCOPED_TRACE(name);
    auto store = DecodeFile(path);
    ASSERT_TRUE(store);
    EXPECT_NE(dynamic_cast<TImageLibStore*>(store.get()), nullptr);
    EXPECT_FALSE(store->Decoded());  // rows wait for first use
    const TBitmap& got = store->Bitmap();
    // Files with alpha or a transparent colour give 32-bit rows, the rest 24-bit.
    bool alpha = name.find("a08") != std::string::npos || name.find("a16") != std::string::npos || name[0] == 't';
    if (name.rfind("tbbn", 0) == 0 || name.rfind("tbgn", 0) == 0 || name.rfind("tbrn", 0) == 0 ||
        name.rfind("tbwn", 0) == 0 || name.rfind("tbyn", 0) == 0 || name.rfind("tp0", 0) == 0 || name.rfind("tm3", 0) == 0 ||
        name.rfind("tp1", 0) == 0)
      alpha = got.Format() == TPixelFormat::Argb32;  // tRNS presence varies within the t series
    EXPECT_EQ(got.Format() == TPixelFormat::Argb32, alpha);
    TBitmap ref;
    ASSERT_TRUE(ConvertReference(path, ref));
    // 16-bit samples are scaled to 8 bits; rounding may differ by one.
    EXPECT_LE(MaxDifference(got, ref), 1);
    ++checked;
  }
  EXPECT_GT(checked, 140);
}

TEST(PngDecoder, BrokenAndHostileFilesAreRefusedOrDecodeSafely) {
  for (const char* name : {"xc1n0g08.png", "xc9n2c08.png", "xcrn0g04.png", "xcsn0g01.png", "xd0n2c08.png", "xd3n2c08.png",
                           "xd9n2c08.png", "xdtn0g01.png", "xhdn0g08.png", "xlfn0g04.png", "xs1n0g01.png", "xs2n0g01.png",
                           "xs4n0g01.png", "xs7n0g01.png"}) {
    std::string path = std::string(ZEM_TESTDATA_DIR) + "/images/png/pngsuite/" + name;  // some are not in the set
    if (!std::filesystem::exists(path)) continue;
    SCOPED_TRACE(name);
    auto store = DecodeFile(path);
    if (store) store->Bitmap();  // header fine, data broken: filled picture, never a crash
  }
  // Signature and header errors are caught when the picture is opened.
  EXPECT_FALSE(DecodeFile(ImagePath("png/pngsuite/xs1n0g01.png")));
  EXPECT_FALSE(DecodeFile(ImagePath("png/pngsuite/xhdn0g08.png")));
  for (const std::string& path : FilesIn("png/libpng-crashers", ".png")) {
    SCOPED_TRACE(path);
    auto store = DecodeFile(path);
    if (store) {
      const TBitmap& b = store->Bitmap();
      EXPECT_EQ(b.Width(), store->Width());
      EXPECT_EQ(b.Height(), store->Height());
    }
  }
}

TEST(PngDecoder, LargerPicturesMatchImageMagick) {
  for (const char* name : {"other/ljt_monkey16.png", "other/ljt_testorig.png", "other/ljt_vgl_5674_0098.png",
                           "other/pillow_hopper.png"}) {
    SCOPED_TRACE(name);
    auto store = DecodeFile(ImagePath(std::string("png/") + name));
    ASSERT_TRUE(store);
    TBitmap ref;
    ASSERT_TRUE(ConvertReference(ImagePath(std::string("png/") + name), ref));
    EXPECT_LE(MaxDifference(store->Bitmap(), ref), 1);
  }
}

TEST(JpegDecoder, PixelsMatchDjpegExactly) {
  for (const char* name : {"libjpeg-turbo/testorig.jpg", "libjpeg-turbo/testimgint.jpg", "libjpeg-turbo/testimgari.jpg",
                           "libjpeg-turbo/testimgp.jpg", "pillow/hopper.jpg", "pillow/hopper_gray.jpg",
                           "pillow/app13-multiple.jpg", "pillow/hopper_16bit_qtables.jpg", "pillow/icc-after-SOF.jpg",
                           "pillow/invalid-exif.jpg", "pillow/junk_jpeg_header.jpg", "pillow/rgb.jpg"}) {
    SCOPED_TRACE(name);
    std::string path = ImagePath(std::string("jpeg/") + name);
    auto store = DecodeFile(path);
    ASSERT_TRUE(store);
    EXPECT_EQ(store->Format(), TPixelFormat::Rgb24);  // grey pictures become 24-bit too
    EXPECT_FALSE(store->Decoded());
    TBitmap ref;
    ASSERT_TRUE(DjpegReference(path, ref));
    EXPECT_EQ(store->Width(), ref.Width());
    EXPECT_EQ(MaxDifference(store->Bitmap(), ref), 0);
  }
}

TEST(JpegDecoder, CmykIsConvertedAndUnusableFilesAreRefused) {
  std::string cmyk = ImagePath("jpeg/pillow/pil_sample_cmyk.jpg");
  auto store = DecodeFile(cmyk);
  ASSERT_TRUE(store);
  TBitmap ref;
  ASSERT_TRUE(ConvertReference(cmyk, ref, true));
  EXPECT_LT(MeanDifference(store->Bitmap(), ref), 3.0);
  // 12-bit samples are not readable through the 8-bit interface: refused at the header.
  EXPECT_FALSE(DecodeFile(ImagePath("jpeg/libjpeg-turbo/monkey12.jpg")));
  // A truncated progressive file keeps its header: the picture exists, the rest is recovered.
  auto truncated = DecodeFile(ImagePath("jpeg/pillow/truncated_jpeg.jpg"));
  ASSERT_TRUE(truncated);
  EXPECT_EQ(truncated->Bitmap().Width(), truncated->Width());
  // Garbage after a JPEG start marker.
  std::vector<uint8_t> junk = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 2, 3};
  TBufferStream s(junk.data(), int64_t(junk.size()));
  s.SetPosition(0);
  EXPECT_FALSE(Decode(s, u"x.jpg"));
  EXPECT_EQ(s.Position(), 0);
}

TEST(JpegDecoder, ProgressiveScanBombIsStopped) {
  // A progressive picture followed by thousands of empty refinement scans.
  std::vector<uint8_t> data;
  ASSERT_TRUE(RunCapture("convert -size 16x16 xc:red -interlace JPEG jpeg:- 2>/dev/null", data));
  ASSERT_GT(data.size(), 4u);
  data.resize(data.size() - 2);  // drop EOI
  // SOS for component 0 refining bit 0 of DC (Ss=0, Se=0, Ah=1, Al=0), with no entropy data.
  const uint8_t sos[] = {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x00, 0x10};
  auto with_scans = [&](int n) {
    std::vector<uint8_t> file = data;
    for (int i = 0; i < n; ++i) file.insert(file.end(), sos, sos + sizeof sos);
    file.push_back(0xFF);
    file.push_back(0xD9);
    return file;
  };
  TBitmap out;
  auto few = with_scans(100);
  EXPECT_TRUE(TJpegBitmapStore::DecodeAll(few.data(), few.size(), out));  // odd but within the limit
  auto bomb = with_scans(3000);
  int32_t w, h;
  EXPECT_TRUE(TJpegBitmapStore::ReadHeader(bomb.data(), bomb.size(), w, h));
  EXPECT_FALSE(TJpegBitmapStore::DecodeAll(bomb.data(), bomb.size(), out));
}

TEST(BmpDecoder, SuiteMatchesItsReferencePictures) {
  for (const std::string& ref_path : FilesIn("bmp/reference-png", ".png")) {
    std::string name = Base(ref_path);
    name = name.substr(0, name.size() - 4);
    if (name.size() > 2 && name.substr(name.size() - 2) == "-e") name.resize(name.size() - 2);
    SCOPED_TRACE(name);
    auto store = DecodeFile(ImagePath("bmp/good/" + name + ".bmp"));
    ASSERT_TRUE(store);
    EXPECT_NE(dynamic_cast<TSysBitmapStore*>(store.get()), nullptr);
    EXPECT_EQ(store->Format(), TPixelFormat::Rgb24);  // palette pictures become 24-bit
    TBitmap ref;
    ASSERT_TRUE(ConvertReference(ref_path, ref));
    EXPECT_LE(MaxDifference(store->Bitmap(), ref), 1);
  }
}

TEST(BmpDecoder, EveryListedDepthMatchesImageMagick) {
  for (const char* name : {"good/pal1.bmp", "good/pal1bg.bmp", "good/pal1wb.bmp", "good/pal4.bmp", "good/pal8-0.bmp",
                           "good/pal8.bmp", "good/pal8os2.bmp", "good/pal8topdown.bmp", "good/pal8v4.bmp",
                           "good/pal8v5.bmp", "good/rgb16-565.bmp", "good/rgb16-565pal.bmp", "good/rgb16.bmp",
                           "good/rgb24.bmp", "good/rgb24pal.bmp", "good/rgb32.bmp", "good/rgb32bf.bmp",
                           "other/ljt_shira_bird8.bmp", "other/ljt_vgl_6434_0018a.bmp", "other/pillow_hopper.bmp",
                           "questionable/pal8offs.bmp", "questionable/rgb32bf-xbgr.bmp"}) {
    SCOPED_TRACE(name);
    std::string path = ImagePath(std::string("bmp/") + name);
    auto store = DecodeFile(path);
    ASSERT_TRUE(store);
    TBitmap ref;
    ASSERT_TRUE(ConvertReference(path, ref));
    EXPECT_LE(MaxDifference(store->Bitmap(), ref, false), 1);
  }
}

TEST(BmpDecoder, RunLengthAndBadFilesAreRefusedWithoutCrashing) {
  for (const char* name : {"good/pal4rle.bmp", "good/pal8rle.bmp", "other/pillow_hopper_rle8.bmp", "bad/badbitcount.bmp",
                           "bad/badheadersize.bmp", "bad/badplanes.bmp", "bad/badpalettesize.bmp", "bad/badrle.bmp",
                           "bad/badwidth.bmp", "bad/reallybig.bmp", "bad/rletopdown.bmp", "bad/shortfile.bmp",
                           "questionable/rgb24jpeg.bmp", "questionable/rgb24png.bmp", "questionable/pal2.bmp"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(DecodeFile(ImagePath(std::string("bmp/") + name)));
  }
  // Whatever the rest of the suite holds: a picture of the stated size or a refusal.
  for (const char* folder : {"bmp/bad", "bmp/questionable", "bmp/other"})
    for (const std::string& path : FilesIn(folder, ".bmp")) {
      SCOPED_TRACE(path);
      if (auto store = DecodeFile(path)) {
        EXPECT_EQ(store->Bitmap().Width(), store->Width());
      }
    }
}

TEST(BmpDecoder, HeaderFieldsAreCheckedBeforeUse) {
  std::vector<uint8_t> file;
  ASSERT_TRUE(ReadFileBytes(ImagePath("bmp/good/rgb24.bmp"), file));
  TBitmap out;
  ASSERT_TRUE(ReadBmpBitmap(file.data(), file.size(), out));
  auto patched = [&](size_t at, uint32_t v, int bytes) {
    std::vector<uint8_t> f = file;
    for (int i = 0; i < bytes; ++i) f[at + i] = uint8_t(v >> (8 * i));
    TBitmap b;
    return ReadBmpBitmap(f.data(), f.size(), b);
  };
  EXPECT_FALSE(patched(10, 0x7FFFFFF0, 4));   // pixel data offset past the end
  EXPECT_FALSE(patched(18, 70000, 4));        // width above the limit
  EXPECT_FALSE(patched(22, 0x80000000, 4));   // height INT_MIN
  EXPECT_FALSE(patched(22, 0, 4));            // height 0
  EXPECT_FALSE(patched(14, 2000, 4));         // header size beyond the file
  EXPECT_FALSE(patched(28, 2, 2));            // 2 bits per pixel
  EXPECT_FALSE(patched(30, 1, 4));            // run-length compression
  EXPECT_FALSE(ReadBmpBitmap(file.data(), 40, out));
}

TEST(GifDecoder, StillPicturesMatchImageMagick) {
  for (const char* name : {"giflib/porsche.gif", "giflib/solid2.gif", "giflib/treescap.gif",
                           "giflib/treescap-interlaced.gif", "giflib/gifgrid.gif", "giflib/x-trans.gif",
                           "giflib/wedge.gif", "pillow/hopper.gif", "pillow/text_mono.gif", "pillow/transparent.gif"}) {
    SCOPED_TRACE(name);
    std::string path = ImagePath(std::string("gif/") + name);
    auto store = DecodeFile(path);
    ASSERT_TRUE(store);
    EXPECT_EQ(store->Tiles(), nullptr);
    TBitmap ref;
    ASSERT_TRUE(ConvertReference(path, ref));
    EXPECT_EQ(MaxDifference(store->Bitmap(), ref), 0);
  }
}

TEST(GifDecoder, AnimationsMatchImageMagickCoalescing) {
  // For disposal 0, 1 and 2 the strip cells are what a coalescing player shows.
  for (const char* name : {"pillow/dispose_none.gif", "pillow/dispose_bgnd.gif", "giflib/fire.gif",
                           "giflib/welcome2.gif", "pillow/iss634.gif"}) {
    SCOPED_TRACE(name);
    std::string path = ImagePath(std::string("gif/") + name);
    auto store = DecodeFile(path);
    ASSERT_TRUE(store);
    const TTilesTag* tiles = store->Tiles();
    ASSERT_NE(tiles, nullptr);
    const TBitmap& strip = store->Bitmap();
    ASSERT_EQ(strip.Width(), tiles->cell_width * tiles->frame_count);
    std::vector<uint8_t> count_text;
    ASSERT_TRUE(RunCapture("identify " + Quote(path) + " | wc -l", count_text));
    EXPECT_EQ(tiles->frame_count, std::atoi(std::string(count_text.begin(), count_text.end()).c_str()));
    for (int f : {1, tiles->frame_count - 1}) {
      std::vector<uint8_t> bytes;
      TBitmap ref;
      std::string keep = " -delete 0-" + std::to_string(f - 1) + (f < tiles->frame_count - 1 ? " -delete 1--1" : "");
      ASSERT_TRUE(RunCapture("convert " + Quote(path) + " -coalesce" + keep + " -depth 8 -type TrueColorAlpha pam:- 2>/dev/null",
                             bytes));
      ASSERT_TRUE(ParseNetpbm(bytes, ref));
      TBitmap cell;
      cell.Allocate(tiles->cell_width, tiles->cell_height, TPixelFormat::Argb32);
      for (int y = 0; y < cell.Height(); ++y)
        for (int x = 0; x < cell.Width(); ++x) cell.SetPixel(x, y, strip.GetPixel(f * tiles->cell_width + x, y));
      EXPECT_EQ(MaxDifference(cell, ref), 0) << "frame " << f;
    }
  }
}

TEST(GifDecoder, HostileFilesAreRefusedOrBounded) {
  EXPECT_FALSE(DecodeFile(ImagePath("gif/pillow/zero_width.gif")));
  for (const std::string& path : FilesIn("gif/pillow", ".gif")) {
    SCOPED_TRACE(path);
    if (auto store = DecodeFile(path)) {
      const TBitmap& b = store->Bitmap();
      EXPECT_TRUE(TBitmap::SizeAllowed(b.Width(), b.Height()));
    }
  }
  // A truncated file keeps the frames read so far, or is refused.
  std::vector<uint8_t> fire;
  ASSERT_TRUE(ReadFileBytes(ImagePath("gif/giflib/fire.gif"), fire));
  for (size_t cut : {size_t(13), size_t(800), fire.size() / 2}) {
    TGifResult r;
    if (ReadGif(fire.data(), cut, r)) {
      EXPECT_FALSE(r.picture.Empty());
    }
  }
}

}  // namespace
}  // namespace zem
