#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "foundation/log.h"
#include "ini_test_util.h"
#include "script/ini_file.h"
#include "script/ini_reader.h"

namespace zem {
namespace {

using testing::SavedBytes;

bool Load(TIniFile& ini, std::string_view bytes) { return ini.LoadFromBytes(bytes.data(), bytes.size()); }

// Encodes UTF-16 text with a byte-order mark.
std::string Utf16(WideView text, bool big_endian) {
  std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t c : text) {
    char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    out += big_endian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}

TEST(IniEncoding, ByteOrderMarksSelectTheDecoder) {
  const WideString text = u"[S\u00e9]\r\nk=\u20ac\U0001F600\r\n";
  TIniFile le, be, u8, plain, marked;
  ASSERT_TRUE(Load(le, Utf16(text, false)));
  EXPECT_EQ(le.Encoding(), TIniEncoding::Utf16LE);
  ASSERT_TRUE(Load(be, Utf16(text, true)));
  EXPECT_EQ(be.Encoding(), TIniEncoding::Utf16BE);
  ASSERT_TRUE(Load(u8, "\xEF\xBB\xBF" + WideToUtf8(text)));
  EXPECT_EQ(u8.Encoding(), TIniEncoding::Utf8);
  for (TIniFile* f : {&le, &be, &u8}) {
    EXPECT_EQ(f->ReadString(u"s\u00c9", u"k", u""), u"\u20ac\U0001F600");
    EXPECT_EQ(f->ToText(), text);
  }
  // Characters below 128: the same storage with or without the UTF-8 mark.
  const std::string ascii = "a=1\r\n[x]\r\nb = two\r\n";
  ASSERT_TRUE(Load(plain, ascii));
  ASSERT_TRUE(Load(marked, "\xEF\xBB\xBF" + ascii));
  EXPECT_EQ(plain.Encoding(), TIniEncoding::Ansi);
  EXPECT_EQ(plain.ToText(), marked.ToText());
  EXPECT_EQ(SavedBytes(plain), SavedBytes(marked));
  // Too short for a mark: decoded as ANSI; an odd last byte of UTF-16 is dropped.
  TIniFile tiny;
  ASSERT_TRUE(Load(tiny, "\xEF\xBB"));
  EXPECT_EQ(tiny.ToText(), u"");  // "ï»" is a word line: dropped
  ASSERT_TRUE(Load(tiny, Utf16(u"a=1", false) + "\x41"));
  EXPECT_EQ(tiny.ToText(), u"a=1\r\n");
}

TEST(IniEncoding, Utf8Validity) {
  TIniFile ini;
  // Overlong forms are accepted; 4-byte forms become surrogate pairs; 5-byte forms in range too.
  ASSERT_TRUE(Load(ini, "\xEF\xBB\xBF" "a=\xC1\x81\xF0\x9F\x98\x80\xF8\x80\x80\x80\x80"));
  EXPECT_EQ(ini.ReadString(u"", u"a", u"?"), u"?");  // keys before any section: no section ""
  EXPECT_EQ(ini.FindKey(u"a")->Value(), WideString(u"A\U0001F600") + WideString(1, u'\0'));
  const char* bad[] = {
      "\xEF\xBB\xBF" "a=\x80",              // continuation byte as lead
      "\xEF\xBB\xBF" "a=\xFE",              // no such lead byte
      "\xEF\xBB\xBF" "a=\xC3\x28",          // bad continuation
      "\xEF\xBB\xBF" "a=\xE2\x82",          // cut off at the end
      "\xEF\xBB\xBF" "a=\xF7\xBF\xBF\xBF",  // above 10FFFFh
      "\xEF\xBB\xBF" "a=\xFD\xBF\xBF\xBF\xBF\xBF",
  };
  for (const char* b : bad) {
    TBufferStream stream(b, static_cast<int64_t>(std::strlen(b)));
    EXPECT_THROW(ini.LoadFromStream(stream), EInvalidChar) << b + 3;
    EXPECT_FALSE(ini.LoadFromBytes(b, std::strlen(b))) << b + 3;
    EXPECT_FALSE(ini.LoadResult());
  }
}

TEST(IniEncoding, Utf8SequencesAcrossBufferAndChunkBoundaries) {
  // A 3-byte character straddling the 32 KB byte buffer, and a surrogate pair straddling the
  // parser's 4096-character chunks.
  const std::string straddle = "\xEF\xBB\xBF" "k=" + std::string(32 * 1024 - 3, 'a') + "\xE2\x82\xAC\r\n";
  const std::string pair = "\xEF\xBB\xBF" "p=" + std::string(4093, 'b') + "\xF0\x9F\x98\x80\r\n";
  TIniFile ini;
  ASSERT_TRUE(Load(ini, straddle + pair.substr(3)));
  WideString k = ini.FindKey(u"k")->Value();
  ASSERT_EQ(k.size(), 32u * 1024 - 2);
  EXPECT_EQ(k.back(), u'\u20ac');
  EXPECT_EQ(ini.FindKey(u"p")->Value(), WideString(4093, u'b') + u"\U0001F600");
  TIniFile alone;
  ASSERT_TRUE(Load(alone, pair));
  EXPECT_EQ(alone.FindKey(u"p")->Value(), WideString(4093, u'b') + u"\U0001F600");
  EXPECT_EQ(SavedBytes(alone), pair);
}

TEST(IniEncoding, Windows1252ByDefault) {
  unsetenv("ZEM_CODEPAGE");
  TIniFile ini;
  ASSERT_TRUE(Load(ini, "k=\x80\xE9\x81\x9F"));
  EXPECT_EQ(ini.FindKey(u"k")->Value(), u"\u20ac\u00e9\u0081\u0178");
}

// Captures log lines while alive.
class TCapturedLog : public TLog {
 public:
  explicit TCapturedLog(std::vector<std::string>* lines) : lines_(lines) {}
  void Output(const std::string& line) override { lines_->push_back(line); }

 private:
  std::vector<std::string>* lines_;
};

TEST(IniEncoding, CodePageFromTheEnvironment) {
  TIniFile ini;
  setenv("ZEM_CODEPAGE", "1251", 1);
  ASSERT_TRUE(Load(ini, "k=\xC0\xFF"));
  EXPECT_EQ(ini.FindKey(u"k")->Value(), u"\u0410\u044f");
  // Double-byte: Shift-JIS lead bytes, also when a pair straddles the reader's 32 KB buffer.
  setenv("ZEM_CODEPAGE", "932", 1);
  std::string sjis = "k=" + std::string(32 * 1024 - 3, 'a') + "\x82\xA0\r\nj=\x82";
  ASSERT_TRUE(Load(ini, sjis));
  WideString v = ini.FindKey(u"k")->Value();
  ASSERT_EQ(v.size(), 32u * 1024 - 2);
  EXPECT_EQ(v.back(), u'\u3042');
  // A lone lead byte at the end is not convertible: a replacement character.
  EXPECT_EQ(ini.FindKey(u"j")->Value(), u"\uFFFD");
  // An unknown code page falls back to 1252 with a log line.
  std::vector<std::string> lines;
  InstallLog(std::make_unique<TCapturedLog>(&lines));
  setenv("ZEM_CODEPAGE", "99999", 1);
  ASSERT_TRUE(Load(ini, "k=\x80"));
  InstallLog(nullptr);
  unsetenv("ZEM_CODEPAGE");
  EXPECT_EQ(ini.FindKey(u"k")->Value(), u"\u20ac");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("99999"), std::string::npos);
  EXPECT_EQ(DecodeAnsiBytes(reinterpret_cast<const uint8_t*>("\xC0"), 1, "CP1251"), u"\u0410");
}

TEST(IniWriter, MarkLineEndsAndSurrogates) {
  TIniFile ini;
  ASSERT_TRUE(ini.LoadFromText(u"a=1\nb=\U0001F600\u00e9\n"));
  EXPECT_EQ(SavedBytes(ini), "\xEF\xBB\xBF" "a=1\r\nb=\xF0\x9F\x98\x80\xC3\xA9\r\n");
  // A lone low surrogate is written in its 3-byte form and reads back the same.
  ASSERT_TRUE(ini.LoadFromText(WideString(u"c=") + char16_t(0xDC00)));
  std::string saved = SavedBytes(ini);
  EXPECT_EQ(saved, "\xEF\xBB\xBF" "c=\xED\xB0\x80\r\n");
  TIniFile back;
  ASSERT_TRUE(Load(back, saved));
  EXPECT_EQ(back.ToText(), ini.ToText());
  // A high surrogate followed by anything else (the line end too) cannot be written.
  for (WideString bad : {WideString(u"c=") + char16_t(0xD800) + u"x", WideString(u"c=") + char16_t(0xD800)}) {
    ASSERT_TRUE(ini.LoadFromText(bad));
    TMemoryStream out;
    EXPECT_THROW(ini.SaveToStream(out), EInvalidChar);
  }
  // An empty storage is just the mark.
  TIniFile empty;
  EXPECT_EQ(SavedBytes(empty), "\xEF\xBB\xBF");
}

// Accepts at most `limit` bytes.
class TShortStream : public TMemoryStream {
 public:
  explicit TShortStream(int64_t limit) : limit_(limit) {}
  int64_t Write(const void* buffer, int64_t count) override {
    int64_t n = std::min(count, limit_ - Size());
    return n > 0 ? TMemoryStream::Write(buffer, n) : 0;
  }

 private:
  int64_t limit_;
};

TEST(IniWriter, LargeOutputAndWriteErrors) {
  TIniFile ini;
  auto section = [](int i) { return u"s" + WideString(1, static_cast<char16_t>(u'a' + i % 26)); };
  for (int i = 0; i < 5000; ++i) ini.WriteInteger(section(i), u"key" + Utf8ToWide(std::to_string(i)), i);
  std::string saved = SavedBytes(ini);
  EXPECT_GT(saved.size(), 64u * 1024);
  TIniFile back;
  ASSERT_TRUE(Load(back, saved));
  EXPECT_EQ(back.ReadInteger(section(4999), u"key4999", 0), 4999);
  EXPECT_EQ(back.SectionNames().size(), 26u);
  EXPECT_EQ(SavedBytes(back), saved);
  TShortStream small(40000);
  EXPECT_FALSE(ini.SaveToStream(small));
  TShortStream tiny(1);
  EXPECT_FALSE(ini.SaveToStream(tiny));
}

TEST(IniFileIo, LoadAndSaveFiles) {
  auto dir = std::filesystem::temp_directory_path() / ("zem_script_test_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::string path = (dir / "show.zem").string();
  TIniFile ini;
  EXPECT_FALSE(ini.LoadFromFile((dir / "missing.zem").string()));
  EXPECT_FALSE(ini.LoadFromFile(dir.string()));  // a folder
  const std::string long_text = "k=" + std::string(1000, 'x') + "\r\n";
  ASSERT_TRUE(WriteFileBytes(path, long_text.data(), long_text.size()));
  ASSERT_TRUE(ini.LoadFromFile(path));
  EXPECT_EQ(ini.FileName(), path);
  // Saving a shorter text truncates the file.
  ini.FindKey(u"k")->SetValue(u"short");
  ASSERT_TRUE(ini.SaveToFile(path));
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(ReadFileBytes(path, bytes));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "\xEF\xBB\xBF" "k=short\r\n");
  // A decoding error fails the load and keeps the old file name.
  ASSERT_TRUE(WriteFileBytes(path, "\xEF\xBB\xBF\xFF", 4));
  EXPECT_FALSE(ini.LoadFromFile(path));
  EXPECT_EQ(ini.FileName(), path);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace zem
