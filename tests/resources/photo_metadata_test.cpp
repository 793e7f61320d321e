// EXIF and IPTC readers: hand-built segments in both byte orders, real camera files, and
// damaged structures.
#include <gtest/gtest.h>

#include <tuple>

#include "foundation/stream.h"
#include "resources/exif.h"
#include "resources/iptc.h"
#include "test_data.h"

namespace zem {
namespace {

// A TIFF structure written by hand: IFD0 with the given ASCII/UNDEFINED/SHORT entries and a
// sub-directory holding DateTimeOriginal.
struct TTiffBuilder {
  bool big;
  std::vector<uint8_t> out;
  void U16(uint32_t v, size_t at) {
    out[at] = uint8_t(big ? v >> 8 : v), out[at + 1] = uint8_t(big ? v : v >> 8);
  }
  void U32(uint32_t v, size_t at) {
    for (int i = 0; i < 4; ++i) out[at + size_t(i)] = uint8_t(v >> (big ? 24 - 8 * i : 8 * i));
  }
  struct TEntry {
    uint16_t tag, type;
    std::vector<uint8_t> value;  // raw bytes; count = size / type size
  };
  // Writes a directory at the end; returns its offset. Values longer than 4 bytes follow it.
  uint32_t Directory(const std::vector<TEntry>& entries) {
    const size_t at = out.size();
    out.resize(at + 2 + entries.size() * 12 + 4);
    U16(uint32_t(entries.size()), at);
    for (size_t i = 0; i < entries.size(); ++i) {
      const size_t e = at + 2 + i * 12;
      const TEntry& en = entries[i];
      const uint32_t unit = en.type == 3 ? 2 : en.type == 4 ? 4 : 1;
      U16(en.tag, e);
      U16(en.type, e + 2);
      U32(uint32_t(en.value.size() / unit), e + 4);
      if (en.value.size() <= 4) {
        std::copy(en.value.begin(), en.value.end(), out.begin() + ptrdiff_t(e + 8));
      } else {
        U32(uint32_t(out.size()), e + 8);
        out.insert(out.end(), en.value.begin(), en.value.end());
      }
    }
    return uint32_t(at);
  }
  explicit TTiffBuilder(bool bigEndian) : big(bigEndian) {
    out = {uint8_t(big ? 'M' : 'I'), uint8_t(big ? 'M' : 'I'), 0, 0, 0, 0, 0, 0};
    U16(42, 2);
  }
};

std::vector<uint8_t> Ascii(const std::string& s) {
  std::vector<uint8_t> v(s.begin(), s.end());
  v.push_back(0);
  return v;
}

std::vector<uint8_t> ExifTiff(bool big) {
  TTiffBuilder t(big);
  // The sub-directory first, so IFD0 can point at it.
  const uint32_t sub = t.Directory({{36867, 2, Ascii("2001:02:03 04:05:06")},
                                    {37510, 7, [&] {
                                       std::vector<uint8_t> v = {'U', 'N', 'I', 'C', 'O', 'D', 'E', 0};
                                       for (char16_t c : std::u16string(u"Gr\u00FC\u00DFe  ")) {
                                         if (big) v.push_back(uint8_t(c >> 8)), v.push_back(uint8_t(c));
                                         else v.push_back(uint8_t(c)), v.push_back(uint8_t(c >> 8));
                                       }
                                       return v;
                                     }()}});
  std::vector<uint8_t> orient(2);
  orient[big ? 1 : 0] = 6;
  std::vector<uint8_t> subPtr(4);
  for (int i = 0; i < 4; ++i) subPtr[size_t(i)] = uint8_t(sub >> (big ? 24 - 8 * i : 8 * i));
  const uint32_t ifd0 = t.Directory({{270, 2, Ascii("Harbour at dawn")},
                                     {274, 3, orient},
                                     {306, 2, Ascii("2008:07:14 10:22:05")},
                                     {34665, 4, subPtr}});
  t.U32(ifd0, 4);
  return t.out;
}

std::vector<uint8_t> Segment(uint8_t marker, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> s = {0xFF, marker, uint8_t((payload.size() + 2) >> 8), uint8_t(payload.size() + 2)};
  s.insert(s.end(), payload.begin(), payload.end());
  return s;
}

std::vector<uint8_t> Jpeg(const std::vector<std::vector<uint8_t>>& segments) {
  std::vector<uint8_t> j = {0xFF, 0xD8};
  for (const auto& s : segments) j.insert(j.end(), s.begin(), s.end());
  const std::vector<uint8_t> sos = {0xFF, 0xDA, 0, 2, 0xFF, 0xD9};
  j.insert(j.end(), sos.begin(), sos.end());
  return j;
}

std::vector<uint8_t> ExifSegment(bool big) {
  std::vector<uint8_t> p = {'E', 'x', 'i', 'f', 0, 0};
  const auto tiff = ExifTiff(big);
  p.insert(p.end(), tiff.begin(), tiff.end());
  return Segment(0xE1, p);
}

// IPTC datasets (record, dataset, text) inside an 8BIM 0x0404 resource, split over two APP13
// segments at `split` bytes.
std::vector<std::vector<uint8_t>> IptcSegments(const std::vector<std::tuple<int, int, std::string>>& sets, size_t split) {
  std::vector<uint8_t> iptc;
  for (const auto& [rec, ds, text] : sets) {
    iptc.insert(iptc.end(), {0x1C, uint8_t(rec), uint8_t(ds), uint8_t(text.size() >> 8), uint8_t(text.size())});
    iptc.insert(iptc.end(), text.begin(), text.end());
  }
  std::vector<uint8_t> res = {'8', 'B', 'I', 'M', 0x04, 0x04, 0, 0};  // empty name, padded
  const uint32_t n = uint32_t(iptc.size());
  res.insert(res.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
  res.insert(res.end(), iptc.begin(), iptc.end());
  if (res.size() & 1) res.push_back(0);
  const std::string hdr("Photoshop 3.0\0", 14);
  split = std::min(split, res.size());
  std::vector<uint8_t> a(hdr.begin(), hdr.end()), b(hdr.begin(), hdr.end());
  a.insert(a.end(), res.begin(), res.begin() + ptrdiff_t(split));
  b.insert(b.end(), res.begin() + ptrdiff_t(split), res.end());
  return {Segment(0xED, a), Segment(0xED, b)};
}

TEST(ExifReader, FieldsInBothByteOrders) {
  for (bool big : {false, true}) {
    const auto bytes = Jpeg({Segment(0xE0, {'J', 'F', 'I', 'F', 0}), ExifSegment(big)});
    TBufferStream s(bytes.data(), int64_t(bytes.size()));
    TExif exif;
    ASSERT_TRUE(exif.LoadFromJpeg(s)) << big;
    EXPECT_EQ(exif.Text(kExifDateTime), u"2008:07:14 10:22:05");
    EXPECT_EQ(exif.Text(kExifImageDescription), u"Harbour at dawn");
    EXPECT_EQ(exif.Text(kExifDateTimeOriginal), u"2001:02:03 04:05:06");  // from the sub-directory
    EXPECT_EQ(exif.Text(kExifUserComment), u"Gr\u00FC\u00DFe");             // character code prefix, padding off
    EXPECT_EQ(exif.Orientation(), 6);
    EXPECT_TRUE(exif.Text(kExifArtist).empty());
  }
}

TEST(ExifReader, CameraFilesAndDamagedDirectories) {
  auto open = [](const char* name) { return TFileStream::Open(test::DataFile(name), TFileMode::Read); };
  TExif exif;
  auto flower = open("images/jpeg/pillow/flower.jpg");
  ASSERT_TRUE(flower && exif.LoadFromJpeg(*flower));
  EXPECT_EQ(exif.DateTime(), u"2003:12:14 12:01:44");
  EXPECT_TRUE(exif.Text(kExifUserComment).empty());  // all padding
  for (int n = 2; n <= 8; ++n) {
    auto f = open(("images/jpeg/pillow/hopper_orientation_" + std::to_string(n) + ".jpg").c_str());
    ASSERT_TRUE(f && exif.LoadFromJpeg(*f));
    EXPECT_EQ(exif.Orientation(), n);
  }
  auto invalid = open("images/jpeg/pillow/invalid-exif.jpg");
  ASSERT_TRUE(invalid);
  EXPECT_FALSE(exif.LoadFromJpeg(*invalid));

  // A directory that points at itself, a field beyond the end, an entry count beyond the end.
  std::vector<uint8_t> tiff = ExifTiff(false);
  const uint32_t ifd0 = tiff[4] | tiff[5] << 8;
  std::vector<uint8_t> loop = tiff;
  const size_t subEntry = ifd0 + 2 + 3 * 12 + 8;
  loop[subEntry] = uint8_t(ifd0), loop[subEntry + 1] = uint8_t(ifd0 >> 8), loop[subEntry + 2] = 0, loop[subEntry + 3] = 0;
  EXPECT_TRUE(exif.Load(loop.data(), loop.size()));
  EXPECT_TRUE(exif.Text(kExifDateTimeOriginal).empty());
  std::vector<uint8_t> far = tiff;
  far[ifd0 + 2 + 8] = 0xF0, far[ifd0 + 2 + 9] = 0xFF;  // description's offset
  EXPECT_TRUE(exif.Load(far.data(), far.size()));
  EXPECT_TRUE(exif.Text(kExifImageDescription).empty());
  EXPECT_EQ(exif.Text(kExifDateTime), u"2008:07:14 10:22:05");
  std::vector<uint8_t> many = tiff;
  many[ifd0] = 0xFF, many[ifd0 + 1] = 0xFF;
  EXPECT_FALSE(exif.Load(many.data(), many.size()));
  for (size_t n = 0; n < tiff.size(); ++n) exif.Load(tiff.data(), n);  // any truncation is survived
}

TEST(IptcReader, DatasetsAcrossSegmentsAndCameraFiles) {
  const auto segs = IptcSegments({{1, 90, "\x1B%G"}, {2, 5, "Title"}, {2, 80, " Ann "}, {2, 80, "Bob"},
                                  {2, 120, "Caf\xC3\xA9 by the sea"}, {3, 5, "other record"}},
                                 20);
  const auto bytes = Jpeg({segs[0], ExifSegment(true), segs[1]});
  TBufferStream s(bytes.data(), int64_t(bytes.size()));
  TIptcData iptc;
  ASSERT_TRUE(iptc.LoadFromJpeg(s));
  EXPECT_EQ(iptc.First(kIptcObjectName), u"Title");
  EXPECT_EQ(iptc.Values(kIptcByline), (std::vector<WideString>{u" Ann ", u"Bob"}));
  EXPECT_EQ(iptc.First(kIptcCaption), u"Caf\u00E9 by the sea");  // 1:90 names UTF-8
  EXPECT_TRUE(iptc.First(kIptcCity).empty());

  auto file = TFileStream::Open(test::DataFile("images/jpeg/pillow/iptc.jpg"), TFileMode::Read);
  ASSERT_TRUE(file && iptc.LoadFromJpeg(*file));
  EXPECT_EQ(iptc.First(kIptcCity), u"Budapest");
  EXPECT_EQ(iptc.First(kIptcCountry), u"Hungary");
  auto multi = TFileStream::Open(test::DataFile("images/jpeg/pillow/app13-multiple.jpg"), TFileMode::Read);
  ASSERT_TRUE(multi && iptc.LoadFromJpeg(*multi));
  EXPECT_EQ(iptc.First(55), u"20191014");  // its IPTC block lies in the second segment
  auto adobe = TFileStream::Open(test::DataFile("images/jpeg/pillow/app13.jpg"), TFileMode::Read);
  ASSERT_TRUE(adobe);
  EXPECT_FALSE(iptc.LoadFromJpeg(*adobe));  // an APP13 that is not Photoshop's

  // A dataset longer than what is left, and an extended length of five bytes, end the records.
  std::vector<uint8_t> res = {'8', 'B', 'I', 'M', 0x04, 0x04, 0, 0, 0, 0, 0, 16,
                              0x1C, 2, 5, 0, 3, 'a', 'b', 'c', 0x1C, 2, 90, 0x80, 5, 1, 2, 3};
  EXPECT_TRUE(iptc.Load(res.data(), res.size()));
  EXPECT_EQ(iptc.First(kIptcObjectName), u"abc");
  EXPECT_TRUE(iptc.First(kIptcCity).empty());
  for (size_t n = 0; n < res.size(); ++n) iptc.Load(res.data(), n);
}

}  // namespace
}  // namespace zem
