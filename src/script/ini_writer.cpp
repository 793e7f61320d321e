// The writer: UTF-8 with a byte-order mark, every line ended by CR LF.
#include <cstring>

#include "script/ini_file.h"

namespace zem {

namespace {

struct TWriteFailed {};

class TUtf8LineWriter : public TIniLineSink {
 public:
  explicit TUtf8LineWriter(TStream& stream) : stream_(stream) {}

  void WriteLine(WideView line) override {
    size_t n = line.size();
    for (size_t i = 0; i < n; ++i) {
      uint32_t c = line[i];
      if (c >= 0xD800 && c < 0xDC00) {
        // A high surrogate must be followed by a low one (the line end counts as "other").
        if (i + 1 >= n || line[i + 1] < 0xDC00 || line[i + 1] >= 0xE000)
          throw EInvalidChar("High surrogate without a low surrogate");
        uint32_t cp = 0x10000 + ((c - 0xD800) << 10) + (line[++i] - 0xDC00);
        Put(static_cast<uint8_t>(0xF0 | (cp >> 18)));
        Put(static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F)));
        Put(static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F)));
        Put(static_cast<uint8_t>(0x80 | (cp & 0x3F)));
      } else if (c < 0x80) {
        Put(static_cast<uint8_t>(c));
      } else if (c < 0x800) {
        Put(static_cast<uint8_t>(0xC0 | (c >> 6)));
        Put(static_cast<uint8_t>(0x80 | (c & 0x3F)));
      } else {
        Put(static_cast<uint8_t>(0xE0 | (c >> 12)));
        Put(static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F)));
        Put(static_cast<uint8_t>(0x80 | (c & 0x3F)));
      }
    }
    Put('\r');
    Put('\n');
  }

  void Put(uint8_t b) {
    if (used_ == sizeof buf_) Flush();
    buf_[used_++] = b;
  }

  void Flush() {
    if (used_ && stream_.Write(buf_, static_cast<int64_t>(used_)) != static_cast<int64_t>(used_)) throw TWriteFailed();
    used_ = 0;
  }

 private:
  TStream& stream_;
  uint8_t buf_[32 * 1024];
  size_t used_ = 0;
};

class TTextSink : public TIniLineSink {
 public:
  void WriteLine(WideView line) override {
    text.append(line);
    text.append(u"\r\n");
  }
  WideString text;
};

}  // namespace

bool TIniFile::SaveToStream(TStream& stream) const {
  auto writer = std::make_unique<TUtf8LineWriter>(stream);
  try {
    writer->Put(0xEF);
    writer->Put(0xBB);
    writer->Put(0xBF);
    Write(*writer);
    writer->Flush();
  } catch (const TWriteFailed&) {
    return false;
  }
  return true;
}

bool TIniFile::SaveToFile(const std::string& path) const {
  auto stream = TFileStream::Open(path, TFileMode::OpenOrCreate);
  if (!stream) return false;
  try {
    if (!SaveToStream(*stream)) return false;
  } catch (const EInvalidChar&) {
    return false;
  }
  int64_t end = stream->Position();
  return end >= 0 && stream->SetSize(end);
}

WideString TIniStorage::ToText() const {
  TTextSink sink;
  Write(sink);
  return std::move(sink.text);
}

}  // namespace zem
